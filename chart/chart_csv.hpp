#pragma once
// The text of a chart export: the kept full-resolution samples of every
// series, one line per poll time, one column per series.

#include <cstdint>
#include <span>
#include <string>

#include "chart/sample_store.hpp"

struct CsvColumn {
    std::string name;  // header text
    const SeriesSamples* samples;
};

// "Time", then each name (quoted when it holds a comma, quote or line break),
// then per poll time: the time as ISO 8601 UTC with milliseconds and each
// series' value as sample_text gives it, empty where that series failed or
// was not polled then.
// Lines end with LF.
std::string samples_csv(std::span<const CsvColumn> columns);

// 2026-12-07T13:22:43.125Z
std::string iso_utc_ms(int64_t time_ms);

// The shortest text that reads back as the same number: 1234, -5, 0.25.
std::string number_text(double value);
// A sample as the grid shows what the device sent: number_text, or "NaN",
// "Inf", "-Inf"; empty for a failed poll.
std::string sample_text(double value);

// One CSV field: as it is, or quoted (quotes doubled) when it holds a
// comma, a quote or a line break.
std::string csv_field(const std::string& text);
