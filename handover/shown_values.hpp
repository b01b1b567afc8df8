#pragma once
// The values the grids show: the newest the worker reported for each poll
// definition, with the block they were read for, under the definition's
// key. The worker stores them and the user-interface thread copies them,
// each whole under a lock held only for the copy.

#include <mutex>
#include <vector>

#include "link/link_state.hpp"

struct ShownValues {
    std::mutex lock;  // guards the fields below
    std::vector<PublishedValues> published;  // one per key
    // Beside each of published: the count of stores when it was last stored.
    std::vector<uint64_t> stored_at;
    uint64_t stores = 0;
};

void store_values(ShownValues& shown, const PublishedValues& values);
// The values stay, but no longer come from the newest round: those of the
// definition with key, or with key 0 all of them.
void mark_values_stale(ShownValues& shown, uint16_t key);
void clear_values(ShownValues& shown);
// The values of the definition with key if they were read for the block of
// current; none (value_count 0) for any other key or block.
PublishedValues copy_values_for(ShownValues& shown, uint16_t key, const PollDefinition& current);
