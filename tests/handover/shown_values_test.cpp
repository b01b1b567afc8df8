// The values held for the grids while tabs are closed and changed: the
// keys they leave behind make room, never a definition still polled.

#include "handover/shown_values.hpp"

#include <gtest/gtest.h>

namespace {

PublishedValues read_for(uint16_t key, const PollDefinition& block, uint16_t value)
{
    PublishedValues values{block};
    values.key = key;
    values.value_count = 1;
    values.values[0] = value;
    values.live = true;
    return values;
}

}  // namespace

// Given a slow definition stored first, then many more keys than are kept
// (blocks changed over and over in another tab), with the slow one polled
// again meanwhile, expect its values still held and the retired ones gone.
TEST(ShownValues, ASlowDefinitionKeepsItsValuesWhileRetiredKeysComeAndGo)
{
    ShownValues shown;
    PollDefinition slow{1, 3, 0, 1, 60000};
    PollDefinition browsed{2, 3, 100, 1, 0};
    store_values(shown, read_for(1, slow, 7));
    for (uint16_t key = 2; key < 1000; ++key) {
        store_values(shown, read_for(key, browsed, key));
        if (key % 100 == 0)
            store_values(shown, read_for(1, slow, key));
    }
    PublishedValues kept = copy_values_for(shown, 1, slow);
    ASSERT_EQ(kept.value_count, 1u);
    EXPECT_EQ(kept.values[0], 900);
    EXPECT_EQ(copy_values_for(shown, 999, browsed).values[0], 999);
    EXPECT_EQ(copy_values_for(shown, 2, browsed).value_count, 0u);
    EXPECT_LE(shown.published.size(), 2 * max_poll_definitions);
}
