// A map's points grouped into poll definitions, and taken into the set-up
// model: as new tabs, or into one tab whose block grows to hold them.

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "points/point_value.hpp"
#include "registermap/map_words.hpp"
#include "registermap/register_map.hpp"
#include "setup/definition_name.hpp"
#include "values/poll_blocks.hpp"

namespace {

constexpr uint32_t imported_scan_rate = 1000;  // ms, as a new definition polls

// A point named apart from any notation, as a tag export writes it: "HR100".
std::string point_tag(ModbusTable table, uint16_t address, const std::string& name)
{
    constexpr const char* tags[] = {"CO", "DI", "IR", "HR"};
    std::string text = tags[size_t(table)] + std::to_string(address);
    return name.empty() ? text : text + " (" + name + ")";
}

const char* plural(ModbusTable table)
{
    constexpr const char* words[] = {"coils", "discrete inputs", "input registers", "holding registers"};
    return words[size_t(table)];
}

const char* items_of(ModbusTable table)
{
    return is_bit_table(table) ? "bits" : "registers";
}

auto entry_order(const MapEntry& entry)
{
    return std::tuple(entry.unit, entry.table, entry.address);
}

// The block of plan that holds entry, or none.
const PollBlock* block_of(const PollPlan& plan, const MapEntry& entry)
{
    auto after = std::upper_bound(plan.blocks.begin(), plan.blocks.end(), entry, [](const MapEntry& e, const PollBlock& b) {
        return entry_order(e) < std::tuple(b.unit, b.table, b.address);
    });
    if (after == plan.blocks.begin())
        return nullptr;
    const PollBlock& block = *(after - 1);
    bool inside = block.unit == entry.unit && block.table == entry.table &&
                  uint32_t(entry.address) < uint32_t(block.address) + block.length;
    return inside ? &block : nullptr;
}

// The entry's label and point put on definition.
void place(DefinitionSetUp& definition, const MapEntry& entry)
{
    if (!entry.name.empty())
        set_label(definition.labels, entry.address, entry.name);
    if (!is_empty_point(entry.point))
        definition.points[entry.address] = entry.point;
}

// How far entry stands outside [low, high), 0 inside.
uint32_t distance(const MapEntry& entry, uint32_t low, uint32_t high)
{
    return entry.address < low ? low - entry.address : entry.address >= high ? entry.address - high + 1 : 0;
}

}  // namespace

MapDefinitions plan_map_definitions(const std::vector<MapEntry>& entries)
{
    std::vector<MapPoint> points;
    points.reserve(entries.size());
    for (const MapEntry& entry : entries) {
        unsigned width = point_width(entry.point, TabFormat{}, is_bit_table(entry.table));
        points.push_back({entry.unit, entry.table, entry.address, uint16_t(width)});
    }
    PollPlan plan = plan_poll_blocks(points);
    MapDefinitions planned;
    for (const PollBlock& block : plan.blocks) {
        DefinitionSetUp definition;
        definition.poll = {block.unit, read_function(block.table), block.address, uint8_t(block.length),
                           imported_scan_rate};
        planned.definitions.push_back(std::move(definition));
    }
    std::vector<const MapEntry*> sorted;
    for (const MapEntry& entry : entries)
        sorted.push_back(&entry);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const MapEntry* a, const MapEntry* b) { return entry_order(*a) < entry_order(*b); });
    for (const MapEntry* entry : sorted) {
        const PollBlock* block = block_of(plan, *entry);
        if (!block)
            continue;
        place(planned.definitions[size_t(block - plan.blocks.data())], *entry);
        ++planned.points_placed;
    }
    for (const RefusedPoint& refused : plan.refused)
        planned.refusals.push_back("Unit " + std::to_string(refused.point.unit) + ", " +
                                   point_tag(refused.point.table, refused.point.address, {}) + ": " + refused.reason);
    return planned;
}

MapImport import_map_as_tabs(SetUpModel& model, const std::vector<MapEntry>& entries)
{
    MapDefinitions planned = plan_map_definitions(entries);
    MapImport import;
    import.refusals = std::move(planned.refusals);
    size_t room = max_poll_definitions - std::min(max_poll_definitions, model.definitions.size());
    if (planned.definitions.size() > room) {
        import.refusals.push_back(definition_limit_text() + ": the map needs " +
                                  std::to_string(planned.definitions.size()) + " and there is room for " +
                                  std::to_string(room));
        return import;
    }
    for (DefinitionSetUp& definition : planned.definitions)
        if (add_whole_definition(model, std::move(definition)))
            ++import.definitions_added;
    import.points_added = planned.points_placed;
    return import;
}

namespace {

// The entries of definition's unit and table, nearest its block first, so
// that a block that cannot grow enough keeps those it reaches.
std::vector<const MapEntry*> entries_for(const DefinitionSetUp& definition, const std::vector<MapEntry>& entries)
{
    ModbusTable table = table_of_function(definition.poll.fcode);
    uint32_t low = definition.poll.address;
    uint32_t high = low + definition.poll.length;
    std::vector<const MapEntry*> ours;
    for (const MapEntry& entry : entries)
        if (entry.unit == definition.poll.slave && entry.table == table)
            ours.push_back(&entry);
    std::stable_sort(ours.begin(), ours.end(), [&](const MapEntry* a, const MapEntry* b) {
        return std::tuple(distance(*a, low, high), a->address) < std::tuple(distance(*b, low, high), b->address);
    });
    return ours;
}

}  // namespace

namespace {

// The block of definition grown over the entries that one read can hold
// with it; those it cannot, refused.
PollDefinition grown_block(const DefinitionSetUp& definition, const std::vector<const MapEntry*>& ours,
                           std::vector<const MapEntry*>& taken, std::vector<std::string>& refusals)
{
    ModbusTable table = table_of_function(definition.poll.fcode);
    TabFormat tab{definition.format, definition.order};
    uint32_t limit = block_limit(table);
    uint32_t low = definition.poll.address;
    uint32_t high = low + definition.poll.length;
    for (const MapEntry* entry : ours) {
        uint32_t end = uint32_t(entry->address) + point_width(entry->point, tab, is_bit_table(table));
        uint32_t new_low = std::min<uint32_t>(low, entry->address);
        uint32_t new_high = std::max(high, end);
        if (end > 0x10000 || new_high - new_low > limit) {
            refusals.push_back(point_tag(table, entry->address, entry->name) +
                               ": too far from the tab's block; one read takes at most " + std::to_string(limit) +
                               " " + items_of(table));
            continue;
        }
        low = new_low;
        high = new_high;
        taken.push_back(entry);
    }
    PollDefinition grown = definition.poll;
    grown.address = uint16_t(low);
    grown.length = uint8_t(high - low);
    return grown;
}

}  // namespace

MapImport import_map_into(SetUpModel& model, DefinitionSetUp& definition, const std::vector<MapEntry>& entries)
{
    MapImport import;
    ModbusTable table = table_of_function(definition.poll.fcode);
    std::vector<const MapEntry*> ours = entries_for(definition, entries);
    std::vector<const MapEntry*> taken;
    PollDefinition grown = grown_block(definition, ours, taken, import.refusals);
    if (size_t others = entries.size() - ours.size())
        import.refusals.push_back(std::to_string(others) + (others == 1 ? " point is" : " points are") +
                                  " of another unit or table: the tab reads unit " +
                                  std::to_string(definition.poll.slave) + "'s " + plural(table));
    if (!same_block(grown, definition.poll))
        set_definition_poll(model, definition, grown);
    std::vector<LabelEntry> labels;
    std::map<uint16_t, Point> points;
    for (const MapEntry* entry : taken) {
        if (std::string refusal = point_refusal(entry->point, grown, entry->address); !refusal.empty()) {
            import.refusals.push_back(point_tag(table, entry->address, entry->name) + ": " + refusal);
            continue;
        }
        if (!entry->name.empty())
            labels.push_back({entry->address, entry->name});
        if (!is_empty_point(entry->point))
            points[entry->address] = entry->point;
        ++import.points_added;
    }
    set_labels_and_points(model, definition, labels, points);
    return import;
}
