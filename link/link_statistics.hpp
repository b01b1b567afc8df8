#pragma once
// Link statistics: what the worker sent, how it ended, and how fast the
// device answered. Each link has its own record; the poll cycle calls
// record_* at a few points, and only while it still speaks for the link.
//
// The worker is the only writer besides a reset from the user-interface
// thread. Recording costs a few atomic operations: no lock, no allocation.
// Publication: a record stores its data first (relaxed), then its counter
// with release, then bumps `version` with release. A reader loads
// `version` and the counters with acquire before their data, so a snapshot
// never shows more outcomes than requests or a duration count larger than
// its histogram. A record that straddles a reset may leave that one sample
// half counted.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

// Logarithmic buckets from 10 µs to 100 s, a fixed number per decade, plus
// one below and one above the range.
inline constexpr int histogram_buckets_per_decade = 20;
inline constexpr int histogram_decades = 7;
inline constexpr double histogram_floor_ns = 10'000.0;
inline constexpr int histogram_buckets = histogram_buckets_per_decade * histogram_decades + 2;

// Modbus exception codes are one byte.
inline constexpr int exception_codes = 256;

struct DurationStats {
    std::atomic<uint64_t> count{0};
    std::atomic<uint64_t> sum_ns{0};
    std::atomic<uint64_t> last_ns{0};
    std::atomic<uint64_t> min_ns{UINT64_MAX};
    std::atomic<uint64_t> max_ns{0};
    std::array<std::atomic<uint32_t>, histogram_buckets> buckets{};
};

struct LinkStatistics {
    std::atomic<uint64_t> polls{0};  // poll requests handed to the library
    std::atomic<uint64_t> good{0};
    std::atomic<uint64_t> timeouts{0};
    std::atomic<uint64_t> bad_replies{0};     // a reply that disagrees with its request
    std::atomic<uint64_t> stale_replies{0};   // a reply to an earlier request, passed over
    std::atomic<uint64_t> other_failures{0};  // connect failures included
    std::atomic<uint64_t> connect_failures{0};
    std::atomic<uint64_t> writes_sent{0};
    std::atomic<uint64_t> writes_failed{0};
    std::array<std::atomic<uint32_t>, exception_codes> exceptions{};  // by exception code
    DurationStats transaction;                                        // request sent to reply parsed
    DurationStats connect;                                            // connection opened
    std::atomic<uint64_t> version{0};  // bumped after every record and reset
    // Resets so far, bumped before the figures are zeroed: an outcome is
    // recorded only where no reset came since its request was counted.
    std::atomic<uint64_t> resets{0};
};

// Plain copies for the reader; all zero means nothing was recorded.
struct DurationSnapshot {
    uint64_t count = 0;
    uint64_t sum_ns = 0;
    uint64_t last_ns = 0;
    uint64_t min_ns = 0;  // 0 when count is 0
    uint64_t max_ns = 0;
    std::array<uint32_t, histogram_buckets> buckets{};
};

struct StatisticsSnapshot {
    uint64_t version = 0;
    uint64_t polls = 0;
    uint64_t good = 0;
    uint64_t timeouts = 0;
    uint64_t bad_replies = 0;
    uint64_t stale_replies = 0;
    uint64_t other_failures = 0;
    uint64_t connect_failures = 0;
    uint64_t writes_sent = 0;
    uint64_t writes_failed = 0;
    std::array<uint32_t, exception_codes> exceptions{};
    DurationSnapshot transaction;
    DurationSnapshot connect;
};

// Worker side.
void record_request_sent(LinkStatistics& stats);
void record_good(LinkStatistics& stats, std::chrono::nanoseconds transaction);
void record_timeout(LinkStatistics& stats);
void record_exception(LinkStatistics& stats, uint8_t code);
void record_bad_reply(LinkStatistics& stats);
void record_stale_reply(LinkStatistics& stats);
void record_other_failure(LinkStatistics& stats);
void record_connect(LinkStatistics& stats, std::chrono::nanoseconds duration);
void record_connect_failure(LinkStatistics& stats);  // also counts as another failure
void record_write(LinkStatistics& stats, bool failed);
// Sorts a failed poll read by its errno into one of the outcomes above.
void record_failed_poll(LinkStatistics& stats, int error);

enum class PollFailure : uint8_t { timeout, exception, bad_reply, other };
PollFailure classify_poll_failure(int error);

void record_duration(DurationStats& stats, std::chrono::nanoseconds duration);
// Zeroes every figure; any thread.
void reset_statistics(LinkStatistics& stats);
StatisticsSnapshot take_snapshot(const LinkStatistics& stats);
DurationSnapshot take_snapshot(const DurationStats& stats);

// The bucket a duration falls in, and the lower bound of a bucket.
int histogram_bucket(uint64_t ns);
double bucket_lower_ns(int bucket);

// The nearest-rank percentile (0 < percent <= 100) read from the buckets,
// placed within its bucket by rank and kept within the seen minimum and
// maximum; 0 when nothing was recorded.
double percentile_ns(const DurationSnapshot& stats, double percent);
double mean_ns(const DurationSnapshot& stats);
uint64_t exception_total(const StatisticsSnapshot& stats);
