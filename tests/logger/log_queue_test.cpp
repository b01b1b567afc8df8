// The hand-off of log lines between the worker and the user-interface
// thread, without a display: a producer faster than its consumer.

#include <gtest/gtest.h>

#include <thread>

#include "logger/log_queue.hpp"

// Given a bound of 64 lines and a consumer that takes batches of any size,
// expect every line once, in order and whole, and the queue never above 64.
TEST(LogQueue, HandsEveryLineOverInOrderWithinItsBound)
{
    constexpr unsigned total = 20000;
    set_log_queue_bound(64);
    std::thread worker([] {
        for (unsigned n = 0; n < total; ++n) {
            if (n % 2 == 0)
                wait_for_log_room();  // as the worker does before a cycle of a request and a response
            const uint8_t frame[] = {uint8_t(n >> 8), uint8_t(n), 0xA5};
            queue_log_frame(frame, sizeof frame, n % 2 ? LogDirection::rx : LogDirection::tx);
        }
    });
    LogBatch batch;
    unsigned received = 0, batches = 0;
    while (received < total) {
        take_log_batch(batch);
        batches += !batch.lines.empty();
        for (const LogLine& line : batch.lines) {
            char expected[16];
            std::snprintf(expected, sizeof expected, "%02X %02X A5", (received >> 8) & 0xFF, received & 0xFF);
            ASSERT_EQ(std::string(batch.text, line.offset, line.length), expected) << received;
            ASSERT_EQ(line.direction, received % 2 ? LogDirection::rx : LogDirection::tx) << received;
            ++received;
        }
    }
    worker.join();
    take_log_batch(batch);
    EXPECT_TRUE(batch.lines.empty());
    EXPECT_LE(log_queue_peak(), 64u);
    EXPECT_LT(batches, total) << "lines travel in batches";
}
