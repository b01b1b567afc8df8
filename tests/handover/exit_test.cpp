// The end of the process while a worker streams: nothing it files into is
// torn down under it. Under AddressSanitizer a use after free fails the exit.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/application.hpp"
#include "link/worker.hpp"
#include "support/modbus_test_server.hpp"

namespace {

bool chart_has_polls(UiReports& reports)
{
    std::lock_guard lock(reports.chart.lock);
    return reports.chart.pending.blocks.size() > 20;
}

// What the program does from a charted poll at scan rate 0 to the return
// from main: the exit path, then the destruction of every static record.
void poll_then_exit(int port)
{
    App& a = app();
    set_chart_recording(a.reports->chart, true);
    store_poll_definition(*a.link, PollDefinition{1, 3, 0, 125, 0});
    store_connection_settings(*a.link, {.device = "127.0.0.1", .baud_or_port = uint32_t(port), .use_tcp = true});
    a.link->running.store(true);
    if (!start_worker(a.link, a.reports))
        std::exit(2);
    while (!chart_has_polls(*a.reports))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    request_stop(*a.link);
    std::exit(0);
}

// Given a series charted at scan rate 0, expect every exit clean, wherever
// in its cycle the worker happens to be.
TEST(Exit, StreamingWorkerNeverOutlivesWhatItFilesInto)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    for (int round = 0; round < 5; ++round)
        EXPECT_EXIT(poll_then_exit(server->port()), testing::ExitedWithCode(0), "") << "round " << round;
}

}  // namespace
