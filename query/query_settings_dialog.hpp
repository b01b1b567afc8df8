#pragma once
// The Query Settings dialog that edits the PollDefinition.

#include <gtk/gtk.h>

struct MainWindow;

struct QuerySettingsDialog {
    // Owned by the window (borrowed references).
    GtkWindow* window = nullptr;
    GtkSpinButton* slave_id_spin = nullptr;
    GtkDropDown* function_code_dropdown = nullptr;
    GtkSpinButton* length_spin = nullptr;
    GtkSpinButton* address_spin = nullptr;
    GtkSpinButton* scan_rate_spin = nullptr;
    GtkButton* ok_button = nullptr;
    GtkButton* cancel_button = nullptr;
    // The window whose grid is rebuilt on apply.
    MainWindow* main_window = nullptr;
};

void build_query_settings_dialog(QuerySettingsDialog& dialog, MainWindow& main);
// Fills the widgets from the PollDefinition and presents the dialog modally.
void open_query_settings(QuerySettingsDialog& dialog);
// Stores the five fields, rebuilds the grid, signals wake, hides.
void apply_query_settings(QuerySettingsDialog& dialog);
