#pragma once
// Export Register Map: every point and label of the set-up written as a
// register map, in the user's address notation, to a file chosen in a
// save dialog.

#include <gtk/gtk.h>

#include "widgets/dialog_layer.hpp"

struct PollTabs;
struct Preferences;

struct MapExport {
    // Records of the application (borrowed; they outlive it).
    PollTabs* tabs = nullptr;
    const Preferences* preferences = nullptr;

    // Owned for the process's life.
    FileDialog* file_dialog = nullptr;
};

void build_map_export(MapExport& map_export, PollTabs& tabs, const Preferences& preferences);
// Asks where to, then writes the map there.
void start_map_export(MapExport& map_export);
// Writes the map to path, replacing any file there only once the new one
// is whole; false, with the reason in an alert over the main window, when
// that failed (the old file is left as it was).
bool export_register_map(MapExport& map_export, const char* path);
