#pragma once
// A spin button over the protocol addresses 0 to 65535 that shows and takes
// them in the user's notation: its value is the protocol address, its text
// that address in the notation. A text it cannot read stays as typed, so
// the dialog can say what was wrong when it applies.

#include <gtk/gtk.h>

#include "values/address_notation.hpp"

// Makes spin show and take addresses of table in notation from now on; its
// text shows its value anew, unless it holds a text typed that the former
// notation refuses, which stays for the dialog to judge.
void set_address_spin_notation(GtkSpinButton* spin, AddressNotation notation, ModbusTable table);
// The spin's text read as an address: then also its value, and its text
// shows it in the notation; or the refusal, the value left as it was.
ParsedAddress take_address_spin(GtkSpinButton* spin);
