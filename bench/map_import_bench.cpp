// Importing a register map of 10,000 rows: coils and discrete inputs
// side by side, input and holding registers of mixed types (16-, 32- and
// 64-bit numbers, BCD, strings, named bits), most of them scaled, some with
// value names, quoted names holding commas, that fits in 64 definitions.
// Measured, five runs each, without any window:
//   - the preview's work: the file read into cells, the columns recognised
//     and every row turned into a point; target: under 0.5 s;
//   - the import: the points grouped into definitions and added to a set-up
//     model as tabs, a listener hearing each; target: under 1 s.
// (The tabs' grids that the window builds on those events are measured
// with the window.)
//
//   build/bench/map_import_bench
//
// Exit status 0 when both targets are met, 1 when one is missed, 2 when the
// map did not import as expected.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "registermap/register_map.hpp"

namespace {

constexpr unsigned bit_rows = 4000;      // each of coils and discrete inputs
constexpr unsigned register_rows = 1000;  // each of input and holding registers
constexpr double preview_target = 0.5, import_target = 1.0;  // seconds
constexpr int runs = 5;

struct RegisterType {
    const char* type;
    unsigned width;
};
constexpr RegisterType register_types[] = {{"UINT16", 1}, {"INT", 1},       {"REAL", 2}, {"DINT", 2},
                                           {"WORD", 1},   {"BCD16", 1},     {"UDINT", 2}, {"BITS", 1},
                                           {"INT16", 1},  {"STRING[4]", 2}, {"LREAL", 4}, {"UINT", 1}};

void append_register_rows(std::string& map, const char* table, unsigned& row)
{
    unsigned address = 0;
    for (unsigned i = 0; i < register_rows; ++i, ++row) {
        const RegisterType& type = register_types[i % std::size(register_types)];
        bool bits = type.type[0] == 'B' && type.type[1] == 'I';
        bool scaled = i % 3 != 0 && type.type[0] != 'S' && !bits;
        std::string name = i % 5 == 0 ? "\"Drive " + std::to_string(i) + ", channel " + std::to_string(i % 7) + "\""
                                      : "Point " + std::to_string(row);
        map += name + ",1," + table + "," + std::to_string(address) + "," + type.type + "," +
               (type.width > 1 ? "CDAB" : "") + "," + (scaled ? "0.1" : "") + "," + (scaled ? "-40" : "") + "," +
               (scaled ? "°C" : "") + "," + (i % 4 == 1 && !bits ? "0=Stopped;1=Running;2=Fault" : "") + "," +
               (bits ? "0=Ready;3=Overtemp" : "") + ",Row " + std::to_string(row) + "\n";
        address += type.width;
    }
}

std::string generated_map()
{
    std::string map = "Name,Unit ID,Table,Address,Data Type,Word Order,Scale,Offset,Units,Value Names,Bit Names,"
                      "Description\n";
    unsigned row = 0;
    for (const char* table : {"Coils", "Discrete Inputs"})
        for (unsigned i = 0; i < bit_rows; ++i, ++row)
            map += "Bit " + std::to_string(row) + ",1," + table + "," + std::to_string(i) + ",BOOL,,,,," +
                   (i % 2 ? "0=Off;1=On" : "") + ",,\n";
    append_register_rows(map, "Input Registers", row);
    append_register_rows(map, "Holding Registers", row);
    return map;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

void print_row(const char* name, const std::vector<double>& samples, double target)
{
    bool met = median(samples) < target;
    std::printf("%-30s median %.3f s, best %.3f s, worst %.3f s; target under %.1f s: %s\n", name, median(samples),
                *std::min_element(samples.begin(), samples.end()), *std::max_element(samples.begin(), samples.end()),
                target, met ? "met" : "MISSED");
}

}  // namespace

int main()
{
    std::string map = generated_map();
    std::vector<double> preview, import;
    size_t entries = 0, definitions = 0, events = 0;
    for (int run = 0; run < runs; ++run) {
        auto start = std::chrono::steady_clock::now();
        MapSheetReading sheet = read_map_sheet(map);
        if (!sheet.sheet) {
            std::fprintf(stderr, "the map did not read: %s\n", sheet.refusal.c_str());
            return 2;
        }
        std::vector<MapField> fields = recognise_map_fields(sheet.sheet->header);
        MapReading reading = read_map_entries(*sheet.sheet, fields, AddressNotation::protocol);
        preview.push_back(seconds_since(start));
        if (!reading.errors.empty()) {
            std::fprintf(stderr, "%s\n", map_error_text(reading.errors[0]).c_str());
            return 2;
        }

        SetUpModel model;
        start_set_up(model, PollDefinition{1, 3, 0, 10, 1000});
        events = 0;
        listen_to_set_up(model, [&](const SetUpEvent&) { ++events; });
        start = std::chrono::steady_clock::now();
        MapImport imported = import_map_as_tabs(model, reading.entries);
        import.push_back(seconds_since(start));
        entries = reading.entries.size();
        definitions = imported.definitions_added;
        if (!imported.refusals.empty() || imported.points_added != entries) {
            std::fprintf(stderr, "the map did not import whole: %s\n",
                         imported.refusals.empty() ? "points missing" : imported.refusals[0].c_str());
            return 2;
        }
    }
    std::printf("map                            %zu rows, %zu bytes; %zu definitions, %zu events told\n", entries,
                map.size(), definitions, events);
    print_row("read, recognise, rows (preview)", preview, preview_target);
    print_row("plan and add as tabs", import, import_target);
    return median(preview) < preview_target && median(import) < import_target ? 0 : 1;
}
