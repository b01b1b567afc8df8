#pragma once
// The register grid of one poll definition: its cells in a GtkGrid, its
// cursor, and the definition it shows, which it takes from the set-up
// model and whose labels it changes through it.

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/link_state.hpp"
#include "preferences/preferences.hpp"
#include "setup/set_up.hpp"
#include "table/grid_layout.hpp"
#include "values/value_format.hpp"
#include "values/wide_value.hpp"

struct SetUpModel;
struct ShownValues;

// What every grid of the window works with (borrowed; it outlives the grids).
struct GridContext {
    SetUpModel* model = nullptr;
    ShownValues* shown = nullptr;  // the values the worker reported last
    // Opens the Write dialog on an address, with a value to offer when
    // none was written before.
    std::function<void(uint16_t address, uint16_t fallback)> open_write;
    // Opens the Edit Point dialog on an address of the shown tab.
    std::function<void(uint16_t address)> edit_point;
    // Points show their registers as read, their values in the tooltip.
    bool raw_values = false;
    // The user's, whose address notation the grids show; none: protocol addresses.
    const Preferences* preferences = nullptr;
};

struct RegisterGrid {
    GtkGrid* grid = nullptr;  // none until first shown
    DefinitionSetUp* definition = nullptr;  // what it shows
    const GridContext* context = nullptr;
    // The value cell of each grid item in address order, so a poll result
    // reaches its cells without searching the grid. Empty until built; the
    // values wait in ShownValues.
    std::vector<GtkLabel*> value_cells;
    bool built = false;
    bool labels_visible = true;
    uint8_t cursor_column = 1;
    uint8_t cursor_row = 0;
};

// Throws every cell away and lays the grid out for its definition's block.
void build_grid(RegisterGrid& table);
// Lays the grid out if it never was (a tab's grid waits until the tab is
// shown); its cells are empty until filled.
void build_grid_if_missing(RegisterGrid& table);
// Renders the first count entries of values into their value cells.
void fill_value_cells(RegisterGrid& table, const uint16_t* values, unsigned count);
// The tooltip a point's value cell shows when the pointer rests on it, or
// null for a cell without a point.
const char* value_cell_tooltip(GtkWidget* cell);
// What the tooltip of a value cell or of a column's header says: the
// protocol address where the grid shows another notation, then what a
// point's cell does not show; empty for neither.
std::string grid_cell_tooltip(GtkWidget* cell);
// Clears the text of every value cell, as when no value is known.
void empty_value_cells(RegisterGrid& table);
// Fills from the values the worker reported last for the grid's block.
void fill_from_shown_values(RegisterGrid& table);
// Flips the label column, rebuilds and refills.
void toggle_label_column(RegisterGrid& table);
// The notation the grid shows its addresses in.
AddressNotation grid_notation(const RegisterGrid& table);
// The layout of the definition's block and the label column.
GridLayout current_grid_layout(const RegisterGrid& table);
// The definition's format and word order, which the toolbar shows.
ValueFormat selected_format(const RegisterGrid& table);
WordOrder selected_order(const RegisterGrid& table);

// The first address of the value that holds address (a point's, or one
// in the tab's Format), or address itself where it is not polled.
uint32_t group_first_address(const RegisterGrid& table, uint32_t address);
