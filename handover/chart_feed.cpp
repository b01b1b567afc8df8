#include "handover/chart_feed.hpp"

#include <algorithm>
#include <chrono>

namespace {

// Beyond this the user-interface thread has stalled for half a minute or
// more (125 registers polled every millisecond fill it in 30 s); newer polls
// are dropped and the chart marks the loss as a gap.
constexpr size_t max_pending_bytes = size_t(8) << 20;

}  // namespace

int64_t chart_clock_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void file_poll(ChartFeed& feed, const PollOutcome& outcome, uint32_t source)
{
    if (!feed.recording.load(std::memory_order_acquire))
        return;
    unsigned count = outcome.ok ? (outcome.count > max_values ? max_values : outcome.count) : 0;
    PolledBlock block{outcome.time_ms, outcome.poll.address, outcome.poll.fcode, outcome.poll.length,
                      uint8_t(count), outcome.ok, false, 0, outcome.key};
    std::lock_guard lock(feed.lock);
    // A new worker's first poll starts a new line; the run numbers of two
    // links are not comparable, so each source has its own.
    auto last = std::find_if(feed.last_runs.begin(), feed.last_runs.end(),
                             [source](const auto& entry) { return entry.first == source; });
    if (last == feed.last_runs.end())
        last = feed.last_runs.insert(last, {source, 0});
    block.new_link = outcome.run != last->second;
    last->second = outcome.run;
    size_t bytes = (feed.pending.blocks.size() + 1) * sizeof(PolledBlock) + (feed.pending.words.size() + count) * 2;
    if (bytes > max_pending_bytes) {
        ++feed.pending.dropped;
        return;
    }
    block.first_word = uint32_t(feed.pending.words.size());
    if (count)
        feed.pending.words.insert(feed.pending.words.end(), outcome.values, outcome.values + count);
    feed.pending.blocks.push_back(block);
}

void set_chart_recording(ChartFeed& feed, bool on)
{
    feed.recording.store(on, std::memory_order_release);
}

void take_polled_blocks(ChartFeed& feed, PolledBlocks& into)
{
    into.blocks.clear();
    into.words.clear();
    into.dropped = 0;
    std::lock_guard lock(feed.lock);
    std::swap(into, feed.pending);
}
