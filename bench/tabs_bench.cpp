// Several poll definitions on one link. One run measures, against a local
// libmodbus TCP server (125 holding registers, in a child process so its CPU
// is not counted), ten definitions of 125 registers each in the real window
// on a kept connection:
//   - all ten at scan rate 0, in windows taking turns with a bare libmodbus
//     loop that connects once and then only reads: target, a median ratio
//     of requests per second of at least 0.9, and the requests of the ten
//     definitions within 10 % of each other;
//   - one at 1000 ms beside nine at scan rate 0: target, every gap between
//     its polls 1000 ms ± 50 ms;
//   - all ten at 1000 ms: target, the process's CPU under 1 % of a core;
//   - all ten at scan rate 0 while the shown tab changes every 100 ms:
//     target, a 10 ms main-loop timer's lag under 50 ms at the 99th
//     percentile.
// The server is pinned to one core, the polling thread (bare loop or
// worker) and the user-interface thread to the other, alike for both loops.
//
//   ./scripts/headless build/bench/tabs_bench
//
// Exit status 0 when every target is met, 1 when one is missed, 2 when the
// set-up failed.

#include <gtk/gtk.h>
#include <modbus.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "app/application.hpp"
#include "bench_support.hpp"
#include "window_polling.hpp"
#include "handover/chart_feed.hpp"
#include "link/worker.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

using namespace bench;

constexpr int definitions = 10;
constexpr int window_ms = 1500;
constexpr int turns = 4;
constexpr int idle_seconds = 10;
constexpr int server_cpu = 0, poller_cpu = 1;

LinkState& link() { return *shown_link(app().tabs).link; }

double bare_requests_per_second(int port)
{
    std::vector<uint16_t> registers(register_count);
    modbus_t* context = modbus_new_tcp("127.0.0.1", port);
    long requests = 0;
    gint64 start = 0;
    if (modbus_connect(context) == 0) {
        pin(thread_id(), poller_cpu);
        start = g_get_monotonic_time();
        while (g_get_monotonic_time() - start < window_ms * 1000 &&
               modbus_read_registers(context, 0, register_count, registers.data()) > 0)
            ++requests;
    }
    modbus_close(context);
    modbus_free(context);
    return start ? requests / (double(g_get_monotonic_time() - start) / 1e6) : 0;
}

// Every tab's scan rate, the first's apart, handed to the link.
void set_scan_rates(PollTabs& main, uint32_t first, uint32_t others)
{
    for (auto& tab : main.tabs)
        tab->definition->poll.scan_rate = tab.get() == main.tabs.front().get() ? first : others;
    hand_poll_definitions(main);
}

bool start_polling()
{
    return start_window_polling(poller_cpu);
}

void stop_polling()
{
    stop_window_polling();
    run_loop_for(100);
}

struct Figures {
    double ratio = 0, ratio_low = 0, ratio_high = 0, bare = 0, program = 0;
    double spread = 0;  // (most - fewest) / most requests of one definition
    double gap_low = 0, gap_high = 0;
    size_t gaps = 0;
    double idle_cpu = 0;
    double lag_p99_ms = 0;
};

void measure_throughput(const ServerChild& server, PollTabs& main, Figures& f)
{
    set_scan_rates(main, 0, 0);
    for (auto& tab : main.tabs)
        reset_statistics(*tab->figures);
    std::vector<double> bare, program, ratios;
    bare.push_back(bare_requests_per_second(server.port));
    for (int turn = 0; turn < turns; ++turn) {
        if (!start_polling())
            return;
        size_t from = server.request_count();
        gint64 start = g_get_monotonic_time();
        run_loop_for(window_ms);
        program.push_back(double(server.request_count() - from) / (double(g_get_monotonic_time() - start) / 1e6));
        stop_polling();
        bare.push_back(bare_requests_per_second(server.port));
        ratios.push_back(program.back() / ((bare[size_t(turn)] + bare[size_t(turn) + 1]) / 2));
    }
    f.bare = median(bare);
    f.program = median(program);
    f.ratio = median(ratios);
    f.ratio_low = *std::min_element(ratios.begin(), ratios.end());
    f.ratio_high = *std::max_element(ratios.begin(), ratios.end());
    std::vector<uint64_t> polls;
    for (auto& tab : main.tabs)
        polls.push_back(take_snapshot(*tab->figures).polls);
    auto [fewest, most] = std::minmax_element(polls.begin(), polls.end());
    f.spread = *most ? double(*most - *fewest) / double(*most) : 1;
}

void measure_slow_beside_fast(PollTabs& main, Figures& f)
{
    set_scan_rates(main, 1000, 0);
    ChartFeed& feed = *app().links.chart;
    set_chart_recording(feed, true);
    uint16_t key = main.tabs.front()->definition->key;
    std::vector<int64_t> times;
    PolledBlocks taken;
    if (start_polling()) {
        gint64 end = g_get_monotonic_time() + 5'600'000;
        while (g_get_monotonic_time() < end) {
            run_loop_for(20);
            take_polled_blocks(feed, taken);
            for (const PolledBlock& block : taken.blocks)
                if (block.key == key && block.ok)
                    times.push_back(block.time_ms);
        }
        stop_polling();
    }
    set_chart_recording(feed, false);
    f.gap_low = 1e9;
    for (size_t i = 1; i < times.size(); ++i) {
        double gap = double(times[i] - times[i - 1]);
        f.gap_low = std::min(f.gap_low, gap);
        f.gap_high = std::max(f.gap_high, gap);
        ++f.gaps;
    }
}

void measure_idle(PollTabs& main, Figures& f)
{
    set_scan_rates(main, 1000, 1000);
    if (!start_polling())
        return;
    run_loop_for(1000);
    long before = cpu_ticks(0);
    gint64 start = g_get_monotonic_time();
    run_loop_for(idle_seconds * 1000);
    f.idle_cpu = percent_of_core(cpu_ticks(0) - before, double(g_get_monotonic_time() - start) / 1e6);
    stop_polling();
}

void measure_switching(PollTabs& main, Figures& f)
{
    set_scan_rates(main, 0, 0);
    if (!start_polling())
        return;
    LagProbe probe;
    guint probe_source = g_timeout_add(probe_interval_ms, on_probe, &probe);
    guint switcher = g_timeout_add(100, [](gpointer m) -> gboolean {
        step_poll_tab(*static_cast<PollTabs*>(m), 1);
        return G_SOURCE_CONTINUE;
    }, &main);
    run_loop_for(4000);
    g_source_remove(switcher);
    g_source_remove(probe_source);
    stop_polling();
    std::sort(probe.lags_us.begin(), probe.lags_us.end());
    f.lag_p99_ms = probe.lags_us.empty() ? 1e9 : probe.lags_us[probe.lags_us.size() * 99 / 100] / 1000.0;
}

}  // namespace

int main()
{
    ServerChild server;
    if (!start_server(server)) {
        std::fprintf(stderr, "no Modbus server\n");
        return 2;
    }
    pin_process(server.pid, server_cpu);
    pin(thread_id(), poller_cpu);
    if (!open_bench_window("tabs_bench"))
        return 2;
    PollTabs& main = app().tabs;
    hand_poll_definition(main, PollDefinition{1, 3, 0, uint8_t(register_count), 0});
    while (main.tabs.size() < definitions)
        add_poll_tab(main, main.tab->definition->poll);
    ConnectionSettings settings;
    settings.device = "127.0.0.1";
    settings.baud_or_port = uint32_t(server.port);
    settings.use_tcp = true;
    settings.keep_open = true;
    store_connection_settings(link(), settings);
    run_loop_for(500);

    Figures f;
    measure_throughput(server, main, f);
    measure_slow_beside_fast(main, f);
    measure_idle(main, f);
    measure_switching(main, f);

    bool ok_rate = f.ratio >= 0.9, ok_spread = f.spread <= 0.10;
    bool ok_gaps = f.gaps >= 4 && f.gap_low >= 950 && f.gap_high <= 1050;
    bool ok_idle = f.idle_cpu < 1.0, ok_lag = f.lag_p99_ms < 50;
    auto mark = [](bool ok) { return ok ? "ok" : "MISSED"; };
    std::printf("ten definitions of %d registers, kept connection\n", register_count);
    std::printf("  scan rate 0: program %.0f, bare libmodbus %.0f requests/s; ratio %.3f (%.3f to %.3f, "
                "median of %d turns; target >= 0.9) %s\n",
                f.program, f.bare, f.ratio, f.ratio_low, f.ratio_high, turns, mark(ok_rate));
    std::printf("  requests per definition: spread %.1f %% (target <= 10 %%) %s\n", f.spread * 100, mark(ok_spread));
    std::printf("  one at 1000 ms beside nine at 0: %zu gaps from %.0f to %.0f ms (target 950 to 1050) %s\n", f.gaps,
                f.gap_low, f.gap_high, mark(ok_gaps));
    std::printf("  all at 1000 ms: %.2f %% of a core over %d s (target < 1 %%) %s\n", f.idle_cpu, idle_seconds,
                mark(ok_idle));
    std::printf("  switching tabs every 100 ms at scan rate 0: main-loop lag p99 %.1f ms (target < 50) %s\n",
                f.lag_p99_ms, mark(ok_lag));
    kill(server.pid, SIGTERM);
    return ok_rate && ok_spread && ok_gaps && ok_idle && ok_lag ? 0 : 1;
}
