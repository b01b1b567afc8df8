#pragma once
// The Scan Bus window's table of results, a facet of scan_window: its rows,
// and what the user does with them (Use, a double click, Export CSV; those
// are declared in scan_window.hpp).

#include <gtk/gtk.h>

#include "link/bus_scan.hpp"

struct ScanWindow;

// The column titles, the list and its buttons, Use off until a row is
// selected; also the file dialog and the alert the buttons open.
GtkWidget* build_results(ScanWindow& scan);
// Empties the table for a scan of scan.scanned.
void clear_results(ScanWindow& scan);
void add_result(ScanWindow& scan, const ScanRow& row);
