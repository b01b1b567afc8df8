#pragma once
// The text of a chart export: the kept full-resolution samples of every
// series, one line per poll time, one column per series.

#include <cstdint>
#include <span>
#include <string>

#include "chart/sample_store.hpp"
#include "values/csv_text.hpp"

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

// A sample as the grid shows what the device sent: number_text, or "NaN",
// "Inf", "-Inf"; empty for a failed poll.
std::string sample_text(double value);

