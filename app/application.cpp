#include "app/application.hpp"

#include "app/actions.hpp"
#include "app/color_scheme.hpp"
#include "widgets/dialog_layer.hpp"
#include "app/renderer_choice.hpp"
#include "app/resources.hpp"
#include "connection/connect.hpp"
#include "widgets/status_line.hpp"
#include "link/link_state.hpp"
#include "logger/log_queue.hpp"
#include "logger/logger_pane.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"
#include "write/write_dialog.hpp"

App& app()
{
    static App records;
    return records;
}

GtkApplication* create_application(GApplicationFlags flags)
{
    register_resources();
    // Without arguments GTK learns no program name; the file chooser and
    // the window manager want one.
    if (!g_get_prgname())
        g_set_prgname("brenvaldor");
    if (!g_get_application_name() || g_strcmp0(g_get_application_name(), g_get_prgname()) == 0)
        g_set_application_name("Brenvaldor");
    App& a = app();
    a.application = gtk_application_new("com.Brenvaldor", flags);
    g_signal_connect(a.application, "activate", G_CALLBACK(on_activate), &a.main_window);
    return a.application;
}

namespace {

// The status line shows what link reports unless that is cleared while
// another link's status still stands: one connection's good reads never
// hide another's failure.
void show_link_status(App& a, uint32_t connection, const LinkStatus& status)
{
    GtkLabel* line = a.main_window.status_line;
    if (!line)
        return;
    StandingStatus shown{status, connection};
    if (status.kind == StatusKind::cleared) {
        StandingStatus other = status_standing_elsewhere(a.links, connection);
        if (other.status.kind != StatusKind::cleared)
            shown = other;
    }
    // The text is made here, on the user-interface thread only.
    std::string text = connection_status_text(a.tabs, shown.connection, shown.status);
    if (is_error_status(shown.status.kind))
        show_status_error(line, text.c_str());
    else
        show_status_neutral(line, text.c_str());
}

// What a link's worker reports goes where the windows show it: the Logger,
// the status line, the shown tab's cells and statistics line (when the
// shown tab polls over that link), the Write dialog. The link's connection
// is read at each call: a load hands the link on to a new one.
void wire_deliveries(App& a, ConnectionLink& link)
{
    UiReports* reports = link.reports.get();  // which holds these deliveries
    auto connection = [reports] { return reports->connection.load(std::memory_order_relaxed); };
    UiDelivery& deliver = reports->deliver;
    deliver.queue_frame = [connection](const uint8_t* bytes, size_t count, LogDirection direction) {
        queue_log_frame(bytes, count, direction, connection());
    };
    deliver.wait_for_log_room = wait_for_log_room;
    deliver.log_lines = [&a] { append_log_lines(a.logger); };
    deliver.show_status = [&a, connection](const LinkStatus& status) { show_link_status(a, connection(), status); };
    deliver.definition_shown = [&a](uint16_t key) { return find_definition_by_key(a.set_up, key) != nullptr; };
    deliver.values = [&a, connection] {
        if (a.tabs.tab->definition->connection != connection())
            return;
        fill_from_shown_values(a.tabs.tab->table);
        if (gtk_widget_get_visible(GTK_WIDGET(a.point_dialog.window)))
            update_point_preview(a.point_dialog);
    };
    deliver.statistics = [&a, connection] {
        if (a.tabs.tab->definition->connection == connection())
            schedule_statistics_refresh(a.tabs.tab->statistics);
    };
    deliver.write = [&a] { report_write(&a.write); };
}

void store_set_up_settings(App& a, ConnectionLink& link)
{
    if (const ConnectionSetUp* connection = find_connection(a.set_up, link.connection))
        store_connection_settings(*link.link, connection->settings);
}

// A link is made for each connection a definition comes to poll over: it
// polls with that connection's settings, and at once while the others run.
void prepare_link(App& a, ConnectionLink& link)
{
    bool others_run = any_link_running(a.links);
    wire_deliveries(a, link);
    store_set_up_settings(a, link);
    if (others_run)
        connect_connection(a.connection, link.connection);
}

// Each link polls with its connection's settings from its next connection
// on, and the Connection dialog shows those of the connection it sets up:
// those of a loaded file too, which never connects by itself (its
// connections are new ones).
void follow_connection_settings(App& a, const SetUpEvent& event)
{
    if (event.change != SetUpChange::connection && event.change != SetUpChange::connections)
        return;
    if (ConnectionLink* link = find_link(a.links, event.serial))
        store_set_up_settings(a, *link);
    const ConnectionSetUp* changed = find_connection(a.set_up, event.serial);
    if (!changed || !a.connection.window)
        return;
    // Unless the dialog shows another connection, which it keeps.
    uint32_t shown = a.connection.chosen_connection;
    bool first = event.serial == a.set_up.connections.front().serial;
    if (shown == event.serial || (first && !find_connection(a.set_up, shown)))
        show_connection_settings(a.connection, changed->settings);
}

// The records every view works on, before any view is built: the set-up
// with its first definition and the first connection's settings, the tabs
// that show it, and the link they poll over.
void prepare_records(App& a)
{
    a.preferences = load_preferences(default_preferences_path());
    start_set_up(a.set_up, PollDefinition{});
    a.links.made = [&a](ConnectionLink& link) { prepare_link(a, link); };
    listen_to_set_up(a.set_up, [&a](const SetUpEvent& event) { follow_connection_settings(a, event); });
    PollTabs& tabs = a.tabs;
    tabs.model = &a.set_up;
    tabs.preferences = &a.preferences;
    tabs.links = &a.links;
    tabs.grid_context.model = &a.set_up;
    tabs.grid_context.shown = a.links.shown.get();
    tabs.grid_context.open_write = [&a](uint16_t address, uint16_t fallback) {
        open_write_dialog(a.write, address, fallback);
    };
    tabs.grid_context.edit_point = [&a](uint16_t address) { open_point_dialog(a.point_dialog, address); };
    tabs.shown_tab_changed = [&a] { update_labels_menu_item(a.main_window, a.tabs); };
    create_tabs(tabs);
    hand_poll_definitions(tabs);

    SetUpFiles& files = a.set_up_files;
    files.model = &a.set_up;
    files.tabs = &tabs;
    files.quit = [&a] {
        take_all_pending_ui_work(a.links);  // into the ring and a recording while the window lives
        if (a.main_window.window)
            gtk_widget_set_visible(GTK_WIDGET(a.main_window.window), FALSE);
        g_application_quit(G_APPLICATION(a.application));
    };
    build_set_up_files(files);
}

// The main window's widgets that the other windows borrow, once it is built.
void lend_main_window(App& a)
{
    MainWindow& main = a.main_window;
    GtkWindow* window = GTK_WINDOW(main.window);
    a.tabs.window = window;
    a.set_up_files.window = window;
    a.set_up_files.title = main.title;
    a.connection.status_line = main.status_line;
    a.connection.connect_button = main.connect_button;
    a.connection.connect_label = main.connect_label;
    a.logger.status_line = main.status_line;
    a.logger.window = window;
    show_set_up_title(a.set_up_files);
    follow_set_up_document(a.set_up_files);
}

}  // namespace

void on_activate(GtkApplication* application, gpointer)
{
    App& a = app();
    if (a.main_window.window) {
        // A second launch forwarded to this instance only raises the window.
        gtk_window_present(GTK_WINDOW(a.main_window.window));
        return;
    }
    prefer_cairo_over_software_gl();
    // Before any window is built, so none is styled twice at start.
    follow_desktop_color_scheme(gtk_settings_get_default(),
                                g_application_get_dbus_connection(G_APPLICATION(application)));
    MainWindow& main = a.main_window;
    // Found in the installed hicolor theme, or in the icons held in the
    // program that GtkApplication adds to the theme.
    gtk_window_set_default_icon_name("com.Brenvaldor");

    prepare_records(a);
    // Every kept dialog is made before the main window: an accessibility
    // client that asks for a child past the visible windows is answered
    // with the last-made toplevel, which therefore must be the visible one.
    a.connection.links = &a.links;
    a.chart.feed = a.links.chart.get();
    build_query_settings_dialog(a.query_settings, a.tabs);
    build_connection_dialog(a.connection, a.tabs);
    a.about = build_about_dialog();
    build_write_dialog(a.write, a.tabs);
    build_point_dialog(a.point_dialog, a.tabs);
    build_map_import_dialog(a.map_import, a.tabs, a.preferences);
    build_map_export(a.map_export, a.tabs, a.preferences);
    a.shortcuts = build_shortcuts_window();
    build_chart_window(a.chart, a.tabs);
    follow_preferences(a.chart, a.preferences);
    a.scan.links = &a.links;
    build_scan_window(a.scan, a.tabs, a.connection);
    follow_preferences(a.scan, a.preferences);
    a.connection.end_scan = [&a] { end_scan(a.scan); };
    // About and the shortcuts window bind Escape themselves.
    for (GtkWindow* dialog : {a.query_settings.window, a.connection.window, a.write.window, a.scan.window,
                              a.point_dialog.window, a.map_import.window})
        close_on_escape(dialog);

    build_logger_pane(a.logger);
    follow_connections(a.logger, a.set_up);
    register_actions(a);
    build_main_window(main, application, a.tabs, GTK_WIDGET(a.logger.outer_box));
    lend_main_window(a);

    if (a.shortcuts)
        gtk_application_window_set_help_overlay(main.window, a.shortcuts);
    gtk_window_present(GTK_WINDOW(main.window));
}

GLogWriterOutput discard_log_messages(GLogLevelFlags, const GLogField*, gsize, gpointer)
{
    return G_LOG_WRITER_HANDLED;
}
