#pragma once
// The last 200 lines of the Logger, oldest first.

#include <array>
#include <cstddef>
#include <string>

#include "logger/frame_text.hpp"

inline constexpr unsigned log_history_size = 200;

struct LogHistoryLine {
    std::string text;  // a whole line including its line feed
    LogDirection direction = LogDirection::tx;
    uint32_t connection = 0;  // the set-up's serial of the connection it went over
};

struct LogHistory {
    std::array<LogHistoryLine, log_history_size> slots;
    unsigned start = 0;  // slot of the oldest line
    unsigned count = 0;
};

// Appends a line, dropping the oldest when full. False if memory ran out.
bool push_log_line(LogHistory& history, std::string_view text, LogDirection direction, uint32_t connection = 0);
// Line i counted from the oldest (0 <= i < count).
const LogHistoryLine& log_line_at(const LogHistory& history, unsigned i);
void clear_log_history(LogHistory& history);
