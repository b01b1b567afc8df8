#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "values/address_notation.hpp"

namespace {

constexpr AddressNotation notations[] = {AddressNotation::protocol, AddressNotation::register_number,
                                         AddressNotation::modicon, AddressNotation::hexadecimal};
constexpr ModbusTable tables[] = {ModbusTable::coils, ModbusTable::discrete_inputs, ModbusTable::input_registers,
                                  ModbusTable::holding_registers};
constexpr auto P = AddressNotation::protocol;
constexpr auto R = AddressNotation::register_number;
constexpr auto M = AddressNotation::modicon;
constexpr auto H = AddressNotation::hexadecimal;
constexpr auto CO = ModbusTable::coils;
constexpr auto DI = ModbusTable::discrete_inputs;
constexpr auto IR = ModbusTable::input_registers;
constexpr auto HR = ModbusTable::holding_registers;

}  // namespace

TEST(AddressNotation, WritesEveryNotationAndReadsItBack)
{
    struct Case {
        AddressNotation notation;
        ModbusTable table;
        uint16_t address;
        const char* text;
    };
    const Case cases[] = {
        {P, HR, 0, "0"},          {P, HR, 65535, "65535"},   {R, IR, 0, "1"},          {R, IR, 65535, "65536"},
        {M, HR, 0, "40001"},      {M, HR, 9998, "49999"},    {M, HR, 9999, "410000"},  {M, HR, 65535, "465536"},
        {M, CO, 0, "00001"},      {M, CO, 9999, "010000"},   {M, DI, 9998, "19999"},   {M, IR, 65535, "365536"},
        {H, CO, 0, "0x0000"},     {H, CO, 9999, "0x270F"},   {H, CO, 65535, "0xFFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(format_address(c.notation, c.table, c.address), c.text);
        EXPECT_EQ(parse_address(c.notation, c.table, c.text).address, c.address);
    }
    // Every notation, table and edge address reads back, and so does its
    // hexadecimal text with blanks around it; the choice keeps by its key.
    for (AddressNotation notation : notations) {
        EXPECT_EQ(notation_from_key(notation_key(notation)), notation);
        for (ModbusTable table : tables)
            for (uint16_t address : {0, 1, 9998, 9999, 10000, 65534, 65535}) {
                std::string text = format_address(notation, table, address);
                std::string hex = " " + format_address(H, table, address) + "\t";
                SCOPED_TRACE(text + " and" + hex);
                EXPECT_EQ(parse_address(notation, table, text).address, address);
                EXPECT_EQ(parse_address(notation, table, hex).address, address);
            }
    }
    EXPECT_EQ(notation_from_key("Modicon"), std::nullopt);
}

TEST(AddressNotation, ReadsTypedAddressesAndRefusesTheRestWithAReason)
{
    struct Case {
        AddressNotation notation;
        ModbusTable table;
        const char* text;
        std::optional<uint16_t> expected;
    };
    const std::optional<uint16_t> none;
    const Case cases[] = {
        {M, HR, " 40001 ", 0}, {M, HR, "400001", 0}, {M, IR, "0x1f", 31},  {H, HR, "ff", 255},  {P, HR, "1_000", 1000},
        {M, IR, "40001", none}, {M, CO, "10001", none}, {M, HR, "20001", none}, {M, HR, "40000", none},
        {M, HR, "465537", none}, {M, HR, "4001", none}, {M, HR, "4000001", none}, {R, HR, "0", none},
        {R, HR, "65537", none}, {P, HR, "65536", none}, {P, HR, "0x10000", none}, {H, HR, "0x", none},
        {P, HR, "0xg", none},  {P, HR, "", none},      {R, HR, "  ", none},   {P, HR, "-1", none},
        {P, HR, "12a", none},  {P, HR, "1 2", none},   {P, HR, "1_", none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        ParsedAddress parsed = parse_address(c.notation, c.table, c.text);
        EXPECT_EQ(parsed.address, c.expected);
        EXPECT_EQ(parsed.refusal.empty(), c.expected.has_value()) << parsed.refusal;
    }
    // Given a holding register's number where an input register is asked,
    // expect a reason that names both tables.
    std::string refusal = parse_address(M, IR, "40001").refusal;
    EXPECT_NE(refusal.find("holding register"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("input register"), std::string::npos) << refusal;
}

TEST(AddressNotation, ReadsTheTableFromTaggedAddresses)
{
    using Tagged = std::optional<std::pair<ModbusTable, uint16_t>>;
    struct Case {
        const char* text;
        Tagged expected;
    };
    const Tagged none;
    const Case cases[] = {
        {"40001", std::pair{HR, 0}},  {"300010", std::pair{IR, 9}}, {"00017", std::pair{CO, 16}},
        {"4x0001", std::pair{HR, 0}}, {" 4X00001", std::pair{HR, 0}}, {"1x65536", std::pair{DI, 65535}},
        {"HR100", std::pair{HR, 100}}, {"ir0", std::pair{IR, 0}},    {"Di3", std::pair{DI, 3}},
        {"CO7", std::pair{CO, 7}},     {"4x0", none},                {"HR65536", none},
        {"100", none},                 {"0x10", none},               {"20001", none},
        {"XY5", none},                 {"HR", none},                 {"", none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parse_tagged_address(c.text), c.expected);
    }
}
