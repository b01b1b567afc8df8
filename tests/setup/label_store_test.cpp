#include <gtest/gtest.h>

#include <string>

#include "setup/label_store.hpp"

TEST(LabelStore, ReplacesInPlaceAndAppendsNewAddresses)
{
    LabelStore store;
    EXPECT_TRUE(set_label(store, 20, "Pump"));
    EXPECT_TRUE(set_label(store, 3, "Valve"));
    EXPECT_TRUE(set_label(store, 20, ""));
    EXPECT_TRUE(set_label(store, 65535, "Top"));
    ASSERT_EQ(store.entries.size(), 3u);
    EXPECT_EQ(store.entries[0], (LabelEntry{20, ""}));
    EXPECT_EQ(store.entries[1], (LabelEntry{3, "Valve"}));
    EXPECT_EQ(store.entries[2], (LabelEntry{65535, "Top"}));

    ASSERT_NE(find_label(store, 3), nullptr);
    EXPECT_EQ(find_label(store, 3)->text, "Valve");
    EXPECT_EQ(find_label(store, 4), nullptr);

    // Emptied, the store finds nothing and starts its order afresh.
    clear_labels(store);
    EXPECT_EQ(find_label(store, 20), nullptr);
    EXPECT_TRUE(set_label(store, 3, "again"));
    EXPECT_TRUE(set_label(store, 3, "last"));
    EXPECT_EQ(store.entries, (std::vector<LabelEntry>{{3, "last"}}));
}

// Every address labelled twice, the second round backwards: each keeps its
// first place and takes its second text.
TEST(LabelStore, EveryAddressKeepsItsPlaceThroughRepeatedLabels)
{
    LabelStore store;
    for (uint32_t a = 0; a <= 65535; ++a)
        ASSERT_TRUE(set_label(store, uint16_t(a), "first"));
    for (uint32_t a = 65536; a-- > 0;)
        ASSERT_TRUE(set_label(store, uint16_t(a), std::to_string(a)));
    ASSERT_EQ(store.entries.size(), 65536u);
    for (uint32_t a : {0u, 1u, 4711u, 65535u}) {
        EXPECT_EQ(store.entries[a], (LabelEntry{uint16_t(a), std::to_string(a)}));
        EXPECT_EQ(find_label(store, uint16_t(a)), &store.entries[a]);
    }
}

TEST(LabelStore, TextTooLongForACellIsShownCutBetweenCharacters)
{
    const std::string ellipsis = "\xE2\x80\xA6";
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"", ""},
        {std::string(label_cell_capacity, 'a'), std::string(label_cell_capacity, 'a')},
        {std::string(label_cell_capacity + 1, 'a'), std::string(label_cell_capacity - 3, 'a') + ellipsis},
        // The cut would fall inside the euro sign: the whole sign goes.
        {std::string(label_cell_capacity - 4, 'a') + euro + "bb", std::string(label_cell_capacity - 4, 'a') + ellipsis},
        {std::string(100000, 'x'), std::string(label_cell_capacity - 3, 'x') + ellipsis},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.size());
        std::string shortened;
        std::string_view shown = fits_label_cell(c.text, shortened);
        EXPECT_EQ(shown, c.shown);
        EXPECT_LE(shown.size(), label_cell_capacity);
    }
}
