#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "values/number_syntax.hpp"

// Hexadecimal, binary and signed texts are covered through the write value
// tests, the field widths through the configuration reader tests.
TEST(NumberSyntax, ParsesUnsignedDecimalTexts)
{
    struct Case {
        const char* text;
        uint32_t max_value;
        std::optional<uint32_t> expected;
    };
    const std::optional<uint32_t> none;
    const Case cases[] = {
        {"0", 255, 0},     {"255", 255, 255}, {"256", 255, none}, {"1__2", 255, 12}, {"-", 255, none},
        {"", 255, none},   {"_1", 255, none}, {"1_", 255, none},  {"-_0", 255, none}, {"++1", 255, none},
        {" 1", 255, none}, {"99999999999999999999999999", UINT32_MAX, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\" max " + std::to_string(c.max_value));
        EXPECT_EQ(parse_unsigned(c.text, c.max_value), c.expected);
    }
}
