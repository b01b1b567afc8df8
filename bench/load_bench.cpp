// Loading a large set-up while polling. The real window polls a local
// libmodbus TCP server (in a child process) at scan rate 0 on a kept
// connection, and loads a file of 64 definitions of 125 holding registers
// each, labelled. A timer of high priority stamps the main loop every
// millisecond; the longest gap between its stamps is the longest time the
// window could neither redraw nor take input, shown beside the most CPU time
// the main thread spent within one gap. Measured:
//   - the load from one tab, then from 64 tabs whose grids were all built
//     (each tab shown once before), as the program loads;
//   - every tab shown in turn, one every 50 ms: the longest switch, which
//     builds the tab's grid the first time;
//   - beside them, the old way: the load with every tab's grid built at once
//     in the same turn of the loop.
// Target: the longest block of either load under 100 ms.
//
//   ./scripts/headless build/bench/load_bench
//
// Exit status 0 when the target is met, 1 when it is missed, 2 when the
// set-up failed.

#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <signal.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "app/application.hpp"
#include "bench_support.hpp"
#include "window_polling.hpp"
#include "config/config_dialogs.hpp"
#include "link/worker.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

using namespace bench;

constexpr int definitions = 64;
constexpr int settle_ms = 1500;
constexpr double target_ms = 100;

LinkState& link() { return *shown_link(app().tabs).link; }

std::string file_text()
{
    std::string text = "Brenvaldor V.1.0.0\n";
    for (int i = 0; i < definitions; ++i) {
        int address = i * register_count;
        text += "POLL slave=1 fcode=3 address=" + std::to_string(address) +
                " length=" + std::to_string(register_count) + " scan_rate=0\n";
        text += "NAME \"Drive " + std::to_string(i) + "\"\nLABELS 1\n";
        for (int n = 0; n < register_count; n += 25)
            text += "LABEL " + std::to_string(address + n) + " \"Point " + std::to_string(n) + "\"\n";
    }
    return text;
}

// The longest gap between two stamps of a 1 ms timer that yields to
// nothing, and the most CPU time the main thread spent within one gap: on a
// machine shared with other work a block takes longer than its CPU time.
struct BlockProbe {
    gint64 last = 0, last_cpu = 0;
    gint64 longest_us = 0, most_cpu_us = 0;
    guint source = 0;
};

struct Block {
    double wall_ms = 0, cpu_ms = 0;
};

gint64 thread_cpu_us()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return gint64(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
}

gboolean on_stamp(gpointer data)
{
    BlockProbe& probe = *static_cast<BlockProbe*>(data);
    gint64 now = g_get_monotonic_time(), cpu = thread_cpu_us();
    if (probe.last) {
        probe.longest_us = std::max(probe.longest_us, now - probe.last);
        probe.most_cpu_us = std::max(probe.most_cpu_us, cpu - probe.last_cpu);
    }
    probe.last = now;
    probe.last_cpu = cpu;
    return G_SOURCE_CONTINUE;
}

void start_probe(BlockProbe& probe)
{
    probe = BlockProbe{};
    probe.source = g_timeout_add_full(G_PRIORITY_HIGH, 1, on_stamp, &probe, nullptr);
}

Block stop_probe(BlockProbe& probe)
{
    g_source_remove(std::exchange(probe.source, 0));
    return Block{double(probe.longest_us) / 1000.0, double(probe.most_cpu_us) / 1000.0};
}

// The longest block of the main loop while action runs in one of its turns
// and the window settles after it.
Block longest_block(const std::function<void()>& action)
{
    BlockProbe probe;
    start_probe(probe);
    run_loop_for(100);
    auto call = [](gpointer a) { (*static_cast<const std::function<void()>*>(a))(); };
    g_timeout_add_once(0, call, const_cast<std::function<void()>*>(&action));
    run_loop_for(1);  // the action's turn, however long it takes
    run_loop_for(settle_ms);
    return stop_probe(probe);
}

// Shows every tab in turn, one every 50 ms, and the first again.
Block longest_switch(PollTabs& main)
{
    BlockProbe probe;
    start_probe(probe);
    for (auto& tab : main.tabs) {
        show_poll_tab(main, *tab);
        run_loop_for(50);
    }
    show_poll_tab(main, *main.tabs.front());
    run_loop_for(200);
    return stop_probe(probe);
}

// What loading cost before grids were built on demand: every tab's grid
// built in the turn of the loop that loads.
void load_building_every_grid(PollTabs& main, const char* path)
{
    load_configuration_file(app().set_up_files, path);
    for (auto& tab : main.tabs)
        show_poll_tab(main, *tab);
    show_poll_tab(main, *main.tabs.front());
}

bool start_polling(int port)
{
    store_connection_settings(link(), kept_local_tcp(port));
    hand_poll_definition(app().tabs, PollDefinition{1, 3, 0, uint8_t(register_count), 0});
    link().running.store(true);
    if (!start_worker(shown_link(app().tabs).link, shown_link(app().tabs).reports))
        return false;
    gint64 deadline = g_get_monotonic_time() + 5'000'000;
    while (active_workers(link()) == 0 && g_get_monotonic_time() < deadline)
        run_loop_for(2);
    return active_workers(link()) > 0;
}

// The shown tab's second cell holds the server's value once a poll came back.
bool values_shown(const PollTabs& main)
{
    const PollTab& tab = *main.tab;
    return tab.table.value_cells.size() == size_t(register_count) &&
           std::string(gtk_label_get_text(tab.table.value_cells[1])) == (tab.definition->poll.address == 0 ? "257" : "0");
}

}  // namespace

int main()
{
    ServerChild server;
    if (!start_server(server)) {
        std::fprintf(stderr, "no Modbus server\n");
        return 2;
    }
    if (!open_bench_window("load_bench"))
        return 2;
    PollTabs& main = app().tabs;
    g_autofree char* folder = g_dir_make_tmp("load-bench-XXXXXX", nullptr);
    std::string path = std::string(folder) + "/plant.dat";
    std::ofstream(path, std::ios::binary) << file_text();
    if (!start_polling(server.port)) {
        std::fprintf(stderr, "the window did not poll\n");
        return 2;
    }
    run_loop_for(500);
    Block idle = longest_block([] {});
    Block first = longest_block([&] { load_configuration_file(app().set_up_files, path.c_str()); });
    bool loaded = main.tabs.size() == size_t(definitions) && values_shown(main);
    Block switching = longest_switch(main);
    Block again = longest_block([&] { load_configuration_file(app().set_up_files, path.c_str()); });
    loaded = loaded && values_shown(main);
    longest_switch(main);
    Block old_way = longest_block([&] { load_building_every_grid(main, path.c_str()); });
    kill(server.pid, SIGTERM);
    g_remove(path.c_str());
    g_rmdir(folder);
    if (!loaded) {
        std::fprintf(stderr, "the set-up did not load and show its values\n");
        return 2;
    }

    bool ok = std::max(first.wall_ms, again.wall_ms) < target_ms;
    std::printf("%d definitions of %d registers at scan rate 0, kept connection\n", definitions, register_count);
    std::printf("longest main-loop block, and the most CPU time of one block:\n");
    auto row = [](const char* what, Block b) { std::printf("  %-34s %7.1f ms  %6.1f ms\n", what, b.wall_ms, b.cpu_ms); };
    row("polling, nothing else", idle);
    row("load from one tab", first);
    row("each tab shown in turn", switching);
    row("load over 64 tabs shown before", again);
    row("the old way: every grid at load", old_way);
    std::printf("target: each load under %.0f ms: %s\n", target_ms, ok ? "met" : "MISSED");
    return ok ? 0 : 1;
}
