#pragma once
// The register grid inside the main window's GtkGrid.

#include <cstdint>

#include "table/grid_layout.hpp"
#include "table/value_format.hpp"

struct MainWindow;

// Throws every cell away and lays the grid out for the current PollDefinition.
void build_grid(MainWindow& main);
// Renders the first count entries of values into their value cells.
void fill_value_cells(MainWindow& main, const uint16_t* values, unsigned count);
// Clears the text of every value cell, as when no value is known.
void empty_value_cells(MainWindow& main);
// Fills from LinkState's values and value_count (the posted refresh_values).
void fill_from_link_state(MainWindow& main);
// Flips the label column, rebuilds, refills, and rewrites the menu entry.
void toggle_label_column(MainWindow& main);
// The layout of the current PollDefinition and label column.
GridLayout current_grid_layout(const MainWindow& main);
// The format selected in the toolbar; UINT when there is no drop-down yet.
ValueFormat selected_format(const MainWindow& main);
