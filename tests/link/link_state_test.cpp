#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "link/link_state.hpp"
#include "link/worker.hpp"

TEST(LinkState, StartsWithTheDocumentedValues)
{
    LinkState& s = link_state();
    PollDefinition poll = copy_poll_definition();
    EXPECT_EQ(poll.slave, 245);
    EXPECT_EQ(poll.fcode, 3);
    EXPECT_EQ(poll.address, 0);
    EXPECT_EQ(poll.length, 20);
    EXPECT_EQ(poll.scan_rate, 1000u);

    ConnectionSettings connection = copy_connection_settings();
    EXPECT_EQ(connection.device, "");
    EXPECT_EQ(connection.baud_or_port, 19200u);
    EXPECT_EQ(connection.response_timeout_ms, 1000u);
    EXPECT_EQ(connection.parity, 'N');
    EXPECT_EQ(connection.data_bits, 8);
    EXPECT_EQ(connection.stop_bits, 1);
    EXPECT_FALSE(connection.use_tcp);

    EXPECT_EQ(s.write.slave.load(), 1);
    EXPECT_EQ(s.write.fcode.load(), 6);
    EXPECT_EQ(s.write.address.load(), 0);
    EXPECT_EQ(s.write.value.load(), 0);
    EXPECT_EQ(s.write.count.load(), 1);
    EXPECT_TRUE(s.write_done.load());
    EXPECT_FALSE(s.write_failed.load());
    EXPECT_FALSE(s.write_cancelled.load());
    EXPECT_EQ(s.write_errno.load(), 0);

    EXPECT_EQ(s.value_count.load(), 0u);
    EXPECT_FALSE(s.running.load());
    EXPECT_FALSE(s.stop_requested.load());
    EXPECT_FALSE(s.disconnect_notice.load());
    EXPECT_EQ(s.last_errno.load(), 0);
}

// Given one thread storing two very different definitions in turn, expect
// every copy taken meanwhile to be one of them whole.
TEST(LinkState, SettingsCopyIsNeverAMixture)
{
    const PollDefinition first{1, 1, 100, 10, 500};
    const PollDefinition second{200, 4, 60000, 125, 7};
    ConnectionSettings serial;
    serial.device = "/dev/ttyUSB0";
    ConnectionSettings tcp;
    tcp.device = "127.0.0.1";
    tcp.baud_or_port = 1502;
    tcp.response_timeout_ms = 250;
    tcp.parity = 'E';
    tcp.data_bits = 7;
    tcp.stop_bits = 2;
    tcp.use_tcp = true;
    store_poll_definition(first);
    store_connection_settings(serial);

    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i) {
            store_poll_definition(i % 2 ? first : second);
            store_connection_settings(i % 2 ? serial : tcp);
        }
    });
    int mixtures = 0;
    for (int i = 0; i < 200000; ++i) {
        PollDefinition poll = copy_poll_definition();
        if (!(poll == first) && !(poll == second))
            ++mixtures;
        ConnectionSettings connection = copy_connection_settings();
        if (!(connection == serial) && !(connection == tcp))
            ++mixtures;
    }
    stop.store(true);
    writer.join();
    EXPECT_EQ(mixtures, 0);
    reset_link_state();
}

TEST(LinkState, ExitPathWakesAWaitingWorkerAtOnce)
{
    // A link to a serial line without a name fails at once and then waits
    // out its scan rate; the exit must not wait for that.
    PollDefinition poll;
    poll.scan_rate = 10000;
    store_poll_definition(poll);
    link_state().running.store(true);
    ASSERT_TRUE(start_worker());
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (active_workers() == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(active_workers(), 1);
    // Let the worker reach its wait.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    auto asked = std::chrono::steady_clock::now();
    request_stop();
    while (active_workers() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - asked);
    EXPECT_EQ(active_workers(), 0);
    EXPECT_LT(took.count(), 500) << "the worker ended " << took.count() << " ms after the exit asked it to";
}
