#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "app/application.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/dialog_helpers.hpp"
#include "link/connect.hpp"
#include "link/link_state.hpp"
#include "link/worker.hpp"
#include "support/gtk_test_env.hpp"
#include "support/modbus_test_server.hpp"

namespace {

std::string status_text()
{
    return gtk_label_get_text(app().main_window.status_line);
}

bool status_has_error()
{
    return gtk_widget_has_css_class(GTK_WIDGET(app().main_window.status_line), "error");
}

GtkWidget* connect_button()
{
    return GTK_WIDGET(app().main_window.connect_button);
}

std::string button_caption()
{
    return gtk_label_get_text(app().main_window.connect_label);
}

std::string button_tooltip()
{
    const char* tooltip = gtk_widget_get_tooltip_text(connect_button());
    return tooltip ? tooltip : "";
}

// Null when the button's accessible label is name, else the label it has.
char* accessible_name_is(const char* name)
{
    return gtk_test_accessible_check_property(GTK_ACCESSIBLE(connect_button()), GTK_ACCESSIBLE_PROPERTY_LABEL, name);
}

void choose_tcp(ConnectionDialog& d, const char* ip, const std::string& port)
{
    gtk_check_button_set_active(d.tcp_choice, TRUE);
    gtk_editable_set_text(GTK_EDITABLE(d.ip_entry), ip);
    gtk_editable_set_text(GTK_EDITABLE(d.port_entry), port.c_str());
}

void choose_serial(ConnectionDialog& d, const char* device)
{
    gtk_check_button_set_active(d.serial_choice, TRUE);
    gtk_editable_set_text(GTK_EDITABLE(gtk_combo_box_get_child(GTK_COMBO_BOX(d.port_combo))), device);
}

// Waits for every worker to leave its loop after a Disconnect.
bool workers_settle()
{
    return run_until([] { return active_workers() == 0; }, 8000);
}

}  // namespace

TEST(Connect, SerialOkStoresTheLineAndStartsTheLink)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    open_connection_dialog(d);
    choose_serial(d, "/dev/pts/9");
    gtk_drop_down_set_selected(d.baud_selector, 1);
    gtk_drop_down_set_selected(d.parity_selector, 2);
    gtk_drop_down_set_selected(d.data_bits_selector, 0);
    gtk_drop_down_set_selected(d.stop_bits_selector, 1);
    gtk_spin_button_set_value(d.timeout_spin, 250);
    gtk_check_button_set_active(d.ascii_choice, TRUE);  // shown only, never stored
    click(d.ok_button);

    ConnectionSettings expected{"/dev/pts/9", 9600, 250, 'E', 7, 2, false};
    EXPECT_EQ(copy_connection_settings(), expected);
    EXPECT_FALSE(is_visible(d));
    EXPECT_TRUE(link_state().running.load());
    EXPECT_EQ(button_caption(), "Disconnect");
    EXPECT_EQ(button_tooltip(), "Disconnect");
    EXPECT_TRUE(gtk_widget_has_css_class(connect_button(), "destructive-action"));
    disconnect_link();
}

TEST(Connect, TcpOkStoresAddressAndPortAndKeepsTheLineFields)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    open_connection_dialog(d);
    gtk_drop_down_set_selected(d.parity_selector, 1);  // serial only: not stored over TCP
    choose_tcp(d, "192.0.2.7", "1502");
    gtk_spin_button_set_value(d.timeout_spin, 0);
    click(d.ok_button);

    ConnectionSettings expected{"192.0.2.7", 1502, 0, 'N', 8, 1, true};
    EXPECT_EQ(copy_connection_settings(), expected);
    EXPECT_FALSE(is_visible(d));

    // Connect while connected changes only the settings.
    open_connection_dialog(d);
    choose_tcp(d, "", "502");
    click(d.ok_button);
    EXPECT_EQ(copy_connection_settings().device, "");
    EXPECT_EQ(copy_connection_settings().baud_or_port, 502u);
    EXPECT_EQ(button_caption(), "Disconnect");
    disconnect_link();
}

TEST(Connect, TcpPortTextIsReadOrRefused)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    struct Case {
        const char* text;
        std::optional<uint32_t> port;
    };
    const Case cases[] = {{"", 0u},          {"502abc", 502u},      {"  502", 502u},
                          {"-1", std::nullopt}, {"70000", std::nullopt}, {"99999999999", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        store_connection_settings(ConnectionSettings{});
        gtk_label_set_text(app().main_window.status_line, " ");
        gtk_widget_remove_css_class(GTK_WIDGET(app().main_window.status_line), "error");
        open_connection_dialog(d);
        choose_tcp(d, "127.0.0.1", c.text);
        click(d.ok_button);
        drain_main_loop();
        if (c.port) {
            EXPECT_EQ(copy_connection_settings().baud_or_port, *c.port);
            EXPECT_TRUE(copy_connection_settings().use_tcp);
            EXPECT_FALSE(is_visible(d));
        } else {
            EXPECT_EQ(copy_connection_settings(), ConnectionSettings{});
            EXPECT_TRUE(is_visible(d));
            EXPECT_EQ(status_text(), "Invalid TCP port");
            EXPECT_TRUE(status_has_error());
        }
    }
    disconnect_link();
}

TEST(Connect, EmptySerialDeviceEmptiesTheGridAndStartsNothing)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    LinkState& s = link_state();
    for (unsigned i = 0; i < 5; ++i)
        s.values[i].store(uint16_t(100 + i));
    s.value_count.store(5);
    open_connection_dialog(d);
    drain_main_loop();
    choose_serial(d, "");
    click(d.ok_button);
    drain_main_loop();

    EXPECT_EQ(status_text(), "No device selected");
    EXPECT_TRUE(status_has_error());
    EXPECT_EQ(s.value_count.load(), 0u);
    for (unsigned i = 0; i < 5; ++i)
        EXPECT_EQ(s.values[i].load(), 0u);
    EXPECT_TRUE(is_visible(d));
    EXPECT_EQ(copy_connection_settings(), ConnectionSettings{});
    EXPECT_FALSE(s.running.load());
    EXPECT_EQ(button_caption(), "Connect");
    run_for(1300);  // past the worker's start pause: none may appear
    EXPECT_EQ(active_workers(), 0);
}

TEST(Connect, DisconnectRestoresTheButtonAndSaysNotConnected)
{
    REQUIRE_DISPLAY();
    g_setenv("GTK_A11Y", "test", TRUE);  // before any widget: keeps accessible names readable
    ConnectionDialog& d = activate_app().connection;
    LinkState& s = link_state();

    // Disconnect while disconnected does nothing.
    gtk_label_set_text(app().main_window.status_line, "untouched");
    disconnect_link();
    EXPECT_EQ(status_text(), "untouched");
    EXPECT_FALSE(s.disconnect_notice.load());

    toggle_link(d);  // disconnected: opens the dialog
    EXPECT_TRUE(is_visible(d));
    choose_tcp(d, "127.0.0.1", "1");
    click(d.ok_button);
    EXPECT_TRUE(s.running.load());
    EXPECT_EQ(accessible_name_is("Disconnect"), nullptr);

    gtk_widget_add_css_class(GTK_WIDGET(app().main_window.status_line), "error");
    s.last_errno.store(111);
    toggle_link(d);  // connected: disconnects
    EXPECT_FALSE(is_visible(d));
    EXPECT_FALSE(s.running.load());
    EXPECT_TRUE(s.disconnect_notice.load());
    EXPECT_EQ(s.last_errno.load(), 0);
    EXPECT_EQ(status_text(), "Not connected");
    EXPECT_FALSE(status_has_error());
    EXPECT_EQ(button_caption(), "Connect");
    EXPECT_EQ(button_tooltip(), "Connect");
    EXPECT_FALSE(gtk_widget_has_css_class(connect_button(), "destructive-action"));
    EXPECT_EQ(accessible_name_is("Connect"), nullptr);
    EXPECT_TRUE(workers_settle());
}

TEST(Connect, LinkRunsAgainstARealServer)
{
    REQUIRE_DISPLAY();
    auto server = ModbusTestServer::start_tcp();
    ASSERT_NE(server, nullptr);
    ConnectionDialog& d = activate_app().connection;
    reset_peak_active_workers();
    toggle_link(d);
    choose_tcp(d, "127.0.0.1", std::to_string(server->port()));
    click(d.ok_button);

    ASSERT_TRUE(run_until([] { return active_workers() == 1; }, 5000));
    EXPECT_TRUE(run_until([&] { return server->connection_count() >= 2; }, 6000))
        << "the worker connects to the server once per cycle";
    EXPECT_EQ(active_workers(), 1);

    toggle_link(d);
    EXPECT_TRUE(workers_settle());
    EXPECT_LE(peak_active_workers(), 1);
    server->stop();
}

TEST(Connect, RapidTogglesNeverRunTwoWorkers)
{
    REQUIRE_DISPLAY();
    auto server = ModbusTestServer::start_tcp();
    ASSERT_NE(server, nullptr);
    ConnectionDialog& d = activate_app().connection;
    LinkState& s = link_state();
    PollDefinition fast;
    fast.scan_rate = 20;
    store_poll_definition(fast);
    reset_peak_active_workers();

    // Every Connect comes right after a Disconnect, before the worker it
    // replaces has left its start pause; the last Connect leaves the link up.
    choose_tcp(d, "127.0.0.1", std::to_string(server->port()));
    for (int i = 0; i < 200; ++i) {
        connect_link(d);
        ASSERT_TRUE(s.running.load());
        disconnect_link();
        if (i % 20 == 0)
            run_for(1);  // let posted reports drain now and then
    }
    connect_link(d);

    // Past every start pause, exactly one worker cycles.
    int most = 0;
    gint64 until = g_get_monotonic_time() + 2500 * 1000;
    while (g_get_monotonic_time() < until) {
        most = std::max(most, active_workers());
        run_for(5);
    }
    EXPECT_EQ(active_workers(), 1);
    EXPECT_LE(most, 1);
    EXPECT_LE(peak_active_workers(), 1);

    disconnect_link();
    EXPECT_TRUE(workers_settle());
    EXPECT_LE(peak_active_workers(), 1);
    server->stop();
}
