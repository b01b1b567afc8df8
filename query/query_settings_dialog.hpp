#pragma once
// The Query Settings dialog that edits the PollDefinition.

#include <gtk/gtk.h>

#include <cstdint>

struct PollTabs;

struct QuerySettingsDialog {
    // Owned by the window (borrowed references).
    GtkWindow* window = nullptr;
    // The connection the definition polls over, by name; shown only while
    // the set-up has several to choose from.
    GtkWidget* connection_caption = nullptr;
    GtkDropDown* connection_dropdown = nullptr;
    GtkSpinButton* slave_id_spin = nullptr;
    GtkDropDown* function_code_dropdown = nullptr;
    GtkSpinButton* length_spin = nullptr;
    GtkSpinButton* address_spin = nullptr;  // in the user's notation
    GtkLabel* message_label = nullptr;  // why an address typed is refused
    GtkSpinButton* scan_rate_spin = nullptr;
    GtkButton* ok_button = nullptr;
    GtkButton* cancel_button = nullptr;
    // The window whose grid is rebuilt on apply.
    PollTabs* tabs = nullptr;  // the tab view, whose shown tab it acts on
    // The serial of the tab made for this opening, which Cancel takes away
    // again; 0 when the shown tab was there before.
    uint32_t new_tab = 0;
};

void build_query_settings_dialog(QuerySettingsDialog& dialog, PollTabs& main);
// Fills the widgets from the PollDefinition and presents the dialog modally.
void open_query_settings(QuerySettingsDialog& dialog);
// The same for the tab just made: Cancel, Escape or a close of the window
// closes that tab again.
void open_query_settings_for_new_tab(QuerySettingsDialog& dialog);
// Moves the definition to the connection chosen, stores the five fields,
// rebuilds the grid, signals wake, hides; an
// address the notation does not take is told in the dialog, which stays
// open with the definition unchanged.
void apply_query_settings(QuerySettingsDialog& dialog);
