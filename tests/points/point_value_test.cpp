#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "points/point_value.hpp"

namespace {

using Words = std::vector<uint16_t>;
constexpr double none = std::numeric_limits<double>::quiet_NaN();
constexpr double infinite = std::numeric_limits<double>::infinity();

Point of_kind(PointKind kind, WordOrder order = WordOrder::AB_CD, uint8_t registers = 1)
{
    Point point;
    point.kind = kind;
    point.order = order;
    point.registers = registers;
    return point;
}

Point typed(ValueFormat format, WordOrder order = WordOrder::AB_CD)
{
    Point point = of_kind(PointKind::format, order);
    point.format = format;
    return point;
}

Point scaled(Point point, double scale, double offset, int decimals, std::string unit = "")
{
    point.scale = scale;
    point.offset = offset;
    point.decimals = decimals;
    point.unit = std::move(unit);
    return point;
}

Point bcd(uint8_t registers, WordOrder order = WordOrder::AB_CD)
{
    return of_kind(PointKind::bcd, order, registers);
}

Point text_of(uint8_t registers, bool swapped = false)
{
    Point point = of_kind(PointKind::string, WordOrder::AB_CD, registers);
    point.swapped_bytes = swapped;
    return point;
}

Point named(Point point, std::map<int64_t, std::string> names)
{
    point.value_names = std::move(names);
    return point;
}

const Point tab{};
const Point states = named(tab, {{1, "Stopped"}, {2, "Running"}});
const Point alarms = [] {
    Point point = of_kind(PointKind::bits);
    point.bit_names = {{0, "Overtemp"}, {3, "Low oil"}};
    return point;
}();
const Point coil_names = named(tab, {{0, "Open"}, {1, "Closed"}});
constexpr TabFormat as_uint{};

void expect_number(double actual, double expected)
{
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual)) << actual;
    else if (std::isinf(expected))
        EXPECT_EQ(actual, expected);
    else
        EXPECT_NEAR(actual, expected, 1e-6 * std::max(1.0, std::fabs(expected)));
}

}  // namespace

TEST(PointValue, ReadsEveryTypeOrderAndScale)
{
    using enum ValueFormat;
    using enum WordOrder;
    struct Row {
        Point point;
        TabFormat tab;
        Words words;
        const char* text;
        const char* raw;
        double number;
        bool invalid = false;
        bool unnamed = false;
        bool bits = false;
    };
    const Row table[] = {
        {scaled(tab, 1, 0, -1, "rpm"), as_uint, {0x05C8}, "1480 rpm", "0x05C8", 1480},
        {tab, {INT}, {0xFFFF}, "-1", "0xFFFF", -1},
        {scaled(tab, 10, 5, 2), {HEX}, {0x05C8}, "0x05C8", "0x05C8", 1480},  // HEX shows the register
        {tab, {BINARY}, {0x0005}, "0b0000000000000101", "0x0005", 5},
        {tab, {INT32, CD_AB}, {0xFFFE, 0xFFFF}, "-2", "0xFFFE 0xFFFF", -2},
        {scaled(typed(INT32), 0.5, 1, -1), as_uint, {0xFFFF, 0xFFFC}, "-1", "0xFFFF 0xFFFC", -1},
        {typed(UINT32, BA_DC), as_uint, {0x0100, 0x0000}, "65536", "0x0100 0x0000", 65536},
        {typed(INT64, DC_BA), as_uint, {0xFEFF, 0xFFFF, 0xFFFF, 0xFFFF}, "-2", "0xFEFF 0xFFFF 0xFFFF 0xFFFF", -2},
        {typed(UINT64), as_uint, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, "18446744073709551615",
         "0xFFFF 0xFFFF 0xFFFF 0xFFFF", 18446744073709551615.0},
        {scaled(typed(UINT64, CD_AB), 0.001, 0, 3, "kWh"), as_uint, {0x1234, 0, 0, 0}, "4.660 kWh",
         "0x1234 0x0000 0x0000 0x0000", 4.66},
        {scaled(typed(FLOAT32, BA_DC), 1, 0, 2, "rad"), as_uint, {0x4940, 0xDB0F}, "3.14 rad", "0x4940 0xDB0F",
         3.1415927},
        // Given a FLOAT32's 0.1 doubled, expect its own precision: not 0.2000000029802322.
        {scaled(typed(FLOAT32), 2, 0, -1), as_uint, {0x3DCC, 0xCCCD}, "0.2", "0x3DCC 0xCCCD", 0.2},
        {scaled(typed(FLOAT64), 10, 1, -1, "V"), as_uint, {0x7FF8, 0, 0, 0}, "NaN", "0x7FF8 0x0000 0x0000 0x0000",
         none},
        {scaled(typed(FLOAT32), -2, 0, 1, "V"), as_uint, {0xFF80, 0x0000}, "-Inf", "0xFF80 0x0000", -infinite},
        {typed(FLOAT32, CD_AB), as_uint, {0x0000, 0x7F80}, "Inf", "0x0000 0x7F80", infinite},
        {scaled(tab, 0.1, 0, -1, "°C"), as_uint, {1480}, "148 °C", "0x05C8", 148},
        {scaled(tab, 0.1, 0, 1), as_uint, {1481}, "148.1", "0x05C9", 148.1},
        {scaled(tab, 1, 0, 2), as_uint, {1480}, "1480.00", "0x05C8", 1480},
        // Given half a unit after the offset, expect rounding away from zero.
        {scaled(tab, 1, -0.5, 0), {INT}, {3}, "3", "0x0003", 2.5},
        {scaled(tab, 1, -0.5, 0), {INT}, {0xFFFE}, "-3", "0xFFFE", -2.5},
        {bcd(1), as_uint, {0x1234}, "1234", "0x1234", 1234},
        {scaled(bcd(1), 0.01, 0, 2, "bar"), as_uint, {0x1234}, "12.34 bar", "0x1234", 12.34},
        {bcd(2), as_uint, {0x0012, 0x3456}, "123456", "0x0012 0x3456", 123456},
        {bcd(2, CD_AB), as_uint, {0x3456, 0x0012}, "123456", "0x3456 0x0012", 123456},
        {bcd(2, BA_DC), as_uint, {0x1200, 0x5634}, "123456", "0x1200 0x5634", 123456},
        {bcd(1), as_uint, {0x12A4}, "0x12A4 (invalid BCD)", "0x12A4", none, true},
        {bcd(2, CD_AB), as_uint, {0x5678, 0x12A4}, "0x12A45678 (invalid BCD)", "0x5678 0x12A4", none, true},
        {text_of(4), as_uint, {0x4158, 0x2D31, 0x3034, 0x3200}, "AX-1042", "0x4158 0x2D31 0x3034 0x3200", none},
        {text_of(4, true), as_uint, {0x5841, 0x312D, 0x3430, 0x0032}, "AX-1042", "0x5841 0x312D 0x3430 0x0032", none},
        {text_of(2), as_uint, {0x4100, 0x4242}, "A", "0x4100 0x4242", none},  // nothing after the first NUL
        {text_of(3), as_uint, {0xC3A9, 0xFF5C, 0x0741}, "é\\xFF\\\\\\x07A", "0xC3A9 0xFF5C 0x0741", none},
        {states, as_uint, {2}, "Running", "0x0002", 2},
        {states, as_uint, {7}, "7 (unnamed)", "0x0007", 7, false, true},
        {named(typed(INT32), {{-1, "Fault"}}), as_uint, {0xFFFF, 0xFFFF}, "Fault", "0xFFFF 0xFFFF", -1},
        {named(scaled(tab, 1, 0, -1, "V"), {{0, "Off"}, {1, "On"}}), as_uint, {1}, "On", "1", 1, false, false, true},
        {scaled(tab, 1, 0, -1, "V"), as_uint, {1}, "1 V", "1", 1, false, false, true},
        {scaled(bcd(2), 10, 0, 1), as_uint, {0}, "0", "0", 0, false, false, true},  // a coil is never BCD
        {alarms, as_uint, {0x0009}, "Overtemp, Low oil", "0x0009", 9},
        {alarms, as_uint, {0x8024}, "Bit 2, Bit 5, Bit 15", "0x8024", 0x8024},
        {alarms, as_uint, {0}, "None", "0x0000", 0},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.text);
        PointReading reading = read_point(row.point, row.tab, row.words, row.bits);
        EXPECT_EQ(reading.text, row.text);
        EXPECT_EQ(reading.raw, row.raw);
        expect_number(reading.number, row.number);
        EXPECT_EQ(reading.invalid, row.invalid);
        EXPECT_EQ(reading.unnamed, row.unnamed);
        EXPECT_EQ(point_width(row.point, row.tab, row.bits), row.words.size());
    }
}

TEST(PointValue, EncodesWhatItShowsAndRefusesWhatDoesNotFit)
{
    using enum ValueFormat;
    using enum WordOrder;
    struct Row {
        Point point;
        TabFormat tab;
        const char* typed;
        Words registers;    // empty: refused
        const char* shown;  // read back; for a refusal, what the reason names
        bool bits = false;
    };
    const Point rpm = scaled(tab, 1, 0, -1, "rpm");
    const Row table[] = {
        {rpm, as_uint, "1480 rpm", {0x05C8}, "1480 rpm"},
        {rpm, as_uint, " 1480\t", {0x05C8}, "1480 rpm"},
        {tab, {INT}, "-1", {0xFFFF}, "-1"},
        {tab, {INT}, "0xFFFF", {0xFFFF}, "-1"},  // the register as it is
        {tab, {INT}, "40000", {}, "40000"},
        {tab, as_uint, "1_480", {0x05C8}, "1480"},
        {tab, as_uint, "12 apples", {}, "12 apples"},
        {tab, {HEX}, "05c8", {0x05C8}, "0x05C8"},
        {scaled(tab, 0.1, 0, 1), as_uint, "148.1", {1481}, "148.1"},
        {scaled(tab, 0.1, 0, 1), as_uint, "7000", {}, "70000"},  // the raw value that does not fit
        {scaled(tab, 0.1, -10, 1), {INT}, "138.1", {1481}, "138.1"},
        {typed(INT32, CD_AB), as_uint, "-2", {0xFFFE, 0xFFFF}, "-2"},
        {typed(INT64), as_uint, "-9223372036854775808", {0x8000, 0, 0, 0}, "-9223372036854775808"},
        {typed(UINT64, DC_BA), as_uint, "18446744073709551614", {0xFEFF, 0xFFFF, 0xFFFF, 0xFFFF},
         "18446744073709551614"},
        {typed(FLOAT32, BA_DC), as_uint, "3.1415927", {0x4940, 0xDB0F}, "3.1415927"},
        {scaled(typed(FLOAT32), 2, 0, -1), as_uint, "0.2", {0x3DCC, 0xCCCD}, "0.2"},
        {typed(FLOAT64), as_uint, "NaN", {0x7FF8, 0, 0, 0}, "NaN"},
        {typed(FLOAT32), as_uint, "-Inf", {0xFF80, 0}, "-Inf"},
        {typed(FLOAT32), as_uint, "1e39", {}, "1e39"},
        {bcd(1), as_uint, "1234", {0x1234}, "1234"},
        {scaled(bcd(1), 0.01, 0, 2), as_uint, "12.34", {0x1234}, "12.34"},
        {bcd(2, CD_AB), as_uint, "123456", {0x3456, 0x0012}, "123456"},
        {bcd(1), as_uint, "12345", {}, "12345"},
        {bcd(2), as_uint, "-5", {}, "-5"},
        {text_of(4), as_uint, "AX-1042", {0x4158, 0x2D31, 0x3034, 0x3200}, "AX-1042"},
        {text_of(4, true), as_uint, "AX-1042", {0x5841, 0x312D, 0x3430, 0x0032}, "AX-1042"},
        {text_of(3), as_uint, "é\\xFF\\\\\\x07A", {0xC3A9, 0xFF5C, 0x0741}, "é\\xFF\\\\\\x07A"},
        {text_of(4), as_uint, "AX-1042-B", {}, nullptr},
        {states, as_uint, "Running", {2}, "Running"},
        {states, as_uint, "running", {2}, "Running"},
        {states, as_uint, "7 (unnamed)", {7}, "7 (unnamed)"},
        {coil_names, as_uint, "Closed", {1}, "Closed", true},
        {tab, as_uint, "on", {1}, "1", true},
        {tab, as_uint, "OFF", {0}, "0", true},
        {tab, as_uint, "2", {}, "2", true},
        {alarms, as_uint, "9", {9}, "Overtemp, Low oil"},
        {alarms, as_uint, "0x0024", {0x24}, "Bit 2, Bit 5"},
        {alarms, as_uint, "Overtemp", {}, "Overtemp"},
        {alarms, as_uint, "bit 4", {}, "bit 4"},
        {tab, as_uint, "  ", {}, nullptr},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.typed);
        PointEncoding encoding = encode_point(row.point, row.tab, row.typed, row.bits);
        EXPECT_EQ(encoding.registers, row.registers);
        if (row.registers.empty()) {
            EXPECT_NE(encoding.refusal, "");
            EXPECT_NE(encoding.refusal.find(row.shown ? row.shown : ""), std::string::npos) << encoding.refusal;
        } else {
            EXPECT_EQ(encoding.refusal, "");
            EXPECT_EQ(read_point(row.point, row.tab, encoding.registers, row.bits).text, row.shown);
        }
    }
    // A bit goes alone through a Mask Write: 0x00F0 with bit 0 set, then bit 4 cleared.
    uint16_t current = 0x00F0;
    const std::pair<uint8_t, bool> steps[] = {{0, true}, {4, false}};
    for (auto [bit, on] : steps) {
        BitMask mask = bit_mask(bit, on);
        current = (current & mask.and_mask) | (mask.or_mask & ~mask.and_mask);
    }
    EXPECT_EQ(current, 0x00E1);
}

TEST(PointValue, RefusesPointsThatCannotStandThere)
{
    auto block = [](uint8_t fcode) {
        PollDefinition poll;
        poll.fcode = fcode;
        poll.address = 100;
        poll.length = 20;
        return poll;
    };
    const PollDefinition holding = block(3), coils = block(1), inputs = block(2);
    struct Row {
        Point point;
        const PollDefinition& poll;
        uint16_t address;
        const char* named;  // nullptr: the point can stand there
    };
    const Row table[] = {
        {typed(ValueFormat::FLOAT64), holding, 116, nullptr},
        {typed(ValueFormat::FLOAT64), holding, 117, "FLOAT64"},
        {text_of(8), holding, 112, nullptr},
        {text_of(8), holding, 113, "string"},
        {text_of(65), holding, 100, "string"},
        {bcd(3), holding, 100, "BCD"},
        {scaled(tab, 0, 0, -1), holding, 100, "scale"},
        {scaled(tab, none, 0, -1), holding, 100, "scale"},
        {scaled(tab, 1, 0, 16), holding, 100, "16"},
        {tab, holding, 99, "99"},
        {tab, holding, 120, "120"},
        {named(scaled(tab, 1, 0, -1, "V"), {{1, "On"}}), coils, 119, nullptr},
        {bcd(1), coils, 100, "BCD"},
        {scaled(tab, 2, 0, -1), inputs, 100, "scale"},
        {text_of(1), inputs, 100, "string"},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.address);
        std::string refusal = point_refusal(row.point, row.poll, row.address);
        if (row.named)
            EXPECT_NE(refusal.find(row.named), std::string::npos) << refusal;
        else
            EXPECT_EQ(refusal, "");
    }
}
