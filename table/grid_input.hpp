#pragma once
// Cursor, keys, clicks, label editing and the clipboard of the register grid.

#include <gtk/gtk.h>

#include <cstdint>

struct RegisterGrid;

// The handlers of the grid and its cells; a handler called directly may be
// given the record, else it finds it on the grid.
gboolean on_grid_key(GtkEventControllerKey* controller, guint keyval, guint keycode,
                     GdkModifierType state, gpointer table);
void on_grid_click(GtkGestureClick* gesture, int n_press, double x, double y, gpointer table);
void on_value_right_click(GtkGestureClick* gesture, int n_press, double x, double y, gpointer table);
// The "Copy Value" alert for a value cell (or its group), as a right click offers it.
void offer_copy_value(RegisterGrid& table, GtkWidget* value_cell);
void on_label_activate(GtkText* cell, gpointer table);
void on_label_focus_change(GObject* cell, GParamSpec* pspec, gpointer table);

// The grid's handlers find their record on its GtkGrid: set when the grid
// is made, and taken away when its tab goes, before its widgets do.
void attach_grid_record(RegisterGrid& table);
void detach_grid_record(RegisterGrid& table);
// The record of the grid that holds widget (the grid or one of its cells),
// or null once its tab is gone.
RegisterGrid* grid_record_of(GtkWidget* widget);
// Connects a new label cell's commits, and the watch that tells a typed
// text from one merely shown, after its first text is set.
void watch_label_cell(GtkText* cell);
// Commits a label being edited, if any, while the grid still stands for
// the current definition: before the definition or the labels are
// replaced, and before the cells are thrown away.
void commit_label_edit(RegisterGrid& table);

// The address of the cursor cell (cursor_row and cursor_column at least 1);
// above 65535 for cells past the top of the address range.
uint32_t cursor_address(const RegisterGrid& table);
