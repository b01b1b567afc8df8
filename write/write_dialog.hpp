#pragma once
// The "Write Settings" window and the alert that reports a write.

#include <gtk/gtk.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "widgets/dialog_layer.hpp"

struct LinkState;
struct PollTabs;
struct WriteAlertShowing;

struct WriteDialog {
    // Owned by the window (borrowed references).
    GtkWindow* window = nullptr;
    GtkSpinButton* slave_spin = nullptr;
    GtkDropDown* fcode_dropdown = nullptr;
    GtkSpinButton* address_spin = nullptr;  // in the user's notation
    GtkEntry* value_entry = nullptr;
    GtkSpinButton* length_spin = nullptr;
    GtkLabel* length_label = nullptr;
    GtkLabel* message_label = nullptr;
    GtkButton* send_button = nullptr;
    GtkButton* close_button = nullptr;
    // Rows of a point's write, shown while the dialog aims at one.
    GtkLabel* name_label = nullptr;
    GtkDropDown* name_choice = nullptr;  // its value names
    GtkLabel* bit_label = nullptr;
    GtkDropDown* bit_choice = nullptr;   // the bit of a point of bits
    GtkCheckButton* read_change_write = nullptr;
    // Owned references.
    AlertDialog* alert = nullptr;
    GCancellable* cancellable = nullptr;  // of the alert while it is shown
    // Plain state.
    // The last value parsed from the value entry, as the registers it is
    // written as (only the first for a 16-bit format).
    std::array<uint16_t, 4> current_words{};
    // The entry was typed in since the value was last shown; until then
    // Send writes current_words as they are.
    bool value_edited = false;
    std::vector<std::string> choice_names;  // the name choice's entries
    uint8_t last_fcode = 0;  // of the last write handed over
    bool pending_shown = false;
    bool result_scheduled = false;
    // The write this dialog reports on (its sequence number; 0 before the
    // first Send), and whether the user cancelled it.
    uint32_t sequence = 0;
    bool cancelled = false;
    // The link that write went to: the shown tab's connection's when sent.
    std::shared_ptr<LinkState> link;
    // The alert on screen as this dialog last showed it; its completion
    // tells whether the user or the program closed it.
    WriteAlertShowing* showing = nullptr;
    PollTabs* tabs = nullptr;  // the tab view, whose shown tab it acts on
};

// Builds the window hidden; its address follows the notation of main's
// preferences, also while it is shown.
void build_write_dialog(WriteDialog& dialog, PollTabs& main);
// For a value cell of the grid: fills the window for the address and presents it.
void open_write_dialog(WriteDialog& dialog, uint16_t address, uint16_t fallback_value);
// The toolbar's way: aims the window at the shown tab (its Modbus ID, and
// its cursor's address or else the block's first), makes it modal and
// transient for the main window, then presents it. Function, value and
// length stay as they are.
void present_write_dialog_modal(WriteDialog& dialog);
// The F6 way: aims the window at the shown tab as the toolbar does and
// presents it, modality unchanged.
void present_write_dialog(WriteDialog& dialog);
// Renders the current value again in the selected format.
void rerender_write_value(WriteDialog& dialog);
// Validates the address and the value and hands the write to the worker
// ("_Send", Enter); a refused address or value is told in the message
// label, with what the notation, the format (or a coil) takes, and nothing
// is sent.
void send_write(WriteDialog& dialog);
// Posted with the WriteDialog as data: shows "Pending" or the result.
void report_write(void* dialog);
// Posted by report_write with the WriteDialog as data: shows the result alert.
void show_write_result(void* dialog);
// Completion of the alert, whichever way it was closed.
void on_write_alert_closed(GObject* alert, GAsyncResult* result, gpointer showing);
