#include "chart/chart_recorder.hpp"

#include <atomic>
#include <chrono>
#include <mutex>

namespace {

// Beyond this the user-interface thread has stalled for half a minute or
// more (125 registers polled every millisecond fill it in 30 s); newer polls
// are dropped and the chart marks the loss as a gap.
constexpr size_t max_pending_bytes = size_t(8) << 20;

std::atomic<bool> recording{false};
std::mutex pending_lock;  // guards pending
PolledBlocks pending;

// Each worker is a thread of its own: its first record starts a new line.
thread_local bool worker_has_recorded = false;

void hand_over(PolledBlock block, const uint16_t* words)
{
    block.new_link = !worker_has_recorded;
    worker_has_recorded = true;
    std::lock_guard lock(pending_lock);
    size_t bytes = (pending.blocks.size() + 1) * sizeof(PolledBlock) + (pending.words.size() + block.count) * 2;
    if (bytes > max_pending_bytes) {
        ++pending.dropped;
        return;
    }
    block.first_word = uint32_t(pending.words.size());
    pending.words.insert(pending.words.end(), words, words + block.count);
    pending.blocks.push_back(block);
}

}  // namespace

int64_t chart_clock_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

ChartPoll::ChartPoll(const PollDefinition& poll)
    : poll_(poll), enabled_(recording.load(std::memory_order_acquire))
{
}

ChartPoll::~ChartPoll()
{
    if (!enabled_ || done_)
        return;
    PolledBlock block{chart_clock_ms(), poll_.address, poll_.fcode, poll_.length, 0, false, false, 0};
    hand_over(block, nullptr);
}

void ChartPoll::read(const uint16_t* values, unsigned count)
{
    if (!enabled_)
        return;
    done_ = true;
    uint8_t kept = uint8_t(count > max_values ? max_values : count);
    PolledBlock block{chart_clock_ms(), poll_.address, poll_.fcode, poll_.length, kept, true, false, 0};
    hand_over(block, values);
}

void set_chart_recording(bool on)
{
    recording.store(on, std::memory_order_release);
}

void take_polled_blocks(PolledBlocks& into)
{
    into.blocks.clear();
    into.words.clear();
    into.dropped = 0;
    std::lock_guard lock(pending_lock);
    std::swap(into, pending);
}
