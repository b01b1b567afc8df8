#pragma once
// The main window's poll definitions, one tab each, each polled over the
// link of its connection. The tab shown is tabs.tab; every command of the
// window acts on it, and the toolbar's Format and Order follow it.

#include <gtk/gtk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "handover/link_set.hpp"
#include "link/link_reports.hpp"
#include "link/link_state.hpp"
#include "preferences/preferences.hpp"
#include "setup/set_up_model.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tab.hpp"

// The tab view: a tab for each definition of the set-up model, in its
// order, and the one shown, which every command of the window acts on.
struct PollTabs {
    // Widgets of the main window (borrowed), set as it is built.
    GtkNotebook* notebook = nullptr;  // one page per poll definition
    GtkWindow* window = nullptr;      // the main window
    GtkDropDown* format_selector = nullptr;  // the toolbar's Format and Order,
    GtkDropDown* order_selector = nullptr;   // which follow the shown tab

    // Records of the application (borrowed; they outlive the tabs).
    SetUpModel* model = nullptr;
    LinkSet* links = nullptr;  // a link for each connection the tabs poll over
    // The user's: the titles, and the grids through grid_context, follow
    // its address notation.
    Preferences* preferences = nullptr;
    GridContext grid_context;  // what every tab's grid works with
    // Another tab is shown; the application updates what follows it.
    std::function<void()> shown_tab_changed;

    // Never empty once created.
    std::vector<std::unique_ptr<PollTab>> tabs;
    PollTab* tab = nullptr;
    // While set, a tab was added in this turn of the main loop; the idle
    // source that clears it.
    guint adding_turn = 0;
};

// A tab's record for each definition of the set-up model, before any
// window is built; from then on the tabs follow the model, and the
// preferences when given.
void create_tabs(PollTabs& main);
// The tab view with a page for every tab, the shown one selected.
GtkWidget* build_tab_view(PollTabs& main);

// A new definition polling poll over the shown tab's connection, without
// labels, and its tab, shown at once; nullptr when the set-up holds the most definitions the link takes.
PollTab* add_poll_tab(PollTabs& main, const PollDefinition& poll);
// Closes tab, unless it is the last one; its definition is polled no more
// and nothing of it shows anywhere, even of a request under way.
bool close_poll_tab(PollTabs& main, PollTab& tab);
// Makes tab the one shown: its page, its Format and Order, its values.
void show_poll_tab(PollTabs& main, PollTab& tab);
// The next or previous tab, round the ends.
void step_poll_tab(PollTabs& main, int step);

// Makes poll the shown tab's definition: the tab's title and grid follow,
// and every definition goes to the link, whose worker takes them before
// its next request. Another block gets a new key, so nothing read for the
// old one shows as the new one's.
void hand_poll_definition(PollTabs& main, const PollDefinition& poll);
// Hands every tab's definition to the link of its connection (made when
// there is none) and wakes the workers; the links of connections no tab
// polls over any more are retired.
void hand_poll_definitions(PollTabs& main);
// The link tab polls over; null before the definitions were handed.
ConnectionLink* link_of_tab(PollTabs& main, const PollTab& tab);
// The link of the shown tab's connection, made when there is none.
ConnectionLink& shown_link(PollTabs& main);
// The serials of the connections the tabs poll over, in the set-up's order.
std::vector<uint32_t> connections_in_use(const PollTabs& main);

PollTab* find_tab_by_serial(PollTabs& main, uint32_t serial);
// The notation the window shows and takes addresses in: the user's, or
// protocol addresses without preferences.
AddressNotation address_notation(const PollTabs& main);
// What the tab's title says (after its connection's name while there are
// several), and the status line's text for status: when there are several
// tabs, a definition's status names its tab.
std::string poll_tab_title(const PollTab& tab);
std::string status_line_text(PollTabs& main, const LinkStatus& status);
// As status_line_text, for the link of connection: while the set-up has
// several connections, a status that is not cleared names the connection
// ("PLC: No response from ID 1").
std::string connection_status_text(PollTabs& main, uint32_t connection, const LinkStatus& status);
// The name of the connection of serial, or empty.
std::string connection_name(const PollTabs& main, uint32_t connection);

// Every figure to zero, each link's and each definition's, shown at once.
void reset_all_statistics(PollTabs& main);
// Those of the link of connection and of the definitions it polls.
void reset_connection_statistics(PollTabs& main, uint32_t connection);
// The report for the clipboard. Over one connection: with one tab the
// link's, with several each definition's under its tab's title, then the
// link's totals. Over several: each connection's link under its name, then
// its definitions'.
std::string all_statistics_report(PollTabs& main);

// Names tab (an empty name: the title says what it polls).
void rename_poll_tab(PollTabs& main, PollTab& tab, std::string_view name);
// Offers the shown tab's name for editing in a popover on its tab.
void start_tab_rename(PollTabs& main);
