// Frames logged by the worker reach the Logger whole, in order, with the
// UTC time of day at which the user-interface thread took them.

#include <gtest/gtest.h>

#include <ctime>
#include <thread>

#include "support/app_link_fixture.hpp"
#include "logger/frame_text.hpp"

namespace {

using namespace app_test;

std::string utc_clock(std::time_t when)
{
    std::tm parts{};
    gmtime_r(&when, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &parts);
    return text;
}

class FramePosting : public AppLinkTest {};

TEST_F(FramePosting, LineCarriesTheUtcTimeWhateverTheZone)
{
    setenv("TZ", "Pacific/Kiritimati", 1);  // 14 hours ahead of UTC
    tzset();
    const uint8_t frame[] = {0x11, 0x05, 0x00, 0x10, 0xFF, 0x00};
    std::time_t before = std::time(nullptr);
    app_reports().frame_logged(frame, sizeof frame, LogDirection::rx);
    drain_main_loop();
    std::time_t after = std::time(nullptr);
    ASSERT_EQ(app().logger.history.count, 1u);
    const std::string& line = log_line_at(app().logger.history, 0).text;
    EXPECT_EQ(line.substr(8), " RX: 11 05 00 10 FF 00\n");
    std::string clock = line.substr(0, 8);
    EXPECT_TRUE(clock == utc_clock(before) || clock == utc_clock(after)) << clock;
    unsetenv("TZ");
    tzset();
}

TEST_F(FramePosting, EveryFrameFromTheWorkerArrivesInOrder)
{
    // Given 150 frames posted by another thread before the loop runs, expect
    // all of them: log lines are never merged or dropped.
    std::thread worker([] {
        for (unsigned i = 0; i < 150; ++i) {
            const uint8_t frame[] = {uint8_t(i), 0x03};
            app_reports().frame_logged(frame, sizeof frame, i % 2 ? LogDirection::rx : LogDirection::tx);
        }
    });
    worker.join();
    drain_main_loop();
    std::vector<std::string> frames = logged_frames();
    ASSERT_EQ(frames.size(), 150u);
    char expected[16];
    for (unsigned i = 0; i < 150; ++i) {
        std::snprintf(expected, sizeof expected, "%s: %02X 03", i % 2 ? "RX" : "TX", i);
        EXPECT_EQ(frames[i], expected);
    }
}

}  // namespace
