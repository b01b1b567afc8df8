#pragma once
// The main window's poll definitions, one tab each, all polled over the
// one link. The tab shown is main.tab; every command of the window acts on
// it, and the toolbar's Format and Order follow it.

#include <cstdint>
#include <string>
#include <string_view>

#include "app/main_window.hpp"
#include "link/link_reports.hpp"

// A tab's record for each definition of the set-up model, before any
// window is built; from then on the tabs follow the model.
void create_tabs(MainWindow& main);
// The tab view with a page for every tab, the shown one selected.
GtkWidget* build_tab_view(MainWindow& main);

// A new definition polling poll, without labels, and its tab, shown at
// once; nullptr when the set-up holds the most definitions the link takes.
PollTab* add_poll_tab(MainWindow& main, const PollDefinition& poll);
// Closes tab, unless it is the last one; its definition is polled no more
// and nothing of it shows anywhere, even of a request under way.
bool close_poll_tab(MainWindow& main, PollTab& tab);
// Makes tab the one shown: its page, its Format and Order, its values.
void show_poll_tab(MainWindow& main, PollTab& tab);
// The next or previous tab, round the ends.
void step_poll_tab(MainWindow& main, int step);

// Makes poll the shown tab's definition: the tab's title and grid follow,
// and every definition goes to the link, whose worker takes them before
// its next request. Another block gets a new key, so nothing read for the
// old one shows as the new one's.
void hand_poll_definition(MainWindow& main, const PollDefinition& poll);
// Hands every tab's definition to the link and wakes its worker.
void hand_poll_definitions(MainWindow& main);

PollTab* find_tab_by_serial(MainWindow& main, uint32_t serial);
// What the tab's title says, and the status line's text for status: when
// there are several tabs, a definition's status names its tab.
std::string poll_tab_title(const PollTab& tab);
std::string status_line_text(MainWindow& main, const LinkStatus& status);

// Every figure to zero, the link's and each definition's, shown at once.
void reset_all_statistics(MainWindow& main);
// The report for the clipboard: with one tab the link's, with several each
// definition's under its tab's title, then the link's totals.
std::string all_statistics_report(MainWindow& main);

// Names tab (an empty name: the title says what it polls).
void rename_poll_tab(MainWindow& main, PollTab& tab, std::string_view name);
// Offers the shown tab's name for editing in a popover on its tab.
void start_tab_rename(MainWindow& main);
