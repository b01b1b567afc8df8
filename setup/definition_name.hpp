#pragma once
// What a tab's title says. No GTK here.

#include <cstddef>
#include <string>
#include <string_view>

#include "link/link_state.hpp"
#include "values/address_notation.hpp"

// Long enough for a device's and a block's name, short enough for a tab.
inline constexpr size_t longest_tab_name = 40;

// What the definition polls, its addresses in notation: "ID 1 · 03 · 0–19".
std::string definition_title(const PollDefinition& poll, AddressNotation notation = AddressNotation::protocol);
// The user's name for the tab (as shown_name gives it), or what it polls
// when it has none.
std::string tab_title(std::string_view name, const PollDefinition& poll,
                      AddressNotation notation = AddressNotation::protocol);
// A name as the user typed it, made fit for a tab and for the file: one
// line, no blanks around it, at most longest_tab_name characters, cut
// between characters (an accent or an emoji's joined parts stay with the
// character they belong to); empty means none.
std::string tidy_tab_name(std::string_view typed);
// name for showing inside other text: a name that holds right-to-left
// letters or direction controls is isolated (U+2068 ... U+2069), so it can
// turn neither the text around it nor the line's direction.
std::string shown_name(std::string_view name);

// Why no further definition is taken: "A set-up holds at most 64 poll definitions".
std::string definition_limit_text();
