#pragma once
// A spin button for one Modbus address: its value is always the protocol
// address, its text that address in the notation the user chose, for the
// table the view's function code works on. Up and down step one register.

#include <gtk/gtk.h>

#include "values/address_notation.hpp"

struct AddressSpin {
    GtkSpinButton* spin = nullptr;  // owned by its window
    AddressNotation notation = AddressNotation::protocol;
    ModbusTable table = ModbusTable::holding_registers;
    // Set when the text just typed was refused: the spin keeps its last
    // address, and the text stays for the user to see and mend.
    bool keep_text = false;
};

// Makes address.spin, 0 to 65535; the record's address is handed to the
// spin's signals, so the record must outlive the spin and never move.
void make_address_spin(AddressSpin& address);
// Writes the value again in notation and table, after taking in what was
// typed under the old ones (kept when it reads as an address there).
void show_address_in(AddressSpin& address, AddressNotation notation, ModbusTable table);
// What the text typed stands for now: the protocol address, or the reason
// it is refused (parse_address).
ParsedAddress typed_address(const AddressSpin& address);
