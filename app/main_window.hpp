#pragma once
// The main window's record of widget references and its construction.

#include <gtk/gtk.h>

#include <cstdint>

struct PollTabs;

struct MainWindow {
    // Widgets owned by the window (borrowed references).
    GtkApplicationWindow* window = nullptr;
    GtkLabel* status_line = nullptr;
    GtkButton* connect_button = nullptr;
    GtkLabel* connect_label = nullptr;
    GtkPaned* paned = nullptr;
    GtkMenuButton* menu_button = nullptr;
    GtkLabel* title = nullptr;  // the header bar's

    // References this record owns (released only at process end).
    GMenuItem* labels_item = nullptr;
    GMenu* menu = nullptr;
    GtkCssProvider* css = nullptr;

    int32_t labels_item_position = 0;
    bool disconnect_shown_offered = false;  // the menu holds Disconnect This Connection
};

// Builds the main window's widget tree (header bar, toolbar with the
// Format and Order of the tabs, status line, the tab view, paned with the
// Logger pane) and loads the stylesheet.
void build_main_window(MainWindow& main, GtkApplication* application, PollTabs& tabs, GtkWidget* logger_box);

// The stylesheet held in the program, for the display of the main window.
GtkCssProvider* load_stylesheet(GtkWidget* window);
