#pragma once
// The Scan Bus window's texts, free of GTK: each column of a result row,
// the progress line, and the CSV file of the results.

#include <string>
#include <vector>

#include "link/bus_scan.hpp"

// "9600 8E1": the rate and character format a row was found at.
std::string serial_setting_text(const ScanRow& row, uint8_t data_bits, uint8_t stop_bits);
// "12.3 ms".
std::string response_text(const ScanRow& row);
// The identification, or the exception a unit answered with (a gateway's
// word that no device answered says so).
std::string answer_text(const ScanRow& row);

// What a scan sweeps, as the progress line counts it.
struct ScanShape {
    uint32_t units = 0;     // ids asked at each setting
    bool serial = false;
    uint8_t data_bits = 8;
    uint8_t stop_bits = 1;
};
// The shape of the sweep the engine makes of plan.
ScanShape scan_shape(const ScanPlan& plan);
// Why plan's unit range holds no id to ask, or empty when it holds some.
std::string unit_range_refusal(const ScanPlan& plan);

// The probe last made: "Unit 2 of 3 at 9600 8E1 · setting 4 of 9 · 1 found,
// 4 s, about 21 s left"; a serial line names its setting, a sweep of more
// than one counts them.
std::string progress_text(const ScanProgress& progress, const ScanShape& shape);

// A header line, then one line per row; the setting column only for a
// serial line. Fields with a comma, quote or line break are quoted.
std::string scan_csv(const std::vector<ScanRow>& rows, bool serial, uint8_t data_bits, uint8_t stop_bits);
