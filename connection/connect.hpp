#pragma once
// Connect and disconnect: the life of the workers seen from the UI thread,
// one worker for each connection in use.

#include <cstdint>
#include <optional>
#include <span>

struct ConnectionDialog;
struct ConnectionSettings;

// "clicked" of the Connection dialog's Ok: stores the settings of the
// dialog's chosen connection (dialog.chosen_connection), wakes or starts
// its worker.
void connect_link(ConnectionDialog& dialog);
// The settings the dialog shows, over base for what it does not show;
// nothing when they cannot be connected with (no device, a bad port),
// which connect_link tells.
std::optional<ConnectionSettings> typed_connection_settings(ConnectionDialog& dialog, ConnectionSettings base);
// Stops every link; nothing happens to one not running.
void disconnect_link(ConnectionDialog& dialog);
// Stops the link of connection (a serial of the set-up) alone.
void disconnect_connection(ConnectionDialog& dialog, uint32_t connection);
// Starts the worker of every connection in use that is not running, with
// the settings the set-up holds.
void connect_all(ConnectionDialog& dialog);
// Starts the worker of connection's link, if it has one not running.
void connect_connection(ConnectionDialog& dialog, uint32_t connection);
// The toolbar's Connect button: while any link runs, disconnects them all.
// Otherwise, over one connection, opens the dialog; over several, connects
// them all.
void toggle_link(ConnectionDialog& dialog);
// The connection the dialog sets up and connects.
uint32_t dialog_connection(const ConnectionDialog& dialog);

// The baud rates the dialog offers, in the order of its drop-down.
std::span<const uint32_t> dialog_baud_rates();
// Shows settings in the dialog, as if the user had set them there (a
// value the dialog does not offer is left as it is).
void show_connection_settings(ConnectionDialog& dialog, const ConnectionSettings& settings);
// Shows baud and parity in the dialog's drop-downs (a rate it does not
// offer is left as it is).
void show_serial_setting(ConnectionDialog& dialog, uint32_t baud, char parity);
