#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "values/value_format.hpp"

namespace {

std::string rendered(uint16_t v, ValueFormat format)
{
    char out[100];
    EXPECT_TRUE(render_value(v, format, out, sizeof out));
    return out;
}

}  // namespace

TEST(RenderValue, MatchesTheTableInAllFourFormats)
{
    struct Row {
        uint16_t value;
        const char *uint_text, *int_text, *hex_text, *binary_text;
    };
    const Row table[] = {
        {0, "0", "0", "0x0000", "0b0000000000000000"},
        {10, "10", "10", "0x000A", "0b0000000000001010"},
        {255, "255", "255", "0x00FF", "0b0000000011111111"},
        {32767, "32767", "32767", "0x7FFF", "0b0111111111111111"},
        {32768, "32768", "-32768", "0x8000", "0b1000000000000000"},
        {32769, "32769", "-32767", "0x8001", "0b1000000000000001"},
        {0xABCD, "43981", "-21555", "0xABCD", "0b1010101111001101"},
        {65535, "65535", "-1", "0xFFFF", "0b1111111111111111"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(rendered(row.value, ValueFormat::UINT), row.uint_text);
        EXPECT_EQ(rendered(row.value, ValueFormat::INT), row.int_text);
        EXPECT_EQ(rendered(row.value, ValueFormat::HEX), row.hex_text);
        EXPECT_EQ(rendered(row.value, ValueFormat::BINARY), row.binary_text);
    }
}

TEST(RenderValue, EveryWordHasItsNumberAndFixedHexAndBinaryWidths)
{
    for (unsigned v = 0; v <= 0xFFFF; ++v) {
        ASSERT_EQ(std::stoul(rendered(uint16_t(v), ValueFormat::UINT)), v);
        ASSERT_EQ(std::stol(rendered(uint16_t(v), ValueFormat::INT)), v >= 32768 ? long(v) - 65536 : long(v));
        ASSERT_EQ(rendered(uint16_t(v), ValueFormat::HEX).size(), 6u) << v;
        ASSERT_EQ(rendered(uint16_t(v), ValueFormat::BINARY).size(), 18u) << v;
    }
}

TEST(RenderValue, ShortBufferFailsWithoutPartialTextAndFallsBack)
{
    // given room for five characters, expect the six of HEX to be refused
    char out[6];
    std::memset(out, 'z', sizeof out);
    EXPECT_FALSE(render_value(0x00FF, ValueFormat::HEX, out, sizeof out));
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1], 'z');
    EXPECT_FALSE(render_value(5, ValueFormat::UINT, out, 0));
    EXPECT_FALSE(render_value(5, ValueFormat::UINT, nullptr, 10));

    char exact[19];
    EXPECT_TRUE(render_value(0xFFFF, ValueFormat::BINARY, exact, sizeof exact));
    EXPECT_STREQ(exact, "0b1111111111111111");
    EXPECT_TRUE(render_value(32768, ValueFormat::INT, exact, 7));
    EXPECT_STREQ(exact, "-32768");
    EXPECT_FALSE(render_value(32768, ValueFormat::INT, exact, 6));

    // The fallback texts when four characters are too few.
    EXPECT_STREQ(render_or_fallback(0x1234, ValueFormat::HEX, out, 4), "0x0000");
    EXPECT_STREQ(render_or_fallback(0x1234, ValueFormat::BINARY, out, 4), "0b0000000000000000");
    EXPECT_STREQ(render_or_fallback(54321, ValueFormat::UINT, out, 4), "0");
    EXPECT_STREQ(render_or_fallback(32768, ValueFormat::INT, out, 4), "0");
    EXPECT_STREQ(render_or_fallback(7, ValueFormat::INT, out, 4), "7");
}

TEST(RenderValue, DropDownIndexOutsideTheTenCountsAsUint)
{
    EXPECT_EQ(value_format_from_index(9), ValueFormat::FLOAT64);
    EXPECT_EQ(value_format_from_index(10), ValueFormat::UINT);
    EXPECT_EQ(value_format_from_index(0xFFFFFFFFu), ValueFormat::UINT);  // GTK_INVALID_LIST_POSITION
}
