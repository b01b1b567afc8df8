#pragma once
// What a tab's title says. No GTK here.

#include <string>
#include <string_view>

#include "link/link_state.hpp"

// What the definition polls: "ID 1 · 03 · 0–19".
std::string definition_title(const PollDefinition& poll);
// The user's name for the tab, or what it polls when it has none.
std::string tab_title(std::string_view name, const PollDefinition& poll);
// A name as the user typed it, made fit for a tab: one line, no blanks
// around it, at most a few dozen characters; empty means none.
std::string tidy_tab_name(std::string_view typed);
