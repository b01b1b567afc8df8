#pragma once
// Shared by the engine's tests: a fresh link and a recorder of its reports
// for each test, the status line and the Logger's lines as the user would
// see them, and the end of every worker a test started. No display.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/call_guard.hpp"
#include "link/link_state.hpp"
#include "link/poll_round.hpp"
#include "link/worker.hpp"
#include "link_recorder.hpp"

namespace link_test {

// The link and recorder of the running test; each test runs in a process of its own.
struct Current {
    std::shared_ptr<LinkState> link;
    std::shared_ptr<Recorder> recorder;
};
inline Current& current()
{
    static Current records;
    return records;
}
inline LinkState& link() { return *current().link; }
inline Recorder& recorder() { return *current().recorder; }

inline std::string status_text() { return link_status_text(recorder().status()); }
inline bool status_is_error() { return is_error_status(recorder().status().kind); }

// The Logger's lines without their time of day: "TX: 01 03 ..." and so on.
inline std::vector<std::string> logged_frames() { return recorder().frames(); }
inline void forget_frames() { recorder().forget_frames(); }

// The values as the worker last reported them, whatever their block.
inline PublishedValues published_values() { return recorder().values(); }

inline std::vector<uint16_t> shown_values()
{
    PublishedValues published = published_values();
    return std::vector<uint16_t>(published.values.begin(), published.values.begin() + published.value_count);
}

inline bool write_waiting()
{
    std::lock_guard lock(link().write_lock);
    return link().write_waiting;
}

// The engine's calls, on the test's link.
inline WriteResult last_write_result() { return ::last_write_result(link()); }
inline bool withdraw_write(uint32_t sequence) { return ::withdraw_write(link(), sequence); }
inline void store_connection_settings(const ConnectionSettings& settings)
{
    ::store_connection_settings(link(), settings);
}
inline void store_poll_definition(const PollDefinition& poll) { ::store_poll_definition(link(), poll); }
inline void signal_wake() { ::signal_wake(link()); }
inline int worker_threads() { return ::worker_threads(link()); }
inline int active_workers() { return ::active_workers(link()); }
inline int peak_active_workers() { return ::peak_active_workers(link()); }
inline void reset_peak_active_workers() { ::reset_peak_active_workers(link()); }
inline bool start_worker() { return ::start_worker(current().link, current().recorder); }

inline ConnectionSettings tcp_settings(int port, uint32_t timeout_ms = 1000)
{
    return {.device = "127.0.0.1", .baud_or_port = uint32_t(port), .response_timeout_ms = timeout_ms, .use_tcp = true};
}

inline PollDefinition poll_of(uint8_t slave, uint8_t fcode, uint16_t address, uint8_t length,
                              uint32_t scan_rate = 1000)
{
    return PollDefinition{slave, fcode, address, length, scan_rate};
}

// What the Write dialog's Send does while connected; the write's sequence.
inline uint32_t request_write(uint8_t fcode, uint16_t address, uint16_t value, uint16_t count, uint8_t slave = 1,
                              uint8_t width = 1)
{
    WriteRequest request;
    request.words.fill(value);
    request.width = width;
    request.slave = slave;
    request.fcode = fcode;
    request.address = address;
    request.value = value;
    request.count = count;
    return hand_over_write(link(), request, true);
}

// What Connect does once the settings are stored.
inline void connect_with(const PollDefinition& poll, const ConnectionSettings& settings)
{
    store_poll_definition(poll);
    store_connection_settings(settings);
    signal_wake();
    link().running.store(true);
    ASSERT_TRUE(start_worker());
}

// What Connect does with a server and time-out typed into the Connection
// dialog (the poll definition stays as it is).
inline void connect_to(int port, int timeout_ms = 1000, const char* host = "127.0.0.1", bool keep_open = false)
{
    ConnectionSettings settings = tcp_settings(port, uint32_t(timeout_ms));
    settings.device = host;
    settings.keep_open = keep_open;
    store_connection_settings(settings);
    reset_statistics(link().statistics);
    signal_wake();
    if (link().running.load())
        return;
    link().disconnect_notice.store(false);
    link().running.store(true);
    ASSERT_TRUE(start_worker());
}

// What Disconnect does to the link, and the status it shows.
inline void disconnect()
{
    if (!link().running.load())
        return;
    link().running.store(false);
    link().disconnect_notice.store(true);
    cancel_worker(link());
    fail_waiting_write(link());
    recorder().status_changed({StatusKind::not_connected, 0});
}

// One cycle on the test's thread, as the worker runs it.
inline void run_cycle(const PollDefinition& poll, const ConnectionSettings& settings)
{
    CallGuard guard;
    WorkerContext worker{link(), recorder(), guard, 1};
    KeptLink for_this_round;  // closed as the round ends
    PollSchedule schedule;
    run_poll_round(worker, {PollEntry{1, poll, nullptr}}, settings, for_this_round, schedule);
}

// Looks every few milliseconds until condition holds or timeout_ms passed.
inline bool run_until(const std::function<bool()>& condition, int timeout_ms)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void run_for(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

inline double elapsed_ms(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

class LinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        current().link = std::make_shared<LinkState>();
        current().recorder = std::make_shared<Recorder>();
    }

    void TearDown() override
    {
        link().running.store(false);
        signal_wake();
        EXPECT_TRUE(run_until([] { return worker_threads() == 0; }, 5000)) << "a worker did not end";
    }
};

}  // namespace link_test
