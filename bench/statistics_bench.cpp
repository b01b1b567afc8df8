// What keeping the link statistics costs the worker per poll cycle: the
// clock readings around the connect and the read, and the record calls of
// a good poll, a failed poll and a write. Reports nanoseconds per cycle and
// that cost as a share of the fastest poll period (1 ms), with a thread
// taking snapshots the way the statistics line does, only far more often.
//
//   build/bench/statistics_bench [cycles]   (default 2000000)
//
// Exit status 0 when a cycle's recording stays under its budget, 1 if not.

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "link/link_statistics.hpp"

namespace {

using Clock = std::chrono::steady_clock;

// A thousandth of the fastest poll period: far below the noise of a
// throughput measurement.
constexpr double budget_ns = 1000.0;

LinkStatistics stats;

void record_one_cycle(long i)
{
    auto opened = Clock::now();
    record_connect(stats, Clock::now() - opened);
    record_request_sent(stats);
    auto sent = Clock::now();
    if (i % 100 == 0)
        record_failed_poll(stats, ETIMEDOUT);
    else
        record_good(stats, Clock::now() - sent);
    if (i % 50 == 0)
        record_write(stats, false);
}

}  // namespace

int main(int argc, char** argv)
{
    long cycles = argc > 1 ? std::atol(argv[1]) : 2'000'000;
    if (cycles <= 0)
        return 2;
    std::atomic<bool> done{false};
    std::atomic<long> snapshots{0};
    std::thread reader([&] {
        while (!done.load(std::memory_order_relaxed)) {
            volatile uint64_t polls = take_snapshot(stats).polls;
            (void)polls;
            snapshots.fetch_add(1, std::memory_order_relaxed);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    auto bare_start = Clock::now();
    for (long i = 0; i < cycles; ++i) {
        auto a = Clock::now();
        auto b = Clock::now();
        auto c = Clock::now();
        auto d = Clock::now();
        std::atomic_signal_fence(std::memory_order_seq_cst);
        (void)(b - a + d - c);
    }
    double clocks_ns = std::chrono::duration<double, std::nano>(Clock::now() - bare_start).count() / cycles;

    auto start = Clock::now();
    for (long i = 0; i < cycles; ++i)
        record_one_cycle(i);
    double per_cycle_ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count() / cycles;
    done.store(true);
    reader.join();

    StatisticsSnapshot s = take_snapshot(stats);
    std::printf("cycles: %ld, snapshots taken meanwhile: %ld\n", cycles, snapshots.load());
    std::printf("recording per poll cycle: %.1f ns (of which the four clock readings %.1f ns)\n", per_cycle_ns,
                clocks_ns);
    std::printf("share of a 1 ms poll period: %.4f %%\n", per_cycle_ns / 1e6 * 100.0);
    std::printf("median of the recorded reads: %.0f ns, polls counted %llu\n", percentile_ns(s.transaction, 50),
                static_cast<unsigned long long>(s.polls));
    bool counted = s.polls == uint64_t(cycles);
    bool fast = per_cycle_ns < budget_ns;
    std::printf("target: under %.0f ns per cycle: %s; every poll counted: %s\n", budget_ns, fast ? "met" : "MISSED",
                counted ? "yes" : "NO");
    return fast && counted ? 0 : 1;
}
