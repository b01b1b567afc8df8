#pragma once
// The main window's record of widget references and its construction.

#include <gtk/gtk.h>

#include <cstdint>
#include <vector>

#include "app/dialog_layer.hpp"
#include "app/statistics_view.hpp"
#include "link/link_state.hpp"
#include "table/label_store.hpp"

struct ShownValues;
struct WriteDialog;

struct MainWindow {
    // Widgets owned by the window (borrowed references).
    GtkGrid* grid = nullptr;
    GtkApplicationWindow* window = nullptr;
    GtkLabel* status_line = nullptr;
    GtkDropDown* format_selector = nullptr;
    GtkDropDown* order_selector = nullptr;  // word order of 32/64-bit values
    GtkButton* connect_button = nullptr;
    GtkLabel* connect_label = nullptr;
    GtkScrolledWindow* grid_scroller = nullptr;
    GtkPaned* paned = nullptr;
    GtkMenuButton* menu_button = nullptr;
    StatisticsView statistics;  // the line under the grid

    // Records of the link and of other windows (borrowed; they outlive the window).
    LinkState* link = nullptr;
    ShownValues* shown = nullptr;  // the values the worker reported last
    WriteDialog* write_dialog = nullptr;

    // References this record owns (released only at process end).
    FileDialog* file_dialog = nullptr;  // the one configuration file dialog
    GMenuItem* labels_item = nullptr;
    GMenu* menu = nullptr;
    GtkCssProvider* css = nullptr;

    // Plain state.
    PollDefinition poll;  // what the grid shows, and the link polls
    int32_t labels_item_position = 0;
    bool labels_visible = true;
    LabelStore labels;  // the user's labels, by address

    // Maintained by build_grid: the value cell of each grid item in address
    // order, so a poll result reaches its cells without searching the grid.
    std::vector<GtkLabel*> value_cells;
    uint8_t cursor_column = 1;
    uint8_t cursor_row = 0;
};

// Builds the main window's widget tree (header bar, toolbar, status line,
// grid area, paned with the Logger pane) and loads the stylesheet.
void build_main_window(MainWindow& main, GtkApplication* application, GtkWidget* logger_box);

// The stylesheet held in the program, for the display of the main window.
GtkCssProvider* load_stylesheet(GtkWidget* window);
