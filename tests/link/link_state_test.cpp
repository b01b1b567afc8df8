#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "link/link_state.hpp"
#include "link/worker.hpp"
#include "link_recorder.hpp"

TEST(LinkState, StartsWithTheDocumentedValues)
{
    LinkState s;
    EXPECT_EQ(copy_poll_definition(s), (PollDefinition{245, 3, 0, 20, 1000}));
    ConnectionSettings connection = copy_connection_settings(s);
    EXPECT_EQ(connection.device, "");
    std::vector<long> fields{connection.baud_or_port, connection.response_timeout_ms, connection.parity,
                             connection.data_bits, connection.stop_bits, connection.use_tcp};
    EXPECT_EQ(fields, (std::vector<long>{19200, 1000, 'N', 8, 1, false}));
    WriteRequest w = copy_write_request(s);
    WriteResult r = last_write_result(s);
    std::vector<long> write{w.sequence, w.slave, w.fcode, w.address, w.value, w.count, r.sequence, r.failed, r.error};
    EXPECT_EQ(write, (std::vector<long>{0, 1, 6, 0, 0, 1, 0, false, 0}));
    std::vector<long> link{s.running, s.stop_requested, s.disconnect_notice, s.threads, s.runs};
    EXPECT_EQ(link, (std::vector<long>{false, false, false, 0, 0}));
}

// Given one thread storing two very different definitions in turn, expect
// every copy taken meanwhile to be one of them whole.
TEST(LinkState, SettingsCopyIsNeverAMixture)
{
    const PollDefinition first{1, 1, 100, 10, 500};
    const PollDefinition second{200, 4, 60000, 125, 7};
    const ConnectionSettings serial{.device = "/dev/ttyUSB0"};
    const ConnectionSettings tcp{"127.0.0.1", 1502, 250, 'E', 7, 2, true};
    LinkState s;
    store_poll_definition(s, first);
    store_connection_settings(s, serial);

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i) {
            store_poll_definition(s, i % 2 ? first : second);
            store_connection_settings(s, i % 2 ? serial : tcp);
        }
    });
    int mixtures = 0;
    for (int i = 0; i < 200000; ++i) {
        PollDefinition poll = copy_poll_definition(s);
        if (!(poll == first) && !(poll == second))
            ++mixtures;
        ConnectionSettings connection = copy_connection_settings(s);
        if (!(connection == serial) && !(connection == tcp))
            ++mixtures;
    }
    stop.store(true);
    writer.join();
    EXPECT_EQ(mixtures, 0);
}

TEST(LinkState, ExitPathWakesAWaitingWorkerAtOnce)
{
    // A link to a serial line without a name fails at once and then waits
    // out its scan rate; the exit must not wait for that.
    auto link = std::make_shared<LinkState>();
    PollDefinition poll;
    poll.scan_rate = 10000;
    store_poll_definition(*link, poll);
    link->running.store(true);
    ASSERT_TRUE(start_worker(link, std::make_shared<Recorder>()));
    auto wait_for = [](auto done) {
        for (int ms = 0; !done() && ms < 5000; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    wait_for([&] { return active_workers(*link) == 1; });
    ASSERT_EQ(active_workers(*link), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // into its wait

    auto asked = std::chrono::steady_clock::now();
    request_stop(*link);
    wait_for([&] { return active_workers(*link) == 0; });
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
    EXPECT_EQ(active_workers(*link), 0);
    EXPECT_LT(took.count(), 500) << "the worker ended " << took.count() << " ms after the exit asked it to";
}
