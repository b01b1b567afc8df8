#include <gtest/gtest.h>

#include <tuple>

#include "table/grid_layout.hpp"

TEST(GridLayout, WorkedLayoutStart13Length20)
{
    GridLayout shown = make_grid_layout(13, 20, true);
    EXPECT_EQ(shown.base, 10u);
    EXPECT_EQ(shown.blocks, 3u);
    EXPECT_EQ(value_column(shown, shown.blocks - 1), 6u);
    EXPECT_EQ(cell_address(shown, 2, 4), 13u);
    EXPECT_EQ(cell_address(shown, 4, 1), 20u);
    EXPECT_EQ(cell_address(shown, 6, 3), 32u);
    EXPECT_EQ(block_first_address(shown, 2), 30u);
    EXPECT_EQ(label_column(2), 5u);
    EXPECT_TRUE(is_label_cell(shown, 1, 1));
    EXPECT_TRUE(is_label_cell(shown, 5, 10));
    EXPECT_FALSE(is_label_cell(shown, 1, 0));  // the "Label" header
    EXPECT_FALSE(is_label_cell(shown, 2, 3));
    // A label cell and the value cell beside it share the address.
    EXPECT_EQ(cell_address(shown, 3, 1), 20u);
    EXPECT_EQ(cell_address(shown, 4, 1), 20u);
    EXPECT_EQ(cell_address(shown, 6, 10), 39u);

    GridLayout hidden = make_grid_layout(13, 20, false);
    EXPECT_EQ(value_column(hidden, hidden.blocks - 1), 3u);
    EXPECT_EQ(cell_address(hidden, 1, 4), 13u);
    EXPECT_EQ(cell_address(hidden, 3, 3), 32u);
    EXPECT_FALSE(is_label_cell(hidden, 1, 1));
    EXPECT_EQ(cell_address(hidden, 2, 1), 20u);
    EXPECT_EQ(cell_address(hidden, 3, 4), 33u);
}

TEST(GridLayout, BlockCountsAtTheEdges)
{
    struct Case {
        uint16_t start;
        unsigned length;
        uint32_t base;
        unsigned blocks, items;
    };
    const Case cases[] = {
        {0, 1, 0, 1, 1},     {9, 2, 0, 2, 2},       {0, 20, 0, 2, 20},         {0, 10, 0, 1, 10},
        {10, 11, 10, 2, 11}, {0, 255, 0, 26, 255},  {9, 255, 0, 27, 255},      {65530, 20, 65530, 2, 6},
        {0, 0, 0, 1, 0},     {17, 0, 10, 1, 0},     {65535, 255, 65530, 26, 1}, {19, 1, 10, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "start " << c.start << " length " << c.length);
        GridLayout layout = make_grid_layout(c.start, c.length, true);
        EXPECT_EQ(layout.base, c.base);
        EXPECT_EQ(layout.blocks, c.blocks);
        EXPECT_EQ(shown_items(layout), c.items);
        // Columns stay below 256, which the 8-bit cursor relies on.
        EXPECT_LT(value_column(layout, layout.blocks - 1), 256u);
    }
    // Past the top of the address range the cells count on beyond 65535.
    GridLayout top = make_grid_layout(65530, 20, true);
    EXPECT_EQ(cell_address(top, 2, 6), 65535u);
    EXPECT_EQ(cell_address(top, 2, 7), 65536u);
    EXPECT_EQ(cell_address(top, 4, 10), 65549u);
}

TEST(GridLayout, DefaultLabelTexts)
{
    char out[64];
    for (auto [fcode, address, text] : {std::tuple{1, 7u, "Coil 7"}, {2, 65535u, "Coil 65535"},
                                        {3, 12u, "Address 12"}, {4, 0u, "Address 0"}}) {
        EXPECT_TRUE(default_label_text(uint8_t(fcode), address, out, sizeof out));
        EXPECT_STREQ(out, text);
    }
    EXPECT_FALSE(default_label_text(3, 12, out, 8));
    EXPECT_STREQ(out, "");
}
