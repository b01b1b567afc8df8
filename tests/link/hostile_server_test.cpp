// The link against a TCP peer that answers with replies that disagree with
// the request, or trickles them in a byte at a time.

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "link/link_statistics.hpp"
#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/raw_tcp_server.hpp"

namespace {

using namespace link_test;
using Strings = std::vector<std::string>;
using Values = std::vector<uint16_t>;

uint16_t register_value(uint16_t address)
{
    return uint16_t(0x1100 + address);
}

// The fault a reply carries is chosen by the address the request reads.
enum Fault : uint16_t {
    good = 0,
    other_unit = 10,
    protocol_one = 20,
    length_3 = 30,
    length_250 = 40,
    other_function = 50,
    short_byte_count = 60,
    other_transaction = 70,
    loose_coil_bits = 80,  // a good coil reply with the unused high bits set
    trickle = 90,          // a byte count of 250, one byte every 400 ms
};

RawTcpServer::Reply reply_to(const Bytes& request)
{
    uint16_t address = uint16_t(request[8] << 8 | request[9]);
    Bytes reply = good_read_reply(request, register_value);
    switch (address) {
    case other_unit:
        reply[6] = uint8_t(reply[6] + 1);
        break;
    case protocol_one:
        reply[3] = 1;
        break;
    case length_3:
        reply[5] = 3;
        break;
    case length_250:
        reply[5] = 250;
        break;
    case other_function:
        reply[7] = 4;
        break;
    case short_byte_count:
        reply[8] = uint8_t(reply[8] - 2);
        reply[5] = uint8_t(reply[5] - 2);
        reply.resize(reply.size() - 2);
        break;
    case other_transaction:
        reply[1] = 5;
        break;
    case loose_coil_bits:
        reply.back() = 0xFF;
        break;
    case trickle:
        reply = {0, 0, 0, 0, 0, 253, request[6], 3, 250};
        reply.resize(9 + 250, 0x42);
        return {reply, 0, 400};
    }
    return {reply, 0, 0};
}

class HostileServer : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        server = RawTcpServer::start(reply_to);
        ASSERT_TRUE(server);
    }

    std::unique_ptr<RawTcpServer> server;
};

// Given a reply whose header or body disagrees with the request, expect a
// failed read: the library's text for bad data, zeros, and what came
// logged as it came.
// Given the reply to another transaction, expect it passed over.
TEST_F(HostileServer, ReplyThatDisagreesWithTheRequestIsNeverShown)
{
    for (Fault fault : {other_unit, protocol_one, length_3, length_250, other_function, short_byte_count}) {
        SCOPED_TRACE(fault);
        forget_frames();
        run_cycle(poll_of(1, 3, fault, 2), tcp_settings(server->port()));
        EXPECT_EQ(status_text(), modbus_strerror(EMBBADDATA));
        EXPECT_TRUE(status_is_error());
        EXPECT_EQ(shown_values(), Values(2, 0));
        EXPECT_FALSE(published_values().live);
        ASSERT_EQ(logged_frames().size(), 2u) << "the request and what came";
    }
    // The reply to another transaction is shown as it came and counted, but
    // the read waits for its own, which never comes.
    forget_frames();
    reset_statistics(link().statistics);
    run_cycle(poll_of(1, 3, other_transaction, 2), tcp_settings(server->port(), 300));
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));
    EXPECT_EQ(shown_values(), Values(2, 0));
    EXPECT_EQ(logged_frames().size(), 2u);
    StatisticsSnapshot figures = take_snapshot(link().statistics);
    EXPECT_EQ(figures.stale_replies, 1u);
    EXPECT_EQ(figures.good + figures.bad_replies, 0u);
    // A good reply is shown, and logged as it came over the wire.
    forget_frames();
    run_cycle(poll_of(1, 3, good, 2), tcp_settings(server->port()));
    EXPECT_EQ(shown_values(), (Values{0x1100, 0x1101}));
    EXPECT_EQ(status_text(), " ");
    run_cycle(poll_of(9, 1, loose_coil_bits, 3), tcp_settings(server->port()));
    EXPECT_EQ(shown_values(), (Values{1, 1, 1}));
    EXPECT_EQ(logged_frames(), (Strings{"TX: 01 03 00 00 00 02", "RX: 01 03 04 11 00 11 01", "TX: 09 01 00 50 00 03",
                                        "RX: 09 01 01 FF"}));
}

// Given a reply trickling in for 100 s, expect the read cut off within the
// response time-out and one more half second.
TEST_F(HostileServer, TricklingReplyEndsWithinItsDeadline)
{
    auto start = std::chrono::steady_clock::now();
    run_cycle(poll_of(1, 3, trickle, 125), tcp_settings(server->port(), 500));
    EXPECT_LE(elapsed_ms(start), 1600.0);
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));
    EXPECT_EQ(shown_values(), Values(125, 0));
}

// Given a worker stuck in a trickling read with a long time-out, expect
// Disconnect to end it at once, and a Connect to a healthy server to poll
// it one start pause later.
TEST_F(HostileServer, DisconnectEndsAStuckReadAtOnce)
{
    store_poll_definition(poll_of(1, 3, trickle, 125, 100));
    connect_to(server->port(), 9000);
    // Inside the library's receive: the first bytes have come, the rest
    // would take 100 s, and the reply's own deadline is half a second away.
    ASSERT_TRUE(run_until([&] { return server->request_count() == 1; }, 3000));
    run_for(50);
    disconnect();
    auto disconnected = std::chrono::steady_clock::now();
    ASSERT_TRUE(run_until([] { return worker_threads() == 0; }, 3000));
    EXPECT_LE(elapsed_ms(disconnected), 250.0);
    EXPECT_EQ(status_text(), "Not connected");

    auto healthy = ModbusTestServer::start_tcp();
    ASSERT_TRUE(healthy);
    store_poll_definition(poll_of(1, 3, 0, 2, 100));
    auto connected = std::chrono::steady_clock::now();
    connect_to(healthy->port());
    ASSERT_TRUE(run_until([&] { return healthy->request_count() > 0; }, 3000));
    EXPECT_LE(elapsed_ms(connected), 1500.0);
    disconnect();
}

}  // namespace
