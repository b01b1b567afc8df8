#pragma once
// The program's own preferences, which belong to the user rather than to a
// set-up: kept in a small key file of the user's configuration folder, so a
// set-up file reads the same on every desk. No GTK here.

#include <functional>
#include <string>
#include <vector>

#include "values/address_notation.hpp"

struct Preferences {
    AddressNotation notation = AddressNotation::protocol;
    std::string path;  // the key file that keeps them; empty: kept nowhere
    // Told after each change, on the user-interface thread.
    std::vector<std::function<void()>> listeners;
};

// The key file in the user's configuration folder (brenvaldor/preferences.ini).
std::string default_preferences_path();

// The preferences kept at path; defaults for whatever the file lacks or
// holds in a form this program does not read, and for a missing file.
Preferences load_preferences(std::string path);

void listen_to_preferences(Preferences& preferences, std::function<void()> listener);

// Keeps the notation (when path is set) and tells every listener, unless it
// is the notation already chosen. False, with the reason, when the file
// could not be written; the choice still holds for this run.
bool set_address_notation(Preferences& preferences, AddressNotation notation, std::string* reason = nullptr);
