// Keeping up with the wire. One run measures, against the same local
// libmodbus TCP server (125 holding registers, run in a child process so its
// memory and CPU are not counted):
//   - the real window polling at scan rate 0 with the Logger shown and
//     recording to a file, accessibility left at its default, for the run's
//     length: user-interface and worker CPU, main-loop lag, memory, the file;
//   - that window again in short windows taking turns with a bare libmodbus
//     loop (new context, connect, read, close, free), both pinned alike in
//     each of three placements (see Placement): target, a median ratio of
//     at least 0.9;
//   - likewise with "Keep connection open" on, against a bare libmodbus loop
//     that connects once and then only reads: target, a median ratio of at
//     least 0.95;
//   - beside each series the system calls per cycle of the program's worker
//     and of the bare loop's thread (target: no more than the library's,
//     binding only when the kernel counts them, see SyscallCounter);
//   - the same window, Logger folded, polling every 1000 ms (idle CPU).
// It prints cycles per second of both loops and their ratio, user-interface
// and worker thread CPU, how late a 10 ms main-loop timer fires, resident
// memory at 10 s and at the end, whether the files hold every line, and the
// frames drawn a second at idle.
//
// Short windows taking turns: this virtual machine's speed wanders twofold
// within minutes, so one bare window before and one after the program's
// decides nothing. Each program window is set against the mean of the bare
// windows just before and just after it, which also cancels a steady drift;
// the figure is the median of those ratios, with their range beside it.
//
//   ./scripts/headless build/bench/logger_bench [seconds [frozen-statistics|folded-logger]]
//
// seconds (the long run at scan rate 0) defaults to 60, and the whole run
// then takes about four minutes; with frozen-statistics the statistics line
// under the grid does not follow the link during the run, with
// folded-logger the Logger is folded (still recording) during the series.
// LOGGER_BENCH_SERIES=cycle (or =kept) leaves the other series out.
//
// Exit status 0 when every target is met, 1 when one is missed, 2 when the
// set-up failed.

#include <gtk/gtk.h>
#include <modbus.h>
#include <dirent.h>
#include <linux/perf_event.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/application.hpp"
#include "link/link_state.hpp"
#include "link/worker.hpp"
#include "support/gtk_test_env.hpp"
#include "logger/logger_pane.hpp"
#include "support/modbus_test_server.hpp"
#include "bench_support.hpp"
#include "syscall_counter.hpp"

namespace {

using namespace bench;

constexpr int control_ms = 4000;
constexpr int idle_seconds = 10;
// The program's windows are five starts of the worker, each timed from its
// first cycle; the bare loop has one window more, one either side of each.
constexpr int window_ms = 1500;
constexpr int program_windows = 5;
// System calls are counted in windows of their own: even the kernel's
// counter slows every call a little, and strace a great deal.
constexpr int syscall_window_ms = 1000;

double bare_cycles_per_second(int port, int milliseconds)
{
    std::vector<uint16_t> registers(register_count);
    gint64 start = g_get_monotonic_time(), end = start + gint64(milliseconds) * 1000;
    long cycles = 0;
    while (g_get_monotonic_time() < end) {
        modbus_t* context = modbus_new_tcp("127.0.0.1", port);
        if (modbus_connect(context) == 0 && modbus_read_registers(context, 0, register_count, registers.data()) > 0)
            ++cycles;
        modbus_close(context);
        modbus_free(context);
    }
    return cycles / (double(g_get_monotonic_time() - start) / 1e6);
}

// Where the server, the polling thread (the bare loop or the worker) and the
// user-interface thread run. Over loopback a reply that wakes a thread on
// an idle core costs this virtual machine about 35 us, and one on the busy
// core almost nothing, so the bare kept loop makes 14,000 or 120,000 cycles a
// second depending only on where the scheduler happens to put it. Each
// placement is therefore measured for both loops alike. cpu < 0: any core.
struct Placement {
    const char* name;
    int server_cpu, poller_cpu, ui_cpu;
};

constexpr Placement placements[] = {
    {"as the scheduler puts them", -1, -1, -1},
    {"server and poller on one core", 0, 0, 1},
    {"server on one core, poller and UI on the other", 0, 1, 1},
};

struct BareWindow {
    double rate = 0;
    long exchanges = 0;
    long syscalls = -1;  // counted only when asked for
};

// The library's own loop in a thread of its own pinned to cpu: with
// keep_open one connection, then reads only; without, a new context,
// connect, read, close and free for every read, as a poller that keeps no
// connection must.
BareWindow bare_window(int port, int cpu, bool keep_open, int milliseconds, bool count_syscalls = false)
{
    BareWindow window;
    std::thread([&] {
        pin(0, cpu);
        std::vector<uint16_t> registers(register_count);
        modbus_t* kept = keep_open ? modbus_new_tcp("127.0.0.1", port) : nullptr;
        if (keep_open && (!kept || modbus_connect(kept) != 0)) {
            modbus_free(kept);
            return;
        }
        SyscallCounter counter;
        bool counting = count_syscalls && counter.start(thread_id());
        gint64 start = g_get_monotonic_time(), end = start + gint64(milliseconds) * 1000;
        while (g_get_monotonic_time() < end) {
            modbus_t* context = keep_open ? kept : modbus_new_tcp("127.0.0.1", port);
            bool read = (keep_open || modbus_connect(context) == 0) &&
                        modbus_read_registers(context, 0, register_count, registers.data()) > 0;
            window.exchanges += read ? 1 : 0;
            if (!keep_open) {
                modbus_close(context);
                modbus_free(context);
            } else if (!read) {
                break;
            }
        }
        gint64 stop = g_get_monotonic_time();
        if (counting)
            window.syscalls = counter.stop();
        window.rate = window.exchanges / (double(stop - start) / 1e6);
        if (kept) {
            modbus_close(kept);
            modbus_free(kept);
        }
    }).join();
    return window;
}

long resident_kib()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(4096, '\n');
    }
    return -1;
}

struct FileCheck {
    size_t tx = 0;
    size_t rx = 0;
    bool in_order = true;
    std::string first_fault;
};

// The file must hold request and response lines alternately, each whole,
// with times that never go back, and end with what the ring holds.
FileCheck check_log_file(const std::string& path, const LogHistory& ring)
{
    FileCheck check;
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line + "\n");
    auto fault = [&](size_t n, const char* what) {
        if (check.in_order)
            check.first_fault = "line " + std::to_string(n + 1) + ": " + what;
        check.in_order = false;
    };
    const std::string tx_text = " TX: 01 03 00 00 00 7D\n";
    const size_t rx_length = 8 + 5 + 3 * (3 + 2 * register_count) - 1 + 1;
    std::string last_time;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        bool tx = line.size() == 8 + tx_text.size() && line.compare(8, std::string::npos, tx_text) == 0;
        bool rx = line.size() == rx_length && line.compare(8, 14, " RX: 01 03 FA ") == 0;
        if (!tx && !rx)
            fault(n, "not a whole TX or RX line");
        else if (tx != (n % 2 == 0))
            fault(n, "TX and RX out of turn");
        std::string time = line.substr(0, 8);
        if (time < last_time && last_time.substr(0, 2) != "23")
            fault(n, "time went back");
        last_time = time;
        (tx ? check.tx : check.rx) += 1;
    }
    if (lines.size() < ring.count)
        fault(lines.size(), "fewer lines than the ring holds");
    for (unsigned i = 0; i < ring.count && i < lines.size(); ++i)
        if (lines[lines.size() - ring.count + i] != log_line_at(ring, i).text) {
            fault(lines.size() - ring.count + i, "differs from the ring");
            break;
        }
    return check;
}

void poll_server(int port, uint32_t scan_rate, bool keep_open = false)
{
    ConnectionSettings settings;
    settings.keep_open = keep_open;
    settings.use_tcp = true;
    settings.device = "127.0.0.1";
    settings.baud_or_port = static_cast<uint32_t>(port);
    store_connection_settings(settings);
    PollDefinition poll;
    poll.slave = 1;
    poll.fcode = 3;
    poll.address = 0;
    poll.length = register_count;
    poll.scan_rate = scan_rate;
    store_poll_definition(poll);
    app_link().running.store(true);
    start_worker();
}

// With settle, the user interface also takes the last lines the worker
// posted; between windows the next start pause leaves it time for them.
void stop_polling(bool settle = true)
{
    app_link().running.store(false);
    signal_wake();
    gint64 deadline = g_get_monotonic_time() + 5000000;
    while (worker_threads() > 0 && g_get_monotonic_time() < deadline)
        run_loop_for(5);
    if (settle)
        run_loop_for(300);
}

// The worker sleeps a second after its start; a window opens at its first
// cycle.
bool wait_for_first_cycle()
{
    gint64 deadline = g_get_monotonic_time() + 5000000;
    while (active_workers() == 0 && g_get_monotonic_time() < deadline)
        run_loop_for(2);
    return active_workers() > 0;
}

// What the program's windows of one series did in all.
struct ProgramRuns {
    int starts = 0;
    size_t requests = 0;
    size_t connections = 0;
    long syscalls = -1;  // of the worker of the start that counted them
    size_t counted_exchanges = 0;
    // CPU of the user-interface thread and of the worker in the timed windows.
    long ui_ticks = 0, worker_ticks = 0;
    double seconds = 0;

    double ui_percent() const { return seconds > 0 ? percent_of_core(ui_ticks, seconds) : 0; }
    double worker_percent() const { return seconds > 0 ? percent_of_core(worker_ticks, seconds) : 0; }
};

// The requests a second that the server saw in one timed window, and what
// the user-interface thread and the worker spent meanwhile.
double timed_window(const ServerChild& server, int worker, ProgramRuns& runs)
{
    size_t from = server.request_count();
    long ui_from = cpu_ticks(getpid()), worker_from = cpu_ticks(worker);
    gint64 start = g_get_monotonic_time();
    run_loop_for(window_ms);
    double seconds = double(g_get_monotonic_time() - start) / 1e6;
    runs.ui_ticks += cpu_ticks(getpid()) - ui_from;
    runs.worker_ticks += cpu_ticks(worker) - worker_from;
    runs.seconds += seconds;
    return double(server.request_count() - from) / seconds;
}

// One start of the window's polling at scan rate 0, its worker pinned to
// cpu while it still sleeps (cpu < 0: any core), timed from its first cycle.
//
// With count_syscalls the system calls of the worker's whole life are
// counted instead, from its start pause to its end, against every request
// the server saw meanwhile: asking the server for its count takes a trip
// to another process, which under load may take milliseconds, while the
// worker's few calls to connect, pause and end are lost among thousands of
// exchanges.
double program_window(const ServerChild& server, bool keep_open, int cpu, ProgramRuns& runs,
                      bool count_syscalls = false)
{
    size_t requests_before = server.request_count();
    size_t connections_before = server.connection_count();
    std::set<int> before = thread_ids();
    poll_server(server.port, 0, keep_open);
    int worker = started_worker(before);
    if (worker)
        pin(worker, cpu);
    SyscallCounter counter;
    bool counting = count_syscalls && worker && counter.start(worker);
    double rate = 0;
    if (wait_for_first_cycle() && count_syscalls)
        run_loop_for(syscall_window_ms);
    else if (active_workers() > 0)
        rate = timed_window(server, worker, runs);
    stop_polling(false);
    size_t requests = server.request_count() - requests_before;
    if (counting) {
        runs.syscalls = counter.stop();
        runs.counted_exchanges = requests;
    }
    runs.starts += 1;
    runs.requests += requests;
    runs.connections += server.connection_count() - connections_before;
    return rate;
}

// Bare and program windows taking turns, a bare one first and last. Each
// program window is set against the mean of the bare windows either side.
struct Turns {
    std::vector<double> bare, program, ratios;

    double ratio() const { return median(ratios); }
    double lowest() const { return ratios.empty() ? 0 : *std::min_element(ratios.begin(), ratios.end()); }
    double highest() const { return ratios.empty() ? 0 : *std::max_element(ratios.begin(), ratios.end()); }
};

// bare_window() and program_window() each measure one window in cycles per
// second.
template <class Bare, class Program>
Turns take_turns(Bare bare_window, Program program_window)
{
    Turns turns;
    turns.bare.push_back(bare_window());
    for (int i = 0; i < program_windows; ++i) {
        turns.program.push_back(program_window());
        turns.bare.push_back(bare_window());
        double around = (turns.bare[size_t(i)] + turns.bare[size_t(i) + 1]) / 2;
        turns.ratios.push_back(around > 0 ? turns.program.back() / around : 0);
    }
    return turns;
}

double per_exchange(long syscalls, size_t exchanges)
{
    return syscalls >= 0 && exchanges > 0 ? double(syscalls) / double(exchanges) : -1;
}

bool lines_complete(const FileCheck& file, size_t requests)
{
    return file.in_order && file.tx == requests && file.rx == requests && requests > 0;
}

std::string lines_text(const FileCheck& file, size_t requests)
{
    return std::to_string(file.tx) + " TX + " + std::to_string(file.rx) + " RX lines for " +
           std::to_string(requests) + " requests, " + (file.in_order ? "in order" : "OUT OF ORDER: ") +
           file.first_fault;
}

constexpr double kept_target = 0.95;
constexpr double cycle_target = 0.9;

// One series of windows in one placement: the program with "Keep
// connection open" on or off against the library's loop that does the same.
struct SeriesFigures {
    const Placement* placement = nullptr;
    bool keep_open = false;
    Turns turns;
    ProgramRuns runs;
    BareWindow bare_counted;
    FileCheck file;
    bool ok = false;

    double target() const { return keep_open ? kept_target : cycle_target; }
    double program_syscalls() const { return per_exchange(runs.syscalls, runs.counted_exchanges); }
    double bare_syscalls() const { return per_exchange(bare_counted.syscalls, size_t(bare_counted.exchanges)); }
    // Compared as printed, to two places: a futex now and then is no miss.
    bool syscalls_counted() const { return program_syscalls() >= 0 && bare_syscalls() >= 0; }
    bool syscalls_ok() const
    {
        return std::lround(program_syscalls() * 100) <= std::lround(bare_syscalls() * 100);
    }
    // Kept: each start makes one connection and keeps it to the end. Not
    // kept: one a read, and perhaps one more that a stop cut short.
    bool connections_ok() const
    {
        if (keep_open)
            return runs.connections == size_t(runs.starts);
        return runs.connections >= runs.requests && runs.connections <= runs.requests + size_t(runs.starts);
    }
};

// Scan rate 0, the Logger shown and recording to a file of its own, taking
// turns with the library's loop; then a window of each whose system calls
// are counted.
SeriesFigures measure_series(const ServerChild& server, LoggerPane& pane, const std::string& folder,
                             const Placement& placement, bool keep_open)
{
    SeriesFigures s;
    s.placement = &placement;
    s.keep_open = keep_open;
    std::string path = folder + "/series.log";
    if (!start_recording(pane, path.c_str()))
        return s;
    pin_process(server.pid, placement.server_cpu);
    pin(0, placement.ui_cpu);
    int cpu = placement.poller_cpu;
    s.turns = take_turns([&] { return bare_window(server.port, cpu, keep_open, window_ms).rate; },
                         [&] { return program_window(server, keep_open, cpu, s.runs); });
    program_window(server, keep_open, cpu, s.runs, true);
    s.bare_counted = bare_window(server.port, cpu, keep_open, syscall_window_ms, true);
    run_loop_for(300);  // the last posted lines
    stop_recording(pane);
    pin(0, -1);
    pin_process(server.pid, -1);
    s.file = check_log_file(path, pane.history);
    std::remove(path.c_str());  // a fast run writes hundreds of megabytes
    s.ok = s.turns.ratio() >= s.target() && s.connections_ok() && lines_complete(s.file, s.runs.requests) &&
           (!SyscallCounter::decides() || !s.syscalls_counted() || s.syscalls_ok());
    return s;
}

std::string syscalls_text(double per_exchange)
{
    char text[32];
    if (per_exchange < 0)
        return "-";
    std::snprintf(text, sizeof text, "%.2f", per_exchange);
    return text;
}

void print_series(const std::vector<SeriesFigures>& all, bool keep_open)
{
    if (std::none_of(all.begin(), all.end(), [&](const SeriesFigures& s) { return s.keep_open == keep_open; }))
        return;
    const char* unit = keep_open ? "exchange" : "cycle";
    std::printf("%s, Logger recording: %d program windows of %.1f s, each against the bare windows\n"
                "either side (cycles per second: medians; target: median ratio >= %.2f)\n",
                keep_open ? "kept connection" : "a new connection each cycle", program_windows, window_ms / 1000.0,
                keep_open ? kept_target : cycle_target);
    std::printf("system calls per %s in a further %.1f s of each, program's worker (its whole life) against\n"
                "the bare loop's thread, counted by %s\n(target: program <= library%s)\n",
                unit, syscall_window_ms / 1000.0, SyscallCounter::method_name(),
                SyscallCounter::decides() ? "" : "; not counted in the exit status");
    std::string calls = std::string("calls/") + unit;
    std::printf("  %-46s %7s %7s %5s %-10s %15s\n", "", "", "", "", "", calls.c_str());
    std::printf("  %-46s %7s %7s %5s %-10s %7s %7s\n", "placement", "bare", "program", "ratio", "range", "program",
                "library");
    for (const SeriesFigures& s : all) {
        if (s.keep_open != keep_open)
            continue;
        char range[32];
        std::snprintf(range, sizeof range, "%.2f-%.2f", s.turns.lowest(), s.turns.highest());
        const char* verdict = !s.syscalls_counted() ? "" : s.syscalls_ok() ? "  met" : "  MISSED";
        std::printf("  %-46s %7.0f %7.0f %5.2f %-10s %7s %7s%s\n", s.placement->name, median(s.turns.bare),
                    median(s.turns.program), s.turns.ratio(), range, syscalls_text(s.program_syscalls()).c_str(),
                    syscalls_text(s.bare_syscalls()).c_str(), verdict);
        std::printf("    %zu connection%s for %d starts%s, %s\n", s.runs.connections,
                    s.runs.connections == 1 ? "" : "s", s.runs.starts, s.connections_ok() ? "" : " (WRONG)",
                    lines_text(s.file, s.runs.requests).c_str());
        std::printf("    in the program's windows: UI thread %.1f %%, worker %.1f %% of a core\n", s.runs.ui_percent(),
                    s.runs.worker_percent());
    }
}

struct Figures {
    double program = 0;  // over the long run
    double ui_cpu = 0, worker_cpu = 0, idle_cpu = 0;
    unsigned idle_frames = 0;
    std::string renderer;  // the window's, and whether the program chose it
    double p99_ms = 0, worst_ms = 0, control_p99_ms = 0;
    long rss_10s = 0, rss_end = 0;
    size_t requests = 0;
    FileCheck file;
};

void print_figures(const Figures& f, int seconds, bool ok)
{
    std::printf("renderer              %s\n", f.renderer.c_str());
    std::printf("duration              %d s at scan rate 0, then the series above, %d s at 1000 ms\n", seconds,
                idle_seconds);
    std::printf("program, scan rate 0  %.0f cycles per second over the %d s run, a new connection each cycle\n",
                f.program, seconds);
    std::printf("UI thread CPU         %.1f %% of a core\n", f.ui_cpu);
    std::printf("worker CPU            %.1f %% of a core\n", f.worker_cpu);
    std::printf("main-loop lag         p99 %.1f ms (< 50), worst %.1f ms (< 250)\n", f.p99_ms, f.worst_ms);
    std::printf("  (control: empty main loop beside the bare loop, p99 %.1f ms)\n", f.control_p99_ms);
    std::printf("resident memory       %.1f MiB at 10 s, %.1f MiB at %d s (%+.2f MiB, < 5)\n", f.rss_10s / 1024.0,
                f.rss_end / 1024.0, seconds, (f.rss_end - f.rss_10s) / 1024.0);
    std::printf("log file              %s\n", lines_text(f.file, f.requests).c_str());
    std::printf("idle CPU, 1000 ms     %.2f %% of a core (< 1), %.1f frames drawn a second\n", f.idle_cpu,
                f.idle_frames / double(idle_seconds));
    std::printf("targets               %s\n", ok ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    if (seconds < 12)
        seconds = 12;
    ServerChild server;
    if (!start_server(server)) {
        std::fprintf(stderr, "no Modbus server\n");
        return 2;
    }
    bool user_renderer = g_getenv("GSK_RENDERER") != nullptr;
    gtk_disable_setlocale();
    g_set_prgname("brenvaldor");
    g_log_set_writer_func(discard_log_messages, nullptr, nullptr);
    if (!gtk_init_check()) {
        std::fprintf(stderr, "logger_bench needs an X server (run it under ./scripts/headless)\n");
        return 2;
    }
    Figures f;
    // The bare loop in a thread beside an empty main loop: that loop's lag
    // is what the machine alone costs a 10 ms timer.
    std::thread bare([&] { bare_cycles_per_second(server.port, control_ms); });
    LagProbe control;
    guint control_source = g_timeout_add(probe_interval_ms, on_probe, &control);
    run_loop_for(control_ms);
    bare.join();
    g_source_remove(control_source);
    std::sort(control.lags_us.begin(), control.lags_us.end());
    f.control_p99_ms = control.lags_us.empty() ? 0 : control.lags_us[control.lags_us.size() * 99 / 100] / 1000.0;

    GtkApplication* application = create_application(G_APPLICATION_NON_UNIQUE);
    g_application_register(G_APPLICATION(application), nullptr, nullptr);
    g_application_activate(G_APPLICATION(application));
    LoggerPane& pane = app().logger;
    GskRenderer* drawing = gtk_native_get_renderer(GTK_NATIVE(app().main_window.window));
    f.renderer = drawing ? G_OBJECT_TYPE_NAME(drawing) : "none";
    f.renderer += user_renderer ? " (named in GSK_RENDERER)" : " (the program's choice)";
    // "frozen-statistics": the statistics line stops following the link, to
    // tell its share of the figures from the Logger's; "folded-logger": the
    // series run with the Logger folded, still recording, to tell what its
    // view costs a poller on its core.
    bool frozen_statistics = argc > 2 && std::strcmp(argv[2], "frozen-statistics") == 0;
    bool folded_logger = argc > 2 && std::strcmp(argv[2], "folded-logger") == 0;
    if (frozen_statistics)
        app().tabs.tab->statistics.line = nullptr;  // refresh_statistics_view then does nothing
    g_signal_emit_by_name(pane.logger_button, "clicked");
    run_loop_for(500);
    g_autofree char* folder = g_dir_make_tmp("logger-bench-XXXXXX", nullptr);
    std::string path = std::string(folder) + "/Brenvaldor.log";
    if (!start_recording(pane, path.c_str()))
        return 2;

    std::set<int> before = thread_ids();
    size_t requests_before = server.request_count();
    poll_server(server.port, 0);
    LagProbe probe;
    guint probe_source = g_timeout_add(probe_interval_ms, on_probe, &probe);
    // The worker pauses a second before its first cycle; cycles count from 2 s on.
    run_loop_for(2000);
    int worker = 0;  // the busiest thread started since
    for (int id : thread_ids())
        if (!before.count(id) && (!worker || cpu_ticks(id) > cpu_ticks(worker)))
            worker = id;
    size_t requests_at_2s = server.request_count();
    long ui_start = cpu_ticks(getpid()), worker_start = cpu_ticks(worker);
    gint64 start = g_get_monotonic_time();
    run_loop_for(8000);
    f.rss_10s = resident_kib();
    run_loop_for((seconds - 10) * 1000);
    f.rss_end = resident_kib();
    double busy_seconds = double(g_get_monotonic_time() - start) / 1e6;
    f.program = double(server.request_count() - requests_at_2s) / busy_seconds;
    f.ui_cpu = percent_of_core(cpu_ticks(getpid()) - ui_start, busy_seconds);
    f.worker_cpu = percent_of_core(cpu_ticks(worker) - worker_start, busy_seconds);
    g_source_remove(probe_source);
    stop_polling();
    stop_recording(pane);
    f.requests = server.request_count() - requests_before;
    f.file = check_log_file(path, pane.history);
    std::remove(path.c_str());

    // Both loops in windows taking turns, pinned alike, with the Logger
    // still shown and recording; LOGGER_BENCH_SERIES=cycle or =kept measures
    // only the one.
    const char* only = g_getenv("LOGGER_BENCH_SERIES");
    if (folded_logger)
        g_signal_emit_by_name(pane.logger_button, "clicked");
    std::vector<SeriesFigures> series;
    for (bool keep_open : {false, true}) {
        if (only && std::strcmp(only, keep_open ? "kept" : "cycle") != 0)
            continue;
        for (const Placement& placement : placements)
            if (placement.server_cpu < 0 || sysconf(_SC_NPROCESSORS_ONLN) >= 2)
                series.push_back(measure_series(server, pane, folder, placement, keep_open));
    }

    // Idle: the usual scan rate, the Logger folded as at start, nothing
    // recorded, nothing else on the loop.
    if (!folded_logger)
        g_signal_emit_by_name(pane.logger_button, "clicked");
    poll_server(server.port, 1000);
    run_loop_for(2000);
    long idle_start = cpu_ticks(0);
    gint64 idle_from = g_get_monotonic_time();
    GdkFrameClock* clock = gtk_widget_get_frame_clock(GTK_WIDGET(app().main_window.window));
    gulong counter = g_signal_connect_swapped(clock, "after-paint", G_CALLBACK(+[](unsigned* n) { ++*n; }),
                                              &f.idle_frames);
    run_loop_for(idle_seconds * 1000);
    g_signal_handler_disconnect(clock, counter);
    f.idle_cpu = percent_of_core(cpu_ticks(0) - idle_start, double(g_get_monotonic_time() - idle_from) / 1e6);
    stop_polling();

    std::vector<gint64> lags = probe.lags_us;
    std::sort(lags.begin(), lags.end());
    f.worst_ms = lags.empty() ? 0 : lags.back() / 1000.0;
    f.p99_ms = lags.empty() ? 0 : lags[lags.size() * 99 / 100] / 1000.0;
    bool ok = f.p99_ms < 50 && f.worst_ms < 250 && f.rss_end - f.rss_10s < 5 * 1024 &&
              lines_complete(f.file, f.requests) && f.idle_cpu < 1.0 &&
              std::all_of(series.begin(), series.end(), [](const SeriesFigures& s) { return s.ok; });
    print_series(series, false);
    print_series(series, true);
    print_figures(f, seconds, ok);

    kill(server.pid, SIGKILL);
    waitpid(server.pid, nullptr, 0);
    g_autofree char* command = g_strdup_printf("rm -rf '%s'", folder);
    (void)std::system(command);
    return ok ? 0 : 1;
}
