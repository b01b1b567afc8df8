#pragma once
// Grouping the points of a register map into the blocks that poll them: as
// few reads as the limits allow, each point's whole value in one block.

#include <cstdint>
#include <string>
#include <vector>

#include "values/address_notation.hpp"

// A point of the map: width is the items its value spans (registers, or 1
// for a bit).
struct MapPoint {
    uint8_t unit = 0;
    ModbusTable table = ModbusTable::holding_registers;
    uint16_t address = 0;
    uint16_t width = 1;
};

struct PollBlock {
    uint8_t unit = 0;
    ModbusTable table = ModbusTable::holding_registers;
    uint16_t address = 0;
    uint16_t length = 0;

    bool operator==(const PollBlock&) const = default;
};

struct RefusedPoint {
    MapPoint point;
    std::string reason;
};

struct PollPlan {
    std::vector<PollBlock> blocks;  // by unit, table, then address
    std::vector<RefusedPoint> refused;
};

// Unused addresses between two points that one block reads rather than
// splitting: a few items cost less than a request's round trip, yet each one
// is an address the device may not have, which fails the whole read.
inline constexpr uint16_t default_bridge = 4;

// The most items one block of table reads: what one request may ask (125
// registers, 2000 bits) but no more than a poll definition holds.
uint16_t block_limit(ModbusTable table);

// The blocks that read every point, points in any order and repeated at
// will. Points of one unit and table merge while they touch, overlap or
// leave at most bridge addresses between them and the block stays within
// block_limit. A point no block can hold is refused with the reason.
PollPlan plan_poll_blocks(const std::vector<MapPoint>& points, uint16_t bridge = default_bridge);
