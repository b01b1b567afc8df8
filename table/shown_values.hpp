#pragma once
// The values the grid shows: the newest the worker reported, with the block
// they were read for. The worker stores them and the user-interface thread
// copies them, each whole under a lock held only for the copy.

#include <mutex>

#include "link/link_state.hpp"

struct ShownValues {
    std::mutex lock;  // guards published
    PublishedValues published;
};

void store_values(ShownValues& shown, const PublishedValues& values);
// The values stay, but no longer come from the newest cycle.
void mark_values_stale(ShownValues& shown);
void clear_values(ShownValues& shown);
// The values if they were read for the block of current; none (value_count
// 0) for any other block.
PublishedValues copy_values_for(ShownValues& shown, const PollDefinition& current);
