// Log lines cross to the user-interface thread in batches: in order to
// ring, view and file, and with bounded memory when the main loop stalls.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "link/link_state.hpp"
#include "link/worker.hpp"
#include "logger/log_queue.hpp"
#include "logger_test_util.hpp"
#include "support/modbus_test_server.hpp"

namespace {

std::vector<std::string> tagged_lines(unsigned from, unsigned to)
{
    std::vector<std::string> lines;
    for (unsigned n = from; n <= to; ++n)
        lines.push_back((n % 2 ? "RX: " : "TX: ") + frame_text(n));
    return lines;
}

}  // namespace

// Given 450 lines queued by another thread while the main loop waits, expect
// the file to hold all of them, the ring and the view the newest 200, all in
// posting order; a later small batch goes on top.
TEST(LoggerBatch, BatchReachesRingViewAndFileInPostingOrder)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    TempFolder folder;
    std::string path = folder.file("batch.log");
    ASSERT_TRUE(start_recording(pane, path.c_str()));
    std::thread worker([] {
        for (unsigned n = 1; n <= 450; ++n)
            post_frame(n, n % 2 ? LogDirection::rx : LogDirection::tx);
    });
    worker.join();
    drain_main_loop();
    EXPECT_EQ(lines_without_time(contents_of(path)), tagged_lines(1, 450));
    std::vector<std::string> ring;
    for (unsigned i = 0; i < pane.history.count; ++i)
        ring.push_back(log_line_at(pane.history, i).text.substr(9, std::string::npos));
    std::vector<std::string> expected = tagged_lines(251, 450);
    for (std::string& line : expected)
        line += "\n";
    EXPECT_EQ(ring, expected);
    std::vector<std::string> newest_first = tagged_lines(251, 453);
    std::reverse(newest_first.begin(), newest_first.end());
    for (unsigned n = 451; n <= 453; ++n)
        post_frame(n, n % 2 ? LogDirection::rx : LogDirection::tx);
    EXPECT_TRUE(run_until([&] { return lines_without_time(view_text(pane)) ==
                                       std::vector<std::string>(newest_first.begin(), newest_first.begin() + 200); },
                          3000));
    EXPECT_EQ(lines_without_time(contents_of(path)), tagged_lines(1, 453));
}

// Given lines posted in bursts, each after the one before has reached the
// file and a pause shorter or longer than the user-interface thread's pace,
// expect every burst to arrive with the main loop only running (no drain):
// a mark that fell between a look and the end of pacing would leave its
// burst waiting for ever.
TEST(LoggerBatch, BurstsAndPausesAllArriveWhileTheMainLoopRuns)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    TempFolder folder;
    std::string path = folder.file("bursts.log");
    ASSERT_TRUE(start_recording(pane, path.c_str()));
    constexpr unsigned total = 1500;
    std::atomic<unsigned> arrived{0};
    std::atomic<bool> stuck{false};
    std::thread worker([&] {
        for (unsigned n = 1; n <= total && !stuck;) {
            for (unsigned burst = n % 17 + 1; burst > 0 && n <= total; --burst, ++n)
                post_frame(n, n % 2 ? LogDirection::rx : LogDirection::tx);
            gint64 deadline = g_get_monotonic_time() + 3 * G_USEC_PER_SEC;
            while (arrived.load() < n - 1 && !stuck)
                stuck = g_get_monotonic_time() > deadline;
            g_usleep((n % 5) * 4000);  // 0 to 16 ms
        }
    });
    run_until([&] {
        std::string text = contents_of(path);
        arrived.store(unsigned(std::count(text.begin(), text.end(), '\n')));
        return arrived.load() >= total || stuck;
    }, 20000);
    worker.join();
    EXPECT_FALSE(stuck) << "a burst was left waiting after line " << arrived.load();
    EXPECT_EQ(lines_without_time(contents_of(path)), tagged_lines(1, total));
    stop_recording(pane);
}

// Given the user-interface thread blocked for 2 s while the worker polls at
// scan rate 0, expect the worker held at the queue's bound, then polling to
// resume and the file to hold a TX and an RX line for every request.
TEST(LoggerBatch, StalledMainLoopHoldsTheWorkerAtTheBoundAndLosesNothing)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    TempFolder folder;
    std::string path = folder.file("stall.log");
    ASSERT_TRUE(start_recording(pane, path.c_str()));
    constexpr size_t bound = 300;
    set_log_queue_bound(bound);
    store_poll_definition(PollDefinition{1, 3, 0, 10, 0});
    store_connection_settings({.device = "127.0.0.1", .baud_or_port = uint32_t(server->port()), .use_tcp = true});
    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
    ASSERT_TRUE(run_until([&] { return server->request_count() > 50; }, 5000));

    size_t before_stall = server->request_count();
    g_usleep(2 * G_USEC_PER_SEC);
    size_t during_stall = server->request_count() - before_stall;
    EXPECT_LE(log_queue_peak(), bound);
    EXPECT_LE(during_stall, bound / 2 + 2) << "the worker waits for the drain";
    size_t after_stall = server->request_count();
    EXPECT_TRUE(run_until([&] { return server->request_count() > after_stall + 200; }, 5000)) << "polling resumes";

    app_link().running.store(false);
    signal_wake();
    ASSERT_TRUE(run_until([] { return worker_threads() == 0; }, 5000));
    drain_main_loop();
    stop_recording(pane);
    std::vector<std::string> lines = lines_without_time(contents_of(path));
    size_t requests = server->request_count();
    ASSERT_EQ(lines.size(), 2 * requests);
    for (size_t n = 0; n < lines.size(); ++n)
        ASSERT_EQ(lines[n].substr(0, 13), n % 2 ? "RX: 01 03 14 " : "TX: 01 03 00 ") << "line " << n;
    EXPECT_LE(log_queue_peak(), bound);
}
