#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/application.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/dialog_helpers.hpp"
#include "connection/connect.hpp"
#include "link/link_state.hpp"
#include "link/worker.hpp"
#include "support/gtk_test_env.hpp"
#include "support/modbus_test_server.hpp"

namespace {

// The dialog of the one app, built with accessible names readable (the test
// environment turns accessibility off; it is read once, before any widget).
ConnectionDialog& dialog_with_a11y()
{
    g_setenv("GTK_A11Y", "test", TRUE);
    return activate_app().connection;
}

GtkWidget* status_line()
{
    return GTK_WIDGET(app().main_window.status_line);
}

void expect_status(const char* text, bool error)
{
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(status_line())), text);
    EXPECT_EQ(gtk_widget_has_css_class(status_line(), "error"), error);
}

// Caption, tooltip, accessible name and look of the Connect button.
void expect_button(const char* caption, bool destructive)
{
    GtkWidget* button = GTK_WIDGET(app().main_window.connect_button);
    EXPECT_STREQ(gtk_label_get_text(app().main_window.connect_label), caption);
    EXPECT_STREQ(gtk_widget_get_tooltip_text(button), caption);
    EXPECT_EQ(gtk_test_accessible_check_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, caption),
              nullptr);
    EXPECT_EQ(gtk_widget_has_css_class(button, "destructive-action"), destructive);
}

void choose_tcp(ConnectionDialog& d, const char* ip, const std::string& port)
{
    gtk_check_button_set_active(d.tcp_choice, TRUE);
    gtk_editable_set_text(GTK_EDITABLE(d.ip_entry), ip);
    gtk_editable_set_text(GTK_EDITABLE(d.port_entry), port.c_str());
}

}  // namespace

TEST(Connect, SerialOkStoresTheLineAndStartsTheLink)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = dialog_with_a11y();
    open_connection_dialog(d);
    type_port_name(d, "/dev/pts/9");
    gtk_drop_down_set_selected(d.baud_selector, 1);
    gtk_drop_down_set_selected(d.parity_selector, 2);
    gtk_drop_down_set_selected(d.data_bits_selector, 0);
    gtk_drop_down_set_selected(d.stop_bits_selector, 1);
    gtk_spin_button_set_value(d.timeout_spin, 250);
    gtk_check_button_set_active(d.ascii_choice, TRUE);
    gtk_check_button_set_active(d.keep_open_check, TRUE);
    click(d.ok_button);

    EXPECT_EQ(copy_connection_settings(), (ConnectionSettings{"/dev/pts/9", 9600, 250, 'E', 7, 2, false, true, SerialFraming::ascii}));
    EXPECT_FALSE(is_visible(d));
    EXPECT_TRUE(app_link().running.load());
    expect_button("Disconnect", true);
    disconnect_link();
}

TEST(Connect, TcpOkStoresAddressAndPortOrRefusesThePortText)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    open_connection_dialog(d);
    gtk_drop_down_set_selected(d.parity_selector, 1);  // serial only: not stored over TCP
    gtk_spin_button_set_value(d.timeout_spin, 0);
    struct Case {
        const char* ip;
        const char* text;
        std::optional<uint32_t> port;
    };
    // After the first row the link is up: each Ok then changes only the settings.
    const Case cases[] = {{"127.0.0.7", "", 0u},           {"", "502abc", 502u},
                          {"127.0.0.1", "  502", 502u},    {"127.0.0.1", "-1", std::nullopt},
                          {"127.0.0.1", "70000", std::nullopt}, {"127.0.0.1", "99999999999", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        store_connection_settings(ConnectionSettings{});
        gtk_label_set_text(GTK_LABEL(status_line()), " ");
        gtk_widget_remove_css_class(status_line(), "error");
        open_connection_dialog(d);
        choose_tcp(d, c.ip, c.text);
        click(d.ok_button);
        drain_main_loop();
        EXPECT_EQ(is_visible(d), !c.port);
        if (c.port) {
            EXPECT_EQ(copy_connection_settings(), (ConnectionSettings{c.ip, *c.port, 0, 'N', 8, 1, true}));
            EXPECT_TRUE(app_link().running.load());
        } else {
            EXPECT_EQ(copy_connection_settings(), ConnectionSettings{});
            expect_status("Invalid TCP port", true);
        }
    }
    // A gateway that passes RTU frames through.
    open_connection_dialog(d);
    choose_tcp(d, "127.0.0.1", "502");
    gtk_check_button_set_active(d.rtu_over_tcp_choice, TRUE);
    click(d.ok_button);
    EXPECT_EQ(copy_connection_settings().tcp_framing, TcpFraming::rtu);
    disconnect_link();
}

TEST(Connect, EmptySerialDeviceEmptiesTheGridAndStartsNothing)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    LinkState& s = app_link();
    const uint16_t shown[] = {0, 0, 0, 0, 104};
    publish_values(copy_poll_definition(), shown, 5, true);
    open_connection_dialog(d);
    drain_main_loop();
    type_port_name(d, "");
    click(d.ok_button);
    drain_main_loop();

    expect_status("No device selected", true);
    PublishedValues published = copy_values_for(copy_poll_definition());
    EXPECT_EQ(published.value_count, 0u);
    EXPECT_EQ(published.values[4], 0u);
    EXPECT_TRUE(is_visible(d));
    EXPECT_EQ(copy_connection_settings(), ConnectionSettings{});
    EXPECT_FALSE(s.running.load());
    run_for(1300);  // past the worker's start pause: none may appear
    EXPECT_EQ(active_workers(), 0);
}

TEST(Connect, DisconnectRestoresTheButtonAndSaysNotConnected)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = dialog_with_a11y();
    LinkState& s = app_link();

    // Disconnect while disconnected does nothing.
    gtk_label_set_text(GTK_LABEL(status_line()), "untouched");
    disconnect_link();
    expect_status("untouched", false);
    EXPECT_FALSE(s.disconnect_notice.load());

    toggle_link(d);  // disconnected: opens the dialog
    EXPECT_TRUE(is_visible(d));
    choose_tcp(d, "127.0.0.1", "1");
    click(d.ok_button);
    EXPECT_TRUE(s.running.load());

    gtk_widget_add_css_class(status_line(), "error");
    toggle_link(d);  // connected: disconnects
    EXPECT_FALSE(is_visible(d));
    EXPECT_FALSE(s.running.load());
    EXPECT_TRUE(s.disconnect_notice.load());
    expect_status("Not connected", false);
    expect_button("Connect", false);
    EXPECT_TRUE(run_until([] { return active_workers() == 0; }, 8000));  // the worker ends

    // Connect again: while it connects, neither the notice nor the figures
    // of the old link stand.
    record_request_sent(link_statistics());
    refresh_statistics_view(app().tabs.tab->statistics);
    toggle_link(d);
    choose_tcp(d, "127.0.0.1", "1");
    click(d.ok_button);
    expect_status(" ", false);
    EXPECT_EQ(std::string(gtk_label_get_text(app().tabs.tab->statistics.line)).substr(0, 7), "Polls 0");
    disconnect_link();
}

TEST(Connect, RapidTogglesLeaveOneWorkerCyclingAgainstARealServer)
{
    REQUIRE_DISPLAY();
    auto server = ModbusTestServer::start_tcp();
    ASSERT_NE(server, nullptr);
    ConnectionDialog& d = activate_app().connection;
    PollDefinition fast;
    fast.scan_rate = 20;
    store_poll_definition(fast);
    reset_peak_active_workers();

    // Every Connect comes right after a Disconnect, before the worker it
    // replaces has left its start pause; the last Connect leaves the link up,
    // kept open.
    choose_tcp(d, "127.0.0.1", std::to_string(server->port()));
    gtk_check_button_set_active(d.keep_open_check, TRUE);
    for (int i = 0; i < 200; ++i) {
        connect_link(d);
        ASSERT_TRUE(app_link().running.load());
        disconnect_link();
        if (i % 20 == 0)
            run_for(1);  // let posted reports drain now and then
    }
    connect_link(d);

    // Twenty cycles of the last worker take every replaced worker past its
    // start pause: none of them may have cycled beside it.
    EXPECT_TRUE(run_until([&] { return server->request_count() >= 20; }, 6000));
    EXPECT_EQ(active_workers(), 1);
    EXPECT_LE(peak_active_workers(), 1);
    EXPECT_EQ(server->connection_count(), 1u);

    disconnect_link();
    EXPECT_TRUE(run_until([] { return active_workers() == 0; }, 8000));  // the worker ends
    EXPECT_LE(peak_active_workers(), 1);
    EXPECT_TRUE(run_until([&] { return server->closed_count() == 1; }, 1000));
    EXPECT_EQ(server->overlap_count(), 0u);
    server->stop();
}
