#include "values/poll_blocks.hpp"

#include <algorithm>
#include <tuple>

#include "link/link_state.hpp"

namespace {

// What one read request may ask for.
constexpr unsigned protocol_register_limit = 125;
constexpr unsigned protocol_bit_limit = 2000;

bool is_bit_table(ModbusTable table)
{
    return table == ModbusTable::coils || table == ModbusTable::discrete_inputs;
}

// Why point fits no block, or empty when it fits one.
std::string refusal_of(const MapPoint& point)
{
    const char* items = is_bit_table(point.table) ? " bits" : " registers";
    if (point.width == 0)
        return "The point has no width";
    if (point.width > block_limit(point.table))
        return "The point spans " + std::to_string(point.width) + items + "; one read takes at most " +
               std::to_string(block_limit(point.table));
    if (uint32_t(point.address) + point.width > 0x10000)
        return "The point runs past address 65535";
    return {};
}

auto order_key(const MapPoint& p)
{
    // The wider of two points at one address first, so that the narrower
    // one falls inside the block the wider one opened.
    return std::tuple(p.unit, p.table, p.address, -int(p.width));
}

bool same_group(const PollBlock& block, const MapPoint& point)
{
    return block.unit == point.unit && block.table == point.table;
}

// Whether point joins block: near enough, and the block stays in its limit.
bool joins(const PollBlock& block, const MapPoint& point, uint16_t bridge)
{
    uint32_t end = uint32_t(block.address) + block.length;
    uint32_t new_end = std::max(end, uint32_t(point.address) + point.width);
    return same_group(block, point) && point.address <= end + bridge &&
           new_end - block.address <= block_limit(point.table);
}

}  // namespace

uint16_t block_limit(ModbusTable table)
{
    return uint16_t(std::min(is_bit_table(table) ? protocol_bit_limit : protocol_register_limit, max_values));
}

PollPlan plan_poll_blocks(const std::vector<MapPoint>& points, uint16_t bridge)
{
    PollPlan plan;
    std::vector<MapPoint> sorted;
    for (const MapPoint& point : points) {
        if (std::string reason = refusal_of(point); !reason.empty())
            plan.refused.push_back({point, std::move(reason)});
        else
            sorted.push_back(point);
    }
    std::sort(sorted.begin(), sorted.end(),
              [](const MapPoint& a, const MapPoint& b) { return order_key(a) < order_key(b); });
    // One pass in address order: each point extends the open block or, when
    // it cannot, opens the next one at its own address, so no value is cut.
    for (const MapPoint& point : sorted) {
        if (!plan.blocks.empty() && joins(plan.blocks.back(), point, bridge)) {
            PollBlock& block = plan.blocks.back();
            uint32_t end = std::max(uint32_t(block.address) + block.length, uint32_t(point.address) + point.width);
            block.length = uint16_t(end - block.address);
        } else {
            plan.blocks.push_back({point.unit, point.table, point.address, point.width});
        }
    }
    return plan;
}
