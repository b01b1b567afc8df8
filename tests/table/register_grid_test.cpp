#include "grid_fixture.hpp"

#include <algorithm>

#include "connection/connection_dialog.hpp"
#include "connection/connect.hpp"
#include "link/worker.hpp"
#include "support/modbus_test_server.hpp"

TEST(RegisterGrid, WorkedLayoutWithLabelsShown)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(13, 20);
    const char* headers[] = {"Label", "10", "Label", "20", "Label", "30"};
    for (int column = 1; column <= 6; ++column) {
        EXPECT_EQ(text_at(main, column, 0), headers[column - 1]);
        EXPECT_TRUE(gtk_widget_has_css_class(cell_at(main, column, 0), "first_row"));
    }
    EXPECT_EQ(cell_at(main, 0, 0), nullptr);
    EXPECT_EQ(cell_at(main, 7, 0), nullptr);
    EXPECT_EQ(cell_at(main, 1, 11), nullptr);
    for (int row = 1; row <= 10; ++row) {
        EXPECT_EQ(text_at(main, 0, row), std::to_string(row - 1));
        EXPECT_TRUE(gtk_widget_has_css_class(cell_at(main, 0, row), "first_column"));
        for (int block = 0; block < 3; ++block) {
            GtkWidget* label = cell_at(main, 2 * block + 1, row);
            EXPECT_TRUE(GTK_IS_TEXT(label) && !gtk_widget_get_sensitive(label));
            EXPECT_EQ(text_at(main, 2 * block + 1, row), "Address " + std::to_string(10 + 10 * block + row - 1));
            GtkWidget* value = cell_at(main, 2 * block + 2, row);
            EXPECT_TRUE(GTK_IS_LABEL(value) && gtk_label_get_xalign(GTK_LABEL(value)) == 1.0f);
        }
    }

    publish_values(numbered_values(20));
    EXPECT_EQ(text_at(main, 2, 4), "100");  // entry 0, address 13
    EXPECT_EQ(text_at(main, 4, 1), "107");  // entry 7, address 20
    EXPECT_EQ(text_at(main, 6, 3), "119");  // entry 19, address 32
    EXPECT_EQ(text_at(main, 2, 3), "");
    EXPECT_EQ(text_at(main, 6, 4), "");
}

// Each case publishes at least twenty values, as a longer earlier poll may
// have left: cells that are not part of this poll must not take them.
TEST(RegisterGrid, BlocksAtTheEdgesOfLengthAndAddressRange)
{
    REQUIRE_DISPLAY();
    struct Cell {
        int column, row;
        const char* text;
    };
    struct Case {
        uint16_t start;
        uint8_t length, fcode;
        std::vector<Cell> cells;
    };
    const Case cases[] = {
        {0, 1, 1, {{2, 0, "0"}, {3, 0, "<none>"}, {1, 1, "Coil 0"}, {2, 1, "100"}, {2, 2, ""}, {2, 10, ""}}},
        {9, 2, 3, {{4, 0, "10"}, {2, 10, "100"}, {4, 1, "101"}, {2, 9, ""}, {4, 2, ""}, {3, 1, "Address 10"}}},
        {0, 255, 3, {{52, 0, "250"}, {53, 0, "<none>"}, {52, 5, "354"}, {52, 6, ""}, {51, 5, "Address 254"}}},
        {17, 0, 3, {{1, 0, "Label"}, {2, 0, "10"}, {3, 0, "<none>"}, {0, 1, "0"}, {0, 10, "9"}, {2, 1, ""},
                    {2, 7, ""}, {2, 10, ""}}},
        {65530, 20, 3, {{2, 0, "65530"}, {4, 0, "65540"}, {1, 6, "Address 65535"}, {1, 7, ""}, {2, 1, "100"},
                        {2, 6, "105"}, {2, 7, ""}, {2, 10, ""}, {4, 1, ""}, {4, 10, ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " length " << int(c.length));
        PollTabs& main = grid_for(c.start, c.length, c.fcode);
        publish_values(numbered_values(std::max(20, int(c.length))));
        for (const Cell& cell : c.cells)
            EXPECT_EQ(text_at(main, cell.column, cell.row), cell.text) << cell.column << "," << cell.row;
    }
}

TEST(RegisterGrid, StoredLabelOutsideTheBlocksIsKeptAndShowsLater)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(0, 20);
    set_label(main.tab->definition->labels, 25, "Far pump");
    set_label(main.tab->definition->labels, 3, "Near valve");
    build_grid(main.tab->table);
    EXPECT_EQ(text_at(main, 1, 4), "Near valve");
    EXPECT_EQ(text_at(main, 3, 6), "Address 15");

    grid_for(20, 10);
    EXPECT_EQ(text_at(main, 1, 6), "Far pump");
    EXPECT_EQ(text_at(main, 1, 4), "Address 23");
    EXPECT_EQ(main.tab->definition->labels.entries.size(), 2u);
}

TEST(RegisterGrid, FormatChangeRendersAgainWithoutAPollAndCoilsStayZeroOrOne)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(0, 20);
    std::vector<uint16_t> values;
    for (int i = 0; i < 20; ++i)
        values.push_back(i % 2 ? 65535 : 32768);
    publish_values(values);
    const char* expected[][2] = {{"-32768", "-1"}, {"0x8000", "0xFFFF"},
                                 {"0b1000000000000000", "0b1111111111111111"}, {"32768", "65535"}};
    for (unsigned format : {1, 2, 3, 0}) {
        gtk_drop_down_set_selected(main.format_selector, format);
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(text_at(main, 2 + 2 * (i / 10), i % 10 + 1), expected[(format + 3) % 4][i % 2]) << i;
    }

    // Coils and discrete inputs show 0 and 1 in every format, ungrouped.
    for (uint8_t fcode : {1, 2}) {
        grid_for(0, 4, fcode);
        publish_values({0, 1, 1, 0});
        for (unsigned format = 0; format < 10; ++format) {
            gtk_drop_down_set_selected(main.format_selector, format);
            for (int row = 1; row <= 4; ++row)
                EXPECT_EQ(text_at(main, 2, row), row == 2 || row == 3 ? "1" : "0");
        }
    }
}

TEST(RegisterGrid, RebuildLeavesValuesEmptyUntilTheNextRefresh)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(0, 20);
    publish_values(numbered_values(20));
    build_grid(main.tab->table);
    for (int row = 1; row <= 10; ++row)
        for (int column : {2, 4})
            EXPECT_EQ(text_at(main, column, row), "") << column << "," << row;
    fill_from_shown_values(app().tabs.tab->table);
    EXPECT_EQ(text_at(main, 2, 1), "100");
    EXPECT_EQ(text_at(main, 4, 10), "119");

    // Fewer values than cells fill only the first ones.
    publish_values({1, 2, 3});
    EXPECT_EQ(text_at(main, 2, 3), "3");
    EXPECT_EQ(text_at(main, 2, 4), "103");
}

TEST(RegisterGrid, LabelToggleBringsValuesBackAtOnce)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(13, 20);
    publish_values(numbered_values(20));
    toggle_label_column(main.tab->table);
    EXPECT_FALSE(main.tab->table.labels_visible);
    // The worked layout without labels: one column per block.
    EXPECT_EQ(text_at(main, 3, 0), "30");
    EXPECT_EQ(cell_at(main, 4, 0), nullptr);
    for (GtkWidget* c = gtk_widget_get_first_child(GTK_WIDGET(main.tab->table.grid)); c; c = gtk_widget_get_next_sibling(c))
        EXPECT_FALSE(GTK_IS_TEXT(c));
    EXPECT_EQ(text_at(main, 1, 4), "100");
    EXPECT_EQ(text_at(main, 2, 1), "107");
    EXPECT_EQ(text_at(main, 1, 3), "");

    toggle_label_column(main.tab->table);
    EXPECT_TRUE(main.tab->table.labels_visible);
    EXPECT_EQ(text_at(main, 4, 1), "107");
    EXPECT_EQ(text_at(main, 3, 1), "Address 20");
}

namespace {

bool in_group_rest(PollTabs& main, int column, int row)
{
    return gtk_widget_has_css_class(cell_at(main, column, row), "group_rest");
}

}  // namespace

// Start 13, length 5 in INT32: 13-14 and 15-16 are values, 17 is cut off.
// Format and order changes render again from the last poll: the server,
// polled once a minute, sees no further request.
TEST(RegisterGrid, WideValuesGroupFromTheFirstPolledAddress)
{
    REQUIRE_DISPLAY();
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    const uint16_t holding[] = {0xFFFF, 0xFFFE, 0x0001, 0x0000, 0x1234};
    for (uint16_t i = 0; i < 5; ++i)
        server->set_holding(uint16_t(13 + i), holding[i]);
    PollTabs& main = grid_for(13, 5);
    gtk_drop_down_set_selected(main.format_selector, unsigned(ValueFormat::INT32));
    store_poll_definition(PollDefinition{1, 3, 13, 5, 60000});
    store_connection_settings({.device = "127.0.0.1", .baud_or_port = uint32_t(server->port()), .use_tcp = true});
    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
    ASSERT_TRUE(run_until([&] { return text_at(main, 2, 4) != ""; }, 5000));
    size_t requests = server->request_count();

    struct Step {
        unsigned format, order;
        const char* texts[5];  // addresses 13 to 17, rows 4 to 8
    };
    const Step steps[] = {
        {unsigned(ValueFormat::INT32), 0, {"-2", "", "65536", "", ""}},
        {unsigned(ValueFormat::INT32), 1, {"-65537", "", "1", "", ""}},       // CD AB
        {unsigned(ValueFormat::UINT32), 2, {"4294967039", "", "16777216", "", ""}},  // BA DC
        {unsigned(ValueFormat::UINT), 2, {"65535", "65534", "1", "0", "4660"}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << step.format << "/" << step.order);
        gtk_drop_down_set_selected(main.format_selector, step.format);
        gtk_drop_down_set_selected(main.order_selector, step.order);
        bool grouped = step.format != unsigned(ValueFormat::UINT);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(text_at(main, 2, 4 + i), step.texts[i]) << 13 + i;
            EXPECT_EQ(in_group_rest(main, 2, 4 + i), grouped && (i == 1 || i == 3)) << 13 + i;
        }
    }
    EXPECT_EQ(server->request_count(), requests);

    app_link().running.store(false);
    signal_wake();
    EXPECT_TRUE(run_until([] { return worker_threads() == 0; }, 5000));
}

TEST(RegisterGrid, SixtyFourBitGroupsAndRebuildsKeepTheirStyle)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(8, 9);
    gtk_drop_down_set_selected(main.format_selector, unsigned(ValueFormat::INT64));
    publish_values({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE, 0, 0, 0, 7, 1});
    EXPECT_EQ(text_at(main, 2, 9), "-2");   // address 8, row 9 of block 0
    EXPECT_EQ(text_at(main, 4, 3), "7");    // address 12, row 3 of block 1
    EXPECT_EQ(text_at(main, 4, 7), "");     // address 16, cut off
    EXPECT_TRUE(in_group_rest(main, 2, 10));
    for (int row : {1, 2, 4, 5, 6}) EXPECT_TRUE(in_group_rest(main, 4, row)) << row;
    EXPECT_FALSE(in_group_rest(main, 4, 3));
    EXPECT_FALSE(in_group_rest(main, 4, 7));
    // The label column's toggle rebuilds the grid and fills it at once.
    toggle_label_column(main.tab->table);
    EXPECT_EQ(text_at(main, 2, 3), "7");
    EXPECT_TRUE(in_group_rest(main, 2, 4));
}

// Connect with no serial device named: the status line says so and the
// values of the last poll disappear from the grid.
TEST(RegisterGrid, ConnectWithoutADeviceEmptiesTheValueCells)
{
    REQUIRE_DISPLAY();
    PollTabs& main = grid_for(3, 12);
    publish_values(numbered_values(12));
    ASSERT_EQ(text_at(main, 2, 4), "100");
    ConnectionDialog& dialog = app().connection;
    gtk_check_button_set_active(dialog.serial_choice, TRUE);
    gtk_editable_set_text(GTK_EDITABLE(gtk_combo_box_get_child(GTK_COMBO_BOX(dialog.port_combo))), "");
    connect_link(dialog);
    drain_main_loop();
    EXPECT_STREQ(gtk_label_get_text(app().main_window.status_line), "No device selected");
    for (int row = 1; row <= 10; ++row)
        for (int column : {2, 4})
            EXPECT_EQ(text_at(main, column, row), "") << column << "," << row;
}
