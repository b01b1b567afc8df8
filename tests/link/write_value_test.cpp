#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "link/write_value.hpp"

namespace {

struct Case {
    const char* text;
    std::optional<uint16_t> expected;  // nothing: the text must be refused
};

void expect_cases(ValueFormat format, std::initializer_list<Case> cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(parse_write_value(c.text, format), c.expected) << "'" << c.text << "'";
}

}  // namespace

// Refused texts expect nothing (std::nullopt, written {}).
TEST(ParseWriteValue, Hex)
{
    expect_cases(ValueFormat::HEX, {
        {" 0x00ff ", 255}, {"\t0x00FF\t", 255}, {"0X1_0", 16}, {"ff", 255}, {"0", 0}, {"0xFFFF", 0xFFFF},
        {"0x", {}},          // the prefix alone
        {"0x1_", {}},        // trailing underscore
        {"0x_1", {}},        // underscore first after the prefix
        {"0x10000", {}},     // out of range
        {"0xg", {}},
        {"0b1", 0xB1},       // no binary prefix in HEX: b is a digit
        {"-0x0", {}},        // the sign does not come before the prefix
        {"0x-0", 0},         // a minus before zeros only
        {"0x-1", {}},
        {"0x 1", {}},        // blanks only around the text
    });
}

TEST(ParseWriteValue, Binary)
{
    expect_cases(ValueFormat::BINARY, {
        {"0b1010", 10}, {"0B1010", 10}, {"1010", 10}, {"0b1111_1111_1111_1111", 0xFFFF},
        {"0b11111111111111111", {}},     // seventeen ones: out of range
        {"0b0000000000000000000001", 1}, // leading zeros do not count
        {"0b", {}}, {"0b102", {}}, {"0x1", {}}, {"-0b0", {}}, {"0b-0", 0},
    });
}

TEST(ParseWriteValue, SignedDecimal)
{
    expect_cases(ValueFormat::INT, {
        {"-1", 0xFFFF}, {"+5", 5}, {"5", 5}, {"-32768", 0x8000}, {"32767", 0x7FFF}, {"-0", 0},
        {"-1_000", static_cast<uint16_t>(-1000)}, {"-32769", {}}, {"32768", {}}, {"0x10", {}}, {"--1", {}}, {"+-1", {}},
    });
}

TEST(ParseWriteValue, UnsignedDecimal)
{
    expect_cases(ValueFormat::UINT, {
        {"65535", 65535}, {"-0", 0}, {"-000", 0}, {"+0", 0}, {"  42\t", 42}, {"1_2_3", 123},
        {"65536", {}}, {"-1", {}}, {"12a", {}}, {"", {}}, {"  ", {}}, {"+", {}}, {"-", {}}, {"4 2", {}},
    });
}

TEST(ParseWriteValue, UnderscoreOnlyBetweenDigits)
{
    for (ValueFormat format : {ValueFormat::UINT, ValueFormat::INT, ValueFormat::HEX, ValueFormat::BINARY}) {
        SCOPED_TRACE(static_cast<int>(format));
        EXPECT_EQ(parse_write_value("1_0", format), std::optional<uint16_t>(format == ValueFormat::HEX      ? 16
                                                                            : format == ValueFormat::BINARY ? 2
                                                                                                            : 10));
        EXPECT_FALSE(parse_write_value("_10", format));   // first
        EXPECT_FALSE(parse_write_value("10_", format));   // last
        EXPECT_FALSE(parse_write_value("+_10", format));  // right after the sign
        EXPECT_FALSE(parse_write_value("-_0", format));
        EXPECT_FALSE(parse_write_value("_", format));
    }
}
