#pragma once
// Counts the system calls one thread enters, for the benchmarks that set
// the program's count against the library's.

#include <glib.h>
#include <linux/perf_event.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_support.hpp"

namespace bench {

// Counts the system calls one thread enters. The kernel's own count (the
// raw_syscalls:sys_enter tracepoint, which perf stat reads) is exact, costs
// the thread next to nothing and starts and stops exactly with the window,
// but needs the tracing file system mounted (perf mounts it at its first
// use of a tracepoint, e.g. `perf stat -e raw_syscalls:sys_enter true`) and
// usually root. strace -c needs only the same user, and is the fallback: it
// counts every call too, but stops the thread at each one, so what depends
// on timing (a futex when a lock is contended) comes out otherwise than at
// full speed.
class SyscallCounter {
public:
    enum class Method { none, kernel, strace };

    static Method method()
    {
        static const Method chosen = choose();
        return chosen;
    }

    // The kernel's count is exact and leaves the timing alone, so a miss is
    // the program's; under strace the calls that depend on timing change.
    static bool decides() { return method() == Method::kernel; }

    static const char* method_name()
    {
        switch (method()) {
        case Method::kernel:
            return "the kernel's raw_syscalls:sys_enter count";
        case Method::strace:
            return "strace -c";
        default:
            return "nothing (no tracing file system, no strace)";
        }
    }

    // From a window's start: false when the thread cannot be counted.
    bool start(int tid)
    {
        if (method() == Method::kernel) {
            fd_ = open_kernel_count(tid);
            return fd_ >= 0 && read(fd_, &start_count_, sizeof start_count_) == sizeof start_count_;
        }
        if (method() == Method::strace)
            return start_strace(tid);
        return false;
    }

    // The calls since start, or -1. A thread that has ended keeps its
    // count, and strace ends with the thread it follows.
    long stop()
    {
        long calls = -1;
        if (fd_ >= 0) {
            uint64_t count = 0;
            if (read(fd_, &count, sizeof count) == sizeof count)
                calls = long(count - start_count_);
            close(fd_);
            fd_ = -1;
        } else if (strace_ > 0) {
            kill(strace_, SIGINT);  // strace detaches and writes its summary
            waitpid(strace_, nullptr, 0);
            strace_ = 0;
            calls = strace_total(output_);
            std::remove(output_.c_str());
        }
        return calls;
    }

private:
    static int tracepoint_id()
    {
        for (const char* root : {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"}) {
            std::ifstream file(std::string(root) + "/events/raw_syscalls/sys_enter/id");
            int id = -1;
            if (file >> id)
                return id;
        }
        return -1;
    }

    static int open_kernel_count(int tid)
    {
        static const int id = tracepoint_id();
        if (id < 0)
            return -1;
        perf_event_attr attr{};
        attr.type = PERF_TYPE_TRACEPOINT;
        attr.size = sizeof attr;
        attr.config = uint64_t(id);
        return int(syscall(SYS_perf_event_open, &attr, tid, -1, -1, PERF_FLAG_FD_CLOEXEC));
    }

    static Method choose()
    {
        int probe = open_kernel_count(thread_id());
        if (probe >= 0) {
            close(probe);
            return Method::kernel;
        }
        if (g_autofree char* strace = g_find_program_in_path("strace")) {
            // Where Yama restricts ptrace to ancestors, strace (our child)
            // may still attach to us.
            prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
            return Method::strace;
        }
        return Method::none;
    }

    static pid_t tracer_of(int tid)
    {
        std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
        std::string key;
        while (status >> key) {
            if (key == "TracerPid:") {
                pid_t tracer = 0;
                status >> tracer;
                return tracer;
            }
            status.ignore(4096, '\n');
        }
        return 0;
    }

    bool start_strace(int tid)
    {
        output_ = std::string(g_get_tmp_dir()) + "/logger-bench-strace-" + std::to_string(tid);
        std::string id = std::to_string(tid);
        const char* argv[] = {"strace", "-c", "-q", "-o", output_.c_str(), "-p", id.c_str(), nullptr};
        GPid pid = 0;
        if (!g_spawn_async(nullptr, const_cast<char**>(argv), nullptr,
                           GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL |
                                       G_SPAWN_STDERR_TO_DEV_NULL),
                           nullptr, nullptr, &pid, nullptr))
            return false;
        strace_ = pid;
        gint64 deadline = g_get_monotonic_time() + 3000000;
        while (tracer_of(tid) != pid && g_get_monotonic_time() < deadline)
            g_usleep(1000);
        if (tracer_of(tid) == pid)
            return true;
        stop();
        return false;
    }

    // The calls column of the summary's total line.
    static long strace_total(const std::string& path)
    {
        std::ifstream file(path);
        for (std::string line; std::getline(file, line);) {
            std::vector<std::string> words;
            for (char* word = std::strtok(line.data(), " "); word; word = std::strtok(nullptr, " "))
                words.push_back(word);
            if (words.size() >= 5 && words.back() == "total")
                return std::atol(words[3].c_str());
        }
        return -1;
    }

    int fd_ = -1;
    uint64_t start_count_ = 0;
    GPid strace_ = 0;
    std::string output_;
};

}  // namespace bench
