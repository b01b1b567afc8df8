#pragma once
// The Connection dialog: which of the set-up's connections the shown tab
// polls over (or a new one) and its name, serial line or TCP, the response
// time-out, and whether the link stays open between polls.

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct ConnectionSettings;
struct LinkSet;
struct PollTabs;
struct SetUpModel;

struct ConnectionDialog {
    // Owned by the window (borrowed references), in the order of the design.
    GtkWindow* window = nullptr;
    // At the top: the set-up's connections by name, then "New Connection";
    // the chosen one's name; why Ok changed nothing.
    GtkDropDown* connection_selector = nullptr;
    GtkEntry* name_entry = nullptr;
    GtkLabel* message_label = nullptr;
    GtkComboBoxText* port_combo = nullptr;
    GtkCheckButton* serial_choice = nullptr;
    GtkCheckButton* tcp_choice = nullptr;
    GtkFrame* mode_frame = nullptr;
    GtkBox* serial_box = nullptr;
    GtkFrame* remote_frame = nullptr;
    GtkDropDown* baud_selector = nullptr;
    GtkDropDown* parity_selector = nullptr;
    GtkDropDown* data_bits_selector = nullptr;
    GtkDropDown* stop_bits_selector = nullptr;
    GtkSpinButton* timeout_spin = nullptr;
    GtkEntry* ip_entry = nullptr;
    GtkEntry* port_entry = nullptr;
    GtkCheckButton* mbap_choice = nullptr;  // "Modbus TCP", the default
    GtkCheckButton* rtu_over_tcp_choice = nullptr;
    // Off at start; serves both connection types.
    GtkCheckButton* keep_open_check = nullptr;
    GtkButton* ok_button = nullptr;
    GtkButton* cancel_button = nullptr;
    // The framing on a serial line.
    GtkCheckButton* rtu_choice = nullptr;
    GtkCheckButton* ascii_choice = nullptr;
    // Shown and kept, never read by the link: no query delay is applied.
    GtkSpinButton* query_delay_spin = nullptr;
    PollTabs* tabs = nullptr;  // its values and figures start afresh with a new connection
    // The main window's, once it is built (borrowed).
    GtkLabel* status_line = nullptr;
    GtkButton* connect_button = nullptr;  // Connect or Disconnect
    GtkLabel* connect_label = nullptr;
    SetUpModel* model = nullptr;  // keeps the settings the user connects with
    // Connect and Disconnect end a scan under way, which holds the line;
    // empty when there is none to end.
    std::function<void()> end_scan;

    // The links of the connections in use, which Connect starts and
    // Disconnect stops (borrowed).
    LinkSet* links = nullptr;

    // Plain state: the file system the port list is read from ("/" but in tests).
    std::string port_root = "/";
    // The connection whose settings the widgets show, which Ok acts on; 0
    // before the first opening and while "New Connection" is chosen (Ok
    // sets it to the one it adds).
    uint32_t chosen_connection = 0;
};

void build_connection_dialog(ConnectionDialog& dialog, PollTabs& tabs);
// Shows the shown tab's connection (its settings anew when another was
// shown), refreshes the port list in the background and presents the
// dialog modally.
void open_connection_dialog(ConnectionDialog& dialog);
// "toggled" of both connection types: serial options or the remote server.
void on_connection_type_toggled(GtkCheckButton* button, gpointer dialog);
