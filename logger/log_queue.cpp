#include "logger/log_queue.hpp"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace {

// Room kept for the lines of one cycle: a write and a poll, each a request
// and a response, of at most 260 bytes (780 characters) each.
constexpr size_t cycle_lines = 4;
constexpr size_t cycle_bytes = cycle_lines * 780;

struct LogQueue {
    std::mutex lock;
    std::condition_variable drained;  // signalled whenever the UI took the queue
    LogBatch batch;
    std::atomic<size_t> bound{default_log_queue_bound};
    std::atomic<size_t> peak{0};
};

LogQueue& queue()
{
    // Never destroyed: a detached thread may still wait on it at exit.
    static LogQueue& instance = *new LogQueue;
    return instance;
}

}  // namespace

void queue_log_frame(const uint8_t* bytes, size_t count, LogDirection direction, uint32_t connection)
{
    // Never waits: the worker may hold a lock that the user-interface thread
    // needs (a Disconnect cancelling it). The room for a cycle's lines was
    // made before the cycle, by wait_for_log_room.
    LogQueue& q = queue();
    size_t length = 3 * count - 1;
    std::lock_guard hold(q.lock);
    size_t offset = q.batch.text.size();
    q.batch.text.resize(offset + length);
    render_frame_hex(bytes, count, q.batch.text.data() + offset);
    q.batch.lines.push_back(LogLine{uint32_t(offset), uint32_t(length), direction, connection});
    if (q.batch.lines.size() > q.peak.load(std::memory_order_relaxed))
        q.peak.store(q.batch.lines.size(), std::memory_order_relaxed);
}

void wait_for_log_room()
{
    LogQueue& q = queue();
    std::unique_lock hold(q.lock);
    q.drained.wait(hold, [&] {
        return q.batch.lines.size() + cycle_lines <= q.bound.load(std::memory_order_relaxed) &&
               q.batch.text.size() + cycle_bytes <= log_queue_bytes;
    });
}

void take_log_batch(LogBatch& batch)
{
    LogQueue& q = queue();
    batch.text.clear();
    batch.lines.clear();
    {
        std::lock_guard hold(q.lock);
        std::swap(q.batch.text, batch.text);
        std::swap(q.batch.lines, batch.lines);
    }
    q.drained.notify_all();
}

void set_log_queue_bound(size_t lines)
{
    LogQueue& q = queue();
    {
        std::lock_guard hold(q.lock);
        q.bound.store(lines < 2 * cycle_lines ? 2 * cycle_lines : lines, std::memory_order_relaxed);
        q.peak.store(0, std::memory_order_relaxed);
    }
    q.drained.notify_all();
}

size_t log_queue_bound()
{
    return queue().bound.load(std::memory_order_relaxed);
}

size_t log_queue_peak()
{
    return queue().peak.load(std::memory_order_relaxed);
}
