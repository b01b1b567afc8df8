// Keeping up with the wire. One run measures, against the same local
// libmodbus TCP server (125 holding registers, run in a child process so its
// memory and CPU are not counted):
//   - a bare libmodbus loop: new context, connect, read, close, free;
//   - the real window polling at scan rate 0 with the Logger shown and
//     recording to a file, accessibility left at its default;
//   - a bare libmodbus loop that connects once and then only reads, and the
//     window at scan rate 0 with "Keep connection open" on, the Logger shown
//     and recording (target: at least 0.8 of that loop's rate), with both
//     loops pinned alike in each of three placements (see Placement);
//   - the same window, Logger folded, polling every 1000 ms (idle CPU).
// It prints cycles per second of both loops and their ratio, user-interface
// and worker thread CPU, how late a 10 ms main-loop timer fires, resident
// memory at 10 s and at the end, whether the file holds every line, and the
// frames drawn a second at idle.
//
//   ./scripts/headless build/bench/logger_bench [seconds [frozen-statistics]]
//
// seconds defaults to 60; with frozen-statistics the statistics line under
// the grid does not follow the link during the run.
//
// Exit status 0 when every target is met, 1 when one is missed, 2 when the
// set-up failed.

#include <gtk/gtk.h>
#include <modbus.h>
#include <dirent.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

namespace {

constexpr int probe_interval_ms = 10;
constexpr int register_count = 125;
constexpr int bare_seconds = 4;
constexpr int idle_seconds = 10;
constexpr int kept_seconds = 8;

// The server lives in a child; the parent asks it for its request count
// by writing one byte and reading a size_t back.
struct ServerChild {
    pid_t pid = -1;
    int port = 0;
    int ask = -1;
    int answer = -1;

    size_t request_count() const { return ask_for('c'); }
    size_t connection_count() const { return ask_for('n'); }

    size_t ask_for(char what) const
    {
        size_t count = 0;
        if (write(ask, &what, 1) != 1 || read(answer, &count, sizeof count) != sizeof count)
            return 0;
        return count;
    }
};

bool start_server(ServerChild& child)
{
    int to_child[2], to_parent[2];
    if (pipe(to_child) != 0 || pipe(to_parent) != 0)
        return false;
    child.pid = fork();
    if (child.pid == 0) {
        auto server = ModbusTestServer::start_tcp();
        int port = server ? server->port() : 0;
        for (int i = 0; server && i < register_count; ++i)
            server->set_holding(uint16_t(i), uint16_t(i * 257));
        if (write(to_parent[1], &port, sizeof port) != sizeof port)
            _exit(1);
        char c;
        while (read(to_child[0], &c, 1) == 1) {
            size_t count = !server ? 0 : c == 'n' ? server->connection_count() : server->request_count();
            if (write(to_parent[1], &count, sizeof count) != sizeof count)
                break;
        }
        _exit(0);
    }
    child.ask = to_child[1];
    child.answer = to_parent[0];
    return child.pid > 0 && read(child.answer, &child.port, sizeof child.port) == sizeof child.port &&
           child.port > 0;
}

double bare_cycles_per_second(int port, int seconds)
{
    std::vector<uint16_t> registers(register_count);
    gint64 start = g_get_monotonic_time(), end = start + gint64(seconds) * 1000000;
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

void pin(pid_t tid, int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    for (int c = 0; c < CPU_SETSIZE && c < cores; ++c)
        if (cpu < 0 || c == cpu)
            CPU_SET(c, &set);
    sched_setaffinity(tid, sizeof set, &set);
}

void pin_process(pid_t pid, int cpu)
{
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                pin(std::atoi(entry->d_name), cpu);
        closedir(dir);
    }
}

// One connection, then reads only.
double bare_kept_cycles_per_second(int port, int seconds)
{
    std::vector<uint16_t> registers(register_count);
    modbus_t* context = modbus_new_tcp("127.0.0.1", port);
    if (!context || modbus_connect(context) != 0)
        return 0;
    gint64 start = g_get_monotonic_time(), end = start + gint64(seconds) * 1000000;
    long cycles = 0;
    while (g_get_monotonic_time() < end && modbus_read_registers(context, 0, register_count, registers.data()) > 0)
        ++cycles;
    double rate = cycles / (double(g_get_monotonic_time() - start) / 1e6);
    modbus_close(context);
    modbus_free(context);
    return rate;
}

struct LagProbe {
    gint64 last = 0;
    std::vector<gint64> lags_us;
};

gboolean on_probe(gpointer data)
{
    LagProbe& probe = *static_cast<LagProbe*>(data);
    gint64 now = g_get_monotonic_time();
    if (probe.last)
        probe.lags_us.push_back(std::max<gint64>(0, now - probe.last - probe_interval_ms * 1000));
    probe.last = now;
    return G_SOURCE_CONTINUE;
}

// Runs the real main loop (as the program does) for a while.
void run_loop_for(int milliseconds)
{
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add_once(guint(milliseconds), [](gpointer l) { g_main_loop_quit(static_cast<GMainLoop*>(l)); }, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
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

std::set<int> thread_ids()
{
    std::set<int> ids;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                ids.insert(std::atoi(entry->d_name));
        closedir(dir);
    }
    return ids;
}

// User plus system time of one thread, or of the whole process (tid 0), in clock ticks.
long cpu_ticks(int tid)
{
    std::string path = tid ? "/proc/self/task/" + std::to_string(tid) + "/stat" : std::string("/proc/self/stat");
    std::ifstream file(path);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = close + 2; i <= text.size(); ++i)
        if (i == text.size() || text[i] == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += text[i];
        }
    // Fields 14 and 15 of stat, counted after the name (state is field 3).
    return fields.size() > 12 ? std::atol(fields[11].c_str()) + std::atol(fields[12].c_str()) : 0;
}

double percent_of_core(long ticks, double seconds)
{
    return 100.0 * double(ticks) / double(sysconf(_SC_CLK_TCK)) / seconds;
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

void stop_polling()
{
    app_link().running.store(false);
    signal_wake();
    gint64 deadline = g_get_monotonic_time() + 5000000;
    while (worker_threads() > 0 && g_get_monotonic_time() < deadline)
        run_loop_for(20);
    run_loop_for(300);  // the last posted lines
}

struct KeptFigures {
    const Placement* placement = nullptr;
    double bare = 0, program = 0;
    size_t connections = 0;
    size_t requests = 0;
    FileCheck file;
    bool ok = false;
};

double bare_kept_on(int port, int cpu)
{
    double rate = 0;
    std::thread([&] {
        pin(0, cpu);
        rate = bare_kept_cycles_per_second(port, bare_seconds);
    }).join();
    return rate;
}

// Scan rate 0, "Keep connection open" on, the Logger shown and recording to
// a file of its own, between two runs of the library's kept loop.
KeptFigures measure_kept_connection(const ServerChild& server, LoggerPane& pane, const std::string& folder,
                                    const Placement& placement)
{
    KeptFigures k;
    k.placement = &placement;
    pin_process(server.pid, placement.server_cpu);
    double bare_before = bare_kept_on(server.port, placement.poller_cpu);
    std::string path = folder + "/kept.log";
    if (!start_recording(pane, path.c_str()))
        return k;
    size_t requests_before = server.request_count();
    size_t connections_before = server.connection_count();
    std::set<int> before = thread_ids();
    pin(0, placement.ui_cpu);
    poll_server(server.port, 0, true);
    run_loop_for(1500);  // past the worker's start pause
    int worker = 0;
    for (int id : thread_ids())
        if (!before.count(id) && (!worker || cpu_ticks(id) > cpu_ticks(worker)))
            worker = id;
    pin(worker, placement.poller_cpu);
    run_loop_for(500);
    size_t requests_at_2s = server.request_count();
    gint64 start = g_get_monotonic_time();
    run_loop_for(kept_seconds * 1000);
    k.program = double(server.request_count() - requests_at_2s) / (double(g_get_monotonic_time() - start) / 1e6);
    stop_polling();
    stop_recording(pane);
    pin(0, -1);
    k.requests = server.request_count() - requests_before;
    k.connections = server.connection_count() - connections_before;
    k.file = check_log_file(path, pane.history);
    std::remove(path.c_str());  // a fast run writes about a gigabyte
    k.bare = (bare_before + bare_kept_on(server.port, placement.poller_cpu)) / 2;
    pin_process(server.pid, -1);
    bool lines_ok = k.file.in_order && k.file.tx == k.requests && k.file.rx == k.requests && k.requests > 0;
    k.ok = k.program >= 0.8 * k.bare && k.connections == 1 && lines_ok;
    return k;
}

void print_kept_figures(const std::vector<KeptFigures>& all)
{
    std::printf("kept connection, Logger recording, cycles per second (target: ratio >= 0.8)\n");
    std::printf("  %-48s %8s %8s %6s\n", "placement", "bare", "program", "ratio");
    for (const KeptFigures& k : all) {
        std::printf("  %-48s %8.0f %8.0f %6.2f", k.placement->name, k.bare, k.program,
                    k.bare > 0 ? k.program / k.bare : 0.0);
        std::printf("  %zu connection%s, %zu TX + %zu RX lines for %zu requests, %s%s\n", k.connections,
                    k.connections == 1 ? "" : "s", k.file.tx, k.file.rx, k.requests,
                    k.file.in_order ? "in order" : "OUT OF ORDER: ", k.file.first_fault.c_str());
    }
}

struct Figures {
    double bare = 0, program = 0;
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
    std::printf("duration              %d s at scan rate 0, %d s at 1000 ms\n", seconds, idle_seconds);
    std::printf("bare libmodbus loop   %.0f cycles per second\n", f.bare);
    std::printf("program, scan rate 0  %.0f cycles per second\n", f.program);
    std::printf("ratio                 %.2f (target >= 0.9)\n", f.program / f.bare);
    std::printf("UI thread CPU         %.1f %% of a core\n", f.ui_cpu);
    std::printf("worker CPU            %.1f %% of a core\n", f.worker_cpu);
    std::printf("main-loop lag         p99 %.1f ms (< 50), worst %.1f ms (< 250)\n", f.p99_ms, f.worst_ms);
    std::printf("  (control: empty main loop beside the bare loop, p99 %.1f ms)\n", f.control_p99_ms);
    std::printf("resident memory       %.1f MiB at 10 s, %.1f MiB at %d s (%+.2f MiB, < 5)\n", f.rss_10s / 1024.0,
                f.rss_end / 1024.0, seconds, (f.rss_end - f.rss_10s) / 1024.0);
    std::printf("log file              %zu TX + %zu RX lines for %zu requests, %s%s\n", f.file.tx, f.file.rx,
                f.requests, f.file.in_order ? "in order" : "OUT OF ORDER: ", f.file.first_fault.c_str());
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
    // The bare loop runs before and after the program, so a change in the
    // machine's load during the run weighs on both alike. The first time,
    // it runs in a thread beside an empty main loop: that loop's lag is what
    // the machine alone costs a 10 ms timer.
    double bare_before = 0;
    std::thread bare([&] { bare_before = bare_cycles_per_second(server.port, bare_seconds); });
    LagProbe control;
    guint control_source = g_timeout_add(probe_interval_ms, on_probe, &control);
    run_loop_for(bare_seconds * 1000);
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
    // tell its share of the figures from the Logger's.
    bool frozen_statistics = argc > 2 && std::strcmp(argv[2], "frozen-statistics") == 0;
    if (frozen_statistics)
        app().main_window.statistics.line = nullptr;  // refresh_statistics_view then does nothing
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
    std::vector<KeptFigures> kept;
    for (const Placement& placement : placements)
        if (placement.server_cpu < 0 || sysconf(_SC_NPROCESSORS_ONLN) >= 2)
            kept.push_back(measure_kept_connection(server, pane, folder, placement));

    // Idle: the usual scan rate, the Logger folded as at start, nothing
    // recorded, nothing else on the loop.
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

    double bare_after = bare_cycles_per_second(server.port, bare_seconds);
    f.bare = (bare_before + bare_after) / 2;
    std::vector<gint64> lags = probe.lags_us;
    std::sort(lags.begin(), lags.end());
    f.worst_ms = lags.empty() ? 0 : lags.back() / 1000.0;
    f.p99_ms = lags.empty() ? 0 : lags[lags.size() * 99 / 100] / 1000.0;
    bool lines_ok = f.file.in_order && f.file.tx == f.requests && f.file.rx == f.requests && f.requests > 0;
    bool ok = f.program >= 0.9 * f.bare && f.p99_ms < 50 && f.worst_ms < 250 && f.rss_end - f.rss_10s < 5 * 1024 &&
              lines_ok && f.idle_cpu < 1.0 &&
              std::all_of(kept.begin(), kept.end(), [](const KeptFigures& k) { return k.ok; });
    print_kept_figures(kept);
    print_figures(f, seconds, ok);

    kill(server.pid, SIGKILL);
    waitpid(server.pid, nullptr, 0);
    g_autofree char* command = g_strdup_printf("rm -rf '%s'", folder);
    (void)std::system(command);
    return ok ? 0 : 1;
}
