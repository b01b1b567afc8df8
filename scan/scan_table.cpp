#include "scan/scan_table.hpp"

#include <algorithm>
#include <cstdio>

#include "values/csv_text.hpp"

namespace {

// As the engine sweeps (link/bus_scan.cpp): a serial line has no unit id
// above 247.
constexpr uint8_t highest_serial_unit = 247;

// Whole seconds, rounded up: a wait of 0.2 s still shows as one.
long long seconds_of(std::chrono::milliseconds time)
{
    return (time.count() + 999) / 1000;
}

std::string setting_text(uint32_t baud, char parity, uint8_t data_bits, uint8_t stop_bits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u %u%c%u", unsigned(baud), unsigned(data_bits), parity, unsigned(stop_bits));
    return text;
}

}  // namespace

std::string serial_setting_text(const ScanRow& row, uint8_t data_bits, uint8_t stop_bits)
{
    return setting_text(row.baud, row.parity, data_bits, stop_bits);
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

ScanShape scan_shape(const ScanPlan& plan)
{
    ScanShape shape;
    shape.serial = !plan.settings.use_tcp;
    shape.data_bits = plan.settings.data_bits;
    shape.stop_bits = plan.settings.stop_bits;
    uint8_t last = shape.serial ? std::min(plan.last_unit, highest_serial_unit) : plan.last_unit;
    shape.units = plan.first_unit > last ? 0 : uint32_t(last - plan.first_unit + 1);
    return shape;
}

std::string unit_range_refusal(const ScanPlan& plan)
{
    char text[128];
    if (plan.first_unit > plan.last_unit)
        std::snprintf(text, sizeof text, "Cannot scan: the first unit id (%u) is above the last (%u)",
                      unsigned(plan.first_unit), unsigned(plan.last_unit));
    else if (scan_shape(plan).units == 0)
        std::snprintf(text, sizeof text, "Cannot scan: a serial line has no unit id above %u",
                      unsigned(highest_serial_unit));
    else
        return {};
    return text;
}

std::string progress_text(const ScanProgress& progress, const ScanShape& shape)
{
    std::string text = "Unit " + std::to_string(progress.position) + " of " + std::to_string(shape.units);
    if (shape.serial)
        text += " at " + setting_text(progress.baud, progress.parity, shape.data_bits, shape.stop_bits);
    if (progress.settings > 1)
        text += " · setting " + std::to_string(progress.setting) + " of " + std::to_string(progress.settings);
    char rest[96];
    std::snprintf(rest, sizeof rest, " · %u found, %lld s, about %lld s left", unsigned(progress.found),
                  seconds_of(progress.elapsed), seconds_of(progress.left));
    return text + rest;
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
