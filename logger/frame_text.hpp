#pragma once
// The text of a logged frame and its trip from the worker to the Logger.

#include <cstddef>
#include <cstdint>

enum class LogDirection { tx, rx };

// One rendered frame on its way to append_log_line, which frees it with
// free_log_line. text is not terminated.
struct LogLine {
    char* text;
    size_t length;
    LogDirection direction;
};

// Writes the 3n - 1 characters of "HH HH ..." for n >= 1 bytes into out.
size_t render_frame_hex(const uint8_t* bytes, size_t count, char* out);

// Renders the bytes on the calling thread and posts the line to the UI thread.
void log_frame(const uint8_t* bytes, size_t count, LogDirection direction);

void free_log_line(LogLine* line);

// The shown line: "HH:MM:SS", " TX: " or " RX: ", the text, LF. The time of
// day is UTC from seconds since the epoch. Returns the length, or 0 if the
// line does not fit into capacity bytes.
size_t format_log_line(char* out, size_t capacity, int64_t epoch_seconds,
                       LogDirection direction, const char* text, size_t length);
