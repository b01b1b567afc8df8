#include <gtest/gtest.h>

#include <glib.h>

#include <cstring>
#include <ctime>
#include <string>

#include "logger/frame_text.hpp"
#include "logger/log_history.hpp"

// Given a local zone 14 hours ahead of UTC, expect the UTC time of day all the same.
TEST(LogLineLayout, ShowsUtcTimeOfDayWhateverTheLocalZone)
{
    g_setenv("TZ", "Pacific/Kiritimati", TRUE);
    tzset();
    const int64_t day = 19000LL * 86400;  // a day in 2022
    struct Row { int64_t epoch; LogDirection direction; const char* text; const char* line; };
    for (Row row : {Row{day + 9 * 3600 + 5 * 60 + 3, LogDirection::tx, "01 03 00 00 00 01", "09:05:03 TX: 01 03 00 00 00 01\n"},
                    Row{day + 1, LogDirection::rx, "01 03 02 12 34", "00:00:01 RX: 01 03 02 12 34\n"},
                    Row{day + 86399, LogDirection::rx, "FF", "23:59:59 RX: FF\n"}}) {
        char out[64];
        size_t length = format_log_line(out, sizeof out, row.epoch, row.direction, row.text, std::strlen(row.text));
        EXPECT_EQ(std::string(out, length), row.line);
    }
    char small[16];
    EXPECT_EQ(format_log_line(small, sizeof small, day, LogDirection::tx, "01 03", 5), 0u)
        << "a line that does not fit is refused, not cut";
}

TEST(LogHistoryRing, The201stLinePushesOutTheFirstAndClearStartsAfresh)
{
    LogHistory history;
    for (int i = 1; i <= 201; ++i)
        ASSERT_TRUE(push_log_line(history, std::to_string(i), i % 2 ? LogDirection::tx : LogDirection::rx));
    ASSERT_EQ(history.count, 200u);
    EXPECT_EQ(log_line_at(history, 0).text, "2");
    EXPECT_EQ(log_line_at(history, 199).text, "201");

    clear_log_history(history);
    EXPECT_EQ(history.count, 0u);
    ASSERT_TRUE(push_log_line(history, "again", LogDirection::rx));
    EXPECT_EQ(log_line_at(history, 0).text, "again");
}
