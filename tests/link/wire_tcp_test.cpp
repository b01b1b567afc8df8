// The wire over TCP against peers that answer out of turn: replies sent
// twice, late echoes, connections the peer closed while idle, a connect
// that never completes.

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "link/frames.hpp"
#include "link/open_link.hpp"
#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/raw_tcp_server.hpp"
#include "support/scripted_tcp_server.hpp"

namespace {

using namespace link_test;
using Values = std::vector<uint16_t>;
using Request = ScriptedTcpServer::Request;
using Sends = std::vector<ScriptedTcpServer::Send>;

ConnectionSettings kept(ConnectionSettings settings)
{
    settings.keep_open = true;
    return settings;
}

bool is_read(const Request& request)
{
    return request.bytes[7] <= 4;
}

uint16_t written_value(const Request& request)
{
    return uint16_t(request.bytes[10] << 8 | request.bytes[11]);
}

// Passes every report on to the test's recorder and notes, for each good
// value shown, how many read requests had gone out by then.
class ShownPerRead final : public LinkReports {
public:
    struct Shown {
        uint16_t value;
        unsigned reads_sent;
    };

    void frame_logged(const uint8_t* bytes, size_t count, LogDirection direction) override
    {
        if (direction == LogDirection::tx && count > 1 && bytes[1] >= 1 && bytes[1] <= 4) {
            std::lock_guard hold(lock_);
            ++reads_sent_;
        }
        recorder().frame_logged(bytes, count, direction);
    }
    void values_read(const PublishedValues& values) override
    {
        if (values.live && values.value_count > 0) {
            std::lock_guard hold(lock_);
            shown_.push_back({values.values[0], reads_sent_});
        }
        recorder().values_read(values);
    }
    void status_changed(const LinkStatus& status) override { recorder().status_changed(status); }
    void values_stale(uint16_t key) override { recorder().values_stale(key); }
    void write_taken(const WriteRequest& request) override { recorder().write_taken(request); }
    void write_ended(const WriteResult& result) override { recorder().write_ended(result); }
    void poll_ended(const PollOutcome& outcome) override { recorder().poll_ended(outcome); }

    std::vector<Shown> shown() const
    {
        std::lock_guard hold(lock_);
        return shown_;
    }

private:
    mutable std::mutex lock_;
    unsigned reads_sent_ = 0;
    std::vector<Shown> shown_;
};

class WireTcp : public LinkTest {};

// Given a device that answers each read after 200 ms and sends the same
// reply again 200 ms later, when the next request (scan rate 100 ms) waits
// for its own, expect each value shown to come from its own request's reply,
// the repeats counted as stale, and response times of the real 200 ms.
TEST_F(WireTcp, RepeatedReplyIsStaleNeverTheNextRequestsReply)
{
    auto server = ScriptedTcpServer::start([](const Request& request) {
        Bytes reply = read_reply(request.bytes, uint16_t(request.serial));  // the value names its request
        return Sends{{reply, 200}, {reply, 400}};
    });
    ASSERT_TRUE(server);
    auto reports = std::make_shared<ShownPerRead>();
    store_poll_definition(poll_of(1, 3, 0, 1, 100));
    store_connection_settings(kept(tcp_settings(server->port())));
    link().running.store(true);
    ASSERT_TRUE(::start_worker(current().link, reports));
    ASSERT_TRUE(run_until([&] { return reports->shown().size() >= 5; }, 8000));
    disconnect();

    for (ShownPerRead::Shown shown : reports->shown())
        EXPECT_EQ(shown.value, shown.reads_sent) << "the reply of request " << shown.value << " shown for request "
                                                 << shown.reads_sent;
    StatisticsSnapshot stats = take_snapshot(link().statistics);
    EXPECT_GE(stats.stale_replies, 2u);
    EXPECT_EQ(stats.bad_replies + stats.timeouts + stats.other_failures, 0u);
    EXPECT_GE(stats.transaction.min_ns, 150'000'000u) << "a response time measured on an earlier request's reply";
}

// Given, on one kept connection, a read's reply sent again on a write the
// device then applies, a write refused with exception 0B, and the late echo
// of that refused write landing on its repetition (which the device
// ignores), expect the first write to succeed and the repetition to fail.
TEST_F(WireTcp, StaleReplyNeverDecidesAWrite)
{
    constexpr uint16_t applied = 0xA1;
    constexpr uint16_t refused = 0xB2;
    std::map<size_t, Bytes> last_read_reply;  // by connection; the server's thread only
    Bytes refused_write;
    auto server = ScriptedTcpServer::start([&](const Request& request) -> Sends {
        if (is_read(request))
            return {{last_read_reply[request.connection] = read_reply(request.bytes, 5), 0}};
        if (written_value(request) == applied)
            return {{last_read_reply[request.connection], 0}, {write_echo(request.bytes), 30}};
        if (refused_write.empty()) {
            refused_write = request.bytes;
            return {{exception_reply(request.bytes, 0x0B), 0}};
        }
        return {{write_echo(refused_write), 20}};
    });
    ASSERT_TRUE(server);
    connect_with(poll_of(1, 3, 0, 1, 50), kept(tcp_settings(server->port(), 400)));
    ASSERT_TRUE(run_until([] { return shown_values() == Values{5}; }, 3000));

    auto send_and_wait = [](uint16_t value) {
        uint32_t write = request_write(6, 10, value, 1);
        EXPECT_TRUE(run_until([&] { return last_write_result().sequence == write; }, 3000));
        return last_write_result();
    };
    WriteResult result = send_and_wait(applied);
    EXPECT_FALSE(result.failed) << "a read's reply taken for the write's: " << modbus_strerror(result.error);
    result = send_and_wait(refused);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.error, EMBXGTAR);
    result = send_and_wait(refused);
    EXPECT_TRUE(result.failed) << "the echo of the refused write taken for its repetition's";
    EXPECT_GE(take_snapshot(link().statistics).stale_replies, 2u);
}

// Given a server that closes connections idle for 300 ms and a kept link
// polling every 500 ms, expect every cycle and every write to succeed: the
// link sees the closed connection and opens a new one before it sends.
TEST_F(WireTcp, KeptConnectionClosedByThePeerIsOpenedAgainBeforeUse)
{
    auto server = ScriptedTcpServer::start(
        [](const Request& request) -> Sends {
            return {{is_read(request) ? read_reply(request.bytes, 8) : write_echo(request.bytes), 0}};
        },
        300);
    ASSERT_TRUE(server);
    connect_with(poll_of(1, 3, 0, 1, 500), kept(tcp_settings(server->port())));
    for (unsigned cycle = 1; cycle <= 5; ++cycle) {
        ASSERT_TRUE(run_until([&] { return recorder().polls().size() >= cycle; }, 3000));
        if (cycle == 1 || cycle == 3)
            request_write(6, 4, uint16_t(cycle), 1);  // carried out in the cycle after
    }
    disconnect();
    EXPECT_GE(server->idle_closes(), 3u);
    for (const PollOutcome& poll : recorder().polls())
        EXPECT_TRUE(poll.ok);
    std::vector<WriteResult> writes = recorder().writes_ended();
    EXPECT_EQ(writes.size(), 2u);
    for (const WriteResult& write : writes)
        EXPECT_FALSE(write.failed) << modbus_strerror(write.error);
}

// Given a connect that hangs (a listener whose queue is full), expect its
// time-out to be told as one; and given Disconnect and Connect to a healthy
// server while such a connect with a 6 s time-out is under way, expect the
// new link to show values one start pause later, not after the old connect.
TEST_F(WireTcp, HangingConnectTimesOutAndNeverHoldsUpTheNextLink)
{
    StalledListener stalled;
    ASSERT_GT(stalled.port(), 0);
    run_cycle(poll_of(1, 3, 0, 1), tcp_settings(stalled.port(), 300));
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));

    store_poll_definition(poll_of(1, 3, 0, 1, 100));
    connect_to(stalled.port(), 6000);
    ASSERT_TRUE(run_until([&] { return stalled.connect_pending(); }, 4000));
    disconnect();
    auto healthy = ModbusTestServer::start_tcp();
    ASSERT_TRUE(healthy);
    healthy->set_holding(0, 9);
    auto connected = std::chrono::steady_clock::now();
    connect_to(healthy->port());
    ASSERT_TRUE(run_until([] { return shown_values() == Values{9} && published_values().live; }, 8000));
    EXPECT_LE(elapsed_ms(connected), 1600.0);
}

// Given a device that echoes a write only after the link's time-out and
// answers the read of the same cycle after that echo, expect the write to
// fail with the time-out and the read to show its own values.
TEST_F(WireTcp, LateWriteEchoIsNeverTheReadsReply)
{
    auto server = ScriptedTcpServer::start([](const Request& request) -> Sends {
        if (is_read(request))
            return {{read_reply(request.bytes, 0x0123), 0}};
        return {{write_echo(request.bytes), 700}};
    });
    ASSERT_TRUE(server);
    uint32_t write = request_write(6, 0, 0x0123, 1);
    run_cycle(poll_of(1, 3, 0, 2), tcp_settings(server->port(), 500));
    EXPECT_EQ(last_write_result().sequence, write);
    EXPECT_TRUE(last_write_result().failed);
    EXPECT_EQ(last_write_result().error, ETIMEDOUT);
    EXPECT_EQ(shown_values(), (Values{0x0123, 0x0123}));
    EXPECT_TRUE(published_values().live);
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));
}

}  // namespace

// Given a socket shut down by a cancel (a Disconnect while a request goes
// out), expect the send to fail with EPIPE and the program to go on: a send
// on a socket must never raise SIGPIPE, which would end the whole program.
TEST_F(WireTcp, SendOnAShutSocketFailsWithoutEndingTheProgram)
{
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    CallGuard guard;
    OpenResult opened = open_link(tcp_settings(server->port()), guard);
    ASSERT_EQ(opened.outcome, OpenOutcome::opened);
    guard.cancel();
    Frame request = poll_request_frame(1, 3, 0, 1);
    EXPECT_EQ(opened.wire.transport->send(opened.wire, request), -1);
    EXPECT_EQ(errno, EPIPE);
}
