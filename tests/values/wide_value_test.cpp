#include <gtest/gtest.h>

#include <array>
#include <string>

#include "table/grid_layout.hpp"
#include "values/wide_value.hpp"

namespace {

using Registers = std::array<uint16_t, 4>;

std::string rendered(const Registers& registers, ValueFormat format, WordOrder order = WordOrder::AB_CD)
{
    char out[100];
    EXPECT_TRUE(render_registers(registers.data(), format, order, out, sizeof out));
    return out;
}

constexpr WordOrder all_orders[] = {WordOrder::AB_CD, WordOrder::CD_AB, WordOrder::BA_DC, WordOrder::DC_BA};

}  // namespace

TEST(WideValue, Float32PiInEveryOrder)
{
    const Registers in_order[] = {{0x4049, 0x0FDB}, {0x0FDB, 0x4049}, {0x4940, 0xDB0F}, {0xDB0F, 0x4940}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rendered(in_order[i], ValueFormat::FLOAT32, all_orders[i]), "3.1415927");
        Registers split{};
        split_value(0x40490FDB, 2, all_orders[i], split.data());
        EXPECT_EQ(split, in_order[i]);
    }
}

TEST(WideValue, SixtyFourBitOrdersReverseWordsAndSwapBytes)
{
    const Registers in_order[] = {{0x0102, 0x0304, 0x0506, 0x0708},
                                  {0x0708, 0x0506, 0x0304, 0x0102},
                                  {0x0201, 0x0403, 0x0605, 0x0807},
                                  {0x0807, 0x0605, 0x0403, 0x0201}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(join_registers(in_order[i].data(), 4, all_orders[i]), 0x0102030405060708u);
        Registers split{};
        split_value(0x0102030405060708u, 4, all_orders[i], split.data());
        EXPECT_EQ(split, in_order[i]);
    }
}

TEST(WideValue, RendersEachFormat)
{
    struct Row {
        ValueFormat format;
        Registers registers;
        const char* text;
    };
    const Row table[] = {
        {ValueFormat::INT32, {0xFFFF, 0xFFFF}, "-1"},
        {ValueFormat::INT32, {0x8000, 0x0000}, "-2147483648"},
        {ValueFormat::INT32, {0x7FFF, 0xFFFF}, "2147483647"},
        {ValueFormat::UINT32, {0xFFFF, 0xFFFF}, "4294967295"},
        {ValueFormat::UINT32, {0x0001, 0x0000}, "65536"},
        {ValueFormat::INT64, {0x8000, 0, 0, 0}, "-9223372036854775808"},
        {ValueFormat::INT64, {0x7FFF, 0xFFFF, 0xFFFF, 0xFFFF}, "9223372036854775807"},
        {ValueFormat::INT64, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE}, "-2"},
        {ValueFormat::UINT64, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, "18446744073709551615"},
        {ValueFormat::UINT64, {0, 0, 0, 0}, "0"},
        {ValueFormat::FLOAT64, {0x7E37, 0xE43C, 0x8800, 0x759C}, "1e+300"},
        {ValueFormat::FLOAT64, {0, 0, 0, 1}, "5e-324"},
        {ValueFormat::FLOAT64, {0x7FF8, 0, 0, 0}, "NaN"},
        {ValueFormat::FLOAT64, {0xFFF0, 0, 0, 0}, "-Inf"},
        {ValueFormat::FLOAT64, {0x8000, 0, 0, 0}, "-0"},
        {ValueFormat::FLOAT32, {0x7FC0, 0x0000}, "NaN"},
        {ValueFormat::FLOAT32, {0xFFC0, 0x0001}, "NaN"},  // sign and payload do not show
        {ValueFormat::FLOAT32, {0x7F80, 0x0000}, "Inf"},
        {ValueFormat::FLOAT32, {0xFF80, 0x0000}, "-Inf"},
        {ValueFormat::FLOAT32, {0x8000, 0x0000}, "-0"},
        {ValueFormat::FLOAT32, {0x3F80, 0x0000}, "1"},
        {ValueFormat::FLOAT32, {0x3DCC, 0xCCCD}, "0.1"},  // shortest text, not 0.100000001
        {ValueFormat::HEX, {0x00FF, 0x1234}, "0x00FF"},   // 16-bit formats read the first register
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(rendered(row.registers, row.format), row.text);
    }
}

TEST(WideValue, ShortBufferFallsBackWithoutPartialText)
{
    Registers registers{0x8000, 0, 0, 0};
    char out[20];  // one short of "-9223372036854775808" and its terminator
    EXPECT_FALSE(render_registers(registers.data(), ValueFormat::INT64, WordOrder::AB_CD, out, sizeof out));
    EXPECT_EQ(out[0], '\0');
    EXPECT_STREQ(render_registers_or_fallback(registers.data(), ValueFormat::INT64, WordOrder::AB_CD, out, 20), "0");
}

TEST(WideValue, NumbersOfferedWithoutAPolledValue)
{
    EXPECT_EQ(bits_of_number(10, ValueFormat::FLOAT32), 0x41200000u);
    EXPECT_EQ(bits_of_number(10, ValueFormat::FLOAT64), 0x4024000000000000u);
    EXPECT_EQ(bits_of_number(10, ValueFormat::INT64), 10u);
}

TEST(GridGroups, GroupsCountFromTheFirstPolledItem)
{
    // Length 5 in twos: items 0-1 and 2-3 are whole, item 4 is cut off.
    const unsigned heads[] = {0, 0, 2, 2, 4};
    for (unsigned item = 0; item < 5; ++item) {
        EXPECT_EQ(group_head(item, 2), heads[item]) << item;
        EXPECT_EQ(group_complete(item, 2, 5), item < 4) << item;
    }
    EXPECT_EQ(group_head(7, 4), 4u);
    EXPECT_TRUE(group_complete(7, 4, 8));
    EXPECT_FALSE(group_complete(7, 4, 7));
    EXPECT_EQ(group_head(9, 1), 9u);
}
