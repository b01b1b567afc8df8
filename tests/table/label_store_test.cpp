#include <gtest/gtest.h>

#include "table/label_store.hpp"

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
}
