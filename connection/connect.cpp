#include "connection/connect.hpp"

#include <optional>
#include <string>

#include "setup/set_up_model.hpp"
#include "widgets/status_line.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/tcp_port.hpp"
#include "handover/link_set.hpp"
#include "handover/ui_reports.hpp"
#include "link/link_reports.hpp"
#include "link/link_state.hpp"
#include "link/worker.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

constexpr uint32_t baud_rates[] = {1200, 9600, 19200};
constexpr char parities[] = {'N', 'O', 'E'};
constexpr uint8_t data_bits[] = {7, 8};
constexpr uint8_t stop_bits[] = {1, 2};

// Selects value's entry in a drop-down mapped through its table.
template <typename T, size_t N>
void select_in(GtkDropDown* selector, const T (&table)[N], T value)
{
    for (size_t i = 0; i < N; ++i)
        if (table[i] == value)
            gtk_drop_down_set_selected(selector, guint(i));
}

// The entry of a drop-down mapped through its table; the first one if
// nothing is selected, so only listed values are ever stored.
template <typename T, size_t N>
T selected_of(GtkDropDown* selector, const T (&table)[N])
{
    guint index = gtk_drop_down_get_selected(selector);
    return index < N ? table[index] : table[0];
}

void show_status(ConnectionDialog& dialog, const char* text, bool error)
{
    if (!dialog.status_line)
        return;
    if (error)
        show_status_error(dialog.status_line, text);
    else
        show_status_neutral(dialog.status_line, text);
}

void show_connect_button(ConnectionDialog& dialog, const char* text, bool destructive)
{
    if (dialog.connect_label)
        gtk_label_set_text(dialog.connect_label, text);
    if (!dialog.connect_button)
        return;
    GtkWidget* button = GTK_WIDGET(dialog.connect_button);
    gtk_widget_set_tooltip_text(button, text);
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, text, -1);
    if (destructive)
        gtk_widget_add_css_class(button, "destructive-action");
    else
        gtk_widget_remove_css_class(button, "destructive-action");
}

// Nothing to connect to: the grid is emptied and the link left alone.
void refuse_empty_device(ConnectionDialog& dialog, uint32_t connection)
{
    if (ConnectionLink* link = dialog.links ? find_link(*dialog.links, connection) : nullptr) {
        UiReports& reports = *link->reports;
        reports.status_changed({StatusKind::no_device, 0});
        clear_values_of(*reports.shown, connection);
        post_ui_work(reports, ui_work_values);
    } else {
        show_status(dialog, link_status_text({StatusKind::no_device, 0}), true);
    }
    // A count of 0 fills no cell: the old values are cleared here.
    if (dialog.tabs && dialog.tabs->tab->definition->connection == connection)
        empty_value_cells(dialog.tabs->tab->table);
}

// Reads the serial widgets into settings; false if no device name was given.
bool read_serial_settings(ConnectionDialog& dialog, ConnectionSettings& settings)
{
    g_autofree char* device = gtk_combo_box_text_get_active_text(dialog.port_combo);
    if (!device || !*device)
        return false;
    settings.device = device;
    settings.use_tcp = false;
    settings.baud_or_port = selected_of(dialog.baud_selector, baud_rates);
    settings.parity = selected_of(dialog.parity_selector, parities);
    settings.data_bits = selected_of(dialog.data_bits_selector, data_bits);
    settings.stop_bits = selected_of(dialog.stop_bits_selector, stop_bits);
    settings.serial_framing =
        gtk_check_button_get_active(dialog.ascii_choice) ? SerialFraming::ascii : SerialFraming::rtu;
    return true;
}

// Reads the TCP widgets into settings; false if the port is out of range.
// The serial line fields keep their last values for a later switch back.
bool read_tcp_settings(ConnectionDialog& dialog, ConnectionSettings& settings)
{
    std::optional<uint32_t> port = parse_tcp_port(gtk_editable_get_text(GTK_EDITABLE(dialog.port_entry)));
    if (!port)
        return false;
    settings.use_tcp = true;
    settings.device = gtk_editable_get_text(GTK_EDITABLE(dialog.ip_entry));
    settings.baud_or_port = *port;
    settings.tcp_framing = gtk_check_button_get_active(dialog.rtu_over_tcp_choice) ? TcpFraming::rtu : TcpFraming::mbap;
    return true;
}

// Sets running and starts a worker; on failure the link stays stopped.
bool start_link(ConnectionDialog& dialog, const ConnectionLink& started)
{
    LinkState& link = *started.link;
    // A notice left by a Disconnect that no worker reported belongs to the
    // old link, not to the first failure of this one.
    link.disconnect_notice.store(false, std::memory_order_release);
    link.running.store(true, std::memory_order_release);
    if (!start_worker(started.link, started.reports)) {
        link.running.store(false, std::memory_order_release);
        show_status(dialog, "Cannot start the link", true);
        return false;
    }
    return true;
}

void show_started(ConnectionDialog& dialog)
{
    show_connect_button(dialog, "Disconnect", true);
    // "Not connected" and the old link's errors no longer hold while the
    // new link connects, which may take a whole time-out.
    show_status(dialog, " ", false);
}

// Stops one link; false when it was not running.
bool stop_link(ConnectionLink& stopped)
{
    LinkState& link = *stopped.link;
    if (!link.running.load(std::memory_order_acquire))
        return false;
    link.running.store(false, std::memory_order_release);
    link.disconnect_notice.store(true, std::memory_order_release);
    // A read stuck on a slow or trickling device ends now, and nothing of
    // the old link reaches the screen after this.
    cancel_worker(link);
    UiReports& reports = *stopped.reports;
    if (fail_waiting_write(link))
        reports.write_ended(last_write_result(link));
    mark_values_stale(*reports.shown, 0, stopped.connection);
    post_ui_work(reports, ui_work_values);
    return true;
}

void show_stopped(ConnectionDialog& dialog, const std::string& text)
{
    bool running = any_link_running(*dialog.links);
    show_connect_button(dialog, running ? "Disconnect" : "Connect", running);
    show_status(dialog, text.c_str(), false);
}

// The settings connection has now: the set-up's, else its link's.
ConnectionSettings settings_of(ConnectionDialog& dialog, uint32_t connection)
{
    if (const ConnectionSetUp* set_up = dialog.model ? find_connection(*dialog.model, connection) : nullptr)
        return set_up->settings;
    ConnectionLink* link = dialog.links ? find_link(*dialog.links, connection) : nullptr;
    return link ? copy_connection_settings(*link->link) : ConnectionSettings{};
}

void reset_figures(ConnectionDialog& dialog, ConnectionLink& link)
{
    // The figures describe this connection only.
    if (dialog.tabs)
        reset_connection_statistics(*dialog.tabs, link.connection);
    else
        reset_statistics(link.link->statistics);
}

}  // namespace

uint32_t dialog_connection(const ConnectionDialog& dialog)
{
    if (dialog.model && find_connection(*dialog.model, dialog.chosen_connection))
        return dialog.chosen_connection;
    if (dialog.tabs && dialog.tabs->tab)
        return dialog.tabs->tab->definition->connection;
    return dialog.model && !dialog.model->connections.empty() ? dialog.model->connections.front().serial : 0;
}

void connect_link(ConnectionDialog& dialog)
{
    // A scan holds the line; the new settings are the user's to poll with.
    if (dialog.end_scan)
        dialog.end_scan();
    uint32_t connection = dialog_connection(dialog);
    ConnectionSettings settings = settings_of(dialog, connection);
    if (gtk_check_button_get_active(dialog.serial_choice)) {
        if (!read_serial_settings(dialog, settings)) {
            refuse_empty_device(dialog, connection);
            return;
        }
    } else if (!read_tcp_settings(dialog, settings)) {
        show_status(dialog, "Invalid TCP port", true);
        return;
    }
    settings.response_timeout_ms = static_cast<uint32_t>(gtk_spin_button_get_value_as_int(dialog.timeout_spin));
    settings.keep_open = gtk_check_button_get_active(dialog.keep_open_check);
    if (dialog.model)
        set_connection_settings(*dialog.model, connection, settings);
    gtk_widget_set_visible(GTK_WIDGET(dialog.window), FALSE);
    // A connection no definition polls over has no link to start.
    ConnectionLink* found = dialog.links ? find_link(*dialog.links, connection) : nullptr;
    if (!found)
        return;
    ConnectionLink started = *found;
    store_connection_settings(*started.link, settings);
    reset_figures(dialog, started);
    signal_wake(*started.link);
    if (started.link->running.load(std::memory_order_acquire))
        return;  // the running worker takes the new settings at its next cycle
    if (start_link(dialog, started))
        show_started(dialog);
}

void connect_all(ConnectionDialog& dialog)
{
    if (dialog.end_scan)
        dialog.end_scan();
    bool started = false;
    for (ConnectionLink& link : dialog.links->links) {
        if (link.link->running.load(std::memory_order_acquire))
            continue;
        reset_figures(dialog, link);
        started = start_link(dialog, link) || started;
    }
    if (started)
        show_started(dialog);
}

void connect_connection(ConnectionDialog& dialog, uint32_t connection)
{
    ConnectionLink* link = dialog.links ? find_link(*dialog.links, connection) : nullptr;
    if (!link || link->link->running.load(std::memory_order_acquire))
        return;
    ConnectionLink started = *link;
    reset_figures(dialog, started);
    if (start_link(dialog, started))
        show_started(dialog);
}

void disconnect_link(ConnectionDialog& dialog)
{
    if (dialog.end_scan)
        dialog.end_scan();
    bool stopped = false;
    for (ConnectionLink& link : dialog.links->links)
        stopped = stop_link(link) || stopped;
    if (stopped)
        show_stopped(dialog, "Not connected");
}

void disconnect_connection(ConnectionDialog& dialog, uint32_t connection)
{
    if (dialog.end_scan)
        dialog.end_scan();
    ConnectionLink* link = find_link(*dialog.links, connection);
    if (!link || !stop_link(*link))
        return;
    bool several = dialog.model && dialog.model->connections.size() > 1;
    std::string name = dialog.tabs ? connection_name(*dialog.tabs, connection) : std::string();
    show_stopped(dialog, several && !name.empty() ? name + ": Not connected" : "Not connected");
}

void toggle_link(ConnectionDialog& dialog)
{
    if (any_link_running(*dialog.links))
        disconnect_link(dialog);
    else if (dialog.links->links.size() > 1)
        connect_all(dialog);
    else
        open_connection_dialog(dialog);
}

std::optional<ConnectionSettings> typed_connection_settings(ConnectionDialog& dialog, ConnectionSettings base)
{
    bool serial = gtk_check_button_get_active(dialog.serial_choice);
    if (serial ? !read_serial_settings(dialog, base) : !read_tcp_settings(dialog, base))
        return std::nullopt;
    base.response_timeout_ms = static_cast<uint32_t>(gtk_spin_button_get_value_as_int(dialog.timeout_spin));
    base.keep_open = gtk_check_button_get_active(dialog.keep_open_check);
    return base;
}

std::span<const uint32_t> dialog_baud_rates()
{
    return baud_rates;
}

void show_serial_setting(ConnectionDialog& dialog, uint32_t baud, char parity)
{
    if (dialog.baud_selector)
        select_in(dialog.baud_selector, baud_rates, baud);
    if (dialog.parity_selector)
        select_in(dialog.parity_selector, parities, parity);
}

void show_connection_settings(ConnectionDialog& dialog, const ConnectionSettings& settings)
{
    gtk_check_button_set_active(settings.use_tcp ? dialog.tcp_choice : dialog.serial_choice, TRUE);
    // One field holds the baud rate or the port: the other side keeps what it shows.
    if (settings.use_tcp) {
        gtk_editable_set_text(GTK_EDITABLE(dialog.ip_entry), settings.device.c_str());
        gtk_editable_set_text(GTK_EDITABLE(dialog.port_entry), std::to_string(settings.baud_or_port).c_str());
    } else {
        gtk_editable_set_text(GTK_EDITABLE(gtk_combo_box_get_child(GTK_COMBO_BOX(dialog.port_combo))),
                              settings.device.c_str());
        select_in(dialog.baud_selector, baud_rates, settings.baud_or_port);
    }
    select_in(dialog.parity_selector, parities, settings.parity);
    select_in(dialog.data_bits_selector, data_bits, settings.data_bits);
    select_in(dialog.stop_bits_selector, stop_bits, settings.stop_bits);
    bool ascii = settings.serial_framing == SerialFraming::ascii;
    gtk_check_button_set_active(ascii ? dialog.ascii_choice : dialog.rtu_choice, TRUE);
    bool rtu_over_tcp = settings.tcp_framing == TcpFraming::rtu;
    gtk_check_button_set_active(rtu_over_tcp ? dialog.rtu_over_tcp_choice : dialog.mbap_choice, TRUE);
    gtk_spin_button_set_value(dialog.timeout_spin, double(settings.response_timeout_ms));
    gtk_check_button_set_active(dialog.keep_open_check, settings.keep_open);
}
