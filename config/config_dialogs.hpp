#pragma once
// Saving and loading a configuration file through the main window's file dialog.

#include <gio/gio.h>

struct MainWindow;

void start_save_configuration(MainWindow& main);
void start_load_configuration(MainWindow& main);
// Completions of the file dialog, given the MainWindow.
void save_configuration(GObject* source, GAsyncResult* result, gpointer main_window);
void load_configuration(GObject* source, GAsyncResult* result, gpointer main_window);
