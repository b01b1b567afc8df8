#pragma once
// "Export CSV" and "Save Image" of the Chart window; the files are chosen
// through the dialog layer and written through the crash-safe replace.

#include <gtk/gtk.h>

struct ChartWindow;

void build_export_dialogs(ChartWindow& chart);
void append_export_buttons(ChartWindow& chart, GtkBox* bar);

// Write the samples or the picture to path; false, and an alert with the
// reason over the chart, when the file could not be written. A point's
// column names its unit ("Address 5 (Tank level) [°C]"), and its raw values
// follow in one of their own ("… raw") once a scale or an offset applied.
bool export_csv_file(ChartWindow& chart, const char* path);
// The picture has the plot's current size (640 by 400 while never shown).
bool save_image_file(ChartWindow& chart, const char* path);
