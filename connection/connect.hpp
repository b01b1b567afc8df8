#pragma once
// Connect and disconnect: the life of the worker seen from the UI thread.

#include <cstdint>
#include <optional>
#include <span>

struct ConnectionDialog;
struct ConnectionSettings;

// "clicked" of the Connection dialog's Ok: stores the settings (those of
// dialog.chosen_connection), wakes or starts the worker.
void connect_link(ConnectionDialog& dialog);
// The settings the dialog shows, over base for what it does not show;
// nothing when they cannot be connected with (no device, a bad port),
// which connect_link tells.
std::optional<ConnectionSettings> typed_connection_settings(ConnectionDialog& dialog, ConnectionSettings base);
// Stops the dialog's link; nothing happens while not running.
void disconnect_link(ConnectionDialog& dialog);
// The toolbar's Connect button: disconnect while running, else open the dialog.
void toggle_link(ConnectionDialog& dialog);

// The baud rates the dialog offers, in the order of its drop-down.
std::span<const uint32_t> dialog_baud_rates();
// Shows settings in the dialog, as if the user had set them there (a
// value the dialog does not offer is left as it is).
void show_connection_settings(ConnectionDialog& dialog, const ConnectionSettings& settings);
// Shows baud and parity in the dialog's drop-downs (a rate it does not
// offer is left as it is).
void show_serial_setting(ConnectionDialog& dialog, uint32_t baud, char parity);
