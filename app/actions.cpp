#include "app/actions.hpp"

#include <optional>
#include <string>

#include "app/application.hpp"
#include "widgets/dialog_layer.hpp"
#include "config/set_up_window.hpp"
#include "config/config_dialogs.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/connect.hpp"
#include "query/query_settings_dialog.hpp"
#include "registermap/map_export_file.hpp"
#include "registermap/map_import_dialog.hpp"
#include "write/write_dialog.hpp"
#include "table/grid_input.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"
#include "setup/definition_name.hpp"

namespace {

constexpr const char* show_labels_text = "Show Labels";
constexpr const char* hide_labels_text = "Hide Labels";
constexpr const char* toggle_labels_action = "app.toggle-alias-column";

void on_poll_definition(GSimpleAction*, GVariant*, gpointer dialog)
{
    open_query_settings(*static_cast<QuerySettingsDialog*>(dialog));
}

void on_save_poll_definition(GSimpleAction*, GVariant*, gpointer main)
{
    start_save_configuration(*static_cast<SetUpFiles*>(main));
}

void on_load_poll_definition(GSimpleAction*, GVariant*, gpointer main)
{
    start_load_configuration(*static_cast<SetUpFiles*>(main));
}

void on_import_register_map(GSimpleAction*, GVariant*, gpointer dialog)
{
    start_map_import(*static_cast<MapImportDialog*>(dialog));
}

void on_export_register_map(GSimpleAction*, GVariant*, gpointer map_export)
{
    start_map_export(*static_cast<MapExport*>(map_export));
}

void on_connection_definition(GSimpleAction*, GVariant*, gpointer dialog)
{
    // Also while connected: the settings of a running link can be changed.
    open_connection_dialog(*static_cast<ConnectionDialog*>(dialog));
}

void on_write_register(GSimpleAction*, GVariant*, gpointer dialog)
{
    present_write_dialog(*static_cast<WriteDialog*>(dialog));
}

void on_disconnect(GSimpleAction*, GVariant*, gpointer dialog)
{
    disconnect_link(*static_cast<ConnectionDialog*>(dialog));
}

// The shown tab's connection alone; the others poll on.
void on_disconnect_shown(GSimpleAction*, GVariant*, gpointer data)
{
    App& a = *static_cast<App*>(data);
    disconnect_connection(a.connection, a.tabs.tab->definition->connection);
}

void on_about_window(GSimpleAction*, GVariant*, gpointer about)
{
    present_about_dialog(static_cast<GtkAboutDialog*>(about), GTK_WINDOW(app().main_window.window));
}

void on_toggle_alias_column(GSimpleAction*, GVariant*, gpointer)
{
    App& a = app();
    toggle_label_column(a.tabs.tab->table);
    update_labels_menu_item(a.main_window, a.tabs);
}

void on_chart(GSimpleAction*, GVariant*, gpointer chart)
{
    present_chart_window(*static_cast<ChartWindow*>(chart));
}

// Points show their registers as read, or their values (a toggle).
void on_raw_values(GSimpleAction* action, GVariant*, gpointer)
{
    App& a = app();
    g_autoptr(GVariant) state = g_action_get_state(G_ACTION(action));
    bool raw = !g_variant_get_boolean(state);
    g_simple_action_set_state(action, g_variant_new_boolean(raw));
    a.tabs.grid_context.raw_values = raw;
    fill_from_shown_values(a.tabs.tab->table);
}

// A notation chosen in the menu: every view follows it; a key file that
// cannot be written only costs the choice at the next start.
void on_address_notation(GSimpleAction* action, GVariant* key, gpointer data)
{
    App& a = *static_cast<App*>(data);
    std::optional<AddressNotation> notation = notation_from_key(g_variant_get_string(key, nullptr));
    if (!notation)
        return;
    g_simple_action_set_state(action, key);
    std::string reason;
    if (set_address_notation(a.preferences, *notation, &reason))
        return;
    std::string detail = a.preferences.path + ": " + reason + ". The notation holds until the program ends.";
    show_refusal(GTK_WINDOW(a.main_window.window), "Cannot keep the address notation", detail.c_str());
}

void add_address_notation_action(App& a)
{
    std::string key(notation_key(a.preferences.notation));
    g_autoptr(GSimpleAction) action =
        g_simple_action_new_stateful("address-notation", G_VARIANT_TYPE_STRING, g_variant_new_string(key.c_str()));
    g_signal_connect(action, "change-state", G_CALLBACK(on_address_notation), &a);
    g_action_map_add_action(G_ACTION_MAP(a.application), G_ACTION(action));
}

// On the value under the grid's cursor, or the block's first without one.
void on_edit_point(GSimpleAction*, GVariant*, gpointer)
{
    App& a = app();
    RegisterGrid& table = a.tabs.tab->table;
    uint32_t address = table.definition->poll.address;
    if (table.cursor_row >= 1 && table.cursor_column >= 1 && cursor_address(table) <= highest_address)
        address = group_first_address(table, cursor_address(table));
    open_point_dialog(a.point_dialog, uint16_t(address));
}

// "+" on a grid.
void on_chart_cursor(GSimpleAction*, GVariant*, gpointer chart)
{
    add_cursor_address(*static_cast<ChartWindow*>(chart));
}

void on_scan_bus(GSimpleAction*, GVariant*, gpointer scan)
{
    present_scan_window(*static_cast<ScanWindow*>(scan));
}

void on_reset_statistics(GSimpleAction*, GVariant*, gpointer main)
{
    reset_all_statistics(*static_cast<PollTabs*>(main));
}

void on_copy_statistics(GSimpleAction*, GVariant*, gpointer data)
{
    PollTabs& tabs = *static_cast<PollTabs*>(data);
    if (!tabs.window)
        return;
    std::string report = all_statistics_report(tabs);
    gdk_clipboard_set_text(gtk_widget_get_clipboard(GTK_WIDGET(tabs.window)), report.c_str());
}

// A copy of the shown definition without its labels, set up at once.
void on_new_definition(GSimpleAction*, GVariant*, gpointer)
{
    App& a = app();
    if (add_poll_tab(a.tabs, a.tabs.tab->definition->poll))
        open_query_settings_for_new_tab(a.query_settings);
    else
        show_refusal(GTK_WINDOW(a.main_window.window), "Cannot add a poll definition",
                     definition_limit_text().c_str());
}

void on_close_definition(GSimpleAction*, GVariant*, gpointer main)
{
    close_poll_tab(*static_cast<PollTabs*>(main), *static_cast<PollTabs*>(main)->tab);
}

void on_next_definition(GSimpleAction*, GVariant*, gpointer main)
{
    step_poll_tab(*static_cast<PollTabs*>(main), 1);
}

void on_previous_definition(GSimpleAction*, GVariant*, gpointer main)
{
    step_poll_tab(*static_cast<PollTabs*>(main), -1);
}

void on_rename_definition(GSimpleAction*, GVariant*, gpointer main)
{
    start_tab_rename(*static_cast<PollTabs*>(main));
}

void on_quit(GSimpleAction*, GVariant*, gpointer main)
{
    quit_after_asking(*static_cast<SetUpFiles*>(main));
}

void on_open_recent_set_up(GSimpleAction*, GVariant* uri, gpointer main)
{
    open_recent_set_up(*static_cast<SetUpFiles*>(main), g_variant_get_string(uri, nullptr));
}

void add_action(GtkApplication* application, const char* name, GCallback handler, gpointer data)
{
    g_autoptr(GSimpleAction) action = g_simple_action_new(name, nullptr);
    g_signal_connect(action, "activate", handler, data);
    g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(action));
}

void add_actions(App& a)
{
    GtkApplication* application = a.application;
    add_action(application, "poll-definition", G_CALLBACK(on_poll_definition), &a.query_settings);
    add_action(application, "save-poll-definition", G_CALLBACK(on_save_poll_definition), &a.set_up_files);
    add_action(application, "load-poll-definition", G_CALLBACK(on_load_poll_definition), &a.set_up_files);
    add_action(application, "import-register-map", G_CALLBACK(on_import_register_map), &a.map_import);
    add_action(application, "export-register-map", G_CALLBACK(on_export_register_map), &a.map_export);
    add_action(application, "connection-definition", G_CALLBACK(on_connection_definition), &a.connection);
    add_action(application, "write-register", G_CALLBACK(on_write_register), &a.write);
    add_action(application, "disconnect", G_CALLBACK(on_disconnect), &a.connection);
    add_action(application, "disconnect-shown", G_CALLBACK(on_disconnect_shown), &a);
    add_action(application, "about-window", G_CALLBACK(on_about_window), a.about);
    add_action(application, "toggle-alias-column", G_CALLBACK(on_toggle_alias_column), nullptr);
    add_action(application, "reset-statistics", G_CALLBACK(on_reset_statistics), &a.tabs);
    add_action(application, "copy-statistics", G_CALLBACK(on_copy_statistics), &a.tabs);
    add_action(application, "new-definition", G_CALLBACK(on_new_definition), nullptr);
    add_action(application, "close-definition", G_CALLBACK(on_close_definition), &a.tabs);
    add_action(application, "next-definition", G_CALLBACK(on_next_definition), &a.tabs);
    add_action(application, "previous-definition", G_CALLBACK(on_previous_definition), &a.tabs);
    add_action(application, "rename-definition", G_CALLBACK(on_rename_definition), &a.tabs);
    add_action(application, "chart", G_CALLBACK(on_chart), &a.chart);
    add_action(application, "chart-cursor", G_CALLBACK(on_chart_cursor), &a.chart);
    add_action(application, "edit-point", G_CALLBACK(on_edit_point), nullptr);
    add_action(application, "scan-bus", G_CALLBACK(on_scan_bus), &a.scan);
    add_action(application, "quit", G_CALLBACK(on_quit), &a.set_up_files);
    g_autoptr(GSimpleAction) raw = g_simple_action_new_stateful("raw-values", nullptr, g_variant_new_boolean(FALSE));
    g_signal_connect(raw, "activate", G_CALLBACK(on_raw_values), nullptr);
    g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(raw));
    add_address_notation_action(a);
    g_autoptr(GSimpleAction) recent = g_simple_action_new("open-recent-set-up", G_VARIANT_TYPE_STRING);
    g_signal_connect(recent, "activate", G_CALLBACK(on_open_recent_set_up), &a.set_up_files);
    g_action_map_add_action(G_ACTION_MAP(application), G_ACTION(recent));
}

void set_accels(GtkApplication* application)
{
    struct Binding {
        const char* action;
        const char* accel;
    };
    static constexpr Binding bindings[] = {
        {"app.poll-definition", "F5"},
        {"app.connection-definition", "F3"},
        {"app.write-register", "F6"},
        {"app.disconnect", "F4"},
        {"win.show-help-overlay", "<ctrl>question"},
        {"app.save-poll-definition", "<ctrl>s"},
        {"app.load-poll-definition", "<ctrl>l"},
        {"app.import-register-map", "<ctrl>i"},
        {"app.toggle-alias-column", "<ctrl>t"},
        {"app.raw-values", "<ctrl>r"},
        {"app.edit-point", "<ctrl>e"},
        {"app.chart", "<ctrl>g"},
        {"app.scan-bus", "<ctrl>b"},
        {"app.new-definition", "<ctrl>n"},
        {"app.close-definition", "<ctrl>w"},
        {"app.next-definition", "<ctrl>Page_Down"},
        {"app.previous-definition", "<ctrl>Page_Up"},
        {"app.quit", "<ctrl>q"},
    };
    for (const Binding& binding : bindings) {
        const char* accels[] = {binding.accel, nullptr};
        gtk_application_set_accels_for_action(application, binding.action, accels);
    }
}

// One radio item for each notation, in the order of AddressNotation.
GMenu* make_notation_menu()
{
    GMenu* menu = g_menu_new();
    for (AddressNotation notation : {AddressNotation::protocol, AddressNotation::register_number,
                                     AddressNotation::modicon, AddressNotation::hexadecimal}) {
        std::string key(notation_key(notation));
        g_autoptr(GMenuItem) item = g_menu_item_new(notation_name(notation).c_str(), nullptr);
        g_menu_item_set_action_and_target_value(item, "app.address-notation", g_variant_new_string(key.c_str()));
        g_menu_append_item(menu, item);
    }
    return menu;
}

GMenuItem* make_labels_item(bool labels_visible)
{
    return g_menu_item_new(labels_visible ? hide_labels_text : show_labels_text, toggle_labels_action);
}

void build_menu(MainWindow& main, App& a)
{
    main.menu = g_menu_new();
    g_menu_append(main.menu, "_Connect", "app.connection-definition");
    g_menu_append(main.menu, "_Disconnect", "app.disconnect");
    g_menu_append(main.menu, "_Query Settings", "app.poll-definition");
    g_menu_append(main.menu, "Write Settings", "app.write-register");
    g_menu_append(main.menu, "_Save", "app.save-poll-definition");
    g_menu_append(main.menu, "_Load", "app.load-poll-definition");
    g_menu_append_submenu(main.menu, "_Recent Set-ups", build_recent_set_ups_menu(a.set_up_files));
    g_menu_append(main.menu, "Import Register Map\u2026", "app.import-register-map");
    g_menu_append(main.menu, "Export Register Map\u2026", "app.export-register-map");
    g_menu_append(main.menu, "_Info", "win.show-help-overlay");
    main.labels_item_position = g_menu_model_get_n_items(G_MENU_MODEL(main.menu));
    main.labels_item = make_labels_item(a.tabs.tab->table.labels_visible);
    g_menu_append_item(main.menu, main.labels_item);
    g_menu_append(main.menu, "Edit Point…", "app.edit-point");
    g_menu_append(main.menu, "Raw Values", "app.raw-values");
    g_autoptr(GMenu) notations = make_notation_menu();
    g_menu_append_submenu(main.menu, "Address Notation", G_MENU_MODEL(notations));
    g_menu_append(main.menu, "Reset Statistics", "app.reset-statistics");
    g_menu_append(main.menu, "Copy Statistics", "app.copy-statistics");
    g_menu_append(main.menu, "Chart", "app.chart");
    g_menu_append(main.menu, "Scan Bus", "app.scan-bus");
    g_menu_append(main.menu, "_New Poll Definition", "app.new-definition");
    g_menu_append(main.menu, "Close Poll Definition", "app.close-definition");
    g_menu_append(main.menu, "Rename Poll Definition", "app.rename-definition");
    g_menu_append(main.menu, "Next Poll Definition", "app.next-definition");
    g_menu_append(main.menu, "Previous Poll Definition", "app.previous-definition");
    g_menu_append(main.menu, "_About", "app.about-window");
}

// Below Disconnect while the set-up has several connections, and only
// then: over one, Disconnect says it all.
void offer_disconnect_shown(MainWindow& main, const SetUpModel& model)
{
    constexpr int position = 2;  // after Connect and Disconnect
    bool wanted = model.connections.size() > 1;
    if (!main.menu || wanted == main.disconnect_shown_offered)
        return;
    if (wanted)
        g_menu_insert(main.menu, position, "Disconnect This Connection", "app.disconnect-shown");
    else
        g_menu_remove(main.menu, position);
    main.disconnect_shown_offered = wanted;
    main.labels_item_position += wanted ? 1 : -1;
}

}  // namespace

void register_actions(App& a)
{
    set_accels(a.application);
    add_actions(a);
    build_menu(a.main_window, a);
    offer_disconnect_shown(a.main_window, a.set_up);
    listen_to_set_up(a.set_up, [&a](const SetUpEvent& event) {
        if (event.change == SetUpChange::connections || event.change == SetUpChange::replaced)
            offer_disconnect_shown(a.main_window, a.set_up);
    });
}

void update_labels_menu_item(MainWindow& main, const PollTabs& tabs)
{
    if (!main.menu)
        return;
    GMenuItem* item = make_labels_item(tabs.tab->table.labels_visible);
    g_menu_remove(main.menu, main.labels_item_position);
    g_menu_insert_item(main.menu, main.labels_item_position, item);
    if (main.labels_item)
        g_object_unref(main.labels_item);
    main.labels_item = item;
}
