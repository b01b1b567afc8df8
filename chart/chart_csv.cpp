#include "chart/chart_csv.hpp"

#include <cmath>
#include <limits>
#include <vector>

namespace {

std::string header_line(std::span<const CsvColumn> columns)
{
    std::string line = "Time";
    for (const CsvColumn& column : columns)
        line += ',' + csv_field(column.name);
    return line + '\n';
}

// The earliest time not yet written among the series, or false when all are done.
bool next_time(std::span<const CsvColumn> columns, const std::vector<size_t>& next, int64_t& time)
{
    bool any = false;
    for (size_t i = 0; i < columns.size(); ++i) {
        const Ring<int64_t>& times = columns[i].samples->times;
        if (next[i] < times.size() && (!any || times[next[i]] < time)) {
            time = times[next[i]];
            any = true;
        }
    }
    return any;
}

}  // namespace

std::string sample_text(double value)
{
    if (std::isfinite(value))
        return number_text(value);
    if (std::isinf(value))
        return value > 0 ? "Inf" : "-Inf";
    return is_failed_poll(value) ? "" : "NaN";
}

std::string samples_csv(std::span<const CsvColumn> columns)
{
    std::string csv = header_line(columns);
    std::vector<size_t> next(columns.size(), 0);
    int64_t time = 0;
    while (next_time(columns, next, time)) {
        csv += iso_utc_ms(time);
        for (size_t i = 0; i < columns.size(); ++i) {
            csv += ',';
            const SeriesSamples& s = *columns[i].samples;
            // A series holds one sample per poll; two at one time (a clock
            // stepped back) go on lines of their own.
            if (next[i] < s.times.size() && s.times[next[i]] == time)
                csv += sample_text(s.values[next[i]++]);
        }
        csv += '\n';
    }
    return csv;
}
