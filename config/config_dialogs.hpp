#pragma once
// Saving and loading a set-up file through the set-up's file dialog.

#include <gio/gio.h>

struct SetUpFiles;

void start_save_configuration(SetUpFiles& main);
// Asks first when the set-up has unsaved changes.
void start_load_configuration(SetUpFiles& main);
// Completions of the file dialog, given the SetUpFiles.
void save_configuration(GObject* source, GAsyncResult* result, gpointer files);
void load_configuration(GObject* source, GAsyncResult* result, gpointer files);
// The work of a Save chooser's completion: true once the chosen file is saved.
bool finish_save_choice(GObject* source, GAsyncResult* result, SetUpFiles& main);

// The work of the completions for a chosen path. A failure leaves the old
// file, or the definitions, labels, chart and connection settings, as they
// were and says so, with the reason, in an alert over the main window;
// true on success, after which the set-up is that file's.
bool save_configuration_file(SetUpFiles& main, const char* path);
bool load_configuration_file(SetUpFiles& main, const char* path);
