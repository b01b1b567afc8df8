#pragma once
// The content grid every settings dialog of the program shares: rows and
// columns 8 pixels apart, 12 pixels from the window's edges.

#include <gtk/gtk.h>

GtkGrid* make_dialog_grid();
