// The Chart and Scan Bus windows in the notation the user chose: the chart
// names its addresses in it, with the protocol address in the row's
// tooltip, and follows a change; the scan's probe address is shown and
// typed in it for the probe function's table, and a Modicon number of
// another table stops the scan before it starts.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/application.hpp"
#include "chart/chart_export.hpp"
#include "files/whole_file.hpp"
#include "scan/scan_window.hpp"
#include "support/app_link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/temp_folder.hpp"
#include "table/register_grid.hpp"

using namespace app_test;

namespace {

std::string row_tooltip(const ChartSeries& series)
{
    const char* tip = gtk_widget_get_tooltip_text(series.row);
    return tip ? tip : "";
}

const char* text_of(GtkSpinButton* spin)
{
    return gtk_editable_get_text(GTK_EDITABLE(spin));
}

class NotationViews : public AppLinkTest {};

}  // namespace

TEST_F(NotationViews, ChartAndScanShowAndTakeAddressesInTheChosenNotation)
{
    App& a = app();
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    store_poll_definition(poll_of(1, 4, 5, 4, 1000));
    store_connection_settings(tcp_settings(server->port()));
    build_grid(a.tabs.tab->table);
    ASSERT_TRUE(set_address_notation(a.preferences, AddressNotation::modicon));

    // An input register's series, named by its Modicon number everywhere.
    ChartWindow& chart = a.chart;
    present_chart_window(chart);
    ASSERT_TRUE(add_chart_series(chart, 6));
    const ChartSeries& series = *chart.series[0];
    EXPECT_STREQ(gtk_check_button_get_label(series.check), "30007");
    EXPECT_EQ(row_tooltip(series), "Protocol address 6");
    TempFolder folder;
    std::string path = folder.file("chart.csv");
    ASSERT_TRUE(export_csv_file(chart, path.c_str()));
    std::string csv;
    ASSERT_TRUE(read_whole_file(path.c_str(), csv));
    EXPECT_EQ(csv.substr(0, csv.find('\n')), "Time,Address 30007");
    // Add takes the notation's text as well.
    gtk_editable_set_text(GTK_EDITABLE(chart.add_address), "30009");
    g_signal_emit_by_name(chart.add_confirm, "clicked");
    ASSERT_EQ(chart.series.size(), 2u);
    EXPECT_EQ(chart.series[1]->address, 8);

    ASSERT_TRUE(set_address_notation(a.preferences, AddressNotation::hexadecimal));
    EXPECT_STREQ(gtk_check_button_get_label(series.check), "0x0006");
    EXPECT_EQ(row_tooltip(series), "Protocol address 6");

    // The probe's Modicon number follows the probe function's table; one
    // of another table is refused with its reason, and nothing starts.
    ASSERT_TRUE(set_address_notation(a.preferences, AddressNotation::modicon));
    ScanWindow& scan = a.scan;
    present_scan_window(scan);
    gtk_spin_button_set_value(scan.probe_address, 9);
    EXPECT_STREQ(text_of(scan.probe_address), "40010");
    gtk_drop_down_set_selected(scan.probe_function, 3);  // 04 Read Input Registers
    EXPECT_STREQ(text_of(scan.probe_address), "30010");
    gtk_spin_button_set_value(scan.last_unit, 1);
    gtk_editable_set_text(GTK_EDITABLE(scan.probe_address), "40011");
    gtk_spin_button_update(scan.probe_address);  // as leaving the field does
    g_signal_emit_by_name(scan.start_button, "clicked");
    EXPECT_FALSE(scan.control);
    std::string why = parse_address(AddressNotation::modicon, ModbusTable::input_registers, "40011").refusal;
    EXPECT_NE(std::string(gtk_label_get_text(scan.progress_label)).find(why), std::string::npos);
    EXPECT_STREQ(text_of(scan.probe_address), "40011") << "left to mend";

    // "0x…" is a protocol address in every notation.
    gtk_editable_set_text(GTK_EDITABLE(scan.probe_address), "0x000B");
    g_signal_emit_by_name(scan.start_button, "clicked");
    ASSERT_TRUE(scan.control) << gtk_label_get_text(scan.progress_label);
    ASSERT_TRUE(run_until([&] { return !scan.control; }, 5000));
    std::vector<ServerRequest> asked = server->requests();
    EXPECT_TRUE(std::any_of(asked.begin(), asked.end(),
                            [](const ServerRequest& r) { return r.unit == 1 && r.function == 4 && r.address == 11; }));
    EXPECT_STREQ(text_of(scan.probe_address), "30012");
    set_address_notation(a.preferences, AddressNotation::protocol);
}
