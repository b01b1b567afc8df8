#include "scan/scan_table.hpp"

#include <cstdio>

#include "chart/chart_csv.hpp"

namespace {

// Whole seconds, rounded up: a wait of 0.2 s still shows as one.
long long seconds_of(std::chrono::milliseconds time)
{
    return (time.count() + 999) / 1000;
}

}  // namespace

std::string serial_setting_text(const ScanRow& row, uint8_t data_bits, uint8_t stop_bits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u %u%c%u", unsigned(row.baud), unsigned(data_bits), row.parity,
                  unsigned(stop_bits));
    return text;
}

std::string response_text(const ScanRow& row)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", row.response_ms);
    return text;
}

std::string answer_text(const ScanRow& row)
{
    char text[64];
    switch (row.answer) {
    case ScanAnswer::reply:
        return row.identification;
    case ScanAnswer::exception:
        std::snprintf(text, sizeof text, "Exception %02X", unsigned(row.exception));
        return row.identification.empty() ? text : std::string(text) + ", " + row.identification;
    case ScanAnswer::gateway:
        std::snprintf(text, sizeof text, "Gateway exception %02X: no device answered", unsigned(row.exception));
        return text;
    }
    return {};
}

std::string progress_text(const ScanProgress& progress)
{
    char text[128];
    std::snprintf(text, sizeof text, "%u of %u units, %u found, %lld s, about %lld s left", unsigned(progress.done),
                  unsigned(progress.total), unsigned(progress.found), seconds_of(progress.elapsed),
                  seconds_of(progress.left));
    return text;
}

std::string scan_csv(const std::vector<ScanRow>& rows, bool serial, uint8_t data_bits, uint8_t stop_bits)
{
    std::string csv = serial ? "unit,setting,response_ms,answer\n" : "unit,response_ms,answer\n";
    char number[32];
    for (const ScanRow& row : rows) {
        csv += std::to_string(row.unit) + ",";
        if (serial)
            csv += serial_setting_text(row, data_bits, stop_bits) + ",";
        std::snprintf(number, sizeof number, "%.1f", row.response_ms);
        csv += std::string(number) + "," + csv_field(answer_text(row)) + "\n";
    }
    return csv;
}
