#include "widgets/statistics_view.hpp"

#include <gtest/gtest.h>

#include <string>

#include "app/application.hpp"
#include "connection/connect.hpp"
#include "link/link_state.hpp"
#include "link/link_statistics.hpp"
#include "link/statistics_text.hpp"
#include "link/worker.hpp"
#include "support/gtk_test_env.hpp"
#include "support/modbus_test_server.hpp"

namespace {

using namespace std::chrono_literals;

// Accessible properties are readable only when GTK_A11Y is "test" before
// the first widget is made.
App& app_with_a11y()
{
    g_setenv("GTK_A11Y", "test", TRUE);
    return activate_app();
}

void activate(App& a, const char* action)
{
    g_action_group_activate_action(G_ACTION_GROUP(a.application), action, nullptr);
    drain_main_loop();
}

std::string line_text(App& a)
{
    return gtk_label_get_text(a.tabs.tab->statistics.line);
}

void record_some_polls()
{
    LinkStatistics& stats = link_statistics();
    for (int i = 0; i < 3; ++i)
        record_request_sent(stats);
    record_good(stats, 2ms);
    record_good(stats, 3ms);
    record_failed_poll(stats, ETIMEDOUT);
    record_connect(stats, 1ms);
}

const std::string zero_line = "Polls 0 \u00B7 Good 0 \u00B7 Time-outs 0 \u00B7 Exceptions 0";

std::string clipboard_text(GtkWidget* widget)
{
    std::pair<bool, std::string> read{false, ""};
    gdk_clipboard_read_text_async(
        gtk_widget_get_clipboard(widget), nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<std::pair<bool, std::string>*>(data);
            g_autofree char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
            r->second = text ? text : "<unreadable>";
            r->first = true;
        },
        &read);
    EXPECT_TRUE(run_until([&] { return read.first; }, 5000));
    return read.second;
}

TEST(StatisticsView, LineShowsChangedFiguresAndCarriesTheReport)
{
    REQUIRE_DISPLAY();
    App& a = app_with_a11y();
    StatisticsView& view = a.tabs.tab->statistics;
    reset_statistics_view(view);
    EXPECT_EQ(line_text(a), zero_line);
    EXPECT_FALSE(refresh_statistics_view(view)) << "nothing changed, nothing rewritten";

    record_some_polls();
    post_ui_work(app_reports(), ui_work_values);  // the worker's news after its cycles
    EXPECT_TRUE(run_until([&] { return line_text(a) != zero_line; }, 2000)) << "the worker's post refreshes the line";
    std::string report = statistics_report(take_snapshot(link_statistics()));
    EXPECT_EQ(line_text(a).substr(0, 48), "Polls 3 \u00B7 Good 2 \u00B7 Time-outs 1 \u00B7 Exceptions 0");
    EXPECT_STREQ(gtk_widget_get_tooltip_text(GTK_WIDGET(view.line)), report.c_str());
    EXPECT_EQ(gtk_test_accessible_check_property(GTK_ACCESSIBLE(view.line), GTK_ACCESSIBLE_PROPERTY_DESCRIPTION,
                                                 report.c_str()),
              nullptr);
    EXPECT_FALSE(refresh_statistics_view(view));

    activate(a, "copy-statistics");
    EXPECT_EQ(clipboard_text(GTK_WIDGET(a.main_window.window)), report);
}

TEST(StatisticsView, ResetAndConnectClearEveryFigureDisconnectKeepsThem)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    const std::string zero_report = statistics_report(StatisticsSnapshot{});

    record_some_polls();
    activate(a, "reset-statistics");
    EXPECT_EQ(statistics_report(take_snapshot(link_statistics())), zero_report);
    EXPECT_EQ(line_text(a), zero_line);

    record_some_polls();
    ConnectionDialog& d = a.connection;
    gtk_check_button_set_active(d.tcp_choice, TRUE);
    gtk_editable_set_text(GTK_EDITABLE(d.ip_entry), "127.0.0.1");
    gtk_editable_set_text(GTK_EDITABLE(d.port_entry), std::to_string(server->port()).c_str());
    connect_link(d);
    ASSERT_TRUE(app_link().running.load());
    EXPECT_EQ(statistics_report(take_snapshot(link_statistics())), zero_report);

    record_some_polls();
    std::string before = statistics_report(take_snapshot(link_statistics()));
    disconnect_link();
    EXPECT_TRUE(run_until([] { return worker_threads() == 0; }, 5000));
    EXPECT_EQ(statistics_report(take_snapshot(link_statistics())), before);
    refresh_statistics_view(a.tabs.tab->statistics);
    EXPECT_EQ(line_text(a).substr(0, 7), "Polls 3");
}

// Given the Logger pane dragged as high as it goes, expect the line under
// the grid to take none of the grid's minimum height.
TEST(StatisticsView, LineLeavesTheGridItsMinimumHeight)
{
    REQUIRE_DISPLAY();
    PollTabs& main = activate_app().tabs;
    GtkWidget* scroller = GTK_WIDGET(main.tab->grid_scroller);
    ASSERT_TRUE(run_until([&] { return gtk_widget_get_height(scroller) > 0; }, 5000));
    gtk_paned_set_position(app().main_window.paned, 0);
    run_for(100);
    EXPECT_GE(gtk_widget_get_height(scroller), 264);
    EXPECT_GT(gtk_widget_get_height(GTK_WIDGET(main.tab->statistics.line)), 0);
    EXPECT_TRUE(gtk_widget_get_mapped(GTK_WIDGET(main.tab->statistics.line)));
}

}  // namespace
