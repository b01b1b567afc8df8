#pragma once
// The text of a logged frame.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "link/link_reports.hpp"

// Writes the 3n - 1 characters of "HH HH ..." for n >= 1 bytes into out.
size_t render_frame_hex(const uint8_t* bytes, size_t count, char* out);

// The shown line: "HH:MM:SS", the mark and a space when there is one (the
// connection's, "[PLC]"), " TX: " or " RX: ", the text, LF. The time of
// day is UTC from seconds since the epoch. Returns the length, or 0 if the
// line does not fit into capacity bytes.
size_t format_log_line(char* out, size_t capacity, int64_t epoch_seconds, LogDirection direction,
                       const char* text, size_t length, std::string_view mark = {});
