#include <gtest/gtest.h>

#include <string>

#include "registermap/register_map.hpp"

namespace {

// The map a file holds, read under the notation its header names, else notation.
MapReading read_map(std::string_view bytes, AddressNotation notation)
{
    MapSheetReading reading = read_map_sheet(bytes);
    EXPECT_TRUE(reading.sheet) << reading.refusal;
    MapSheet sheet = reading.sheet.value_or(MapSheet{});
    return read_map_entries(sheet, recognise_map_fields(sheet.header), header_notation(sheet.header).value_or(notation));
}

Point typed(PointKind kind, ValueFormat format = ValueFormat::UINT)
{
    Point point;
    point.kind = kind;
    point.format = format;
    return point;
}

void expect_same_definitions(const std::vector<DefinitionSetUp>& got, const std::vector<DefinitionSetUp>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].poll, want[i].poll) << i;
        EXPECT_EQ(got[i].labels.entries, want[i].labels.entries) << i;
        EXPECT_EQ(got[i].points, want[i].points) << i;
    }
}

}  // namespace

// Given a vendor map in protocol addresses, expect its export under the
// Modicon notation to name that notation and to import into the very same
// definitions, labels and points.
TEST(MapRoundTrip, ExportUnderModiconImportsTheSameDefinitions)
{
    MapReading first = read_map("Tag,Unit ID,Table,Address,Type,Swap,Scale,Offset,Decimals,Units,States,Bit Names\n"
                                "Speed,1,HR,0,FLOAT,yes,0.5,-3,1,rpm,,\n"
                                "Mode,1,HR,2,WORD,,,,,,0=Stop;1=Run;2=Jog;;slow,\n"
                                "Alarms,1,HR,3,,,,,,,,0=Low oil;15=Overtemp\n"
                                "Plain,1,HR,4,,,,,,,,\n"
                                "Total,1,HR,200,BCD32,CDAB,,,,kWh,,\n"
                                "Model,2,IR,10,STRING[7],BADC,,,,,,\n"
                                "Running,2,DI,9,BOOL,,,,,,0=Stopped;1=Running,\n"
                                "Reset,2,CO,4,BOOL,,,,,,,\n",
                                AddressNotation::protocol);
    ASSERT_TRUE(first.errors.empty()) << map_error_text(first.errors[0]);
    MapDefinitions planned = plan_map_definitions(first.entries);
    ASSERT_TRUE(planned.refusals.empty());
    EXPECT_EQ(planned.points_placed, 8u);
    std::vector<PollDefinition> polls;
    for (const DefinitionSetUp& definition : planned.definitions)
        polls.push_back(definition.poll);
    EXPECT_EQ(polls, (std::vector<PollDefinition>{{1, 3, 0, 5, 1000},
                                                  {1, 3, 200, 2, 1000},
                                                  {2, 1, 4, 1, 1000},
                                                  {2, 2, 9, 1, 1000},
                                                  {2, 4, 10, 4, 1000}}));
    EXPECT_EQ(planned.definitions[0].points.at(2).value_names.at(2), "Jog;slow");
    EXPECT_EQ(planned.definitions[4].points.at(10).registers, 4) << "7 characters take 4 registers";

    std::string exported = write_register_map(SetUpRecord{planned.definitions, {}, {}, {}}, AddressNotation::modicon);
    EXPECT_NE(exported.find("40001"), std::string::npos) << exported;
    MapReading again = read_map(exported, AddressNotation::hexadecimal);
    ASSERT_TRUE(again.errors.empty()) << map_error_text(again.errors[0]) << "\n" << exported;
    expect_same_definitions(plan_map_definitions(again.entries).definitions, planned.definitions);
}

// Given a set-up made by hand (a FLOAT32 tab with points of every kind, a
// second unit's coils), expect the export to re-import every point with
// its name, unit id and scale, and labelled addresses of the tab as the
// tab shows them.
TEST(MapRoundTrip, HandMadeSetUpReimportsEveryPoint)
{
    DefinitionSetUp tab;
    tab.poll = {5, 3, 100, 30, 500};
    tab.format = ValueFormat::FLOAT32;
    tab.order = WordOrder::CD_AB;
    set_label(tab.labels, 100, "Flow, main");
    Point temperature = typed(PointKind::format, ValueFormat::INT32);
    temperature.order = WordOrder::DC_BA;
    temperature.scale = 0.1;
    temperature.offset = -40;
    temperature.decimals = 1;
    temperature.unit = "°C";
    Point state = typed(PointKind::format, ValueFormat::UINT);
    state.value_names = {{0, "Off"}, {-1, "Fault"}};
    Point flags = typed(PointKind::bits);
    flags.bit_names = {{0, "Ready"}, {7, "Overtemp \"hot\""}};
    Point name = typed(PointKind::string);
    name.registers = 8;
    name.swapped_bytes = true;
    Point energy = typed(PointKind::bcd);
    energy.order = WordOrder::CD_AB;
    energy.registers = 2;
    energy.scale = 0.01;
    energy.unit = "MWh";
    tab.points = {{102, temperature}, {104, state}, {105, flags}, {106, name}, {114, energy}};
    set_label(tab.labels, 104, "State");
    set_label(tab.labels, 106, "Drive name");
    DefinitionSetUp coils;
    coils.poll = {9, 1, 0, 16, 1000};
    set_label(coils.labels, 3, "Pump");
    coils.points[5].unit = "on/off";
    coils.points[5].value_names = {{0, "Open"}, {1, "Closed"}};

    std::string exported = write_register_map(SetUpRecord{{tab, coils}, {}, {}, {}}, AddressNotation::register_number);
    MapReading reading = read_map(exported, AddressNotation::modicon);
    ASSERT_TRUE(reading.errors.empty()) << map_error_text(reading.errors[0]) << "\n" << exported;
    ASSERT_EQ(reading.entries.size(), 8u) << exported;
    auto entry_at = [&](uint8_t unit, uint16_t address) {
        for (const MapEntry& entry : reading.entries)
            if (entry.unit == unit && entry.address == address)
                return entry;
        ADD_FAILURE() << "no entry at " << address;
        return MapEntry{};
    };
    MapEntry flow = entry_at(5, 100);
    EXPECT_EQ(flow.name, "Flow, main");
    Point shown_as_tab = typed(PointKind::format, ValueFormat::FLOAT32);
    shown_as_tab.order = WordOrder::CD_AB;
    EXPECT_EQ(flow.point, shown_as_tab);
    for (uint16_t address : {102, 104, 105, 106, 114}) {
        EXPECT_EQ(entry_at(5, address).point, tab.points.at(address)) << address;
        EXPECT_EQ(entry_at(5, address).table, ModbusTable::holding_registers);
    }
    EXPECT_EQ(entry_at(5, 104).name, "State");
    EXPECT_EQ(entry_at(5, 106).name, "Drive name");
    EXPECT_EQ(entry_at(9, 3).name, "Pump");
    EXPECT_TRUE(is_empty_point(entry_at(9, 3).point));
    EXPECT_EQ(entry_at(9, 5).point, coils.points.at(5));
    EXPECT_EQ(entry_at(9, 5).table, ModbusTable::coils);
}
