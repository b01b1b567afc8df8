// The Scan Bus window against pymodbus serving ids 1, 17 and 200: a scan
// started from the window pauses polling and resumes it, a row used while
// the scan runs takes effect, the results export, closing the window ends
// a scan within one time-out, and so does Disconnect, for good, and
// Connect, whose worker alone polls afterwards. Against a gateway with
// nothing behind it: no dead end in the window.

#include "scan/scan_window.hpp"
#include "connection/connection_choice.hpp"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "support/app_link_fixture.hpp"
#include "support/pty_device.hpp"
#include "support/pymodbus_launcher.hpp"
#include "support/raw_tcp_server.hpp"
#include "support/refusal_alerts.hpp"
#include "support/scripted_tcp_server.hpp"

using namespace app_test;

namespace {

bool logged(const std::string& line)
{
    std::vector<std::string> lines = logged_frames();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string read_file(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

GtkWidget* button_labelled(GtkWidget* widget, const char* label)
{
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_BUTTON(child) && g_strcmp0(gtk_button_get_label(GTK_BUTTON(child)), label) == 0)
            return child;
        if (GtkWidget* found = button_labelled(child, label))
            return found;
    }
    return nullptr;
}

void press_alert_button(AlertDialog* alert, const char* label)
{
    GtkWindow* window = alert_dialog_get_window(alert);
    ASSERT_TRUE(window);
    GtkWidget* button = button_labelled(GTK_WIDGET(window), label);
    ASSERT_TRUE(button) << label;
    g_signal_emit_by_name(button, "clicked");
    drain_main_loop();
}

bool use_sensitive(const ScanWindow& scan)
{
    return gtk_widget_get_sensitive(GTK_WIDGET(scan.use_button));
}

}  // namespace

TEST(ScanWindow, ScansWhilePollingPausesAndUsesAFoundUnit)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    auto server = PymodbusServer::start(PymodbusServer::Mode::tcp_units);
    ASSERT_TRUE(server);
    connect_with(poll_of(17, 3, 0, 2, 100), tcp_settings(server->port()));
    ASSERT_TRUE(run_until([] { return published_values().live; }, 5000));

    ScanWindow& scan = a.scan;
    present_scan_window(scan);
    gtk_spin_button_set_value(scan.last_unit, 17);
    gtk_spin_button_set_value(scan.timeout, 100);
    g_signal_emit_by_name(scan.start_button, "clicked");
    ASSERT_TRUE(run_until([&] { return !scan.rows.empty(); }, 5000));
    ASSERT_TRUE(scan.control);  // a double click while the scan runs
    g_signal_emit_by_name(scan.results, "row-activated", gtk_list_box_get_row_at_index(scan.results, 0));
    EXPECT_EQ(a.tabs.tab->definition->poll.slave, 1);
    EXPECT_EQ(active_workers(), 0);

    ASSERT_TRUE(run_until([&] { return !scan.control; }, 10000));
    ASSERT_EQ(scan.rows.size(), 2u);
    EXPECT_EQ(scan.rows[1].unit, 17);
    EXPECT_EQ(scan.rows[1].identification, "Brenvaldor Test Works / BTW-17 / 2.4 / Scan Target");
    // The Logger takes its frames on a queue of its own, so they may
    // arrive after the row.
    EXPECT_TRUE(run_until([] { return logged("TX: 11 2B 0E 01 00"); }, 2000));
    // Polling comes back, at the unit used.
    EXPECT_TRUE(run_until([] { return active_workers() == 1 && published_values().live &&
                                      published_values().block.slave == 1; }, 5000));

    g_autofree char* folder = g_dir_make_tmp("brenvaldor-scan-XXXXXX", nullptr);
    std::string path = std::string(folder) + "/scan.csv";
    ASSERT_TRUE(export_scan_csv(scan, path.c_str()));
    std::string csv = read_file(path);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 3);
    EXPECT_NE(csv.find("\n17,"), std::string::npos);
    g_remove(path.c_str());
    g_rmdir(folder);

    // Closing the window ends a scan under way within one time-out.
    // A long time-out, so that a loaded machine's slowness is not taken
    // for a scan that waited its probe out.
    gtk_spin_button_set_value(scan.timeout, 1000);
    g_signal_emit_by_name(scan.start_button, "clicked");
    ASSERT_TRUE(run_until([&] { return scan.control && !scan.rows.empty(); }, 5000));
    gtk_window_close(scan.window);
    gint64 closed = g_get_monotonic_time();
    ASSERT_TRUE(run_until([&] { return !scan.control; }, 2000));
    EXPECT_LT(g_get_monotonic_time() - closed, 1000 * 1000);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(scan.window)));

    // Disconnect ends a scan too, and polling does not come back.
    g_signal_emit_by_name(scan.start_button, "clicked");
    ASSERT_TRUE(run_until([&] { return scan.control && !scan.rows.empty(); }, 5000));
    disconnect_link();
    EXPECT_TRUE(run_until([&] { return !scan.control && worker_threads() == 0; }, 3000));

    // Connect ends a scan, and only the worker it starts polls, once the
    // scan has let go of the line.
    g_signal_emit_by_name(scan.start_button, "clicked");
    ASSERT_TRUE(run_until([&] { return scan.control && !scan.rows.empty(); }, 5000));
    ConnectionDialog& d = a.connection;
    gtk_check_button_set_active(d.tcp_choice, TRUE);
    gtk_editable_set_text(GTK_EDITABLE(d.ip_entry), "127.0.0.1");
    gtk_editable_set_text(GTK_EDITABLE(d.port_entry), std::to_string(server->port()).c_str());
    reset_peak_active_workers();
    connect_link(d);
    EXPECT_TRUE(run_until([&] { return !scan.control && published_values().live; }, 3000));
    EXPECT_EQ(worker_threads(), 1);
    EXPECT_EQ(peak_active_workers(), 1);
    disconnect_link();
}

// A device that answers only at 9600 baud, Even parity, while the link
// polls it in vain at 19200 None: the window's serial sweep finds the unit
// and the setting, and "Use" puts both into the link and the Connection
// dialog, so that the next polls succeed; a dialog showing another
// connection meanwhile keeps that one's fields.
TEST(ScanWindow, SerialSweepFindsTheSettingThatUsePollsWith)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    auto device = PtyDevice::start(2);
    ASSERT_TRUE(device);
    device->set_character('E', 8, 1);
    device->require_line(9600, 'E');
    device->set_holding(0, 4242);
    connect_with(poll_of(1, 3, 0, 1, 100),
                 ConnectionSettings{.device = device->client_device(), .response_timeout_ms = 100});
    ConnectionSetUp* other = add_connection(a.set_up, "Gateway", {.device = "127.0.0.1", .use_tcp = true});
    ASSERT_TRUE(other);
    a.connection.chosen_connection = other->serial;

    ScanWindow& scan = a.scan;
    present_scan_window(scan);
    gtk_spin_button_set_value(scan.last_unit, 3);
    gtk_spin_button_set_value(scan.timeout, 50);
    gtk_check_button_set_active(scan.every_setting, TRUE);
    g_signal_emit_by_name(scan.start_button, "clicked");
    ASSERT_TRUE(run_until([&] { return scan.control && !scan.rows.empty(); }, 5000));
    ASSERT_TRUE(run_until([&] { return !scan.control; }, 5000));
    ASSERT_EQ(scan.rows.size(), 1u);
    // 19200 with None, Even and Odd, then 9600 None and Even.
    std::string progress = gtk_label_get_text(scan.progress_label);
    EXPECT_EQ(progress.rfind("Unit 3 of 3 at 9600 8E1 · setting 5 of 9 · 1 found", 0), 0u) << progress;
    g_signal_emit_by_name(scan.results, "row-activated", gtk_list_box_get_row_at_index(scan.results, 0));

    ConnectionSettings used = copy_connection_settings();
    EXPECT_EQ(used.baud_or_port, 9600u);
    EXPECT_EQ(used.parity, 'E');
    EXPECT_EQ(a.tabs.tab->definition->poll.slave, 2);
    EXPECT_EQ(gtk_drop_down_get_selected(a.connection.baud_selector), 2u) << "the gateway's fields kept";
    show_connection_choice(a.connection);  // opened over the scanned tab
    EXPECT_EQ(gtk_drop_down_get_selected(a.connection.baud_selector), 1u);   // 1200, 9600, 19200
    EXPECT_EQ(gtk_drop_down_get_selected(a.connection.parity_selector), 2u);  // None, Odd, Even
    EXPECT_TRUE(run_until([] { return published_values().live && shown_values() == std::vector<uint16_t>{4242}; },
                          5000));
    disconnect_link();
    EXPECT_TRUE(run_until([] { return worker_threads() == 0; }, 3000));
}

// A gateway that says no device is behind any id: a first id above the
// last is refused before anything starts; "Use" stays off until a row is
// selected, and a row where no device answered is used only once the user
// confirms it.
TEST(ScanWindow, RefusesAnEmptyRangeAndAsksBeforeUsingAnIdNoDeviceAnswered)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    auto gateway = RawTcpServer::start(
        [](const Bytes& request) { return RawTcpServer::Reply{exception_reply(request, 0x0B)}; });
    ASSERT_TRUE(gateway);
    connect_with(poll_of(1, 3, 0, 1, 1000), tcp_settings(gateway->port()));

    ScanWindow& scan = a.scan;
    present_scan_window(scan);
    gtk_spin_button_set_value(scan.first_unit, 5);
    gtk_spin_button_set_value(scan.last_unit, 2);
    g_signal_emit_by_name(scan.start_button, "clicked");
    EXPECT_FALSE(scan.control);
    EXPECT_STREQ(gtk_label_get_text(scan.progress_label), "Cannot scan: the first unit id (5) is above the last (2)");

    gtk_spin_button_set_value(scan.first_unit, 1);
    g_signal_emit_by_name(scan.start_button, "clicked");
    ASSERT_TRUE(scan.control);
    EXPECT_STREQ(gtk_label_get_text(scan.progress_label), "Waiting for polling to let go of the line");
    ASSERT_TRUE(run_until([&] { return !scan.control; }, 5000));
    ASSERT_EQ(scan.rows.size(), 2u);
    EXPECT_FALSE(use_sensitive(scan));
    gtk_list_box_select_row(scan.results, gtk_list_box_get_row_at_index(scan.results, 1));
    EXPECT_TRUE(use_sensitive(scan));

    g_signal_emit_by_name(scan.use_button, "clicked");
    EXPECT_EQ(alerts_over(scan.window),
              (AlertTexts{{"No device answered at unit 2",
                           "A gateway answered that no device is behind it. Poll unit 2 anyway?", "[Cancel]",
                           "[Use Anyway]"}}));
    press_alert_button(scan.use_alert, "Cancel");
    EXPECT_EQ(a.tabs.tab->definition->poll.slave, 1);
    g_signal_emit_by_name(scan.use_button, "clicked");
    press_alert_button(scan.use_alert, "Use Anyway");
    EXPECT_EQ(a.tabs.tab->definition->poll.slave, 2);
    EXPECT_EQ(alerts_over(scan.window), AlertTexts{});
    disconnect_link();
}
