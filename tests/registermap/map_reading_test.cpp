#include <gtest/gtest.h>

#include <string>

#include "registermap/register_map.hpp"

namespace {

MapSheet sheet_of(std::string_view bytes)
{
    MapSheetReading reading = read_map_sheet(bytes);
    EXPECT_TRUE(reading.sheet) << reading.refusal;
    return reading.sheet.value_or(MapSheet{});
}

MapReading entries_of(std::string_view bytes, AddressNotation notation = AddressNotation::protocol)
{
    MapSheet sheet = sheet_of(bytes);
    return read_map_entries(sheet, recognise_map_fields(sheet.header), notation);
}

}  // namespace

// Given a semicolon file with a byte order mark in the columns of a tag
// export (a quoted name holding commas, a decimal comma, ranges for the
// scaling), expect every column recognised and each row's point, with the
// scale and offset the ranges give.
TEST(MapReading, TagExportWithRangesGivesScaleAndOffset)
{
    MapSheet sheet = sheet_of("\xEF\xBB\xBFTag Name;Slave ID;Register Type;Modbus Address;Data Type;Byte Order;"
                              "Raw Min;Raw Max;EU Min;EU Max;Eng Units;Comment\r\n"
                              "\"Pump 1, inlet; pressure\";3;Input Registers;7;INT;;0;27648;-1;9;bar;\r\n"
                              "Speed;3;HR;100;REAL;Word Swap;;;;;rpm;\r\n"
                              ";3;coils;5;BOOL;;;;;;;Run command\r\n"
                              "Serial;3;4x;;STRING[11];BADC;;;;;;\r\n");
    EXPECT_EQ(sheet.separator, ';');
    EXPECT_EQ(recognise_map_fields(sheet.header),
              (std::vector<MapField>{MapField::name, MapField::unit_id, MapField::table, MapField::address,
                                     MapField::data_type, MapField::word_order, MapField::raw_low,
                                     MapField::raw_high, MapField::scaled_low, MapField::scaled_high,
                                     MapField::engineering_unit, MapField::description}));
    MapReading reading = read_map_entries(sheet, recognise_map_fields(sheet.header), AddressNotation::protocol);
    ASSERT_EQ(reading.entries.size(), 3u);
    ASSERT_EQ(reading.errors.size(), 1u) << "the string has no address";
    EXPECT_EQ(map_error_text(reading.errors[0]), "Line 5, column Modbus Address: the address is missing");

    const MapEntry& pressure = reading.entries[0];
    EXPECT_EQ(pressure.name, "Pump 1, inlet; pressure");
    EXPECT_EQ(pressure.unit, 3);
    EXPECT_EQ(pressure.table, ModbusTable::input_registers);
    EXPECT_EQ(pressure.address, 7);
    EXPECT_EQ(pressure.point.format, ValueFormat::INT);
    EXPECT_DOUBLE_EQ(pressure.point.scale, 10.0 / 27648);
    EXPECT_DOUBLE_EQ(pressure.point.offset, -1);
    EXPECT_EQ(pressure.point.unit, "bar");

    const MapEntry& speed = reading.entries[1];
    EXPECT_EQ(speed.point.kind, PointKind::format);
    EXPECT_EQ(speed.point.format, ValueFormat::FLOAT32);
    EXPECT_EQ(speed.point.order, WordOrder::CD_AB);
    EXPECT_EQ(reading.entries[2].name, "Run command") << "the description labels a row without a name";
    EXPECT_EQ(reading.entries[2].table, ModbusTable::coils);
}

// Given a comma file whose second row's quoted description spans two
// lines, and rows each with one fault, expect every fault named by its file
// line and its column's header, the faulty rows left out whole and the
// good ones kept.
TEST(MapReading, MalformedRowsNamedByLineAndColumnGoodRowsKept)
{
    MapReading reading = entries_of("Name,Table,Address,Type,Scale,Raw Low,Raw High,Scaled Low,Scaled High,Notes\n"
                                    "Good one,holding registers,40001,UINT16,2,,,,,\n"
                                    "Good two,3x,30001,DINT,,,,,,\"two\nlines\"\n"
                                    "\n"
                                    "Bad type,4x,40003,REAL48,,,,,,\n"
                                    "Too far,coils,070000,BOOL,,,,,,\n"
                                    "Wrong table,holding registers,30005,INT,,,,,,\n"
                                    "Again,HR,40001,INT,,,,,,\n"
                                    "Flat,HR,40009,INT,,5,5,0,100,\n"
                                    "No scale,HR,40010,INT,0,,,,,\n"
                                    "Two faults,IR,30011,FLOAT,,,,,,\n"
                                    "Bits on a coil,CO,00002,INT,,,,,,\n",
                                    AddressNotation::modicon);
    ASSERT_EQ(reading.entries.size(), 3u);
    EXPECT_EQ(reading.entries[0].point.scale, 2);
    EXPECT_EQ(reading.entries[1].table, ModbusTable::input_registers);
    EXPECT_EQ(reading.entries[1].point.format, ValueFormat::INT32);
    EXPECT_EQ(reading.entries[2].name, "Two faults");  // FLOAT over 2 input registers is fine
    EXPECT_EQ(reading.rows_left_out, 7u);
    std::vector<std::string> texts;
    for (const MapRowError& error : reading.errors)
        texts.push_back(map_error_text(error));
    EXPECT_EQ(texts, (std::vector<std::string>{
                         "Line 6, column Type: unknown type 'REAL48'",
                         "Line 7, column Address: coils run from 00001 to 065536",
                         "Line 8, column Address: 30005 is an input register, not a holding register",
                         "Line 9, column Address: address already defined on line 2",
                         "Line 10, column Raw High: the raw range is empty: Raw Low and Raw High are the same",
                         "Line 11, column Scale: the scale cannot be 0",
                         "Line 13, column Type: coils and discrete inputs hold bits, not 'INT'",
                     }));
}

// Given files that are no map, expect each refused with its reason: a
// byte outside UTF-8, a quote that never closes, nothing but blank lines.
TEST(MapReading, RefusesWhatIsNoTextMap)
{
    EXPECT_EQ(read_map_sheet("Name,Address\nOK,1\nBad\xFF,2\n").refusal,
              "The file is not UTF-8 text: line 3 holds a byte that is not");
    EXPECT_EQ(read_map_sheet("Name,Address\n\"open,1\n").refusal, "Line 2: a quoted field has no closing quote");
    EXPECT_EQ(read_map_sheet("\r\n\r\n").refusal, "The file has no header row");
    MapSheet tabs = sheet_of("Name\tAddress\tUnit\n\"Tab\tin it\"\t12\t°C\n");
    EXPECT_EQ(tabs.separator, '\t');
    EXPECT_EQ(tabs.rows, (std::vector<std::vector<std::string>>{{"Tab\tin it", "12", "°C"}}));
}
