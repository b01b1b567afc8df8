#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "write/write_value.hpp"

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

namespace {

struct WideCase {
    const char* text;
    std::optional<uint64_t> bits;  // nothing: refused
};

void expect_wide(ValueFormat format, std::initializer_list<WideCase> cases)
{
    for (const WideCase& c : cases)
        EXPECT_EQ(parse_wide_value(c.text, format), c.bits) << "'" << c.text << "'";
}

}  // namespace

TEST(ParseWideValue, Integers)
{
    expect_wide(ValueFormat::INT32, {
        {"-1", 0xFFFFFFFF}, {"+5", 5}, {"1_000", 1000}, {" -2147483648\t", 0x80000000}, {"2147483647", 0x7FFFFFFF},
        {"2147483648", {}}, {"-2147483649", {}}, {"1.5", {}}, {"1e3", {}}, {"_1", {}}, {"", {}},
    });
    expect_wide(ValueFormat::UINT32, {
        {"4294967295", 0xFFFFFFFF}, {"-0", 0}, {"4294967296", {}}, {"-1", {}},
    });
    expect_wide(ValueFormat::INT64, {
        {"-2", 0xFFFFFFFFFFFFFFFE}, {"-9223372036854775808", 0x8000000000000000},
        {"9223372036854775807", 0x7FFFFFFFFFFFFFFF}, {"9223372036854775808", {}}, {"-9223372036854775809", {}},
    });
    expect_wide(ValueFormat::UINT64, {
        {"18446744073709551615", 0xFFFFFFFFFFFFFFFF}, {"18446744073709551616", {}}, {"99999999999999999999", {}},
        {"-1", {}},
    });
}

TEST(ParseWideValue, Floats)
{
    expect_wide(ValueFormat::FLOAT32, {
        {"3.1415927", 0x40490FDB}, {"1.5", 0x3FC00000}, {"+1.5", 0x3FC00000}, {"-2e-3", 0xBB03126F},
        {"inf", 0x7F800000}, {"-inf", 0xFF800000}, {"nan", 0x7FC00000}, {"-0", 0x80000000}, {" 10 ", 0x41200000},
        {"3.4028235e38", 0x7F7FFFFF},
        {"1e39", {}},      // beyond the largest float
        {"-1e39", {}},
        {"1e-50", {}},     // would round to zero
        {"1,5", {}}, {"1.5e", {}}, {"0x10", {}}, {"+-1", {}}, {"++1", {}}, {"+", {}}, {"", {}}, {"1_0", {}},
    });
    expect_wide(ValueFormat::FLOAT64, {
        {"1e300", 0x7E37E43C8800759C}, {"1e+300", 0x7E37E43C8800759C}, {"5e-324", 1}, {"1e39", 0x48078287F49C4A1D},
        {"1e309", {}}, {"1e-400", {}},
    });
}

// A coil is switched ON or OFF; any number but 0 and 1 is refused, since the
// write would keep only its bit 0.
TEST(ParseCoilValue, TakesOnOffZeroAndOneOnly)
{
    const std::pair<const char*, std::optional<bool>> cases[] = {
        {"ON", true}, {"on", true}, {" oFf\t", false}, {"1", true}, {"0", false}, {"+1", true}, {"-0", false},
        {"2", {}}, {"3", {}}, {"-1", {}}, {"65535", {}}, {"onn", {}}, {"o n", {}}, {"", {}}, {"true", {}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(parse_coil_value(text, ValueFormat::UINT), expected) << "'" << text << "'";
    EXPECT_EQ(parse_coil_value("0x0001", ValueFormat::HEX), true);
    EXPECT_EQ(parse_coil_value("0b10", ValueFormat::BINARY), std::nullopt);
    EXPECT_EQ(parse_coil_value("-1", ValueFormat::INT), std::nullopt);
    EXPECT_EQ(parse_coil_value("1", ValueFormat::FLOAT32), true);  // a wide format reads it as UINT
}
