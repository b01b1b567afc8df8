#include "link/link_statistics.hpp"

#include <gtest/gtest.h>
#include <modbus.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <thread>
#include <vector>

#include "link/statistics_text.hpp"

namespace {

using namespace std::chrono_literals;
using std::chrono::nanoseconds;

// One bucket spans a factor of 10^(1/20), about 12 %: a percentile read from
// the buckets may be off by that much, never more.
constexpr double bucket_tolerance = 0.123;
// Samples spread over many buckets are placed by rank within their bucket,
// which keeps them within a few per cent.
constexpr double spread_tolerance = 0.04;

DurationSnapshot durations_of(const std::vector<nanoseconds>& samples)
{
    auto stats = std::make_unique<DurationStats>();
    for (nanoseconds sample : samples)
        record_duration(*stats, sample);
    return take_snapshot(*stats);
}

std::vector<nanoseconds> repeated(nanoseconds value, int times)
{
    return std::vector<nanoseconds>(times, value);
}

TEST(LinkStatistics, PercentilesOfKnownSamples)
{
    std::vector<nanoseconds> one_to_hundred_ms;
    for (int i = 1; i <= 100; ++i)
        one_to_hundred_ms.push_back(std::chrono::milliseconds(i));
    std::vector<nanoseconds> one_slow = repeated(1ms, 99);
    one_slow.push_back(1s);
    std::vector<nanoseconds> two_slow = repeated(1ms, 98);
    two_slow.insert(two_slow.end(), {50ms, 50ms});
    struct Row {
        const char* name;
        std::vector<nanoseconds> samples;
        double percent;
        double expected_ns;
        double tolerance;  // relative
    } rows[] = {
        {"median of 1..100 ms", one_to_hundred_ms, 50, 50e6, spread_tolerance},
        {"p99 of 1..100 ms", one_to_hundred_ms, 99, 99e6, spread_tolerance},
        {"p10 of 1..100 ms", one_to_hundred_ms, 10, 10e6, spread_tolerance},
        // A bucket holding one value is narrowed to the seen minimum and maximum.
        {"single sample", {3700us}, 50, 3.7e6, 0},
        {"single sample p99", {3700us}, 99, 3.7e6, 0},
        {"p99 ignores one outlier in a hundred", one_slow, 99, 1e6, bucket_tolerance},
        {"p100 is the outlier", one_slow, 100, 1e9, 0},
        {"p99 sees two outliers in a hundred", two_slow, 99, 50e6, bucket_tolerance},
        {"below the first bucket", repeated(5us, 4), 50, 5e3, 0},
        {"above the last bucket", repeated(200s, 3), 50, 200e9, 0},
        {"nothing recorded", {}, 50, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        double got = percentile_ns(durations_of(row.samples), row.percent);
        EXPECT_NEAR(got, row.expected_ns, row.expected_ns * row.tolerance);
    }
}

TEST(LinkStatistics, EveryDurationFallsInsideItsBucket)
{
    EXPECT_EQ(histogram_bucket(0), 0);
    EXPECT_EQ(histogram_bucket(9'999), 0);
    EXPECT_EQ(histogram_bucket(10'000), 1);
    EXPECT_EQ(histogram_bucket(100'000'000'000), histogram_buckets - 1);
    int previous = 0;
    for (double ns = 10'000; ns < 1e11; ns *= 1.01) {
        int bucket = histogram_bucket(uint64_t(ns));
        ASSERT_GE(bucket, previous);
        ASSERT_LE(bucket_lower_ns(bucket), ns * (1 + 1e-12)) << ns;
        ASSERT_GT(bucket_lower_ns(bucket + 1), ns * (1 - 1e-12)) << ns;
        previous = bucket;
    }
}

TEST(LinkStatistics, KeepsLastMinimumMeanAndMaximum)
{
    DurationSnapshot times = durations_of({4ms, 1ms, 10ms, 5ms});
    EXPECT_EQ(times.count, 4u);
    EXPECT_EQ(times.last_ns, 5'000'000u);
    EXPECT_EQ(times.min_ns, 1'000'000u);
    EXPECT_EQ(times.max_ns, 10'000'000u);
    EXPECT_DOUBLE_EQ(mean_ns(times), 5e6);
    EXPECT_EQ(durations_of({}).min_ns, 0u) << "no sample shows no minimum";
}

TEST(LinkStatistics, SortsFailedReadsByTheLibrarysErrorCode)
{
    struct Row {
        int error;
        PollFailure expected;
    } rows[] = {
        {ETIMEDOUT, PollFailure::timeout},     {EMBXILFUN, PollFailure::exception},
        {EMBXGTAR, PollFailure::exception},    {EMBBADDATA, PollFailure::bad_reply},
        {EMBBADCRC, PollFailure::bad_reply},   {EMBBADSLAVE, PollFailure::bad_reply},
        {EMBBADEXC, PollFailure::bad_reply},   {EMBUNKEXC, PollFailure::bad_reply},
        {EMBMDATA, PollFailure::other},        {ECONNRESET, PollFailure::other},
        {MODBUS_ENOBASE, PollFailure::other},
    };
    for (const Row& row : rows)
        EXPECT_EQ(classify_poll_failure(row.error), row.expected) << row.error;

    LinkStatistics recorded;
    record_failed_poll(recorded, EMBXSBUSY);
    record_failed_poll(recorded, EMBBADDATA);
    StatisticsSnapshot stats = take_snapshot(recorded);
    EXPECT_EQ(stats.exceptions[MODBUS_EXCEPTION_SLAVE_OR_SERVER_BUSY], 1u);
    EXPECT_EQ(exception_total(stats), 1u);
    EXPECT_EQ(stats.bad_replies, 1u);
}

TEST(LinkStatistics, SummaryAndReportTexts)
{
    StatisticsSnapshot stats;
    stats.polls = 1234;
    stats.good = 1229;
    stats.timeouts = 3;
    stats.exceptions[2] = 1;
    stats.other_failures = 1;
    stats.connect_failures = 1;
    EXPECT_EQ(statistics_summary(stats),
              "Polls 1234 \u00B7 Good 1229 \u00B7 Time-outs 3 \u00B7 Exceptions 1 \u00B7 Other failures 1");
    stats.transaction = durations_of({2900us});
    std::string summary = statistics_summary(stats);
    EXPECT_EQ(summary.substr(summary.find(" \u00B7 Response")), " \u00B7 Response 2.9 ms (p99 2.9, max 2.9)");

    std::string report = statistics_report(stats);
    for (const char* line : {"Poll requests: 1234\n", "Exception responses: 1\n",
                             "  Exception 02 (Illegal data address): 1\n", "Connect failures: 1\n",
                             "Response time median: 2.9 ms\n", "Response time maximum: 2.9 ms\n",
                             "Connect time: none measured"})
        EXPECT_NE(report.find(line), std::string::npos) << line;
    EXPECT_NE(report.back(), '\n');
    EXPECT_EQ(format_ms(85e3), "0.085");
    EXPECT_EQ(format_ms(130.4e6), "130");
}

// Given a worker recording while the user-interface thread reads, expect no
// snapshot with more outcomes than requests or more good responses than
// timed ones (and, under ThreadSanitizer, no race).
TEST(LinkStatistics, SnapshotsWhileRecordingStayConsistent)
{
    LinkStatistics recorded;
    constexpr int polls = 20000;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < polls; ++i) {
            record_request_sent(recorded);
            if (i % 5 == 0)
                record_failed_poll(recorded, i % 10 == 0 ? ETIMEDOUT : EMBXILADD);
            else
                record_good(recorded, nanoseconds(20'000 + i));
        }
        done.store(true);
    });
    int inconsistent = 0;
    while (!done.load()) {
        StatisticsSnapshot s = take_snapshot(recorded);
        uint64_t timed = 0;
        for (uint32_t n : s.transaction.buckets)
            timed += n;
        if (s.polls < s.good + s.timeouts + exception_total(s) || s.transaction.count < s.good ||
            timed < s.transaction.count)
            ++inconsistent;
    }
    worker.join();
    EXPECT_EQ(inconsistent, 0);
    StatisticsSnapshot end = take_snapshot(recorded);
    EXPECT_EQ(end.polls, uint64_t(polls));
    EXPECT_EQ(end.good + end.timeouts + end.exceptions[2], uint64_t(polls));
    EXPECT_EQ(end.transaction.count, end.good);
}

}  // namespace
