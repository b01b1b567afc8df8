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

// "37 of 247 units, 2 found, 4 s, about 21 s left".
std::string progress_text(const ScanProgress& progress);

// A header line, then one line per row; the setting column only for a
// serial line. Fields with a comma, quote or line break are quoted.
std::string scan_csv(const std::vector<ScanRow>& rows, bool serial, uint8_t data_bits, uint8_t stop_bits);
