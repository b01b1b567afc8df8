#include "table/shown_values.hpp"

void store_values(ShownValues& shown, const PublishedValues& values)
{
    std::lock_guard lock(shown.lock);
    shown.published = values;
}

void mark_values_stale(ShownValues& shown)
{
    std::lock_guard lock(shown.lock);
    shown.published.live = false;
}

void clear_values(ShownValues& shown)
{
    std::lock_guard lock(shown.lock);
    shown.published = PublishedValues{};
}

PublishedValues copy_values_for(ShownValues& shown, const PollDefinition& current)
{
    std::lock_guard lock(shown.lock);
    if (!same_block(shown.published.block, current))
        return PublishedValues{current};
    return shown.published;
}
