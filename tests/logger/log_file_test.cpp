#include <gtest/gtest.h>

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "logger/frame_text.hpp"
#include "logger/log_file.hpp"
#include "logger/log_history.hpp"
#include "temp_files.hpp"

namespace {

std::string formatted(int64_t epoch, LogDirection direction, const char* text)
{
    char out[64];
    size_t length = format_log_line(out, sizeof out, epoch, direction, text, std::strlen(text));
    return std::string(out, length);
}

}  // namespace

// Given a local zone 14 hours ahead of UTC, expect the UTC time of day all the same.
TEST(LogLineLayout, ShowsUtcTimeOfDayWhateverTheLocalZone)
{
    g_setenv("TZ", "Pacific/Kiritimati", TRUE);
    tzset();
    const int64_t day = 19000LL * 86400;  // a day in 2022
    EXPECT_EQ(formatted(day + 9 * 3600 + 5 * 60 + 3, LogDirection::tx, "01 03 00 00 00 01"),
              "09:05:03 TX: 01 03 00 00 00 01\n");
    EXPECT_EQ(formatted(day + 1, LogDirection::rx, "01 03 02 12 34"), "00:00:01 RX: 01 03 02 12 34\n");
    EXPECT_EQ(formatted(day + 86399, LogDirection::rx, "FF"), "23:59:59 RX: FF\n");

    char small[16];
    EXPECT_EQ(format_log_line(small, sizeof small, day, LogDirection::tx, "01 03", 5), 0u)
        << "a line that does not fit is refused, not cut";
}

TEST(LogHistoryRing, The201stLinePushesOutTheFirst)
{
    LogHistory history;
    for (int i = 1; i <= 201; ++i)
        ASSERT_TRUE(push_log_line(history, "line " + std::to_string(i) + "\n",
                                  i % 2 ? LogDirection::tx : LogDirection::rx));
    ASSERT_EQ(history.count, 200u);
    EXPECT_EQ(log_line_at(history, 0).text, "line 2\n");
    EXPECT_EQ(log_line_at(history, 199).text, "line 201\n");
    EXPECT_EQ(log_line_at(history, 199).direction, LogDirection::tx);

    clear_log_history(history);
    EXPECT_EQ(history.count, 0u);
    ASSERT_TRUE(push_log_line(history, "again\n", LogDirection::rx));
    EXPECT_EQ(log_line_at(history, 0).text, "again\n");
}

TEST(LogFile, CreatesMissingFileAndEmptiesExistingOne)
{
    TempFolder folder;
    std::string path = folder.file("Brenvaldor.log");
    LogRecording recording;
    ASSERT_TRUE(open_log_file(recording, path.c_str()));
    EXPECT_TRUE(log_recording_active(recording));
    ASSERT_TRUE(write_log_file(recording, "first\n", 6));
    close_log_file(recording);
    EXPECT_FALSE(log_recording_active(recording));
    EXPECT_EQ(contents_of(path), "first\n");

    ASSERT_TRUE(open_log_file(recording, path.c_str()));
    EXPECT_EQ(contents_of(path), "") << "a new recording never appends to old content";
    ASSERT_TRUE(write_log_file(recording, "second\n", 7));
    // Written lines are in the file before any sync or close.
    EXPECT_EQ(contents_of(path), "second\n");
    EXPECT_TRUE(sync_log_file(recording));
    close_log_file(recording);
}

TEST(LogFile, RefusesAPathInsideAMissingFolder)
{
    TempFolder folder;
    LogRecording recording;
    errno = 0;
    EXPECT_FALSE(open_log_file(recording, folder.file("missing/Brenvaldor.log").c_str()));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(log_recording_active(recording));
    EXPECT_FALSE(write_log_file(recording, "x\n", 2));
}

TEST(LogFile, WriteToAFullDeviceFailsAndLaterWritesAreStillTried)
{
    LogRecording recording;
    ASSERT_TRUE(open_log_file(recording, "/dev/full"));
    EXPECT_FALSE(write_log_file(recording, "line\n", 5));
    EXPECT_TRUE(log_recording_active(recording));
    EXPECT_FALSE(write_log_file(recording, "next\n", 5));
    close_log_file(recording);
}
