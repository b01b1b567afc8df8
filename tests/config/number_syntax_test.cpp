#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "config/number_syntax.hpp"

namespace {

struct UnsignedCase {
    const char* text;
    uint32_t max_value;
    unsigned base;
    std::optional<uint32_t> expected;
};

const UnsignedCase unsigned_cases[] = {
    {"0", 255, 10, 0},
    {"255", 255, 10, 255},
    {"256", 255, 10, std::nullopt},
    {"+1_0", 255, 10, 10},
    {"1__2", 255, 10, 12},
    {"007", 255, 10, 7},
    {"-0", 255, 10, 0},
    {"-0_0", 255, 10, 0},
    {"-1", 255, 10, std::nullopt},
    {"-", 255, 10, std::nullopt},
    {"+", 255, 10, std::nullopt},
    {"", 255, 10, std::nullopt},
    {"_1", 255, 10, std::nullopt},
    {"1_", 255, 10, std::nullopt},
    {"+_1", 255, 10, std::nullopt},
    {"-_0", 255, 10, std::nullopt},
    {"++1", 255, 10, std::nullopt},
    {"1 2", 255, 10, std::nullopt},
    {" 1", 255, 10, std::nullopt},
    {"0x10", 65535, 10, std::nullopt},
    {"1a", 65535, 10, std::nullopt},
    {"4294967295", UINT32_MAX, 10, UINT32_MAX},
    {"4294967296", UINT32_MAX, 10, std::nullopt},
    {"99999999999999999999999999", UINT32_MAX, 10, std::nullopt},
    {"00000000000000000000000000001", 255, 10, 1},
    {"5", 0, 10, std::nullopt},
    {"0", 0, 10, 0},
    {"ff_FF", 65535, 16, 0xFFFF},
    {"1_0000", 65535, 16, std::nullopt},
    {"g", 65535, 16, std::nullopt},
    {"1010", 65535, 2, 10},
    {"102", 65535, 2, std::nullopt},
};

}  // namespace

TEST(NumberSyntax, ParsesUnsignedTextsOfEachBase)
{
    for (const UnsignedCase& c : unsigned_cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\" max " + std::to_string(c.max_value));
        EXPECT_EQ(parse_unsigned(c.text, c.max_value, c.base), c.expected);
    }
}

TEST(NumberSyntax, GivesSignAndMagnitudeForSignedUse)
{
    // given a signed reading (the write dialog's INT), expect "-" with any magnitude
    std::optional<NumberText> minus = parse_number_text("-32_768", 10, 32768);
    ASSERT_TRUE(minus);
    EXPECT_TRUE(minus->negative);
    EXPECT_EQ(minus->magnitude, 32768u);
    EXPECT_FALSE(parse_number_text("-32769", 10, 32768));
    std::optional<NumberText> plus = parse_number_text("+7", 10, 10);
    ASSERT_TRUE(plus);
    EXPECT_FALSE(plus->negative);
    EXPECT_EQ(plus->magnitude, 7u);
}
