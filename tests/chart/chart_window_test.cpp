// The Chart window on a real X server: adding series, the picture it saves,
// and every poll of a real server recorded with its gaps.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "app/application.hpp"
#include "chart/chart_export.hpp"
#include "chart/chart_window.hpp"
#include "support/temp_folder.hpp"
#include "files/whole_file.hpp"
#include "link/worker.hpp"
#include "setup/set_up_model.hpp"
#include "support/gtk_test_env.hpp"
#include "support/modbus_test_server.hpp"
#include "support/refusal_alerts.hpp"
#include "table/register_grid.hpp"

namespace {

// Presses key on the grid through the shortcut controller the chart attached.
bool press_grid_shortcut(GtkWidget* grid, guint key)
{
    g_autoptr(GListModel) controllers = gtk_widget_observe_controllers(grid);
    for (guint i = 0; i < g_list_model_get_n_items(controllers); ++i) {
        g_autoptr(GObject) controller = G_OBJECT(g_list_model_get_item(controllers, i));
        if (!GTK_IS_SHORTCUT_CONTROLLER(controller))
            continue;
        GListModel* shortcuts = G_LIST_MODEL(controller);
        for (guint k = 0; k < g_list_model_get_n_items(shortcuts); ++k) {
            g_autoptr(GtkShortcut) shortcut = GTK_SHORTCUT(g_list_model_get_item(shortcuts, k));
            g_autoptr(GtkShortcutTrigger) wanted = gtk_keyval_trigger_new(key, GdkModifierType(0));
            if (gtk_shortcut_trigger_equal(gtk_shortcut_get_trigger(shortcut), wanted))
                return gtk_shortcut_action_activate(gtk_shortcut_get_action(shortcut), GtkShortcutActionFlags(0),
                                                    grid, nullptr);
        }
    }
    return false;
}

size_t gaps_in(const SeriesSamples& samples)
{
    size_t gaps = 0;
    for (size_t i = 0; i < full_sample_count(samples); ++i)
        gaps += std::isnan(samples.values[i]) ? 1 : 0;
    return gaps;
}

ConnectionSettings tcp_to(const ModbusTestServer& server)
{
    return {.device = "127.0.0.1", .baud_or_port = uint32_t(server.port()), .use_tcp = true};
}

void stop_worker()
{
    app_link().running.store(false);
    signal_wake();
    run_until([] { return active_workers() == 0; }, 5000);
}

// given no cell clicked yet, expect "Add" to offer the block's first
// address and chart it; the grid's cursor charted at once by its key; at
// most eight series; and the plot saved as a PNG whose left margin holds
// its widest value label
TEST(ChartWindow, AddsAddressesUpToEightSeriesAndSavesThePlotAsPng)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    ChartWindow& chart = a.chart;
    PollTabs& main = a.tabs;
    store_poll_definition({.slave = 1, .fcode = 3, .address = 0, .length = 20, .scan_rate = 1000});
    build_grid(main.tab->table);
    main.tab->table.cursor_row = 0;
    gtk_window_set_default_size(chart.window, 700, 450);
    present_chart_window(chart);
    GtkWidget* popover = GTK_WIDGET(gtk_menu_button_get_popover(chart.add_button));
    gtk_widget_activate(GTK_WIDGET(chart.add_button));
    ASSERT_TRUE(run_until([&] { return gtk_widget_get_mapped(popover); }, 5000));
    EXPECT_EQ(gtk_spin_button_get_value_as_int(chart.add_address.spin), 0);
    g_signal_emit_by_name(chart.add_confirm, "clicked");
    EXPECT_TRUE(run_until([&] { return !gtk_widget_get_visible(popover); }, 5000));
    main.tab->table.cursor_column = 2;  // the value cell of address 3 (labels shown)
    main.tab->table.cursor_row = 4;
    set_label(main.tab->definition->labels, 3, "Level");
    EXPECT_TRUE(add_cursor_address(chart));
    EXPECT_FALSE(add_cursor_address(chart)) << "an address is charted once";
    main.tab->table.cursor_row = 5;  // address 4, by the grid's key
    EXPECT_TRUE(press_grid_shortcut(GTK_WIDGET(main.tab->table.grid), GDK_KEY_plus));
    ASSERT_EQ(chart.series.size(), 3u);
    EXPECT_EQ(chart.series[0]->address, 0);
    EXPECT_EQ(chart.series[1]->address, 3);
    EXPECT_EQ(chart.series[2]->address, 4);
    EXPECT_STREQ(gtk_check_button_get_label(chart.series[1]->check), "3  Level");
    remove_chart_series(chart, 2);
    for (uint16_t address = 10; address < 20; ++address)
        add_chart_series(chart, address);
    EXPECT_EQ(chart.series.size(), max_chart_series);
    EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(chart.add_button)));

    // Values whose labels are long: -123456789.0000 and on.
    for (int i = 0; i < 50; ++i)
        append_sample(chart.series[0]->samples, chart_clock_ms() - 5000 + i * 100, -123456789.0 - i % 7 * 0.0001);
    ASSERT_TRUE(run_until([&] { return gtk_widget_get_width(GTK_WIDGET(chart.plot)) > 100; }, 5000));
    drain_main_loop();

    TempFolder folder;
    std::string path = folder.file("plot.png");
    ASSERT_TRUE(save_image_file(chart, path.c_str()));
    g_autoptr(GError) error = nullptr;
    g_autoptr(GdkPixbuf) picture = gdk_pixbuf_new_from_file(path.c_str(), &error);
    ASSERT_TRUE(picture) << (error ? error->message : "");
    EXPECT_EQ(gdk_pixbuf_get_width(picture), gtk_widget_get_width(GTK_WIDGET(chart.plot)));
    EXPECT_EQ(gdk_pixbuf_get_height(picture), gtk_widget_get_height(GTK_WIDGET(chart.plot)));
    const guchar* pixels = gdk_pixbuf_read_pixels(picture);
    for (int y = 0; y < gdk_pixbuf_get_height(picture); ++y)
        ASSERT_EQ(pixels[y * gdk_pixbuf_get_rowstride(picture)], 255) << "no label cut off at the left, row " << y;
    EXPECT_FALSE(save_image_file(chart, folder.file("missing/plot.png").c_str()));
    EXPECT_EQ(alerts_over(chart.window), (AlertTexts{{"Cannot save image", "No such file or directory", "[Close]"}}));
    gtk_widget_set_visible(GTK_WIDGET(chart.window), FALSE);
}

// given two workers one after the other (a Disconnect and a Connect),
// expect the chart's line to break between them rather than join the pause
TEST(ChartWindow, ANewWorkerStartsANewLine)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    ChartWindow& chart = a.chart;
    store_poll_definition({.slave = 1, .fcode = 3, .address = 0, .length = 4, .scan_rate = 0});
    add_chart_series(chart, 2);
    gtk_drop_down_set_selected(a.tabs.format_selector, 1);  // INT
    uint16_t key = a.tabs.tab->definition->key;  // the worker reports each poll under its definition's key
    for (uint16_t value : {uint16_t(5), uint16_t(65535)}) {
        std::thread([value, key, run = uint32_t(value)] {
            uint16_t values[4] = {0, 0, value, 0};
            app_reports().poll_ended(PollOutcome{copy_poll_definition(), chart_clock_ms(), run, true, values, 4, key});
        }).join();
    }
    drain_chart_polls(chart);
    const SeriesSamples& s = chart.series[0]->samples;
    ASSERT_EQ(full_sample_count(s), 3u);
    EXPECT_EQ(s.values[0], 5);
    EXPECT_TRUE(std::isnan(s.values[1]));
    EXPECT_EQ(s.values[2], -1);
}

// given a server whose register counts up, expect one sample per served
// poll, a gap of the failed polls while it is stopped, and the newest
// values named in the plot's description
TEST(ChartWindow, RecordsEveryPollOfARealServerWithAGapWhileItIsStopped)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    ChartWindow& chart = a.chart;
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    store_poll_definition({.slave = 1, .fcode = 3, .address = 100, .length = 4, .scan_rate = 20});
    store_connection_settings(tcp_to(*server));
    build_grid(a.tabs.tab->table);
    add_chart_series(chart, 101);
    add_chart_series(chart, 103);
    server->set_holding(103, 65535);  // INT is not selected: plots 65535

    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
    uint16_t counter = 0;
    auto samples = [&] { return full_sample_count(chart.series[0]->samples); };
    // The register changes between polls; the chart sees every poll.
    ASSERT_TRUE(run_until([&] {
        server->set_holding(101, ++counter);
        return samples() >= 10;
    }, 8000));

    server->stop();  // three failed cycles
    ASSERT_TRUE(run_until([&] { return gaps_in(chart.series[0]->samples) >= 3; }, 8000));
    auto restarted = ModbusTestServer::start_tcp();
    ASSERT_TRUE(restarted);
    restarted->set_holding(101, 4242);
    restarted->set_holding(103, 7);
    store_connection_settings(tcp_to(*restarted));
    signal_wake();
    ASSERT_TRUE(run_until([&] {
        size_t n = samples();
        return n > 0 && chart.series[0]->samples.values[n - 1] == 4242;
    }, 8000));
    stop_worker();
    drain_chart_polls(chart);

    const SeriesSamples& first = chart.series[0]->samples;
    size_t served = server->request_count() + restarted->request_count();
    size_t gaps = gaps_in(first);
    EXPECT_EQ(full_sample_count(first) - gaps, served) << "one sample per answered poll";
    EXPECT_GE(gaps, 3u);
    EXPECT_EQ(full_sample_count(chart.series[1]->samples), full_sample_count(first));
    // Values rise with the counter, and the gap sits between the two servers.
    double previous = -1;
    bool gap_seen = false;
    for (size_t i = 0; i < full_sample_count(first); ++i) {
        double v = first.values[i];
        if (std::isnan(v)) {
            gap_seen = true;
            continue;
        }
        EXPECT_TRUE(v >= previous) << i;
        EXPECT_EQ(v == 4242, gap_seen) << i;
        previous = v;
    }
    EXPECT_EQ(chart.description, "Address 101: 4242; Address 103: 7");
    restarted->stop();
}

// given registers 10-21 holding the floats 1, +Inf, NaN, 3, 4 and 5 and
// the grid showing FLOAT32, expect each series to chart what the grid
// shows at its address: an address inside a value is charted as that value
// when added, and charts nothing once a format puts it inside one; the
// device's infinity and NaN are values it sent, not failed polls
TEST(ChartWindow, ChartsWhatTheGridShowsAtEachAddressOfWideValues)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    ChartWindow& chart = a.chart;
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    const uint16_t floats[] = {0x3F80, 0, 0x7F80, 0, 0x7FC0, 0, 0x4040, 0, 0x4080, 0, 0x40A0, 0};
    for (uint16_t i = 0; i < 12; ++i)
        server->set_holding(uint16_t(10 + i), floats[i]);
    store_poll_definition({.slave = 1, .fcode = 3, .address = 10, .length = 12, .scan_rate = 20});
    store_connection_settings(tcp_to(*server));
    build_grid(a.tabs.tab->table);
    ASSERT_TRUE(add_chart_series(chart, 15));  // UINT: a value of its own
    gtk_drop_down_set_selected(a.tabs.format_selector, unsigned(ValueFormat::FLOAT32));
    for (uint16_t address : {11, 12, 14})
        ASSERT_TRUE(add_chart_series(chart, address)) << address;
    EXPECT_FALSE(add_chart_series(chart, 13)) << "the value at 12 is charted already";
    const uint16_t charted[] = {15, 10, 12, 14};
    ASSERT_EQ(chart.series.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(chart.series[i]->address, charted[i]);

    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
    ASSERT_TRUE(run_until([&] { return full_sample_count(chart.series[1]->samples) >= 3; }, 8000));
    stop_worker();
    drain_chart_polls(chart);

    EXPECT_EQ(full_sample_count(chart.series[0]->samples), 0u);
    EXPECT_STREQ(gtk_check_button_get_label(chart.series[0]->check), "15  (inside the value at 14)");
    const double expected[] = {1, std::numeric_limits<double>::infinity(), device_nan()};
    for (size_t i = 1; i < 4; ++i) {
        const SeriesSamples& samples = chart.series[i]->samples;
        ASSERT_EQ(full_sample_count(samples), full_sample_count(chart.series[1]->samples)) << i;
        for (size_t k = 0; k < full_sample_count(samples); ++k)
            ASSERT_EQ(std::bit_cast<uint64_t>(samples.values[k]), std::bit_cast<uint64_t>(expected[i - 1])) << i;
    }
    EXPECT_EQ(chart.description,
              "Address 15: no value yet; Address 10: 1; Address 12: Inf from the device; "
              "Address 14: NaN from the device");
}

// given a UINT32 point at 10 (123456 × 0.01 − 40, two decimals, in °C,
// labelled) beside a plain address at 12, expect the point plotted and
// read out as the grid shows it, the unit in its title and its CSV header,
// its raw values in a column beside, and a failed poll empty in every column
TEST(ChartWindow, ChartsAPointInItsOwnTermsAndExportsItsRawValuesBeside)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    ChartWindow& chart = a.chart;
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    server->set_holding(10, 0x0001);
    server->set_holding(11, 0xE240);
    server->set_holding(12, 7);
    store_poll_definition({.slave = 1, .fcode = 3, .address = 10, .length = 4, .scan_rate = 20});
    store_connection_settings(tcp_to(*server));
    DefinitionSetUp& definition = *a.tabs.tab->definition;
    Point level;
    level.kind = PointKind::format;
    level.format = ValueFormat::UINT32;
    level.scale = 0.01;
    level.offset = -40;
    level.decimals = 2;
    level.unit = "°C";
    set_point(a.set_up, definition, 10, level);
    set_definition_label(a.set_up, definition, 10, "Tank level");
    build_grid(a.tabs.tab->table);
    ASSERT_TRUE(add_chart_series(chart, 11)) << "charted as the point's value at 10";
    ASSERT_TRUE(add_chart_series(chart, 12));
    const ChartSeries& tank = *chart.series[0];
    EXPECT_EQ(tank.address, 10);
    EXPECT_EQ(series_title(tank), "Address 10 (Tank level, °C)");
    EXPECT_EQ(series_title(*chart.series[1]), "Address 12");

    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
    ASSERT_TRUE(run_until([&] { return full_sample_count(tank.samples) >= 3; }, 8000));
    drain_chart_polls(chart);
    EXPECT_EQ(chart.description, "Address 10 (Tank level, °C): 1194.56 °C; Address 12: 7");
    EXPECT_EQ(sample_readout(tank, 1194.56), gtk_label_get_text(a.tabs.tab->table.value_cells[0]));
    server->stop();
    ASSERT_TRUE(run_until([&] { return gaps_in(tank.samples) >= 1; }, 8000));
    stop_worker();
    drain_chart_polls(chart);

    TempFolder folder;
    std::string path = folder.file("chart.csv");
    ASSERT_TRUE(export_csv_file(chart, path.c_str()));
    std::string csv;
    ASSERT_TRUE(read_whole_file(path.c_str(), csv));
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "Time,Address 10 (Tank level) [°C],Address 10 (Tank level) raw,Address 12");
    std::map<std::string, size_t> polls;  // by the cells after the time
    while (std::getline(lines, line))
        ++polls[line.substr(line.find(','))];
    EXPECT_EQ(polls.size(), 2u) << csv;
    EXPECT_EQ(polls[",1194.56,123456,7"], full_sample_count(tank.samples) - gaps_in(tank.samples));
    EXPECT_EQ(polls[",,,"], gaps_in(tank.samples));
}

}  // namespace
