#include "link/link_statistics.hpp"

#include <modbus.h>

#include <cerrno>
#include <cmath>

namespace {

constexpr auto relaxed = std::memory_order_relaxed;
constexpr auto release = std::memory_order_release;
constexpr auto acquire = std::memory_order_acquire;
constexpr int last_bucket = histogram_buckets - 1;

void count(LinkStatistics& s, std::atomic<uint64_t>& counter)
{
    counter.fetch_add(1, release);
    s.version.fetch_add(1, release);
}

// Only the worker writes, but a reset may run at the same time: a
// compare-exchange never puts back a value the reset has just cleared.
void keep_lower(std::atomic<uint64_t>& field, uint64_t value)
{
    uint64_t seen = field.load(relaxed);
    while (value < seen && !field.compare_exchange_weak(seen, value, relaxed)) {
    }
}

void keep_higher(std::atomic<uint64_t>& field, uint64_t value)
{
    uint64_t seen = field.load(relaxed);
    while (value > seen && !field.compare_exchange_weak(seen, value, relaxed)) {
    }
}

void reset_duration(DurationStats& stats)
{
    stats.count.store(0, relaxed);
    for (auto& bucket : stats.buckets)
        bucket.store(0, relaxed);
    stats.sum_ns.store(0, relaxed);
    stats.last_ns.store(0, relaxed);
    stats.min_ns.store(UINT64_MAX, relaxed);
    stats.max_ns.store(0, relaxed);
}

}  // namespace

int histogram_bucket(uint64_t ns)
{
    if (double(ns) < histogram_floor_ns)
        return 0;
    int step = int(std::floor(std::log10(double(ns) / histogram_floor_ns) * histogram_buckets_per_decade));
    return step + 1 > last_bucket ? last_bucket : step + 1;
}

double bucket_lower_ns(int bucket)
{
    if (bucket <= 0)
        return 0.0;
    return histogram_floor_ns * std::pow(10.0, double(bucket - 1) / histogram_buckets_per_decade);
}

void record_duration(DurationStats& stats, std::chrono::nanoseconds duration)
{
    uint64_t ns = duration.count() > 0 ? uint64_t(duration.count()) : 0;
    stats.buckets[histogram_bucket(ns)].fetch_add(1, relaxed);
    stats.sum_ns.fetch_add(ns, relaxed);
    stats.last_ns.store(ns, relaxed);
    keep_lower(stats.min_ns, ns);
    keep_higher(stats.max_ns, ns);
    stats.count.fetch_add(1, release);
}

void record_request_sent(LinkStatistics& s)
{
    count(s, s.polls);
}

void record_good(LinkStatistics& s, std::chrono::nanoseconds transaction)
{
    record_duration(s.transaction, transaction);
    count(s, s.good);
}

void record_timeout(LinkStatistics& s)
{
    count(s, s.timeouts);
}

void record_exception(LinkStatistics& s, uint8_t code)
{
    s.exceptions[code].fetch_add(1, release);
    s.version.fetch_add(1, release);
}

void record_bad_reply(LinkStatistics& s)
{
    count(s, s.bad_replies);
}

void record_stale_reply(LinkStatistics& s)
{
    count(s, s.stale_replies);
}

void record_other_failure(LinkStatistics& s)
{
    count(s, s.other_failures);
}

void record_connect(LinkStatistics& s, std::chrono::nanoseconds duration)
{
    record_duration(s.connect, duration);
    s.version.fetch_add(1, release);
}

void record_connect_failure(LinkStatistics& s)
{
    // Both with release, the total first: a reader that loads the part
    // first never sees it larger than the total.
    s.other_failures.fetch_add(1, release);
    count(s, s.connect_failures);
}

void record_write(LinkStatistics& s, bool failed)
{
    s.writes_sent.fetch_add(1, release);
    if (failed)
        s.writes_failed.fetch_add(1, release);
    s.version.fetch_add(1, release);
}

PollFailure classify_poll_failure(int error)
{
    if (error == ETIMEDOUT)
        return PollFailure::timeout;
    if (error > MODBUS_ENOBASE && error < MODBUS_ENOBASE + MODBUS_EXCEPTION_MAX)
        return PollFailure::exception;
    // What the library says of a reply that does not fit its request.
    switch (error) {
    case EMBBADCRC:
    case EMBBADDATA:
    case EMBBADEXC:
    case EMBUNKEXC:
    case EMBBADSLAVE:
        return PollFailure::bad_reply;
    default:
        return PollFailure::other;
    }
}

void record_failed_poll(LinkStatistics& s, int error)
{
    switch (classify_poll_failure(error)) {
    case PollFailure::timeout:
        return record_timeout(s);
    case PollFailure::exception:
        return record_exception(s, uint8_t(error - MODBUS_ENOBASE));
    case PollFailure::bad_reply:
        return record_bad_reply(s);
    case PollFailure::other:
        return record_other_failure(s);
    }
}

void reset_statistics(LinkStatistics& stats)
{
    // A snapshot taken during a reset may mix old and zero figures; the
    // version bumped last makes the view read them again.
    stats.resets.fetch_add(1, std::memory_order_acq_rel);
    for (auto& code : stats.exceptions)
        code.store(0, release);
    for (auto* counter : {&stats.good, &stats.timeouts, &stats.bad_replies, &stats.stale_replies, &stats.connect_failures,
                          &stats.other_failures, &stats.writes_failed, &stats.writes_sent, &stats.polls})
        counter->store(0, release);
    reset_duration(stats.transaction);
    reset_duration(stats.connect);
    stats.version.fetch_add(1, release);
}

DurationSnapshot take_snapshot(const DurationStats& stats)
{
    DurationSnapshot copy;
    copy.count = stats.count.load(acquire);
    copy.sum_ns = stats.sum_ns.load(relaxed);
    copy.last_ns = stats.last_ns.load(relaxed);
    copy.min_ns = copy.count ? stats.min_ns.load(relaxed) : 0;
    copy.max_ns = stats.max_ns.load(relaxed);
    for (int i = 0; i < histogram_buckets; ++i)
        copy.buckets[i] = stats.buckets[i].load(relaxed);
    if (copy.min_ns == UINT64_MAX)  // a reset came between the loads
        copy.min_ns = 0;
    return copy;
}

StatisticsSnapshot take_snapshot(const LinkStatistics& stats)
{
    StatisticsSnapshot copy;
    copy.version = stats.version.load(acquire);
    // Outcomes before requests: every outcome seen had its request counted.
    copy.good = stats.good.load(acquire);
    copy.timeouts = stats.timeouts.load(acquire);
    copy.bad_replies = stats.bad_replies.load(acquire);
    copy.stale_replies = stats.stale_replies.load(acquire);
    copy.connect_failures = stats.connect_failures.load(acquire);
    copy.other_failures = stats.other_failures.load(acquire);
    for (int i = 0; i < exception_codes; ++i)
        copy.exceptions[i] = stats.exceptions[i].load(acquire);
    copy.writes_failed = stats.writes_failed.load(acquire);
    copy.writes_sent = stats.writes_sent.load(acquire);
    copy.polls = stats.polls.load(acquire);
    copy.transaction = take_snapshot(stats.transaction);
    copy.connect = take_snapshot(stats.connect);
    return copy;
}

double percentile_ns(const DurationSnapshot& stats, double percent)
{
    uint64_t total = 0;
    for (uint32_t n : stats.buckets)
        total += n;
    if (total == 0)
        return 0.0;
    double rank = std::ceil(percent / 100.0 * double(total));
    rank = rank < 1.0 ? 1.0 : rank;
    uint64_t below = 0;
    int bucket = 0;
    while (bucket < last_bucket && double(below + stats.buckets[bucket]) < rank)
        below += stats.buckets[bucket++];
    // Within the bucket the samples are taken as spread evenly on the
    // logarithmic scale, each at the middle of its share.
    double share = (rank - double(below) - 0.5) / double(stats.buckets[bucket] ? stats.buckets[bucket] : 1);
    double lower = bucket_lower_ns(bucket);
    double upper = bucket_lower_ns(bucket + 1);
    double value = bucket == 0 ? upper * share
                   : bucket == last_bucket ? lower
                                           : lower * std::pow(upper / lower, share);
    if (value < double(stats.min_ns))
        value = double(stats.min_ns);
    if (stats.max_ns && value > double(stats.max_ns))
        value = double(stats.max_ns);
    return value;
}

double mean_ns(const DurationSnapshot& stats)
{
    return stats.count ? double(stats.sum_ns) / double(stats.count) : 0.0;
}

uint64_t exception_total(const StatisticsSnapshot& stats)
{
    uint64_t total = 0;
    for (uint32_t n : stats.exceptions)
        total += n;
    return total;
}
