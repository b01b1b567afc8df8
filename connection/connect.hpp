#pragma once
// Connect and disconnect: the life of the worker seen from the UI thread.

struct ConnectionDialog;

// "clicked" of the Connection dialog's Ok: stores the settings, wakes or starts the worker.
void connect_link(ConnectionDialog& dialog);
// Stops the dialog's link; nothing happens while not running.
void disconnect_link(ConnectionDialog& dialog);
// The toolbar's Connect button: disconnect while running, else open the dialog.
void toggle_link(ConnectionDialog& dialog);
