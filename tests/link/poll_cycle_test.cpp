#include "link/poll_cycle.hpp"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/rtu_test_server.hpp"

namespace {

using namespace link_test;
using Strings = std::vector<std::string>;
using Values = std::vector<uint16_t>;

class PollCycle : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        server = ModbusTestServer::start_tcp();
        ASSERT_TRUE(server);
    }

    // Leaves marks in the values that a failed read must overwrite.
    void scribble_values()
    {
        for (auto& value : link_state().values)
            value.store(0xDEAD);
        link_state().value_count.store(3);
    }

    std::unique_ptr<ModbusTestServer> server;
};

TEST_F(PollCycle, ReadsEveryFunctionCodeIntoValuesAndLogsBothFrames)
{
    const bool coils[] = {1, 0, 1, 1, 0, 0, 0, 0, 1, 1};
    for (uint16_t i = 0; i < 10; ++i) {
        server->set_coil(i, coils[i]);
        server->set_discrete_input(100 + i, i % 3 == 0);
    }
    server->set_holding(0x0200, 0x1234);
    server->set_holding(0x0201, 0xFFFF);
    server->set_input_register(5, 42);
    struct Row {
        PollDefinition poll;
        Values values;
        Strings frames;
    } rows[] = {
        {poll_of(1, 1, 0, 10), {1, 0, 1, 1, 0, 0, 0, 0, 1, 1}, {"TX: 01 01 00 00 00 0A", "RX: 01 01 02 0D 03"}},
        {poll_of(9, 2, 100, 4), {1, 0, 0, 1}, {"TX: 09 02 00 64 00 04", "RX: 09 02 01 09"}},
        {poll_of(1, 3, 0x0200, 2), {0x1234, 0xFFFF}, {"TX: 01 03 02 00 00 02", "RX: 01 03 04 12 34 FF FF"}},
        {poll_of(17, 4, 5, 1), {42}, {"TX: 11 04 00 05 00 01", "RX: 11 04 02 00 2A"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.poll.fcode));
        clear_log_history(app().logger.history);
        scribble_values();
        run_cycle(row.poll, tcp_settings(server->port()));
        EXPECT_EQ(shown_values(), row.values);
        EXPECT_EQ(logged_frames(), row.frames);
        EXPECT_EQ(status_text(), " ");
        EXPECT_FALSE(status_is_error());
    }
    EXPECT_EQ(server->connection_count(), 4u) << "one connection per cycle";
}

TEST_F(PollCycle, TooLongReadIsRefusedByTheLibraryAndShowsZeros)
{
    // Given fc 3 and 200 registers (the library reads at most 125), expect the
    // TX line only, no request on the wire and 200 zeros.
    scribble_values();
    run_cycle(poll_of(245, 3, 0, 200), tcp_settings(server->port()));
    EXPECT_EQ(logged_frames(), Strings{"TX: F5 03 00 00 00 C8"});
    EXPECT_EQ(status_text(), "Response error / No communication");
    EXPECT_TRUE(status_is_error());
    EXPECT_EQ(shown_values(), Values(200, 0));
    EXPECT_EQ(server->request_count(), 0u);
}

TEST_F(PollCycle, ExceptionResponseIsANoResponseWithZeros)
{
    server->set_behaviour(ModbusTestServer::Behaviour::exception);
    scribble_values();
    run_cycle(poll_of(1, 3, 0, 5), tcp_settings(server->port()));
    EXPECT_EQ(logged_frames(), Strings{"TX: 01 03 00 00 00 05"});
    EXPECT_EQ(status_text(), "Response error / No communication");
    EXPECT_TRUE(status_is_error());
    EXPECT_EQ(shown_values(), Values(5, 0));
}

TEST_F(PollCycle, SilentServerGivesTheLibraryTimeOutText)
{
    server->set_behaviour(ModbusTestServer::Behaviour::silent);
    scribble_values();
    link_state().disconnect_notice.store(true);  // a time-out always names itself
    auto start = std::chrono::steady_clock::now();
    run_cycle(poll_of(1, 4, 0, 3), tcp_settings(server->port(), 300));
    EXPECT_GE(elapsed_ms(start), 250.0) << "the response time-out bounds the wait";
    EXPECT_EQ(logged_frames(), Strings{"TX: 01 04 00 00 00 03"});
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));
    EXPECT_TRUE(status_is_error());
    EXPECT_EQ(link_state().last_errno.load(), ETIMEDOUT);
    EXPECT_EQ(shown_values(), Values(3, 0));
    EXPECT_TRUE(link_state().disconnect_notice.load());
}

TEST_F(PollCycle, ResponseTimeOutIsHandedOverAsSecondsAndMicroseconds)
{
    // Given 1200 ms, expect a wait of 1 s plus 200000 us; given 0, the
    // library refuses the value and keeps its default of half a second.
    server->set_behaviour(ModbusTestServer::Behaviour::silent);
    auto start = std::chrono::steady_clock::now();
    run_cycle(poll_of(1, 3, 0, 1), tcp_settings(server->port(), 1200));
    double waited = elapsed_ms(start);
    EXPECT_GE(waited, 1150.0);
    EXPECT_LE(waited, 3000.0);
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));

    start = std::chrono::steady_clock::now();
    run_cycle(poll_of(1, 3, 0, 1), tcp_settings(server->port(), 0));
    waited = elapsed_ms(start);
    EXPECT_GE(waited, 450.0);
    EXPECT_LE(waited, 1100.0);
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));
}

TEST_F(PollCycle, UnitId255IsReadOverTcp)
{
    server->set_holding(0, 77);
    run_cycle(poll_of(255, 3, 0, 1), tcp_settings(server->port()));
    EXPECT_EQ(shown_values(), Values{77});
    ASSERT_EQ(server->request_count(), 1u);
    EXPECT_EQ(server->requests()[0].unit, 255);
    EXPECT_EQ(status_text(), " ");
}

TEST_F(PollCycle, UnitId255IsRefusedOnASerialLine)
{
    auto rtu = RtuTestServer::start(1);
    ASSERT_TRUE(rtu);
    ConnectionSettings serial;
    serial.device = rtu->client_device();
    scribble_values();
    run_cycle(poll_of(255, 3, 0, 4), serial);
    EXPECT_EQ(status_text(), "Modbus ID 255 not allowed for RTU");
    EXPECT_TRUE(status_is_error());
    EXPECT_TRUE(logged_frames().empty());
    EXPECT_EQ(link_state().value_count.load(), 3u) << "the grid is not refreshed";
    EXPECT_EQ(rtu->request_count(), 0u);
}

TEST_F(PollCycle, UnitId255OnASerialLineStillTellsATroubledWrite)
{
    auto rtu = RtuTestServer::start(1);
    ASSERT_TRUE(rtu);
    ConnectionSettings serial;
    serial.device = rtu->client_device();
    request_write(16, 0, 9, 200);  // refused by the library before anything is sent
    run_cycle(poll_of(255, 3, 0, 4), serial);
    EXPECT_TRUE(link_state().write_failed.load());
    EXPECT_EQ(status_text(), modbus_strerror(EMBMDATA));
    EXPECT_TRUE(status_is_error());
    EXPECT_EQ(rtu->request_count(), 0u) << "nothing is read";
}

TEST_F(PollCycle, RefusedSlaveSelectionIsToldAfterTheRead)
{
    // Given unit 250 over TCP (the library selects only 0..247 and 255), expect
    // the block read anyway and logged with 250, then the selection's error;
    // right after a Disconnect the same trouble says "Not connected" once.
    server->set_holding(0, 66);
    run_cycle(poll_of(250, 3, 0, 1), tcp_settings(server->port()));
    EXPECT_EQ(shown_values(), Values{66});
    EXPECT_EQ(logged_frames(), (Strings{"TX: FA 03 00 00 00 01", "RX: FA 03 02 00 42"}));
    EXPECT_EQ(status_text(), modbus_strerror(EINVAL));
    EXPECT_TRUE(status_is_error());

    link_state().disconnect_notice.store(true);
    run_cycle(poll_of(250, 3, 0, 1), tcp_settings(server->port()));
    EXPECT_EQ(status_text(), "Not connected");
    EXPECT_FALSE(status_is_error());
    EXPECT_FALSE(link_state().disconnect_notice.load());
    run_cycle(poll_of(250, 3, 0, 1), tcp_settings(server->port()));
    EXPECT_EQ(status_text(), modbus_strerror(EINVAL));
}

TEST_F(PollCycle, NoContextShowsNotConnectedOnceAfterADisconnect)
{
    // Given an empty IP text (the library makes no context), expect its error
    // text, except for the first failure after a Disconnect.
    ConnectionSettings empty_ip = tcp_settings(server->port());
    empty_ip.device = "";
    link_state().disconnect_notice.store(true);
    run_cycle(poll_of(1, 3, 0, 2), empty_ip);
    EXPECT_EQ(status_text(), "Not connected");
    EXPECT_FALSE(status_is_error());
    run_cycle(poll_of(1, 3, 0, 2), empty_ip);
    EXPECT_EQ(status_text(), modbus_strerror(EINVAL));
    EXPECT_TRUE(status_is_error());
    EXPECT_TRUE(logged_frames().empty());
    EXPECT_EQ(server->connection_count(), 0u);
}

TEST_F(PollCycle, RefusedConnectShowsTheLibraryTextEvenAfterADisconnect)
{
    int closed_port = server->port();
    server.reset();
    link_state().disconnect_notice.store(true);
    run_cycle(poll_of(1, 3, 0, 2), tcp_settings(closed_port));
    EXPECT_EQ(status_text(), modbus_strerror(ECONNREFUSED));
    EXPECT_EQ(status_text(), "Connection refused");
    EXPECT_TRUE(status_is_error());
    EXPECT_TRUE(link_state().disconnect_notice.load()) << "kept for the next failure A";
    EXPECT_TRUE(logged_frames().empty());
}

TEST_F(PollCycle, HostNameIsNotResolvedSoTheConnectFails)
{
    // Given a name instead of a dotted address, expect a failed connect: its
    // own error text, even right after a Disconnect, and nothing read.
    ConnectionSettings named = tcp_settings(server->port());
    named.device = "localhost";
    link_state().disconnect_notice.store(true);
    run_cycle(poll_of(1, 3, 0, 2), named);
    int error = link_state().last_errno.load();
    EXPECT_NE(error, 0);
    EXPECT_EQ(status_text(), modbus_strerror(error));
    EXPECT_TRUE(status_is_error());
    EXPECT_TRUE(link_state().disconnect_notice.load());
    EXPECT_EQ(server->connection_count(), 0u);
    EXPECT_TRUE(logged_frames().empty());
}

TEST_F(PollCycle, TroubledWriteIsToldAfterASuccessfulRead)
{
    // Given a register write the library refuses and a good read, expect the
    // values and then the write's error text.
    server->set_holding(0, 5);
    request_write(16, 0, 9, 200);
    run_cycle(poll_of(1, 3, 0, 1), tcp_settings(server->port()));
    EXPECT_EQ(shown_values(), Values{5});
    EXPECT_EQ(status_text(), modbus_strerror(EMBMDATA));
    EXPECT_TRUE(status_is_error());
}

}  // namespace
