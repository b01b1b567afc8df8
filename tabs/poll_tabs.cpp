#include "tabs/poll_tabs.hpp"

#include <algorithm>
#include <utility>

#include "handover/ui_reports.hpp"
#include "link/statistics_text.hpp"
#include "table/grid_input.hpp"
#include "table/register_grid.hpp"
#include "tabs/retired_widgets.hpp"
#include "tabs/tab_grid.hpp"
#include "setup/definition_name.hpp"
#include "setup/set_up_model.hpp"

namespace {

size_t index_of(const PollTabs& main, const PollTab& tab)
{
    for (size_t i = 0; i < main.tabs.size(); ++i)
        if (main.tabs[i].get() == &tab)
            return i;
    return 0;
}

std::unique_ptr<PollTab> make_tab(PollTabs& main, DefinitionSetUp& definition, bool labels_visible)
{
    auto tab = std::make_unique<PollTab>();
    tab->definition = &definition;
    tab->serial = definition.serial;
    tab->table.definition = &definition;
    tab->table.context = &main.grid_context;
    tab->table.labels_visible = labels_visible;
    return tab;
}

// The last tab cannot be closed. A tab past the link's most stays offered,
// so that asking for one says why there is none.
void update_tab_actions(PollTabs& main)
{
    GtkApplication* application = main.window ? gtk_window_get_application(main.window) : nullptr;
    if (!application)
        return;
    auto enable = [&](const char* name, bool enabled) {
        GAction* action = g_action_map_lookup_action(G_ACTION_MAP(application), name);
        if (G_IS_SIMPLE_ACTION(action))
            g_simple_action_set_enabled(G_SIMPLE_ACTION(action), enabled);
    };
    enable("close-definition", main.tabs.size() > 1);
}

// With one tab its line shows its link's figures, as the program always
// has; with several each shows its own definition's. A line out of sight
// is rewritten when its tab is shown.
void point_statistics_lines(PollTabs& main)
{
    for (auto& tab : main.tabs) {
        ConnectionLink* link = main.tabs.size() == 1 ? link_of_tab(main, *tab) : nullptr;
        LinkStatistics* stats = link ? &link->link->statistics : tab->figures.get();
        if (tab->statistics.stats != stats) {
            tab->statistics.stats = stats;
            tab->statistics.shown_version = UINT64_MAX;
            if (tab.get() == main.tab)
                refresh_statistics_view(tab->statistics);
        }
    }
}

void update_tab_title(PollTab& tab)
{
    if (tab.title)
        gtk_label_set_text(tab.title, poll_tab_title(tab).c_str());
}

// The drop-downs, the values and the figures of the tab now shown; its
// grid at once, or with grid_later in a turn of the main loop of its own.
void follow_shown_tab(PollTabs& main, bool grid_later = false)
{
    PollTab& tab = *main.tab;
    if (grid_later)
        bring_in_grid_soon(main);
    else
        bring_in_grid(main);
    if (main.format_selector)
        gtk_drop_down_set_selected(main.format_selector, guint(tab.definition->format));
    if (main.order_selector)
        gtk_drop_down_set_selected(main.order_selector, guint(tab.definition->order));
    fill_from_shown_values(main.tab->table);
    tab.statistics.shown_version = UINT64_MAX;
    refresh_statistics_view(tab.statistics);
    if (main.shown_tab_changed)
        main.shown_tab_changed();
}

void on_switch_page(GtkNotebook*, GtkWidget*, guint page, gpointer data)
{
    PollTabs& main = *static_cast<PollTabs*>(data);
    if (page >= main.tabs.size() || main.tabs[page].get() == main.tab)
        return;
    // A label being typed belongs to the tab it was typed in.
    commit_label_edit(main.tab->table);
    main.tab = main.tabs[page].get();
    follow_shown_tab(main);
}

// After the tab view's own switch, which moves the focus from the page left
// to the page shown.
void on_page_switched(GtkNotebook*, GtkWidget*, guint, gpointer data)
{
    PollTabs& main = *static_cast<PollTabs*>(data);
    for (auto& tab : main.tabs)
        if (tab.get() != main.tab)
            put_grid_aside(*tab);
}

// A tab dragged to another place: its definition moves with it, so the
// file, the statistics report and the link list them as the user sees them.
void on_page_reordered(GtkNotebook*, GtkWidget* page, guint position, gpointer data)
{
    PollTabs& main = *static_cast<PollTabs*>(data);
    for (auto& tab : main.tabs)
        if (tab->page == page)
            return move_definition(*main.model, tab->definition->serial, position);
}

void on_title_pressed(GtkGestureClick* click, int n_press, double, double, gpointer data)
{
    PollTabs& main = *static_cast<PollTabs*>(data);
    if (n_press != 2)
        return;
    GtkWidget* title = gtk_event_controller_get_widget(GTK_EVENT_CONTROLLER(click));
    for (auto& tab : main.tabs)
        if (GTK_WIDGET(tab->title) == title) {
            show_poll_tab(main, *tab);
            start_tab_rename(main);
        }
}

GtkWidget* make_title(PollTabs& main, PollTab& tab)
{
    tab.title = GTK_LABEL(gtk_label_new(poll_tab_title(tab).c_str()));
    GtkGesture* click = gtk_gesture_click_new();
    g_signal_connect(click, "pressed", G_CALLBACK(on_title_pressed), &main);
    gtk_widget_add_controller(GTK_WIDGET(tab.title), GTK_EVENT_CONTROLLER(click));
    return GTK_WIDGET(tab.title);
}

// The grid comes when the tab is first shown (bring_in_grid).
GtkWidget* make_page(PollTab& tab)
{
    tab.page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    // Below the grid: the top of the paned may not shrink, so this line
    // adds to its height and never takes from the grid's minimum.
    gtk_box_append(GTK_BOX(tab.page), build_statistics_view(tab.statistics));
    return tab.page;
}

// The page of tab at the end of the tab view. Its grid is laid out when
// the tab is first shown: a set-up of many large tabs would otherwise hold
// the window for seconds, building grids nobody may look at.
void append_page(PollTabs& main, PollTab& tab)
{
    GtkWidget* page = make_page(tab);
    gtk_notebook_append_page(main.notebook, page, make_title(main, tab));
    gtk_notebook_set_tab_reorderable(main.notebook, page, TRUE);
}

// The tab's widgets go with its page; a refresh waiting for its turn goes too.
void drop_tab_widgets(PollTabs& main, PollTab& tab)
{
    // Its handlers, which may still run until its widgets go, find no grid.
    detach_grid_record(tab.table);
    // A rename still open goes before its tab's title.
    for (GtkWidget* child = tab.title ? gtk_widget_get_first_child(GTK_WIDGET(tab.title)) : nullptr; child;) {
        GtkWidget* next = gtk_widget_get_next_sibling(child);
        if (GTK_IS_POPOVER(child))
            gtk_widget_unparent(child);
        child = next;
    }
    if (tab.statistics.timer)
        g_source_remove(std::exchange(tab.statistics.timer, 0));
    if (main.notebook && tab.page) {
        retire_page(main.notebook, tab.page);
        if (tab.grid_scroller_ref.widget)
            retire_widget(main.notebook, tab.grid_scroller_ref.release());
    }
}

// A new tab is shown at once. An imported register map adds dozens in one
// turn of the main loop: each after the first is shown with its grid left
// to a turn of its own, so that only the last one's grid is built.
void show_added_tab(PollTabs& main, PollTab& tab)
{
    if (!main.notebook || !main.adding_turn) {
        if (main.notebook)
            main.adding_turn = g_idle_add_full(G_PRIORITY_HIGH, [](gpointer data) -> gboolean {
                static_cast<PollTabs*>(data)->adding_turn = 0;
                return G_SOURCE_REMOVE;
            }, &main, nullptr);
        return show_poll_tab(main, tab);
    }
    PollTab& left = *main.tab;
    commit_label_edit(left.table);
    g_signal_handlers_block_by_func(main.notebook, gpointer(on_switch_page), &main);
    g_signal_handlers_block_by_func(main.notebook, gpointer(on_page_switched), &main);
    gtk_notebook_set_current_page(main.notebook, int(index_of(main, tab)));
    g_signal_handlers_unblock_by_func(main.notebook, gpointer(on_switch_page), &main);
    g_signal_handlers_unblock_by_func(main.notebook, gpointer(on_page_switched), &main);
    main.tab = &tab;
    put_grid_aside(left);
    follow_shown_tab(main, true);
}

void take_added_definition(PollTabs& main, uint32_t serial)
{
    DefinitionSetUp* definition = find_definition(*main.model, serial);
    if (!definition)
        return;
    main.tabs.push_back(make_tab(main, *definition, true));
    PollTab& tab = *main.tabs.back();
    if (main.notebook)
        append_page(main, tab);
    point_statistics_lines(main);
    update_tab_actions(main);
    hand_poll_definitions(main);
    show_added_tab(main, tab);
}

// The definition is gone from the model already: nothing may read it, not
// even to keep a label typed in its grid, which goes with the tab.
void take_removed_definition(PollTabs& main, uint32_t serial)
{
    PollTab* tab = find_tab_by_serial(main, serial);
    if (!tab)
        return;
    size_t index = index_of(main, *tab);
    if (tab == main.tab) {
        main.tab = main.tabs[index + 1 < main.tabs.size() ? index + 1 : index - 1].get();
        show_poll_tab(main, *main.tab);  // the page only: the tab is shown already
        follow_shown_tab(main);
    }
    drop_tab_widgets(main, *tab);
    main.tabs.erase(main.tabs.begin() + std::ptrdiff_t(index));
    point_statistics_lines(main);
    update_tab_actions(main);
    hand_poll_definitions(main);
    if (main.links)
        show_statuses_again(*main.links);
}

void take_moved_definition(PollTabs& main, uint32_t serial)
{
    std::stable_sort(main.tabs.begin(), main.tabs.end(), [&](const auto& a, const auto& b) {
        return definition_index(*main.model, a->definition->serial) <
               definition_index(*main.model, b->definition->serial);
    });
    // A move the user did not drag moves the page too; one dragged is there already.
    PollTab* tab = find_tab_by_serial(main, serial);
    int position = tab ? int(index_of(main, *tab)) : 0;
    if (tab && main.notebook && gtk_notebook_page_num(main.notebook, tab->page) != position)
        gtk_notebook_reorder_child(main.notebook, tab->page, position);
    hand_poll_definitions(main);
}

void take_replaced_set_up(PollTabs& main)
{
    bool labels_visible = main.tab ? main.tab->table.labels_visible : true;
    if (main.notebook) {
        g_signal_handlers_block_by_func(main.notebook, gpointer(on_switch_page), &main);
        g_signal_handlers_block_by_func(main.notebook, gpointer(on_page_switched), &main);
    }
    // From the last: the page shown goes last, so the tab view never moves
    // to another page, and never maps its widgets, on the way.
    for (auto old = main.tabs.rbegin(); old != main.tabs.rend(); ++old)
        drop_tab_widgets(main, **old);
    main.tabs.clear();
    for (auto& definition : main.model->definitions) {
        main.tabs.push_back(make_tab(main, *definition, labels_visible));
        if (main.notebook)
            append_page(main, *main.tabs.back());
    }
    main.tab = main.tabs.front().get();
    point_statistics_lines(main);
    update_tab_actions(main);
    hand_poll_definitions(main);
    if (main.notebook) {
        gtk_notebook_set_current_page(main.notebook, 0);
        g_signal_handlers_unblock_by_func(main.notebook, gpointer(on_switch_page), &main);
        g_signal_handlers_unblock_by_func(main.notebook, gpointer(on_page_switched), &main);
        // This turn has dropped and made every tab: building and realizing
        // a grid too would hold the window twice as long.
        follow_shown_tab(main, true);
    }
}

// Another block, or the same one again: the title, the link's list, and
// the grid, at once when shown or else when the tab is next shown.
void take_polled_block(PollTabs& main, uint32_t serial)
{
    PollTab* tab = find_tab_by_serial(main, serial);
    if (!tab)
        return;
    update_tab_title(*tab);
    hand_poll_definitions(main);
    if (tab == main.tab && tab->table.grid)
        build_grid(tab->table);
    else
        tab->table.built = false;
}

void take_format(PollTabs& main, uint32_t serial)
{
    PollTab* tab = find_tab_by_serial(main, serial);
    if (tab != main.tab)
        return;  // followed when shown
    if (main.format_selector)
        gtk_drop_down_set_selected(main.format_selector, guint(tab->definition->format));
    if (main.order_selector)
        gtk_drop_down_set_selected(main.order_selector, guint(tab->definition->order));
}

// Every title says its addresses anew; the shown grid is laid out again at
// once, the others when next shown.
void follow_notation(PollTabs& main)
{
    for (auto& tab : main.tabs) {
        update_tab_title(*tab);
        if (tab.get() == main.tab && tab->table.grid && tab->table.built) {
            build_grid(tab->table);
            fill_from_shown_values(tab->table);
        } else {
            tab->table.built = false;
        }
    }
    if (main.links)
        show_statuses_again(*main.links);
}

void follow_set_up(PollTabs& main, const SetUpEvent& event)
{
    switch (event.change) {
    case SetUpChange::added:
        return take_added_definition(main, event.serial);
    case SetUpChange::removed:
        return take_removed_definition(main, event.serial);
    case SetUpChange::moved:
        return take_moved_definition(main, event.serial);
    case SetUpChange::replaced:
        return take_replaced_set_up(main);
    case SetUpChange::poll:
        return take_polled_block(main, event.serial);
    case SetUpChange::name:
        if (PollTab* tab = find_tab_by_serial(main, event.serial))
            update_tab_title(*tab);
        if (main.links)
            show_statuses_again(*main.links);
        return;
    case SetUpChange::format:
        return take_format(main, event.serial);
    case SetUpChange::points:
        if (main.tab && main.tab->serial == event.serial)
            fill_from_shown_values(main.tab->table);
        return;
    case SetUpChange::connection:
    case SetUpChange::connections:
    case SetUpChange::definition_connection:
        // A title names its connection while there are several.
        for (auto& tab : main.tabs)
            update_tab_title(*tab);
        // A definition that moved polls over its new connection's link.
        if (event.change == SetUpChange::definition_connection)
            hand_poll_definitions(main);
        // The status line may name a connection.
        if (main.links)
            show_statuses_again(*main.links);
        return;
    default:
        return;
    }
}

}  // namespace

void create_tabs(PollTabs& main)
{
    main.tabs.clear();
    for (auto& definition : main.model->definitions)
        main.tabs.push_back(make_tab(main, *definition, true));
    main.tab = main.tabs.front().get();
    point_statistics_lines(main);
    listen_to_set_up(*main.model, [&main](const SetUpEvent& event) { follow_set_up(main, event); });
    main.grid_context.preferences = main.preferences;
    if (main.preferences)
        listen_to_preferences(*main.preferences, [&main] { follow_notation(main); });
}

GtkWidget* build_tab_view(PollTabs& main)
{
    main.notebook = GTK_NOTEBOOK(gtk_notebook_new());
    gtk_notebook_set_scrollable(main.notebook, TRUE);
    gtk_widget_set_hexpand(GTK_WIDGET(main.notebook), TRUE);
    gtk_widget_set_vexpand(GTK_WIDGET(main.notebook), TRUE);
    for (auto& tab : main.tabs)
        append_page(main, *tab);
    bring_in_grid(main);
    fill_from_shown_values(main.tab->table);
    point_statistics_lines(main);
    update_tab_actions(main);
    gtk_notebook_set_current_page(main.notebook, int(index_of(main, *main.tab)));
    g_signal_connect(main.notebook, "switch-page", G_CALLBACK(on_switch_page), &main);
    g_signal_connect_after(main.notebook, "switch-page", G_CALLBACK(on_page_switched), &main);
    g_signal_connect(main.notebook, "page-reordered", G_CALLBACK(on_page_reordered), &main);
    return GTK_WIDGET(main.notebook);
}

PollTab* add_poll_tab(PollTabs& main, const PollDefinition& poll)
{
    DefinitionSetUp added;
    added.poll = poll;
    if (main.tab)
        added.connection = main.tab->definition->connection;
    DefinitionSetUp* definition = add_whole_definition(*main.model, std::move(added));
    return definition ? find_tab_by_serial(main, definition->serial) : nullptr;
}

bool close_poll_tab(PollTabs& main, PollTab& tab)
{
    if (main.tabs.size() <= 1)
        return false;
    // The neighbour first, while a label typed in the tab can still be kept.
    if (&tab == main.tab) {
        size_t index = index_of(main, tab);
        show_poll_tab(main, *main.tabs[index + 1 < main.tabs.size() ? index + 1 : index - 1]);
    }
    return remove_definition(*main.model, tab.definition->serial);
}

void show_poll_tab(PollTabs& main, PollTab& tab)
{
    if (main.notebook)
        gtk_notebook_set_current_page(main.notebook, int(index_of(main, tab)));  // follows in on_switch_page
    else
        main.tab = &tab;
}

void step_poll_tab(PollTabs& main, int step)
{
    int count = int(main.tabs.size());
    int index = (int(index_of(main, *main.tab)) + step % count + count) % count;
    show_poll_tab(main, *main.tabs[size_t(index)]);
}

void hand_poll_definition(PollTabs& main, const PollDefinition& poll)
{
    set_definition_poll(*main.model, *main.tab->definition, poll);
}

void hand_poll_definitions(PollTabs& main)
{
    if (!main.links)
        return;
    std::vector<uint32_t> in_use = connections_in_use(main);
    if (main.model) {
        std::vector<uint32_t> kept;
        for (const ConnectionSetUp& connection : main.model->connections)
            kept.push_back(connection.serial);
        for (uint32_t connection : in_use)
            pass_on_link(*main.links, connection, kept);
    }
    for (uint32_t connection : in_use) {
        std::vector<PollEntry> entries;
        for (const auto& tab : main.tabs)
            if (tab->definition->connection == connection)
                entries.push_back(PollEntry{tab->definition->key, tab->definition->poll, tab->figures});
        std::shared_ptr<LinkState> link = link_for(*main.links, connection).link;
        // Stored as one record under the settings lock, so a round starting
        // now sees either the old definitions or the new ones, never a mixture.
        store_poll_entries(*link, std::move(entries));
        signal_wake(*link);
    }
    point_statistics_lines(main);
    retire_links_except(*main.links, in_use);
}

ConnectionLink* link_of_tab(PollTabs& main, const PollTab& tab)
{
    return main.links ? find_link(*main.links, tab.definition->connection) : nullptr;
}

ConnectionLink& shown_link(PollTabs& main)
{
    return link_for(*main.links, main.tab->definition->connection);
}

std::vector<uint32_t> connections_in_use(const PollTabs& main)
{
    std::vector<uint32_t> in_use;
    auto used = [&](uint32_t serial) {
        return std::any_of(main.tabs.begin(), main.tabs.end(),
                           [&](const auto& tab) { return tab->definition->connection == serial; });
    };
    if (main.model)
        for (const ConnectionSetUp& connection : main.model->connections)
            if (used(connection.serial))
                in_use.push_back(connection.serial);
    // A definition's connection is always one of the model's; should it not
    // be, it is still polled.
    for (const auto& tab : main.tabs)
        if (std::find(in_use.begin(), in_use.end(), tab->definition->connection) == in_use.end())
            in_use.push_back(tab->definition->connection);
    return in_use;
}

PollTab* find_tab_by_serial(PollTabs& main, uint32_t serial)
{
    for (auto& tab : main.tabs)
        if (tab->serial == serial)
            return tab.get();
    return nullptr;
}

AddressNotation address_notation(const PollTabs& main)
{
    return main.preferences ? main.preferences->notation : AddressNotation::protocol;
}

std::string poll_tab_title(const PollTab& tab)
{
    std::string title = tab_title(tab.definition->name, tab.definition->poll, grid_notation(tab.table));
    SetUpModel* model = tab.table.context ? tab.table.context->model : nullptr;
    if (!model || model->connections.size() < 2)
        return title;
    return shown_name(connection_of(*model, *tab.definition).name) + " \u00b7 " + title;
}

std::string status_line_text(PollTabs& main, const LinkStatus& status)
{
    std::string text = link_status_text(status);
    const DefinitionSetUp* definition = status.definition ? find_definition_by_key(*main.model, status.definition) : nullptr;
    if (!definition || main.tabs.size() < 2 || status.kind == StatusKind::cleared)
        return text;
    return tab_title(definition->name, definition->poll, address_notation(main)) + ": " + text;
}

std::string connection_status_text(PollTabs& main, uint32_t connection, const LinkStatus& status)
{
    std::string text = status_line_text(main, status);
    if (status.kind == StatusKind::cleared || !main.model || main.model->connections.size() < 2)
        return text;
    std::string name = connection_name(main, connection);
    return name.empty() ? text : name + ": " + text;
}

std::string connection_name(const PollTabs& main, uint32_t connection)
{
    if (main.model)
        for (const ConnectionSetUp& c : main.model->connections)
            if (c.serial == connection)
                return c.name;
    return {};
}

void reset_all_statistics(PollTabs& main)
{
    if (main.links)
        for (ConnectionLink& link : main.links->links)
            reset_statistics(link.link->statistics);
    for (auto& tab : main.tabs)
        reset_statistics(*tab->figures);
    refresh_statistics_view(main.tab->statistics);
}

void reset_connection_statistics(PollTabs& main, uint32_t connection)
{
    if (ConnectionLink* link = main.links ? find_link(*main.links, connection) : nullptr)
        reset_statistics(link->link->statistics);
    for (auto& tab : main.tabs)
        if (tab->definition->connection == connection)
            reset_statistics(*tab->figures);
    refresh_statistics_view(main.tab->statistics);
}

namespace {

std::string tab_report(const PollTab& tab)
{
    return poll_tab_title(tab) + "\n" + statistics_report(take_snapshot(*tab.figures)) + "\n";
}

// The tabs' definitions over one connection, then its link's totals: the
// report the program always gave.
std::string one_link_report(PollTabs& main, ConnectionLink& link)
{
    std::string link_report = statistics_report(take_snapshot(link.link->statistics));
    if (main.tabs.size() == 1)
        return link_report;
    std::string report;
    for (const auto& tab : main.tabs)
        report += tab_report(*tab);
    return report + "Link totals\n" + link_report;
}

}  // namespace

std::string all_statistics_report(PollTabs& main)
{
    std::vector<uint32_t> in_use = connections_in_use(main);
    if (!main.links || in_use.empty())
        return {};
    if (in_use.size() == 1)
        return one_link_report(main, link_for(*main.links, in_use.front()));
    std::string report;
    for (uint32_t connection : in_use) {
        ConnectionLink& link = link_for(*main.links, connection);
        report += "Connection " + connection_name(main, connection) + "\n" +
                  statistics_report(take_snapshot(link.link->statistics)) + "\n";
        for (const auto& tab : main.tabs)
            if (tab->definition->connection == connection)
                report += tab_report(*tab);
    }
    return report;
}

void rename_poll_tab(PollTabs& main, PollTab& tab, std::string_view name)
{
    rename_definition(*main.model, *tab.definition, name);
}
