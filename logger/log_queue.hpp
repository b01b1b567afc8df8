#pragma once
// The log lines on their way from the worker to the user-interface thread.
//
// The worker renders each frame straight into the queue; the UI thread takes
// the whole queue at once, however many lines it holds. When the queue holds
// its bound, the worker waits for the drain instead of growing memory or
// dropping lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "logger/frame_text.hpp"

// One line of a batch: its frame text is text[offset, offset + length).
struct LogLine {
    uint32_t offset;
    uint32_t length;
    LogDirection direction;
    uint32_t connection;  // the set-up's serial of the connection it went over
};

// Lines in posting order; the texts of all lines share one buffer.
struct LogBatch {
    std::string text;
    std::vector<LogLine> lines;
};

// The queue holds at most this many lines and this much frame text (about
// 2,800 responses of 125 registers); either bound makes the worker wait.
inline constexpr size_t default_log_queue_bound = 20000;
inline constexpr size_t log_queue_bytes = size_t(2) << 20;

// Worker side: renders the frame into the queue; never waits. Every
// connection's worker queues here, each line marked with its connection.
void queue_log_frame(const uint8_t* bytes, size_t count, LogDirection direction, uint32_t connection = 0);

// Worker side, before a cycle and holding no lock: waits until the lines of
// a whole cycle (at most four frames) fit within the bounds, so the queue
// never holds more than its bounds.
void wait_for_log_room();

// UI side: moves every queued line into batch (emptied first) and wakes a
// waiting worker. batch's buffers are handed back to the queue for reuse.
void take_log_batch(LogBatch& batch);

// The most lines the queue may hold (at least 8), and the most it has held.
void set_log_queue_bound(size_t lines);
size_t log_queue_bound();
size_t log_queue_peak();
