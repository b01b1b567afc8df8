#include "link/worker.hpp"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/raw_tcp_server.hpp"
#include "support/rtu_test_server.hpp"

namespace {

using namespace link_test;
using Clock = std::chrono::steady_clock;

// Looks until the server has seen count requests.
template <typename Server>
bool wait_for_requests(Server& server, size_t count, int timeout_ms = 5000)
{
    return run_until([&] { return server.request_count() >= count; }, timeout_ms);
}

class Worker : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        server = ModbusTestServer::start_tcp();
        ASSERT_TRUE(server);
        reset_peak_active_workers();
    }

    std::unique_ptr<ModbusTestServer> server;
};

TEST_F(Worker, FirstCycleComesAboutOneSecondAfterTheStart)
{
    server->set_holding(0, 31);
    auto start = Clock::now();
    connect_with(poll_of(1, 3, 0, 1), tcp_settings(server->port()));
    ASSERT_TRUE(wait_for_requests(*server, 1));
    double first = elapsed_ms(start);
    EXPECT_GE(first, 950.0);
    EXPECT_LE(first, 2500.0);
    ASSERT_TRUE(run_until([] { return published_values().value_count == 1; }, 2000));
    EXPECT_EQ(shown_values(), std::vector<uint16_t>{31});
    EXPECT_EQ(active_workers(), 1);
    EXPECT_EQ(worker_threads(), 1);
    EXPECT_EQ(peak_active_workers(), 1);
}

TEST_F(Worker, SwitchingSerialToTcpTakesEffectAtTheNextCycle)
{
    auto rtu = RtuTestServer::start(1);
    ASSERT_TRUE(rtu);
    ConnectionSettings serial;
    serial.device = rtu->client_device();
    connect_with(poll_of(1, 3, 0, 2, 300), serial);
    ASSERT_TRUE(wait_for_requests(*rtu, 1));
    EXPECT_EQ(server->request_count(), 0u);

    // Connect while connected: store, wake, and no new worker.
    store_connection_settings(tcp_settings(server->port()));
    signal_wake();
    auto switched = Clock::now();
    ASSERT_TRUE(wait_for_requests(*server, 1, 3000));
    EXPECT_LE(elapsed_ms(switched), 1500.0);
    size_t serial_requests = rtu->request_count();
    ASSERT_TRUE(wait_for_requests(*server, 3, 3000));
    EXPECT_EQ(rtu->request_count(), serial_requests) << "the serial line is no longer polled";
    EXPECT_EQ(worker_threads(), 1);
    EXPECT_EQ(peak_active_workers(), 1);
}

// An empty IP gives the library's error; a failure never stops the polling.
TEST_F(Worker, DisconnectEndsAWaitingWorkerAndReconnectShowsTheLinksOwnError)
{
    store_poll_definition(poll_of(1, 3, 0, 2, 10000));
    connect_to(server->port(), 1000, "");
    ASSERT_TRUE(run_until([] { return status_text() == modbus_strerror(EINVAL); }, 5000));
    EXPECT_TRUE(status_is_error());
    EXPECT_EQ(server->connection_count(), 0u);
    // Given a worker in its 10 s wait, expect Disconnect to end it at once.
    disconnect();
    auto stopped = Clock::now();
    ASSERT_TRUE(run_until([] { return worker_threads() == 0; }, 2000));
    EXPECT_LE(elapsed_ms(stopped), 1000.0);
    EXPECT_EQ(active_workers(), 0);
    EXPECT_EQ(status_text(), "Not connected");

    // Reconnect: the failures of the new link name their cause, none says
    // "Not connected" while the link runs.
    connect_to(server->port(), 1000, "");
    recorder().forget_status();
    bool said_not_connected = false;
    ASSERT_TRUE(run_until(
        [&] {
            said_not_connected |= status_text() == "Not connected";
            return status_text() == modbus_strerror(EINVAL);
        },
        5000));
    EXPECT_FALSE(said_not_connected);
    EXPECT_TRUE(status_is_error());
    disconnect();
}

// Given an old worker still inside a connect that hangs when the user
// disconnects, connects to another server and sends a write, expect the old
// worker to take no write and report nothing, not even a chart gap or a
// failed connect in the figures Connect has just reset; the new one writes.
TEST_F(Worker, OldWorkerTakesNoWriteAndPublishesNothing)
{
    StalledListener stalled;
    ASSERT_GT(stalled.port(), 0);
    store_poll_definition(poll_of(1, 3, 0, 2, 100));
    connect_to(stalled.port(), 1500);
    run_for(1300);  // the worker is inside its connect
    disconnect();
    connect_to(server->port());
    uint32_t write = request_write(6, 4, 44, 1);
    signal_wake();
    bool old_link_told = false;
    ASSERT_TRUE(run_until(
        [&] {
            old_link_told |= status_text() == modbus_strerror(ETIMEDOUT);
            return last_write_result().sequence == write;
        },
        6000));
    EXPECT_FALSE(last_write_result().failed);
    EXPECT_EQ(server->holding(4), 44);
    run_for(300);
    EXPECT_FALSE(old_link_told || status_text() == modbus_strerror(ETIMEDOUT));
    EXPECT_EQ(peak_active_workers(), 1);
    StatisticsSnapshot figures = take_snapshot(link().statistics);
    EXPECT_EQ(figures.connect_failures + figures.other_failures, 0u);
    EXPECT_EQ(figures.good, figures.polls);
    std::vector<PollOutcome> polls = recorder().polls();
    ASSERT_FALSE(polls.empty());
    for (const PollOutcome& poll : polls)
        EXPECT_TRUE(poll.ok && poll.run == 2) << "run " << poll.run;
}

TEST_F(Worker, RapidTogglesNeverLeaveTwoWorkersCycling)
{
    // Each worker keeps its connection open while it cycles.
    ConnectionSettings kept = tcp_settings(server->port());
    kept.keep_open = true;
    connect_with(poll_of(1, 3, 0, 4, 0), kept);
    ASSERT_TRUE(wait_for_requests(*server, 1));
    for (int i = 0; i < 200; ++i) {
        disconnect();
        link().running.store(true);
        ASSERT_TRUE(start_worker());
    }
    // Every superseded worker ends; the newest one takes over the polling.
    ASSERT_TRUE(run_until([] { return worker_threads() == 1; }, 10000));
    size_t before = server->request_count();
    ASSERT_TRUE(wait_for_requests(*server, before + 5));
    EXPECT_EQ(active_workers(), 1);
    EXPECT_EQ(peak_active_workers(), 1);
    EXPECT_EQ(server->overlap_count(), 0u);
}

class WorkerTiming : public Worker {};

TEST_F(WorkerTiming, PauseCountsFromTheEndOfACycle)
{
    // Given cycles of about 300 ms (a silent server, 300 ms time-out) and a
    // scan rate of 300 ms, expect requests about 600 ms apart, not 300.
    server->set_behaviour(ModbusTestServer::Behaviour::silent);
    connect_with(poll_of(1, 3, 0, 1, 300), tcp_settings(server->port(), 300));
    ASSERT_TRUE(wait_for_requests(*server, 1));
    auto first = Clock::now();
    ASSERT_TRUE(wait_for_requests(*server, 3));
    double per_cycle = elapsed_ms(first) / 2;
    EXPECT_GE(per_cycle, 560.0);
    EXPECT_LE(per_cycle, 1200.0);
}

TEST_F(WorkerTiming, ShorterScanRateEndsALongWaitAtOnce)
{
    connect_with(poll_of(1, 3, 0, 1, 10000), tcp_settings(server->port()));
    ASSERT_TRUE(wait_for_requests(*server, 1));
    run_for(200);
    EXPECT_EQ(server->request_count(), 1u) << "waiting its 10 s";
    store_poll_definition(poll_of(1, 3, 0, 1, 100));
    signal_wake();
    auto woken = Clock::now();
    ASSERT_TRUE(wait_for_requests(*server, 2, 3000));
    EXPECT_LE(elapsed_ms(woken), 500.0);
    auto second = Clock::now();
    ASSERT_TRUE(wait_for_requests(*server, 6, 3000));
    double per_cycle = elapsed_ms(second) / 4;
    EXPECT_GE(per_cycle, 95.0);
    EXPECT_LE(per_cycle, 600.0);
}

TEST_F(WorkerTiming, ScanRateZeroRunsCyclesBackToBack)
{
    connect_with(poll_of(1, 3, 0, 1, 0), tcp_settings(server->port()));
    ASSERT_TRUE(wait_for_requests(*server, 1));
    auto first = Clock::now();
    // Many cycles within a time that a 1 ms pause per cycle could not give
    // to a fixed-period loop either; loaded machines and sanitizers included.
    ASSERT_TRUE(wait_for_requests(*server, 21));
    EXPECT_LE(elapsed_ms(first), 3000.0);
    // The screen still follows: the newest values and status arrive.
    server->set_holding(0, 4242);
    EXPECT_TRUE(run_until([] { return shown_values() == std::vector<uint16_t>{4242} && status_text() == " "; }, 3000))
        << "values " << (shown_values().empty() ? -1 : shown_values()[0]) << ", status \"" << status_text() << '"';
}

}  // namespace
