#pragma once
// The process-wide records, created empty before the application runs,
// filled at activation and kept until the process ends.

#include <gtk/gtk.h>

#include <memory>

#include "app/main_window.hpp"
#include "config/set_up_window.hpp"
#include "chart/chart_window.hpp"
#include "connection/connection_dialog.hpp"
#include "handover/link_set.hpp"
#include "logger/logger_pane.hpp"
#include "pointedit/point_dialog.hpp"
#include "preferences/preferences.hpp"
#include "query/query_settings_dialog.hpp"
#include "registermap/map_export_file.hpp"
#include "registermap/map_import_dialog.hpp"
#include "scan/scan_window.hpp"
#include "setup/set_up_model.hpp"
#include "tabs/poll_tabs.hpp"
#include "write/write_dialog.hpp"

struct App {
    // A link for each connection in use and where its worker reports; a
    // worker shares both, so they outlive the windows when the process
    // ends while it is in a call.
    LinkSet links;

    // What the user set up, which the windows show and the file keeps.
    SetUpModel set_up;
    // The user's own choices (the address notation), read at start.
    Preferences preferences;

    GtkApplication* application = nullptr;
    MainWindow main_window;
    PollTabs tabs;  // in the main window
    SetUpFiles set_up_files;
    QuerySettingsDialog query_settings;
    ConnectionDialog connection;
    LoggerPane logger;
    GtkAboutDialog* about = nullptr;
    GtkShortcutsWindow* shortcuts = nullptr;
    WriteDialog write;
    PointDialog point_dialog;
    MapImportDialog map_import;
    MapExport map_export;
    ChartWindow chart;
    ScanWindow scan;
};

App& app();

// Creates the application object and the grid's key controller and connects
// "activate"; flags are G_APPLICATION_DEFAULT_FLAGS in the program.
GtkApplication* create_application(GApplicationFlags flags);

// The "activate" handler: builds every window once and presents the main window.
void on_activate(GtkApplication* application, gpointer data);

// Discards every GLib and GTK log message, as the shipped program does.
GLogWriterOutput discard_log_messages(GLogLevelFlags level, const GLogField* fields,
                                      gsize n_fields, gpointer data);
