// Several connections at once: each tab polls over the link of its own
// connection, to real servers on this machine.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/application.hpp"
#include "connection/connect.hpp"
#include "handover/link_set.hpp"
#include "link/worker.hpp"
#include "scan/scan_window.hpp"
#include "support/gtk_test_env.hpp"
#include "support/modbus_test_server.hpp"
#include "support/pymodbus_launcher.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

ConnectionSettings local_tcp(int port, uint32_t timeout_ms = 1000)
{
    return {.device = "127.0.0.1", .baud_or_port = uint32_t(port), .response_timeout_ms = timeout_ms, .use_tcp = true};
}

uint32_t first_connection()
{
    return app().set_up.connections.front().serial;
}

// A new tab polling poll over connection.
DefinitionSetUp& add_tab(const PollDefinition& poll, uint32_t connection)
{
    PollTab* tab = add_poll_tab(app().tabs, poll);
    EXPECT_TRUE(tab);
    set_definition_connection(app().set_up, *tab->definition, connection);
    return *tab->definition;
}

PublishedValues values_of(const DefinitionSetUp& definition)
{
    return copy_values_for(*app().links.shown, definition.key, definition.poll);
}

bool shows_live_values(const DefinitionSetUp& definition)
{
    PublishedValues values = values_of(definition);
    return values.live && values.value_count == definition.poll.length;
}

std::string status_text()
{
    return gtk_label_get_text(app().main_window.status_line);
}

// The Logger's view as the user reads it, with every line logged so far.
std::string logger_view_text()
{
    drain_main_loop();
    flush_logger_view(app().logger);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(app().logger.text_view);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    g_autofree char* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    return text;
}

}  // namespace

// Given two pymodbus servers with different values and three tabs, two over the
// first connection and one over "PLC": expect each tab to show its own
// server's values, each server to hear only its own tabs' blocks, the
// Logger to name the connection of each line and filter by it, Copy
// Statistics to report each connection, and the link of a connection no tab
// uses any more to be stopped and dropped.
TEST(Connections, EachTabPollsItsOwnServer)
{
    REQUIRE_DISPLAY();
    auto first = PymodbusServer::start(PymodbusServer::Mode::tcp, true);
    ASSERT_TRUE(first) << "python3-pymodbus";
    auto second = PymodbusServer::start(PymodbusServer::Mode::tcp, true, 7000);
    ASSERT_TRUE(second);
    App& a = activate_app();
    set_connection_settings(a.set_up, first_connection(), local_tcp(first->port()));
    ConnectionSetUp* plc = add_connection(a.set_up, "PLC", local_tcp(second->port()));
    ASSERT_TRUE(plc);
    uint32_t plc_serial = plc->serial;
    hand_poll_definition(a.tabs, PollDefinition{1, 3, 0, 10, 100});
    DefinitionSetUp& one = *a.tabs.tab->definition;
    DefinitionSetUp& two = add_tab(PollDefinition{1, 3, 20, 5, 100}, first_connection());
    DefinitionSetUp& three = add_tab(PollDefinition{1, 3, 40, 4, 100}, plc_serial);
    ASSERT_EQ(a.links.links.size(), 2u);

    toggle_link(a.connection);  // over several connections: connects them all
    ASSERT_TRUE(run_until([&] { return shows_live_values(one) && shows_live_values(two) && shows_live_values(three); },
                          8000));
    EXPECT_EQ(values_of(one).values[9], 1009);
    EXPECT_EQ(values_of(two).values[0], 1020);
    EXPECT_EQ(values_of(three).values[3], 7043);
    EXPECT_STREQ(gtk_label_get_text(a.main_window.connect_label), "Disconnect");

    auto first_reads = first->requests_logged();
    auto second_reads = second->requests_logged();
    EXPECT_FALSE(first_reads.empty() || second_reads.empty());
    for (const auto& read : first_reads)
        EXPECT_TRUE(read.address == 0 || read.address == 20) << read.address;
    for (const auto& read : second_reads)
        EXPECT_EQ(read.address, 40);

    std::string all = logger_view_text();
    std::string first_mark = "[" + a.set_up.connections.front().name + "]";
    EXPECT_NE(all.find(first_mark), std::string::npos);
    EXPECT_NE(all.find("[PLC]"), std::string::npos);
    filter_log_lines(a.logger, plc_serial);
    std::string filtered = logger_view_text();
    EXPECT_NE(filtered.find("[PLC] TX: "), std::string::npos);
    EXPECT_EQ(filtered.find(first_mark), std::string::npos);

    std::string report = all_statistics_report(a.tabs);
    size_t plc_at = report.find("Connection PLC");
    ASSERT_NE(plc_at, std::string::npos);
    EXPECT_NE(report.find(poll_tab_title(*find_tab_by_serial(a.tabs, three.serial)), plc_at), std::string::npos);

    // The last tab over PLC moves to the first connection: PLC's link goes,
    // its worker ends, and nothing holds it any more.
    std::weak_ptr<LinkState> plc_link = find_link(a.links, plc_serial)->link;
    set_definition_connection(a.set_up, three, first_connection());
    EXPECT_EQ(find_link(a.links, plc_serial), nullptr);
    EXPECT_TRUE(run_until([&] { return plc_link.expired() && a.links.retiring.empty(); }, 5000));
    size_t heard = second->requests_logged().size();
    run_for(400);
    EXPECT_EQ(second->requests_logged().size(), heard);
    EXPECT_TRUE(run_until([&] { return values_of(three).live && values_of(three).values[0] == 1040; }, 5000));

    std::shared_ptr<LinkState> kept = find_link(a.links, first_connection())->link;
    disconnect_link(a.connection);
    EXPECT_TRUE(run_until([&] { return worker_threads(*kept) == 0; }, 5000));
}

// Given two connections: expect Scan Bus over the shown tab to scan and
// pause that tab's connection alone. Then one server falls silent: expect
// the other's tabs to stay live and be polled at their rate, the status
// line to name the silent connection, and that connection to be
// disconnected alone.
TEST(Connections, SilentDeviceHoldsBackOnlyItsOwnConnection)
{
    REQUIRE_DISPLAY();
    auto lively = ModbusTestServer::start_tcp();
    auto quiet = ModbusTestServer::start_tcp();
    ASSERT_TRUE(lively && quiet);
    App& a = activate_app();
    set_connection_settings(a.set_up, first_connection(), local_tcp(lively->port()));
    ConnectionSetUp* drive = add_connection(a.set_up, "Drive", local_tcp(quiet->port(), 300));
    ASSERT_TRUE(drive);
    uint32_t drive_serial = drive->serial;
    hand_poll_definition(a.tabs, PollDefinition{1, 3, 0, 8, 100});
    DefinitionSetUp& live = *a.tabs.tab->definition;
    DefinitionSetUp& silent = add_tab(PollDefinition{1, 3, 10, 4, 100}, drive_serial);
    connect_all(a.connection);
    ASSERT_TRUE(run_until([&] { return shows_live_values(live) && shows_live_values(silent); }, 8000));

    std::shared_ptr<LinkState> lively_link = find_link(a.links, first_connection())->link;
    std::shared_ptr<LinkState> quiet_link = find_link(a.links, drive_serial)->link;
    uint32_t lively_runs = lively_link->runs.load();
    uint32_t quiet_runs = quiet_link->runs.load();
    show_poll_tab(a.tabs, *find_tab_by_serial(a.tabs, silent.serial));
    present_scan_window(a.scan);
    gtk_spin_button_set_value(a.scan.first_unit, 2);
    gtk_spin_button_set_value(a.scan.last_unit, 3);
    g_signal_emit_by_name(a.scan.start_button, "clicked");
    ASSERT_TRUE(run_until([&] { return !a.scan.control && shows_live_values(silent); }, 8000));
    auto probed = [](ModbusTestServer& server) {
        auto requests = server.requests();
        return std::count_if(requests.begin(), requests.end(), [](const ServerRequest& r) { return r.unit != 1; });
    };
    EXPECT_GE(probed(*quiet), 2);
    EXPECT_EQ(probed(*lively), 0);
    EXPECT_EQ(lively_link->runs.load(), lively_runs) << "its worker was never stopped";
    EXPECT_EQ(quiet_link->runs.load(), quiet_runs + 1) << "paused, then polling again";
    gtk_window_close(a.scan.window);

    quiet->set_behaviour(ModbusTestServer::Behaviour::silent);
    ASSERT_TRUE(run_until([&] { return !values_of(silent).live; }, 3000));
    size_t before = lively->request_count();
    run_for(2000);
    // 100 ms apart for 2 s, beside a connection whose every request waits 300 ms.
    EXPECT_GE(lively->request_count() - before, 15u);
    EXPECT_TRUE(values_of(live).live);
    EXPECT_EQ(status_text().rfind("Drive: ", 0), 0u) << status_text();
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(a.main_window.status_line), "error"));

    std::shared_ptr<LinkState> drive_link = find_link(a.links, drive_serial)->link;
    disconnect_connection(a.connection, drive_serial);
    EXPECT_FALSE(drive_link->running.load());
    EXPECT_TRUE(any_link_running(a.links));
    EXPECT_STREQ(gtk_label_get_text(a.main_window.connect_label), "Disconnect");
    EXPECT_TRUE(run_until([&] { return worker_threads(*drive_link) == 0; }, 3000));
    before = lively->request_count();
    run_for(500);
    EXPECT_GT(lively->request_count(), before);

    std::shared_ptr<LinkState> live_link = find_link(a.links, first_connection())->link;
    toggle_link(a.connection);  // while one runs: disconnects all
    EXPECT_FALSE(any_link_running(a.links));
    EXPECT_TRUE(run_until([&] { return worker_threads(*live_link) == 0; }, 5000));
}
