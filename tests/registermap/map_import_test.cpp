#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "registermap/register_map.hpp"
#include "setup/definition_name.hpp"

namespace {

MapEntry entry(uint8_t unit, ModbusTable table, uint16_t address, std::string name, PointKind kind = PointKind::tab,
               ValueFormat format = ValueFormat::UINT)
{
    MapEntry made{unit, table, address, std::move(name), Point{}};
    made.point.kind = kind;
    made.point.format = format;
    return made;
}

}  // namespace

// Given a started model, expect a map's definitions added after its own,
// each told once with its labels and points already in it; and a map that
// needs more tabs than the model has room for added not at all, with the
// reason.
TEST(MapImport, TabsAddedAfterTheModelsEachToldOnceAllOrNone)
{
    SetUpModel model;
    start_set_up(model, PollDefinition{1, 3, 0, 10, 1000});
    std::vector<SetUpEvent> events;
    std::vector<size_t> labels_when_told;
    listen_to_set_up(model, [&](const SetUpEvent& event) {
        events.push_back(event);
        if (DefinitionSetUp* told = find_definition(model, event.serial))
            labels_when_told.push_back(told->labels.entries.size());
    });
    std::vector<MapEntry> map = {entry(2, ModbusTable::holding_registers, 500, "Speed", PointKind::format,
                                       ValueFormat::FLOAT32),
                                 entry(2, ModbusTable::holding_registers, 502, "Torque"),
                                 entry(2, ModbusTable::coils, 7, "Run"), entry(1, ModbusTable::input_registers, 3, "")};
    MapImport import = import_map_as_tabs(model, map);
    EXPECT_EQ(import.definitions_added, 3u);
    EXPECT_EQ(import.points_added, 4u);
    EXPECT_TRUE(import.refusals.empty());
    ASSERT_EQ(model.definitions.size(), 4u);
    EXPECT_EQ(model.definitions[1]->poll, (PollDefinition{1, 4, 3, 1, 1000}));
    EXPECT_EQ(model.definitions[3]->poll, (PollDefinition{2, 3, 500, 3, 1000}));
    EXPECT_EQ(model.definitions[3]->points.at(500).format, ValueFormat::FLOAT32);
    EXPECT_EQ(find_label(model.definitions[3]->labels, 502)->text, "Torque");
    EXPECT_EQ(events, (std::vector<SetUpEvent>{{SetUpChange::added, model.definitions[1]->serial},
                                               {SetUpChange::document, 0},
                                               {SetUpChange::added, model.definitions[2]->serial},
                                               {SetUpChange::added, model.definitions[3]->serial}}));
    EXPECT_EQ(labels_when_told, (std::vector<size_t>{0, 1, 2}));

    while (model.definitions.size() < max_poll_definitions - 2)
        add_definition(model, PollDefinition{});
    events.clear();
    import = import_map_as_tabs(model, map);
    EXPECT_EQ(import.definitions_added, 0u);
    ASSERT_EQ(import.refusals.size(), 1u);
    EXPECT_TRUE(import.refusals[0].starts_with(definition_limit_text())) << import.refusals[0];
    EXPECT_EQ(model.definitions.size(), max_poll_definitions - 2);
    EXPECT_TRUE(events.empty());
}

// Given a tab of unit 1's holding registers 100-109 and a map around it,
// expect the block grown to hold the near points within one read, the
// far one and those of another unit or table refused with reasons, and the
// change told as one poll, one labels and one points change.
TEST(MapImport, IntoATabGrowsItsBlockAndRefusesTheRest)
{
    SetUpModel model;
    start_set_up(model, PollDefinition{1, 3, 100, 10, 1000});
    DefinitionSetUp& tab = *model.definitions[0];
    set_label(tab.labels, 101, "Kept");
    std::vector<SetUpEvent> events;
    listen_to_set_up(model, [&](const SetUpEvent& event) { events.push_back(event); });
    std::vector<MapEntry> map = {
        entry(1, ModbusTable::holding_registers, 95, "Low", PointKind::format, ValueFormat::INT32),
        entry(1, ModbusTable::holding_registers, 150, "High", PointKind::format, ValueFormat::FLOAT64),
        entry(1, ModbusTable::holding_registers, 105, "Inside"),
        entry(1, ModbusTable::holding_registers, 300, "Far"),
        entry(1, ModbusTable::input_registers, 100, "Other table"),
        entry(2, ModbusTable::holding_registers, 100, "Other unit"),
    };
    MapImport import = import_map_into(model, tab, map);
    EXPECT_EQ(import.points_added, 3u);
    EXPECT_EQ(tab.poll, (PollDefinition{1, 3, 95, 59, 1000})) << "95 to the FLOAT64's last register, 153";
    EXPECT_EQ(find_label(tab.labels, 101)->text, "Kept");
    EXPECT_EQ(find_label(tab.labels, 105)->text, "Inside");
    EXPECT_EQ(tab.points.at(150).format, ValueFormat::FLOAT64);
    EXPECT_EQ(import.refusals.size(), 2u);
    EXPECT_NE(import.refusals[0].find("HR300 (Far)"), std::string::npos) << import.refusals[0];
    EXPECT_NE(import.refusals[1].find("2 points"), std::string::npos) << import.refusals[1];
    uint32_t s = tab.serial;
    EXPECT_EQ(events, (std::vector<SetUpEvent>{{SetUpChange::poll, s},
                                               {SetUpChange::document, 0},
                                               {SetUpChange::labels, s},
                                               {SetUpChange::points, s}}));
}
