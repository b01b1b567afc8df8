#pragma once
// Saving and loading a configuration file through the main window's file dialog.

#include <gio/gio.h>

struct MainWindow;

void start_save_configuration(MainWindow& main);
// Asks first when the set-up has unsaved changes.
void start_load_configuration(MainWindow& main);
// Completions of the file dialog, given the MainWindow.
void save_configuration(GObject* source, GAsyncResult* result, gpointer main_window);
void load_configuration(GObject* source, GAsyncResult* result, gpointer main_window);
// The work of a Save chooser's completion: true once the chosen file is saved.
bool finish_save_choice(GObject* source, GAsyncResult* result, MainWindow& main);

// The work of the completions for a chosen path. A failure leaves the old
// file, or the definitions, labels, chart and connection settings, as they
// were and says so, with the reason, in an alert over the main window;
// true on success, after which the set-up is that file's.
bool save_configuration_file(MainWindow& main, const char* path);
bool load_configuration_file(MainWindow& main, const char* path);
