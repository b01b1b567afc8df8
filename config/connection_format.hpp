#pragma once
// The configuration file's CONNECTION line: the connection settings as
// key=value pieces, in the style of the POLL line. The device goes on a
// DEVICE line of its own (see config_format.hpp), as its text may hold
// blanks. No GTK here.

#include <string>
#include <string_view>

#include "link/link_state.hpp"

// Appends the CONNECTION line for settings, without the device, or the
// same pieces after another keyword. Every field is written, so the line
// reads the same whatever the defaults.
void append_connection_line(std::string& out, const ConnectionSettings& settings,
                            std::string_view keyword = "CONNECTION");

// Stores one key=value piece of a CONNECTION line into settings; false
// for a value the program cannot use. Unknown keys are no error, so a
// later program's pieces do not stop this one.
bool apply_connection_piece(std::string_view key, std::string_view value, ConnectionSettings& settings);
