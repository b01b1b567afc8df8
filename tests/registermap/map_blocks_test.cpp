#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/call_guard.hpp"
#include "link/link_recorder.hpp"
#include "link/poll_round.hpp"
#include "link/worker.hpp"
#include "points/point_value.hpp"
#include "registermap/register_map.hpp"
#include "support/modbus_test_server.hpp"
#include "values/poll_blocks.hpp"

namespace {

struct Sample {
    const char* type;
    const char* typed;  // what the server holds, as the grid shows it
};

// A map of points scattered over every table of two units, some close
// enough to share a read, some far apart; each row's typed value beside it.
std::string scattered_map(std::vector<std::string>& typed)
{
    const Sample registers[] = {{"UINT16", "4711"}, {"INT", "-12"},        {"DINT", "-70000"},
                                {"REAL", "12.5"},   {"STRING[6]", "AX-10"}, {"BCD32", "1234"}};
    std::string map = "Name,Unit ID,Address,Type\n";
    unsigned row = 0;
    for (const char* table : {"CO", "DI", "IR", "HR"}) {
        bool bits = table[0] == 'C' || table[0] == 'D';
        for (unsigned unit = 1; unit <= 2; ++unit) {
            // Mostly near neighbours, whose runs outgrow one read, and some far apart;
            // the units apart too, as the one server holds one table for both.
            for (unsigned i = 0, address = 3 + 5000 * unit; i < 45; address += i == 8 ? 30 : i == 40 ? 300 : 4, ++i) {
                const Sample& sample = registers[(row + i) % std::size(registers)];
                map += "P" + std::to_string(++row) + "," + std::to_string(unit) + "," + table + std::to_string(address) +
                       "," + (bits ? "BOOL" : sample.type) + "\n";
                typed.push_back(bits ? (i % 2 ? "1" : "0") : sample.typed);
            }
        }
    }
    return map;
}

void put_registers(ModbusTestServer& server, const MapEntry& entry, const std::vector<uint16_t>& words)
{
    for (size_t i = 0; i < words.size(); ++i) {
        uint16_t address = uint16_t(entry.address + i);
        switch (entry.table) {
        case ModbusTable::coils: server.set_coil(address, words[i]); break;
        case ModbusTable::discrete_inputs: server.set_discrete_input(address, words[i]); break;
        case ModbusTable::input_registers: server.set_input_register(address, words[i]); break;
        case ModbusTable::holding_registers: server.set_holding(address, words[i]); break;
        }
    }
}

}  // namespace

// Given a map of scattered points over all four tables of two units,
// expect definitions within the limits of one read that hold every point
// whole, and polling them from a real server to read every point's value.
TEST(MapBlocks, ScatteredMapPollsEveryPointWithinTheLimits)
{
    std::vector<std::string> typed;
    MapSheet sheet = *read_map_sheet(scattered_map(typed)).sheet;
    MapReading reading = read_map_entries(sheet, recognise_map_fields(sheet.header), AddressNotation::protocol);
    ASSERT_TRUE(reading.errors.empty()) << map_error_text(reading.errors[0]);
    MapDefinitions planned = plan_map_definitions(reading.entries);
    ASSERT_TRUE(planned.refusals.empty());
    EXPECT_EQ(planned.points_placed, reading.entries.size());
    EXPECT_LT(planned.definitions.size(), reading.entries.size() / 4) << "neighbours share a read";
    unsigned longest = 0;
    for (const DefinitionSetUp& definition : planned.definitions) {
        EXPECT_LE(definition.poll.length, block_limit(table_of_function(definition.poll.fcode)));
        longest = std::max<unsigned>(longest, definition.poll.length);
    }
    EXPECT_GT(longest, 100u) << "a run longer than one read is split near the limit";

    std::unique_ptr<ModbusTestServer> server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    for (size_t i = 0; i < reading.entries.size(); ++i) {
        const MapEntry& entry = reading.entries[i];
        bool bits = entry.table <= ModbusTable::discrete_inputs;
        PointEncoding encoding = encode_point(entry.point, TabFormat{}, typed[i], bits);
        ASSERT_EQ(encoding.refusal, "") << typed[i];
        put_registers(*server, entry, encoding.registers);
    }
    std::vector<PollEntry> round;
    for (size_t i = 0; i < planned.definitions.size(); ++i)
        round.push_back(PollEntry{uint16_t(i + 1), planned.definitions[i].poll, nullptr});
    auto link = std::make_shared<LinkState>();
    auto recorder = std::make_shared<Recorder>();
    CallGuard guard;
    WorkerContext worker{*link, *recorder, guard, 1};
    KeptLink kept;
    PollSchedule schedule;
    ConnectionSettings settings;
    settings.device = "127.0.0.1";
    settings.baud_or_port = uint32_t(server->port());
    settings.use_tcp = true;
    run_poll_round(worker, round, settings, kept, schedule);
    std::map<uint16_t, PublishedValues> values = recorder->values_by_key();

    // Every entry read back from the definition that holds it.
    for (size_t i = 0; i < reading.entries.size(); ++i) {
        const MapEntry& entry = reading.entries[i];
        size_t held = 0;
        for (; held < planned.definitions.size(); ++held) {
            const PollDefinition& poll = planned.definitions[held].poll;
            if (poll.slave == entry.unit && table_of_function(poll.fcode) == entry.table &&
                entry.address >= poll.address && entry.address < poll.address + poll.length)
                break;
        }
        ASSERT_LT(held, planned.definitions.size()) << entry.name;
        const PublishedValues& read = values[uint16_t(held + 1)];
        ASSERT_TRUE(read.live) << entry.name;
        bool bits = entry.table <= ModbusTable::discrete_inputs;
        size_t at = entry.address - read.block.address;
        std::span<const uint16_t> words(read.values.data() + at, read.value_count - at);
        EXPECT_EQ(read_point(entry.point, TabFormat{}, words, bits).text, typed[i]) << entry.name;
    }
}
