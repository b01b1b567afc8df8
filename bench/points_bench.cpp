// Points in the grid. One run sets up 64 definitions of 125 holding
// registers (the most the link takes) in the real window, each address
// covered by a scaled point with a unit: every other pair of addresses one
// UINT32 or INT32 point with value names, the rest UINT or INT points of
// one register. A local libmodbus TCP server in a child process (its CPU
// not counted) serves them on a kept connection, with new values every
// 10 ms, as often as the window looks, so every look finds texts to
// change. Measured side by side with the same definitions without points:
//   - one poll of the shown tab turned into its cells' texts
//     (fill_value_cells), microseconds per poll, median of many, every value
//     changing and the same values again; beside it what of that the
//     points' own reading takes (value_groups and read_point, no GTK);
//   - all 64 at scan rate 0, windows with points taking turns with windows
//     without: target, a median ratio of requests per second of at least
//     0.9, and a 10 ms main-loop timer's lag under 50 ms at the 99th
//     percentile in the windows with points;
//   - the same polling while the shown tab changes every 100 ms: target,
//     that lag under 50 ms with points.
// The server is pinned to one core, the polling thread and the
// user-interface thread to the other.
//
//   ./scripts/headless build/bench/points_bench
//
// Exit status 0 when every target is met, 1 when one is missed, 2 when the
// set-up failed.

#include <gtk/gtk.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "app/application.hpp"
#include "bench_support.hpp"
#include "window_polling.hpp"
#include "link/worker.hpp"
#include "points/point_value.hpp"
#include "points/value_groups.hpp"
#include "setup/set_up_model.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

using namespace bench;

constexpr int definitions = int(max_poll_definitions);
constexpr int served_registers = definitions * register_count;
constexpr int change_ms = 10;
constexpr int fill_rounds = 5, fills_per_round = 100;
constexpr int window_ms = 1500;
constexpr int turns = 5;
constexpr int switching_ms = 3000;
constexpr int server_cpu = 0, poller_cpu = 1;

LinkState& link() { return *shown_link(app().tabs).link; }

// Every other pair of addresses starts a two-register point; the last
// address of the block has no second register for one.
bool starts_wide_point(int offset)
{
    return offset % 4 == 0 && offset + 1 < register_count;
}

// A wide point holds a named state half of the time, a number past 16 bits
// the other half; a narrow one any 16-bit value.
uint16_t served_value(int address, unsigned generation)
{
    int offset = address % register_count;
    int first = offset - offset % 4;
    if (offset % 4 < 2 && starts_wide_point(first)) {
        unsigned step = unsigned(first / 4) + generation;
        uint32_t value = step % 8 < 4 ? step % 4 : 70000 + 1000 * uint32_t(first) + generation;
        return uint16_t(offset == first ? value >> 16 : value & 0xFFFF);
    }
    return uint16_t(address * 257 + generation * 31);
}

std::map<uint16_t, Point> block_points(uint16_t base)
{
    static const char* const units[] = {"V", "A", "kW", "\u00b0C", "bar", "rpm"};
    std::map<uint16_t, Point> points;
    for (int offset = 0; offset < register_count;) {
        Point point;
        point.kind = PointKind::format;
        point.unit = units[offset % 6];
        bool wide = starts_wide_point(offset);
        bool signed_type = offset / (wide ? 4 : 1) % 2 == 1;
        if (wide) {
            point.format = signed_type ? ValueFormat::INT32 : ValueFormat::UINT32;
            point.scale = 0.1;
            point.decimals = 1;
            point.value_names = {{0, "Stopped"}, {1, "Starting"}, {2, "Running"}, {3, "Fault"}};
        } else {
            point.format = signed_type ? ValueFormat::INT : ValueFormat::UINT;
            point.scale = signed_type ? 0.01 : 0.5;
            point.offset = signed_type ? -40 : 0;
            point.decimals = signed_type ? 2 : -1;
        }
        points[uint16_t(base + offset)] = point;
        offset += wide ? 2 : 1;
    }
    return points;
}

// With points every address of the definition is covered by one; without,
// none is left.
void set_block_points(DefinitionSetUp& definition, bool with_points)
{
    for (const auto& [address, point] : block_points(definition.poll.address))
        set_point(app().set_up, definition, address, with_points ? point : Point{});
}

void set_all_points(PollTabs& main, bool with_points)
{
    for (auto& tab : main.tabs)
        set_block_points(*tab->definition, with_points);
}

std::vector<uint16_t> tab_values(const DefinitionSetUp& definition, unsigned generation)
{
    std::vector<uint16_t> values(register_count);
    for (int i = 0; i < register_count; ++i)
        values[size_t(i)] = served_value(definition.poll.address + i, generation);
    return values;
}

double since_us(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
}

// Microseconds per fill, with the values changing at every call and
// unchanged.
struct Fills {
    std::vector<double> changing, unchanged;
};

struct FillFigures {
    double points_us = 0, plain_us = 0, points_unchanged_us = 0, plain_unchanged_us = 0, reading_us = 0;
    size_t point_count = 0;
};

// Times fill_value_cells alone, in rounds that take turns with points and
// without, as the machine's speed wanders.
void time_fills(RegisterGrid& table, Fills& fills, const std::vector<uint16_t> (&values)[2])
{
    for (int i = 0; i < 4; ++i)  // the tooltips and styles of the other set-up go first
        fill_value_cells(table, values[i % 2].data(), register_count);
    for (int i = 0; i < fills_per_round; ++i) {
        auto start = std::chrono::steady_clock::now();
        fill_value_cells(table, values[i % 2].data(), register_count);
        fills.changing.push_back(since_us(start));
    }
    for (int i = 0; i < fills_per_round; ++i) {
        auto start = std::chrono::steady_clock::now();
        fill_value_cells(table, values[0].data(), register_count);
        fills.unchanged.push_back(since_us(start));
    }
}

// What of a fill the points' reading takes, without GTK.
void time_reading(const DefinitionSetUp& definition, std::vector<double>& times,
                  const std::vector<uint16_t> (&values)[2])
{
    TabFormat tab{definition.format, definition.order};
    size_t length = 0;  // so that the texts are made, and used
    for (int i = 0; i < fills_per_round; ++i) {
        auto start = std::chrono::steady_clock::now();
        for (const ValueGroup& group : value_groups(definition))
            if (group.point)
                length += read_point(*group.point, tab, {values[i % 2].data() + group.first, group.width}, false)
                              .text.size();
        times.push_back(since_us(start));
    }
    if (length == 0)
        std::fprintf(stderr, "no point was read\n");
}

FillFigures measure_fills(PollTab& tab)
{
    build_grid_if_missing(tab.table);
    const std::vector<uint16_t> values[2] = {tab_values(*tab.definition, 0), tab_values(*tab.definition, 1)};
    Fills points, plain;
    std::vector<double> reading;
    for (int round = 0; round < fill_rounds; ++round) {
        set_block_points(*tab.definition, true);
        time_fills(tab.table, points, values);
        time_reading(*tab.definition, reading, values);
        set_block_points(*tab.definition, false);
        time_fills(tab.table, plain, values);
    }
    set_block_points(*tab.definition, true);
    return {median(points.changing), median(plain.changing), median(points.unchanged), median(plain.unchanged),
            median(reading), tab.definition->points.size()};
}

bool start_polling()
{
    return start_window_polling(poller_cpu);
}

void stop_polling()
{
    stop_window_polling();
}

double percentile_ms(std::vector<gint64> lags_us, int percent)
{
    if (lags_us.empty())
        return 1e9;
    std::sort(lags_us.begin(), lags_us.end());
    return double(lags_us[std::min(lags_us.size() - 1, lags_us.size() * size_t(percent) / 100)]) / 1000.0;
}

// One side of the comparison: its windows' rates, the lags of all its
// windows, and the user-interface thread's CPU over them.
struct Side {
    std::vector<double> rates;
    std::vector<gint64> lags_us;
    long ui_ticks = 0;
    double seconds = 0;
};

// Polls for a window with or without points, the shown tab fixed or
// changing every 100 ms.
void run_window(const ServerChild& server, PollTabs& main, bool with_points, bool switching, int ms, Side& side)
{
    if (!main.tabs.front()->definition->points.empty() != with_points)
        set_all_points(main, with_points);
    run_loop_for(200);
    LagProbe probe;
    guint probe_source = g_timeout_add(probe_interval_ms, on_probe, &probe);
    guint switcher = !switching ? 0 : g_timeout_add(100, [](gpointer m) -> gboolean {
        step_poll_tab(*static_cast<PollTabs*>(m), 1);
        return G_SOURCE_CONTINUE;
    }, &main);
    long ticks = cpu_ticks(thread_id());
    size_t from = server.request_count();
    gint64 start = g_get_monotonic_time();
    run_loop_for(ms);
    double seconds = double(g_get_monotonic_time() - start) / 1e6;
    side.rates.push_back(double(server.request_count() - from) / seconds);
    side.ui_ticks += cpu_ticks(thread_id()) - ticks;
    side.seconds += seconds;
    if (switcher)
        g_source_remove(switcher);
    g_source_remove(probe_source);
    side.lags_us.insert(side.lags_us.end(), probe.lags_us.begin(), probe.lags_us.end());
}

struct Figures {
    FillFigures fill;
    Side points, plain, points_switching, plain_switching;
    std::vector<double> ratios;
    std::string sample_text;  // the shown tab's first cells, with points
};

// Empty while the first cell shows nothing.
std::string first_texts(const RegisterGrid& table)
{
    std::string texts;
    if (table.value_cells.empty() || !*gtk_label_get_text(table.value_cells.front()))
        return texts;
    for (size_t i = 0; i < 4 && i < table.value_cells.size(); ++i)
        texts += std::string(i ? " | " : "") + gtk_label_get_text(table.value_cells[i]);
    return texts;
}

void measure_polling(const ServerChild& server, PollTabs& main, Figures& f)
{
    run_window(server, main, false, false, window_ms, f.plain);
    for (int turn = 0; turn < turns; ++turn) {
        run_window(server, main, true, false, window_ms, f.points);
        f.sample_text = first_texts(main.tab->table);
        run_window(server, main, false, false, window_ms, f.plain);
        const std::vector<double>& plain = f.plain.rates;
        f.ratios.push_back(f.points.rates.back() / ((plain[size_t(turn)] + plain[size_t(turn) + 1]) / 2));
    }
    run_window(server, main, true, true, switching_ms, f.points_switching);
    run_window(server, main, false, true, switching_ms, f.plain_switching);
}

// Every grid built once, as after a while of use: building a grid at its
// first showing costs what it costs with or without points.
void show_every_tab(PollTabs& main)
{
    for (auto& tab : main.tabs) {
        show_poll_tab(main, *tab);
        run_loop_for(20);
    }
    show_poll_tab(main, *main.tabs.front());
    run_loop_for(200);
}

bool set_up_tabs(PollTabs& main, int port)
{
    hand_poll_definition(main, PollDefinition{1, 3, 0, uint8_t(register_count), 0});
    while (main.tabs.size() < size_t(definitions))
        if (!add_poll_tab(main, PollDefinition{1, 3, uint16_t(main.tabs.size() * register_count),
                                               uint8_t(register_count), 0}))
            return false;
    hand_poll_definitions(main);
    set_all_points(main, true);
    store_connection_settings(link(), kept_local_tcp(port));
    show_every_tab(main);
    return true;
}

void print_side(const char* what, const Side& side)
{
    std::printf("  %-36s %8.0f requests/s (median), lag p99 %5.1f ms, worst %5.1f ms, UI thread %4.1f %% of a core\n",
                what, median(side.rates), percentile_ms(side.lags_us, 99), percentile_ms(side.lags_us, 100),
                percent_of_core(side.ui_ticks, side.seconds));
}

}  // namespace

int main()
{
    ServerChild server;
    if (!start_server(server, ServedRegisters{served_registers, served_value, change_ms})) {
        std::fprintf(stderr, "no Modbus server\n");
        return 2;
    }
    pin_process(server.pid, server_cpu);
    pin(thread_id(), poller_cpu);
    if (!open_bench_window("points_bench"))
        return 2;
    PollTabs& main = app().tabs;
    if (!set_up_tabs(main, server.port)) {
        std::fprintf(stderr, "the window did not take %d definitions\n", definitions);
        return 2;
    }

    Figures f;
    f.fill = measure_fills(*main.tab);
    if (!start_polling()) {
        std::fprintf(stderr, "the window did not poll\n");
        return 2;
    }
    measure_polling(server, main, f);
    stop_polling();
    kill(server.pid, SIGTERM);
    if (f.sample_text.empty() || f.plain.rates.back() <= 0) {
        std::fprintf(stderr, "the window showed no polled values\n");
        return 2;
    }

    double ratio = median(f.ratios);
    double lag = percentile_ms(f.points.lags_us, 99);
    double switching_lag = percentile_ms(f.points_switching.lags_us, 99);
    bool ok_ratio = ratio >= 0.9, ok_lag = lag < 50, ok_switching = switching_lag < 50;
    auto mark = [](bool ok) { return ok ? "ok" : "MISSED"; };
    std::printf("%d definitions of %d holding registers, kept connection, scan rate 0; values changing every %d ms\n",
                definitions, register_count, change_ms);
    std::printf("one poll into the shown tab's cells (fill_value_cells, median of %d), every value changing:\n",
                fill_rounds * fills_per_round);
    std::printf("  %zu points: %.1f us; without points: %.1f us; the points' reading alone (no GTK): %.1f us\n",
                f.fill.point_count, f.fill.points_us, f.fill.plain_us, f.fill.reading_us);
    std::printf("  the same values again: %.1f us with points, %.1f us without\n", f.fill.points_unchanged_us,
                f.fill.plain_unchanged_us);
    std::printf("  the first cells while polling: %s\n", f.sample_text.c_str());
    std::printf("polling, windows of %d ms taking turns (%d with points, %d without):\n", window_ms, turns, turns + 1);
    print_side("with points", f.points);
    print_side("without points", f.plain);
    auto [low, high] = std::minmax_element(f.ratios.begin(), f.ratios.end());
    std::printf("  ratio %.3f (%.3f to %.3f; target >= 0.9) %s; lag p99 with points %.1f ms (target < 50) %s\n", ratio,
                *low, *high, mark(ok_ratio), lag, mark(ok_lag));
    std::printf("the shown tab changing every 100 ms, %d ms each:\n", switching_ms);
    print_side("with points", f.points_switching);
    print_side("without points", f.plain_switching);
    std::printf("  lag p99 with points %.1f ms (target < 50) %s\n", switching_lag, mark(ok_switching));
    return ok_ratio && ok_lag && ok_switching ? 0 : 1;
}
