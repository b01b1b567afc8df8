#pragma once
// The process-wide records, created empty before the application runs,
// filled at activation and kept until the process ends.

#include <gtk/gtk.h>

#include "app/main_window.hpp"
#include "chart/chart_window.hpp"
#include "connection/connection_dialog.hpp"
#include "link/query_settings_dialog.hpp"
#include "link/write_dialog.hpp"
#include "logger/logger_pane.hpp"

struct App {
    GtkApplication* application = nullptr;
    GtkEventController* grid_keys = nullptr;  // capture-phase key controller of the grid
    MainWindow main_window;
    QuerySettingsDialog query_settings;
    ConnectionDialog connection;
    LoggerPane logger;
    GtkAboutDialog* about = nullptr;
    GtkShortcutsWindow* shortcuts = nullptr;
    WriteDialog write;
    ChartWindow chart;
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
