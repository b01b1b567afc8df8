#include "points/value_groups.hpp"

#include <algorithm>

bool is_bit_poll(uint8_t fcode)
{
    return fcode == 1 || fcode == 2;
}

std::vector<ValueGroup> value_groups(const DefinitionSetUp& definition)
{
    const PollDefinition& poll = definition.poll;
    bool bits = is_bit_poll(poll.fcode);
    TabFormat tab{bits ? ValueFormat::UINT : definition.format, definition.order};
    unsigned length = poll.length;
    std::vector<ValueGroup> groups;
    auto next_point = definition.points.lower_bound(poll.address);
    for (unsigned item = 0; item < length;) {
        uint32_t address = uint32_t(poll.address) + item;
        while (next_point != definition.points.end() && next_point->first < address)
            ++next_point;
        ValueGroup group{item, 1, nullptr, true};
        if (next_point != definition.points.end() && next_point->first == address) {
            group.point = &next_point->second;
            group.width = point_width(*group.point, tab, bits);
        } else {
            group.width = point_width(Point{}, tab, bits);
            // A point that starts inside cuts the tab's value short.
            if (next_point != definition.points.end() && next_point->first < address + group.width) {
                group.width = next_point->first - address;
                group.complete = false;
            }
        }
        if (item + group.width > length) {
            group.width = length - item;
            group.complete = false;
        }
        groups.push_back(group);
        item += group.width;
    }
    return groups;
}

size_t group_index(const std::vector<ValueGroup>& groups, unsigned item)
{
    auto after = std::upper_bound(groups.begin(), groups.end(), item,
                                  [](unsigned i, const ValueGroup& g) { return i < g.first; });
    if (after == groups.begin())
        return groups.size();
    size_t index = size_t(after - groups.begin()) - 1;
    return item < groups[index].first + groups[index].width ? index : groups.size();
}
