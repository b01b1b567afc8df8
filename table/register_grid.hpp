#pragma once
// The register grid inside the main window's GtkGrid.

#include <cstdint>

#include "link/link_state.hpp"

#include "table/grid_layout.hpp"
#include "values/value_format.hpp"
#include "values/wide_value.hpp"

struct MainWindow;

// Throws every cell away and lays the grid out for main.tab->definition->poll.
void build_grid(MainWindow& main);
// Lays main.tab's grid out if it never was (a tab's grid waits until the
// tab is shown); its cells are empty until filled.
void build_grid_if_missing(MainWindow& main);
// Renders the first count entries of values into their value cells.
void fill_value_cells(MainWindow& main, const uint16_t* values, unsigned count);
// Clears the text of every value cell, as when no value is known.
void empty_value_cells(MainWindow& main);
// Fills from the values the worker reported last for the grid's block.
void fill_from_shown_values(MainWindow& main);
// Flips the label column, rebuilds and refills.
void toggle_label_column(MainWindow& main);
// The layout of main.tab->definition->poll and the label column.
GridLayout current_grid_layout(const MainWindow& main);
// The shown tab's format and word order, which the toolbar shows.
ValueFormat selected_format(const MainWindow& main);
WordOrder selected_order(const MainWindow& main);

// Registers per shown value: the selected format's width while registers
// are polled, 1 for coils and discrete inputs.
unsigned shown_value_width(const MainWindow& main);
// The first address of the group of registers that holds address, or
// address itself where values are not grouped or address is not polled.
uint32_t group_first_address(const MainWindow& main, uint32_t address);
