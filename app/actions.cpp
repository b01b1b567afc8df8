#include "app/actions.hpp"

#include "app/application.hpp"
#include "config/config_dialogs.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/connect.hpp"
#include "query/query_settings_dialog.hpp"
#include "write/write_dialog.hpp"
#include "table/register_grid.hpp"

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
    start_save_configuration(*static_cast<MainWindow*>(main));
}

void on_load_poll_definition(GSimpleAction*, GVariant*, gpointer main)
{
    start_load_configuration(*static_cast<MainWindow*>(main));
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

void on_about_window(GSimpleAction*, GVariant*, gpointer about)
{
    present_about_dialog(static_cast<GtkAboutDialog*>(about), GTK_WINDOW(app().main_window.window));
}

void on_toggle_alias_column(GSimpleAction*, GVariant*, gpointer main)
{
    toggle_label_column(*static_cast<MainWindow*>(main));
    update_labels_menu_item(*static_cast<MainWindow*>(main));
}

void on_chart(GSimpleAction*, GVariant*, gpointer chart)
{
    present_chart_window(*static_cast<ChartWindow*>(chart));
}

void on_reset_statistics(GSimpleAction*, GVariant*, gpointer view)
{
    reset_statistics_view(*static_cast<StatisticsView*>(view));
}

void on_copy_statistics(GSimpleAction*, GVariant*, gpointer view)
{
    copy_statistics(*static_cast<StatisticsView*>(view));
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
    add_action(application, "save-poll-definition", G_CALLBACK(on_save_poll_definition), &a.main_window);
    add_action(application, "load-poll-definition", G_CALLBACK(on_load_poll_definition), &a.main_window);
    add_action(application, "connection-definition", G_CALLBACK(on_connection_definition), &a.connection);
    add_action(application, "write-register", G_CALLBACK(on_write_register), &a.write);
    add_action(application, "disconnect", G_CALLBACK(on_disconnect), &a.connection);
    add_action(application, "about-window", G_CALLBACK(on_about_window), a.about);
    add_action(application, "toggle-alias-column", G_CALLBACK(on_toggle_alias_column), &a.main_window);
    add_action(application, "reset-statistics", G_CALLBACK(on_reset_statistics), &a.main_window.statistics);
    add_action(application, "copy-statistics", G_CALLBACK(on_copy_statistics), &a.main_window.statistics);
    add_action(application, "chart", G_CALLBACK(on_chart), &a.chart);
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
        {"app.toggle-alias-column", "<ctrl>t"},
        {"app.chart", "<ctrl>g"},
    };
    for (const Binding& binding : bindings) {
        const char* accels[] = {binding.accel, nullptr};
        gtk_application_set_accels_for_action(application, binding.action, accels);
    }
}

GMenuItem* make_labels_item(bool labels_visible)
{
    return g_menu_item_new(labels_visible ? hide_labels_text : show_labels_text, toggle_labels_action);
}

void build_menu(MainWindow& main)
{
    main.menu = g_menu_new();
    g_menu_append(main.menu, "_Connect", "app.connection-definition");
    g_menu_append(main.menu, "_Disconnect", "app.disconnect");
    g_menu_append(main.menu, "_Query Settings", "app.poll-definition");
    g_menu_append(main.menu, "Write Settings", "app.write-register");
    g_menu_append(main.menu, "_Save", "app.save-poll-definition");
    g_menu_append(main.menu, "_Load", "app.load-poll-definition");
    g_menu_append(main.menu, "_Info", "win.show-help-overlay");
    main.labels_item_position = g_menu_model_get_n_items(G_MENU_MODEL(main.menu));
    main.labels_item = make_labels_item(main.labels_visible);
    g_menu_append_item(main.menu, main.labels_item);
    g_menu_append(main.menu, "Reset Statistics", "app.reset-statistics");
    g_menu_append(main.menu, "Copy Statistics", "app.copy-statistics");
    g_menu_append(main.menu, "Chart", "app.chart");
    g_menu_append(main.menu, "_About", "app.about-window");
}

}  // namespace

void register_actions(App& a)
{
    set_accels(a.application);
    add_actions(a);
    build_menu(a.main_window);
}

void update_labels_menu_item(MainWindow& main)
{
    if (!main.menu)
        return;
    GMenuItem* item = make_labels_item(main.labels_visible);
    g_menu_remove(main.menu, main.labels_item_position);
    g_menu_insert_item(main.menu, main.labels_item_position, item);
    if (main.labels_item)
        g_object_unref(main.labels_item);
    main.labels_item = item;
}
