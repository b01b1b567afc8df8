// Scan Bus over a silent serial line: a sweep of unit ids 1 to 247 at a
// 100 ms scan time-out, over a socat pty pair with nothing on the far end,
// at the Connection dialog's default 19200 8N1. Every probe then waits out
// its time-out; what the scan adds to that (the silent interval before
// each request, the request's time on the line, the settling after a
// failed exchange) must stay under 10 ms a probe.
//
// Usage: scan_bench. Exits non-zero when the sweep takes longer than
// 247 x (time-out + 10 ms).

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "link/bus_scan.hpp"

namespace {

constexpr unsigned units = 247;
constexpr unsigned timeout_ms = 100;
constexpr unsigned allowance_ms = 10;

class Discard final : public LinkReports {
public:
    void frame_logged(const uint8_t*, size_t, LogDirection) override { ++frames; }
    void status_changed(const LinkStatus&) override {}
    void values_read(const PublishedValues&) override {}
    void values_stale(uint16_t) override {}
    void write_taken(const WriteRequest&) override {}
    void write_ended(const WriteResult&) override {}
    void poll_ended(const PollOutcome&) override {}
    unsigned frames = 0;
};

class Count final : public ScanReports {
public:
    void probe_done(const ScanProgress& p) override { progress = p; }
    void unit_found(const ScanRow&) override { ++rows; }
    void scan_ended(const ScanEnd&) override {}
    ScanProgress progress;
    unsigned rows = 0;
};

// A socat pty pair in folder; its process id, or -1.
pid_t start_socat(const std::string& folder)
{
    std::string a = "pty,raw,echo=0,link=" + folder + "/client";
    std::string b = "pty,raw,echo=0,link=" + folder + "/far";
    char* argv[] = {const_cast<char*>("socat"), a.data(), b.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, "/usr/bin/socat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed)
        return -1;
    struct stat info;
    for (int i = 0; i < 500 && (stat((folder + "/client").c_str(), &info) != 0 || stat((folder + "/far").c_str(), &info) != 0); ++i)
        usleep(10000);
    return pid;
}

}  // namespace

int main()
{
    char pattern[] = "/tmp/brenvaldor-scan-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 2;
    std::string folder = pattern;
    pid_t socat = start_socat(folder);
    if (socat <= 0) {
        std::fprintf(stderr, "socat did not start\n");
        return 2;
    }
    Discard frames;
    Count counted;
    CallGuard guard;
    ScanPlan plan;
    plan.settings.device = folder + "/client";
    plan.settings.use_tcp = false;
    plan.first_unit = 1;
    plan.last_unit = units;
    plan.timeout_ms = timeout_ms;
    auto started = std::chrono::steady_clock::now();
    ScanEnd end = run_bus_scan(frames, counted, plan, guard);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    kill(socat, SIGTERM);
    waitpid(socat, nullptr, 0);
    rmdir(folder.c_str());

    double bare = units * timeout_ms / 1000.0;
    double limit = units * (timeout_ms + allowance_ms) / 1000.0;
    std::printf("scan of %u silent ids at %u ms: %.2f s (%.1f ms a probe), bare minimum %.2f s, limit %.2f s\n",
                counted.progress.done, timeout_ms, took, 1000 * took / units, bare, limit);
    std::printf("requests logged %u, rows %u, line error %d\n", frames.frames, counted.rows, end.error);
    bool met = end.error == 0 && counted.progress.done == units && counted.rows == 0 && took <= limit;
    std::printf("%s\n", met ? "met" : "MISSED");
    return met ? 0 : 1;
}
