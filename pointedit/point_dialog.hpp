#pragma once
// The Edit Point dialog: an address's label and point of the shown tab,
// with a preview of its current value in the terms being set. Ok is open
// only while the point can stand there; the dialog says why not.

#include <gtk/gtk.h>

#include <cstdint>

struct PollTabs;

struct PointDialog {
    // Widgets owned by the dialog's window (borrowed).
    GtkWindow* window = nullptr;
    GtkLabel* heading = nullptr;  // which address of which tab
    GtkEntry* label = nullptr;
    GtkDropDown* type = nullptr;
    GtkDropDown* order = nullptr;
    GtkSpinButton* registers = nullptr;
    GtkCheckButton* swapped_bytes = nullptr;
    GtkEntry* scale = nullptr;
    GtkEntry* offset = nullptr;
    GtkSpinButton* decimals = nullptr;
    GtkEntry* unit = nullptr;
    GtkTextView* value_names = nullptr;
    GtkTextView* bit_names = nullptr;
    GtkLabel* preview = nullptr;
    GtkLabel* reason = nullptr;  // why Ok is closed
    GtkButton* ok_button = nullptr;

    PollTabs* tabs = nullptr;  // borrowed
    // The point being edited: its tab's serial and its address.
    uint32_t serial = 0;
    uint16_t address = 0;
};

// Builds the window hidden, before the main window (see activation).
void build_point_dialog(PointDialog& dialog, PollTabs& tabs);
// Opens on address of the shown tab, with what the set-up holds for it.
void open_point_dialog(PointDialog& dialog, uint16_t address);
// Ok: the label and the point go to the set-up; false, with the dialog
// left open, while the point cannot stand there.
bool apply_point_dialog(PointDialog& dialog);
// The preview again, from the newest values (after a poll).
void update_point_preview(PointDialog& dialog);
