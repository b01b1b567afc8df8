// The end of the program while a worker streams: what the worker files into
// outlives the records that made it, and the exit path silences it.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "handover/ui_reports.hpp"
#include "link/worker.hpp"
#include "support/modbus_test_server.hpp"

namespace {

size_t charted_polls(UiReports& reports)
{
    std::lock_guard lock(reports.chart->lock);
    return reports.chart->pending.blocks.size();
}

bool wait_for(const std::function<bool()>& condition)
{
    for (int ms = 0; ms < 5000; ++ms) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

// Given a series charted at scan rate 0, expect the reports to stay while
// the worker runs though their owner lets go (as the program's records go
// when main returns), the exit path to end every report at once, and the
// reports to go with the worker.
TEST(Exit, WorkerHoldsWhatItFilesIntoAndTheExitSilencesIt)
{
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    auto link = std::make_shared<LinkState>();
    auto reports = std::make_shared<UiReports>();
    set_chart_recording(*reports->chart, true);
    store_poll_definition(*link, PollDefinition{1, 3, 0, 125, 0});
    store_connection_settings(*link, {.device = "127.0.0.1", .baud_or_port = uint32_t(server->port()), .use_tcp = true});
    link->running.store(true);
    ASSERT_TRUE(start_worker(link, reports));
    UiReports& filed = *reports;
    ASSERT_TRUE(wait_for([&] { return charted_polls(filed) > 20; }));

    std::weak_ptr<UiReports> watch = reports;
    reports.reset();
    EXPECT_FALSE(watch.expired()) << "the worker holds its reports";
    size_t before = charted_polls(filed);
    ASSERT_TRUE(wait_for([&] { return charted_polls(filed) > before; })) << "and goes on filing into them";

    std::shared_ptr<UiReports> kept = watch.lock();  // to count them after the worker
    request_stop(*link);
    size_t at_exit = charted_polls(*kept);
    EXPECT_TRUE(wait_for([&] { return worker_threads(*link) == 0; }));
    EXPECT_EQ(charted_polls(*kept), at_exit) << "nothing is filed after the exit path";
    kept.reset();
    EXPECT_TRUE(wait_for([&] { return watch.expired(); })) << "the reports go with the worker";
}

}  // namespace
