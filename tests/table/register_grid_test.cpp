#include "grid_fixture.hpp"

namespace {

void expect_value_column_empty(MainWindow& main, int column)
{
    for (int row = 1; row <= 10; ++row)
        EXPECT_EQ(text_at(main, column, row), "") << "column " << column << " row " << row;
}

}  // namespace

TEST(RegisterGrid, WorkedLayoutWithLabelsShown)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(13, 20);
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
            ASSERT_TRUE(GTK_IS_TEXT(label));
            EXPECT_FALSE(gtk_widget_get_sensitive(label));
            EXPECT_EQ(text_at(main, 2 * block + 1, row), "Address " + std::to_string(10 + 10 * block + row - 1));
            GtkWidget* value = cell_at(main, 2 * block + 2, row);
            ASSERT_TRUE(GTK_IS_LABEL(value));
            EXPECT_FLOAT_EQ(gtk_label_get_xalign(GTK_LABEL(value)), 1.0f);
            EXPECT_EQ(text_at(main, 2 * block + 2, row), "");
        }
    }

    publish_values(numbered_values(20));
    EXPECT_EQ(text_at(main, 2, 4), "100");   // entry 0, address 13
    EXPECT_EQ(text_at(main, 4, 1), "107");   // entry 7, address 20
    EXPECT_EQ(text_at(main, 6, 3), "119");   // entry 19, address 32
    for (int row : {1, 2, 3})
        EXPECT_EQ(text_at(main, 2, row), "");
    for (int row = 4; row <= 10; ++row)
        EXPECT_EQ(text_at(main, 6, row), "");
}

TEST(RegisterGrid, WorkedLayoutWithLabelsHidden)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(13, 20, 3, false);
    EXPECT_EQ(text_at(main, 1, 0), "10");
    EXPECT_EQ(text_at(main, 2, 0), "20");
    EXPECT_EQ(text_at(main, 3, 0), "30");
    EXPECT_EQ(cell_at(main, 4, 0), nullptr);
    for (GtkWidget* c = gtk_widget_get_first_child(GTK_WIDGET(main.grid)); c; c = gtk_widget_get_next_sibling(c))
        EXPECT_FALSE(GTK_IS_TEXT(c));

    publish_values(numbered_values(20));
    EXPECT_EQ(text_at(main, 1, 4), "100");
    EXPECT_EQ(text_at(main, 2, 1), "107");
    EXPECT_EQ(text_at(main, 3, 3), "119");
    EXPECT_EQ(text_at(main, 1, 3), "");
}

TEST(RegisterGrid, SmallBlocksAtTheStart)
{
    REQUIRE_DISPLAY();
    // given start 0 length 1, expect one block and only (2, 1) filled
    MainWindow& main = grid_for(0, 1);
    EXPECT_EQ(text_at(main, 2, 0), "0");
    EXPECT_EQ(cell_at(main, 3, 0), nullptr);
    publish_values({42});
    EXPECT_EQ(text_at(main, 2, 1), "42");
    for (int row = 2; row <= 10; ++row)
        EXPECT_EQ(text_at(main, 2, row), "");

    // given start 9 length 2, expect row 10 of block 0 and row 1 of block 1
    grid_for(9, 2);
    EXPECT_EQ(text_at(main, 4, 0), "10");
    publish_values({7, 8});
    EXPECT_EQ(text_at(main, 2, 10), "7");
    EXPECT_EQ(text_at(main, 4, 1), "8");
    EXPECT_EQ(text_at(main, 2, 9), "");
    EXPECT_EQ(text_at(main, 4, 2), "");
}

TEST(RegisterGrid, LongestPollHas26Blocks)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 255);
    EXPECT_EQ(text_at(main, 52, 0), "250");
    EXPECT_EQ(cell_at(main, 53, 0), nullptr);
    EXPECT_EQ(main.value_cells.size(), 255u);
    publish_values(numbered_values(255));
    EXPECT_EQ(text_at(main, 2, 1), "100");
    EXPECT_EQ(text_at(main, 52, 5), "354");  // address 254
    EXPECT_EQ(text_at(main, 52, 6), "");
    EXPECT_EQ(text_at(main, 51, 5), "Address 254");
}

TEST(RegisterGrid, LengthZeroShowsOneEmptyBlock)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(17, 0);
    EXPECT_EQ(text_at(main, 1, 0), "Label");
    EXPECT_EQ(text_at(main, 2, 0), "10");
    EXPECT_EQ(cell_at(main, 3, 0), nullptr);
    for (int row = 1; row <= 10; ++row)
        EXPECT_EQ(text_at(main, 0, row), std::to_string(row - 1));
    EXPECT_TRUE(main.value_cells.empty());
    // Results of an earlier, longer poll find no cell to land in.
    publish_values(numbered_values(20));
    expect_value_column_empty(main, 2);
}

TEST(RegisterGrid, CellsPastTheTopAddressStayEmptyAndInsensitive)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(65530, 20);
    EXPECT_EQ(text_at(main, 2, 0), "65530");
    EXPECT_EQ(text_at(main, 4, 0), "65540");
    EXPECT_EQ(text_at(main, 1, 6), "Address 65535");
    EXPECT_EQ(text_at(main, 1, 7), "");
    EXPECT_TRUE(gtk_widget_get_sensitive(cell_at(main, 2, 6)));
    EXPECT_FALSE(gtk_widget_get_sensitive(cell_at(main, 2, 7)));
    EXPECT_FALSE(gtk_widget_get_sensitive(cell_at(main, 4, 1)));
    EXPECT_EQ(main.value_cells.size(), 6u);

    // A failed read stores zeros for the whole block; only real addresses show them.
    publish_values(std::vector<uint16_t>(20, 0));
    for (int row = 1; row <= 6; ++row)
        EXPECT_EQ(text_at(main, 2, row), "0");
    for (int row = 7; row <= 10; ++row)
        EXPECT_EQ(text_at(main, 2, row), "");
    expect_value_column_empty(main, 4);
}

TEST(RegisterGrid, LabelTextsFollowTheFunctionCode)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(5, 3, 1);
    EXPECT_EQ(text_at(main, 1, 1), "Coil 0");
    EXPECT_EQ(text_at(main, 1, 8), "Coil 7");
    grid_for(5, 3, 2);
    EXPECT_EQ(text_at(main, 1, 10), "Coil 9");
    grid_for(5, 3, 3);
    EXPECT_EQ(text_at(main, 1, 8), "Address 7");
    grid_for(5, 3, 4);
    EXPECT_EQ(text_at(main, 1, 1), "Address 0");
}

TEST(RegisterGrid, StoredLabelOutsideTheBlocksIsKeptAndShowsLater)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    set_label(main.labels, 25, "Far pump");
    set_label(main.labels, 3, "Near valve");
    build_grid(main);
    EXPECT_EQ(text_at(main, 1, 4), "Near valve");
    EXPECT_EQ(text_at(main, 3, 6), "Address 15");
    ASSERT_EQ(main.labels.entries.size(), 2u);

    PollDefinition poll = copy_poll_definition();
    poll.address = 20;
    poll.length = 10;
    store_poll_definition(poll);
    build_grid(main);
    EXPECT_EQ(text_at(main, 1, 6), "Far pump");
    EXPECT_EQ(text_at(main, 1, 4), "Address 23");
    EXPECT_EQ(main.labels.entries.size(), 2u);
}

TEST(RegisterGrid, FormatChangeRendersEveryRegisterAgainWithoutAPoll)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    std::vector<uint16_t> values;
    for (int i = 0; i < 20; ++i)
        values.push_back(i % 2 ? 65535 : 32768);
    publish_values(values);
    auto expect_all = [&](const char* even, const char* odd) {
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(text_at(main, 2 + 2 * (i / 10), i % 10 + 1), i % 2 ? odd : even) << "entry " << i;
    };
    expect_all("32768", "65535");
    gtk_drop_down_set_selected(main.format_selector, 1);
    expect_all("-32768", "-1");
    gtk_drop_down_set_selected(main.format_selector, 2);
    expect_all("0x8000", "0xFFFF");
    gtk_drop_down_set_selected(main.format_selector, 3);
    expect_all("0b1000000000000000", "0b1111111111111111");
    gtk_drop_down_set_selected(main.format_selector, 0);
    expect_all("32768", "65535");
}

TEST(RegisterGrid, CoilsShowZeroAndOneInEveryFormat)
{
    REQUIRE_DISPLAY();
    for (uint8_t fcode : {1, 2}) {
        MainWindow& main = grid_for(0, 4, fcode);
        publish_values({0, 1, 1, 0});
        for (unsigned format = 0; format < 4; ++format) {
            gtk_drop_down_set_selected(main.format_selector, format);
            EXPECT_EQ(text_at(main, 2, 1), "0");
            EXPECT_EQ(text_at(main, 2, 2), "1");
            EXPECT_EQ(text_at(main, 2, 3), "1");
            EXPECT_EQ(text_at(main, 2, 4), "0");
        }
    }
}

TEST(RegisterGrid, RebuildLeavesValuesEmptyUntilTheNextRefresh)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    publish_values(numbered_values(20));
    EXPECT_EQ(text_at(main, 2, 1), "100");
    build_grid(main);
    expect_value_column_empty(main, 2);
    expect_value_column_empty(main, 4);
    refresh_values(nullptr);
    EXPECT_EQ(text_at(main, 2, 1), "100");
    EXPECT_EQ(text_at(main, 4, 10), "119");
}

TEST(RegisterGrid, LabelToggleBringsValuesBackAtOnce)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(13, 20);
    publish_values(numbered_values(20));
    toggle_label_column(main);
    EXPECT_FALSE(main.labels_visible);
    EXPECT_EQ(text_at(main, 2, 1), "107");  // address 20, second value column
    EXPECT_EQ(text_at(main, 1, 0), "10");
    toggle_label_column(main);
    EXPECT_TRUE(main.labels_visible);
    EXPECT_EQ(text_at(main, 4, 1), "107");
    EXPECT_EQ(text_at(main, 3, 1), "Address 20");
}

TEST(RegisterGrid, FewerValuesThanLengthLeaveTheRestAlone)
{
    REQUIRE_DISPLAY();
    MainWindow& main = grid_for(0, 20);
    publish_values(numbered_values(20));
    publish_values({1, 2, 3});
    EXPECT_EQ(text_at(main, 2, 3), "3");
    EXPECT_EQ(text_at(main, 2, 4), "103");
}
