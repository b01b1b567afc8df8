#pragma once
// The pieces of a CSV file that any view may write: a field quoted where it
// must be, a number in its shortest exact text, and a time in ISO 8601.
// Pure: no GTK.

#include <cstdint>
#include <string>

// One CSV field: as it is, or quoted (quotes doubled) when it holds a
// comma, a quote or a line break.
std::string csv_field(const std::string& text);

// The shortest text that reads back as the same number: 1234, -5, 0.25.
std::string number_text(double value);

// 2026-12-07T13:22:43.125Z
std::string iso_utc_ms(int64_t time_ms);
