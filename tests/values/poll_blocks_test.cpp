#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "values/poll_blocks.hpp"

namespace {

constexpr auto HR = ModbusTable::holding_registers;
constexpr auto CO = ModbusTable::coils;

// count points of width side by side from first.
std::vector<MapPoint> run(ModbusTable table, uint16_t first, unsigned count, uint16_t width = 1)
{
    std::vector<MapPoint> points;
    for (unsigned i = 0; i < count; ++i)
        points.push_back({1, table, uint16_t(first + i * width), width});
    return points;
}

std::vector<MapPoint> operator+(std::vector<MapPoint> a, const std::vector<MapPoint>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

bool holds(const PollBlock& block, const MapPoint& point)
{
    return block.unit == point.unit && block.table == point.table && point.address >= block.address &&
           point.address + point.width <= block.address + block.length;
}

}  // namespace

TEST(PollBlocks, CoversScatteredPointsOfTwoUnitsInBlocksWithinTheLimits)
{
    std::vector<MapPoint> points;
    for (uint8_t unit : {7, 2})
        for (ModbusTable table : {HR, ModbusTable::input_registers, ModbusTable::discrete_inputs, CO})
            for (unsigned i = 0; i < 400; ++i) {
                bool bits = table == CO || table == ModbusTable::discrete_inputs;
                // Distinct, shuffled addresses three apart: values of two never overlap.
                points.push_back({unit, table, uint16_t((i * 37) % 400 * 3), uint16_t(bits ? 1 : 1 + i % 2)});
            }
    points.push_back(points[5]);
    PollPlan plan = plan_poll_blocks(points);
    EXPECT_TRUE(plan.refused.empty());
    for (size_t b = 0; b < plan.blocks.size(); ++b) {
        const PollBlock& block = plan.blocks[b];
        EXPECT_GT(block.length, 0);
        EXPECT_LE(block.length, block_limit(block.table));
        if (b > 0) {
            const PollBlock& before = plan.blocks[b - 1];
            EXPECT_LT(std::tuple(before.unit, before.table, before.address),
                      std::tuple(block.unit, block.table, block.address));
        }
    }
    for (const MapPoint& point : points) {
        size_t holders = 0;
        for (const PollBlock& block : plan.blocks)
            holders += holds(block, point);
        EXPECT_EQ(holders, 1u) << int(point.unit) << " " << point.address;
    }
    // Points two or one apart merge: far fewer reads than points.
    EXPECT_LT(plan.blocks.size(), points.size() / 20);
}

TEST(PollBlocks, BridgesSmallGapsAndKeepsEachValueWhole)
{
    struct Case {
        const char* what;
        std::vector<MapPoint> points;
        uint16_t bridge;
        std::vector<PollBlock> expected;
        size_t refused;
    };
    const Case cases[] = {
        {"gap at the bridge", run(HR, 0, 1) + run(HR, 5, 1), 4, {{1, HR, 0, 6}}, 0},
        {"gap past the bridge", run(HR, 0, 1) + run(HR, 6, 1), 4, {{1, HR, 0, 1}, {1, HR, 6, 1}}, 0},
        {"no bridge", run(HR, 0, 1) + run(HR, 2, 1), 0, {{1, HR, 0, 1}, {1, HR, 2, 1}}, 0},
        {"a bridge never passes the limit", run(HR, 0, 122) + run(HR, 126, 1), 4,
         {{1, HR, 0, 122}, {1, HR, 126, 1}}, 0},
        // Given room for one register at the block's end, expect a 2-register value in the next block.
        {"value at the edge", run(HR, 0, 124) + run(HR, 124, 1, 2), 4, {{1, HR, 0, 124}, {1, HR, 124, 2}}, 0},
        {"duplicates", run(HR, 10, 1) + run(HR, 10, 1) + run(HR, 10, 1, 2) + run(HR, 11, 1), 4,
         {{1, HR, 10, 2}}, 0},
        {"bits", run(CO, 0, 300), 4,
         {{1, CO, 0, block_limit(CO)}, {1, CO, block_limit(CO), uint16_t(300 - block_limit(CO))}}, 0},
        {"too wide or past the end", run(HR, 0, 1, 125) + run(HR, 0, 1, 126) + run(HR, 65535, 1, 2), 4,
         {{1, HR, 0, 125}}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PollPlan plan = plan_poll_blocks(c.points, c.bridge);
        EXPECT_EQ(plan.blocks, c.expected);
        EXPECT_EQ(plan.refused.size(), c.refused);
        for (const RefusedPoint& refused : plan.refused)
            EXPECT_FALSE(refused.reason.empty());
    }
}
