#pragma once
// The main window's record of widget references and its construction.

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "widgets/dialog_layer.hpp"
#include "link/link_state.hpp"
#include "setup/set_up_model.hpp"
#include "tabs/poll_tab.hpp"

struct ChartWindow;
struct ConnectionDialog;
struct ShownValues;
struct UiReports;

struct MainWindow {
    // Widgets owned by the window (borrowed references).
    GtkApplicationWindow* window = nullptr;
    GtkNotebook* notebook = nullptr;  // one page per poll definition
    GtkLabel* status_line = nullptr;
    GtkDropDown* format_selector = nullptr;
    GtkDropDown* order_selector = nullptr;  // word order of 32/64-bit values
    GtkButton* connect_button = nullptr;
    GtkLabel* connect_label = nullptr;
    GtkPaned* paned = nullptr;
    GtkMenuButton* menu_button = nullptr;
    GtkLabel* title = nullptr;  // the header bar's

    // Records of the link and of other windows (borrowed; they outlive the window).
    SetUpModel* model = nullptr;  // what the user set up, which the tabs show
    LinkState* link = nullptr;
    UiReports* reports = nullptr;
    ShownValues* shown = nullptr;  // the values the worker reported last
    ChartWindow* chart = nullptr;
    // Opens the Write dialog on an address of the shown tab, with a value
    // to offer when none was written before; the application wires it up.
    std::function<void(uint16_t address, uint16_t fallback)> open_write;
    ConnectionDialog* connection = nullptr;  // shows the settings a loaded file holds

    // References this record owns (released only at process end).
    FileDialog* file_dialog = nullptr;  // the one configuration file dialog
    GMenuItem* labels_item = nullptr;
    GMenu* menu = nullptr;
    GMenu* recent_menu = nullptr;  // the "Recent Set-ups" submenu
    AlertDialog* set_up_question = nullptr;  // while asking before the set-up is dropped
    GtkCssProvider* css = nullptr;

    // The poll definitions, in the order of their tabs, and the one shown,
    // which every command of the window acts on. Never empty.
    std::vector<std::unique_ptr<PollTab>> tabs;
    PollTab* tab = nullptr;

    // Plain state.
    int32_t labels_item_position = 0;
};

// Builds the main window's widget tree (header bar, toolbar, status line,
// grid area, paned with the Logger pane) and loads the stylesheet.
void build_main_window(MainWindow& main, GtkApplication* application, GtkWidget* logger_box);

// The stylesheet held in the program, for the display of the main window.
GtkCssProvider* load_stylesheet(GtkWidget* window);
