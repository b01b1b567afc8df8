#pragma once
// The content grid every settings dialog of the program shares: rows and
// columns 8 pixels apart, 12 pixels from the window's edges.

#include <gtk/gtk.h>

GtkGrid* make_dialog_grid();

// A line under a dialog's fields that says why they are refused: wrapped,
// in the error style, hidden until it has something to say.
GtkLabel* make_refusal_label();

// A right-aligned caption in column 0 of row and widget beside it over
// width columns; the caption names the widget for assistive technologies.
void add_dialog_row(GtkGrid* grid, int row, const char* caption, GtkWidget* widget, int width = 1);
