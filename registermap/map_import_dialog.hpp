#pragma once
// The Import Register Map dialog: a CSV file's columns, each with the
// meaning it is read with (recognised from its header, or chosen), a
// preview of the first rows as they would be read, every row's error, and
// where the points go: new tabs, or the shown tab. Nothing of the set-up
// changes before Import.

#include <gtk/gtk.h>

#include <vector>

#include "registermap/register_map.hpp"
#include "widgets/dialog_layer.hpp"

struct PollTabs;
struct Preferences;

struct MapImportDialog {
    // Widgets owned by the dialog's window (borrowed).
    GtkWindow* window = nullptr;
    GtkLabel* heading = nullptr;  // the file, its rows and the notation of its plain addresses
    // Per column its header, its drop-down and its first rows' cells; in
    // the last column what each of those rows reads as.
    GtkGrid* columns = nullptr;
    GtkLabel* summary = nullptr;  // how many rows are left out
    GtkTextView* errors = nullptr;  // one error a line
    GtkCheckButton* as_tabs = nullptr;
    GtkCheckButton* into_shown = nullptr;
    GtkButton* import_button = nullptr;
    std::vector<GtkDropDown*> fields;  // one per column of the file
    std::vector<GtkLabel*> readings;   // one per previewed row

    // Records of the application (borrowed; they outlive the dialog).
    PollTabs* tabs = nullptr;
    const Preferences* preferences = nullptr;

    // Owned for the process's life.
    FileDialog* file_dialog = nullptr;
    GtkStringList* field_names = nullptr;  // the drop-downs' entries

    // The map shown, and every row of it read with the fields chosen.
    MapSheet sheet;
    AddressNotation notation = AddressNotation::protocol;
    MapReading reading;
};

// Builds the window hidden, before the main window (see activation).
void build_map_import_dialog(MapImportDialog& dialog, PollTabs& tabs, const Preferences& preferences);

// Asks for the file to import, then opens the dialog on it.
void start_map_import(MapImportDialog& dialog);
// Opens the dialog on the map at path; false, with the reason in an alert
// over the main window, when the file cannot be read or holds no map.
bool open_map_file(MapImportDialog& dialog, const char* path);

// The meanings chosen in the drop-downs, one per column.
std::vector<MapField> chosen_map_fields(const MapImportDialog& dialog);

// Import: the good rows go into the set-up as chosen, the dialog hides and
// an alert over the main window tells what was added and what left out.
MapImport apply_map_import(MapImportDialog& dialog);
