#pragma once
// The Connection dialog's choice of connection: the drop-down of the
// set-up's connections and "New Connection", the name entry, and Ok, which
// adds or renames the connection chosen, gives it the settings shown and
// moves the shown tab to it before connecting.

#include <gtk/gtk.h>

struct ConnectionDialog;

// The drop-down, the name entry and the message line, as the first three
// rows of the dialog's grid.
void attach_connection_choice(ConnectionDialog& dialog, GtkGrid* grid);
// The set-up's connections offered anew, the shown tab's chosen.
void show_connection_choice(ConnectionDialog& dialog);
// "clicked" of Ok. A name another connection has, a serial port another
// opens, or "New Connection" at the most a set-up holds is told in the
// dialog, which stays open with nothing changed.
void confirm_connection_choice(ConnectionDialog& dialog);
