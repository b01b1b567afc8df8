#pragma once
// The values the grids show: the newest the worker reported for each poll
// definition, with the block they were read for, under the definition's
// key. The workers store them and the user-interface thread copies them,
// each whole under a lock held only for the copy. Keys are unique across the
// set-up, so every connection's worker files into the one record; each
// entry remembers which link (its source) filed it.

#include <mutex>
#include <vector>

#include "link/link_state.hpp"

struct ShownValues {
    std::mutex lock;  // guards the fields below
    std::vector<PublishedValues> published;  // one per key
    // Beside each of published: the count of stores when it was last stored.
    std::vector<uint64_t> stored_at;
    std::vector<uint32_t> sources;  // beside each of published: the link that filed it
    uint64_t stores = 0;
};

void store_values(ShownValues& shown, const PublishedValues& values, uint32_t source = 0);
// The values stay, but no longer come from the newest round: those of the
// definition with key, or with key 0 all that source filed.
void mark_values_stale(ShownValues& shown, uint16_t key, uint32_t source = 0);
void clear_values(ShownValues& shown);
// Only those that source filed.
void clear_values_of(ShownValues& shown, uint32_t source);
// The values of the definition with key if they were read for the block of
// current; none (value_count 0) for any other key or block.
PublishedValues copy_values_for(ShownValues& shown, uint16_t key, const PollDefinition& current);
