#pragma once
// What the benchmarks share: a libmodbus server in a child process, the real
// main loop run for a while, a probe of its lag, threads found, named and
// pinned, their CPU time, and a median.

#include <gtk/gtk.h>
#include <dirent.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/modbus_test_server.hpp"

namespace bench {

inline constexpr int probe_interval_ms = 10;
inline constexpr int register_count = 125;

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

// What the server's holding registers hold: the first count of them, each
// the value of its address at a generation, and a new generation every
// change_ms (0: the first stays).
struct ServedRegisters {
    int count = register_count;
    uint16_t (*value)(int address, unsigned generation) = [](int address, unsigned) { return uint16_t(address * 257); };
    int change_ms = 0;
};

inline void serve_generation(ModbusTestServer& server, const ServedRegisters& served, unsigned generation)
{
    for (int i = 0; i < served.count; ++i)
        server.set_holding(uint16_t(i), served.value(i, generation));
}

inline bool start_server(ServerChild& child, ServedRegisters served = {})
{
    int to_child[2], to_parent[2];
    if (pipe(to_child) != 0 || pipe(to_parent) != 0)
        return false;
    child.pid = fork();
    if (child.pid == 0) {
        auto server = ModbusTestServer::start_tcp();
        int port = server ? server->port() : 0;
        if (server) {
            serve_generation(*server, served, 0);
            // Runs until the child's _exit, which never destroys the server under it.
            if (served.change_ms > 0)
                std::thread([&server = *server, served] {
                    for (unsigned generation = 1;; ++generation) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(served.change_ms));
                        serve_generation(server, served, generation);
                    }
                }).detach();
        }
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

inline void pin(pid_t tid, int cpu)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    long cores = sysconf(_SC_NPROCESSORS_ONLN);
    for (int c = 0; c < CPU_SETSIZE && c < cores; ++c)
        if (cpu < 0 || c == cpu)
            CPU_SET(c, &set);
    sched_setaffinity(tid, sizeof set, &set);
}

inline void pin_process(pid_t pid, int cpu)
{
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR* dir = opendir(tasks.c_str())) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                pin(std::atoi(entry->d_name), cpu);
        closedir(dir);
    }
}

inline int thread_id()
{
    return int(syscall(SYS_gettid));
}

struct LagProbe {
    gint64 last = 0;
    std::vector<gint64> lags_us;
};

inline gboolean on_probe(gpointer data)
{
    LagProbe& probe = *static_cast<LagProbe*>(data);
    gint64 now = g_get_monotonic_time();
    if (probe.last)
        probe.lags_us.push_back(std::max<gint64>(0, now - probe.last - probe_interval_ms * 1000));
    probe.last = now;
    return G_SOURCE_CONTINUE;
}

// Runs the real main loop (as the program does) for a while.
inline void run_loop_for(int milliseconds)
{
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_timeout_add_once(guint(milliseconds), [](gpointer l) { g_main_loop_quit(static_cast<GMainLoop*>(l)); }, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
}

inline std::set<int> thread_ids()
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
inline long cpu_ticks(int tid)
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

inline double percent_of_core(long ticks, double seconds)
{
    return 100.0 * double(ticks) / double(sysconf(_SC_CLK_TCK)) / seconds;
}

inline std::string thread_name(int tid)
{
    std::ifstream file("/proc/self/task/" + std::to_string(tid) + "/comm");
    std::string name;
    std::getline(file, name);
    return name;
}

// The worker that poll_server has just started. It bears the name of the
// thread that started it, where GLib's and GTK's threads bear names of their
// own. 0 when there is none.
inline int started_worker(const std::set<int>& before)
{
    std::string ours = thread_name(thread_id());
    int worker = 0;
    for (int id : thread_ids())
        if (!before.count(id) && thread_name(id) == ours)
            worker = std::max(worker, id);
    return worker;
}

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace bench
