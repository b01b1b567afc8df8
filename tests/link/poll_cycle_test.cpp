#include "link/poll_round.hpp"

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
        PublishedValues marks{PollDefinition{}, 3, true};
        marks.values.fill(0xDEAD);
        marks.key = 1;  // the one definition's
        recorder().values_read(marks);
    }

    std::unique_ptr<ModbusTestServer> server;
};

// Unit 255 is read over TCP like any other.
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
        {poll_of(255, 3, 0x0201, 1), {0xFFFF}, {"TX: FF 03 02 01 00 01", "RX: FF 03 02 FF FF"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.poll.fcode));
        forget_frames();
        scribble_values();
        run_cycle(row.poll, tcp_settings(server->port()));
        EXPECT_EQ(shown_values(), row.values);
        EXPECT_EQ(logged_frames(), row.frames);
        EXPECT_EQ(status_text(), " ");
        EXPECT_FALSE(status_is_error());
        EXPECT_EQ(server->requests().back().unit, row.poll.slave);
    }
    EXPECT_EQ(server->connection_count(), 5u) << "one connection per cycle";
}

// Given fc 3 and 200 registers, more than one request may carry, expect
// two requests, one after the other, and the block shown whole. Given an
// exception response, expect it logged as it came, named by its code,
// counted under it, and zeros for the whole block.
TEST_F(PollCycle, LongBlockIsReadInPartsAndAnExceptionIsNamed)
{
    for (uint16_t i = 0; i < 200; ++i)
        server->set_holding(i, uint16_t(1000 + i));
    run_cycle(poll_of(245, 3, 0, 200), tcp_settings(server->port()));
    Values shown = shown_values();
    ASSERT_EQ(shown.size(), 200u);
    EXPECT_EQ(shown[0], 1000);
    EXPECT_EQ(shown[124], 1124);
    EXPECT_EQ(shown[125], 1125);
    EXPECT_EQ(shown[199], 1199);
    EXPECT_TRUE(published_values().live);
    Strings frames = logged_frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], "TX: F5 03 00 00 00 7D");
    EXPECT_EQ(frames[2], "TX: F5 03 00 7D 00 4B");
    EXPECT_EQ(status_text(), " ");
    EXPECT_EQ(take_snapshot(link().statistics).good, 2u);

    forget_frames();
    reset_statistics(link().statistics);
    server->set_behaviour(ModbusTestServer::Behaviour::exception);
    scribble_values();
    run_cycle(poll_of(1, 3, 0, 5), tcp_settings(server->port()));
    EXPECT_EQ(logged_frames(), (Strings{"TX: 01 03 00 00 00 05", "RX: 01 83 02"}));
    EXPECT_EQ(status_text(), "Exception 02: Illegal data address");
    EXPECT_TRUE(status_is_error());
    EXPECT_EQ(shown_values(), Values(5, 0));
    StatisticsSnapshot figures = take_snapshot(link().statistics);
    EXPECT_EQ(figures.polls, 1u);
    EXPECT_EQ(figures.exceptions[2], 1u);
}

// The response time-out bounds the wait and is handed over as seconds and
// microseconds (1200 ms: 1 s plus 200000 us); 0 is refused by the library,
// which keeps its default of half a second.
TEST_F(PollCycle, SilentServerGivesTheLibraryTimeOutText)
{
    server->set_behaviour(ModbusTestServer::Behaviour::silent);
    scribble_values();
    link().disconnect_notice.store(true);  // a time-out always names itself
    auto start = std::chrono::steady_clock::now();
    run_cycle(poll_of(1, 4, 0, 3), tcp_settings(server->port(), 1200));
    EXPECT_GE(elapsed_ms(start), 1150.0);
    EXPECT_LE(elapsed_ms(start), 3000.0);
    EXPECT_EQ(logged_frames(), Strings{"TX: 01 04 00 00 00 03"});
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));
    EXPECT_TRUE(status_is_error());
    EXPECT_EQ(recorder().status().error, ETIMEDOUT);
    EXPECT_EQ(shown_values(), Values(3, 0));
    EXPECT_TRUE(link().disconnect_notice.load());

    start = std::chrono::steady_clock::now();
    run_cycle(poll_of(1, 3, 0, 1), tcp_settings(server->port(), 0));
    EXPECT_GE(elapsed_ms(start), 450.0);
    EXPECT_LE(elapsed_ms(start), 1100.0);
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));
}

// Refused before anything is read; a troubled write of the same cycle is
// still told.
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
    EXPECT_EQ(published_values().value_count, 3u) << "the values stay";
    EXPECT_FALSE(published_values().live);

    request_write(16, 0, 9, 200);  // refused by the library before anything is sent
    run_cycle(poll_of(255, 3, 0, 4), serial);
    EXPECT_TRUE(last_write_result().failed);
    EXPECT_EQ(status_text(), modbus_strerror(EMBMDATA));
    EXPECT_TRUE(status_is_error());
    EXPECT_EQ(rtu->request_count(), 0u);
}

// Units 248 to 254 are legal over TCP (the library selects only 0..247 and
// 255): the read and the write go to the unit chosen, with no trouble told.
TEST_F(PollCycle, UnitsTheLibraryWillNotSelectAreSentOverTcp)
{
    server->set_holding(0, 66);
    request_write(6, 5, 77, 1, 252);
    run_cycle(poll_of(250, 3, 0, 1), tcp_settings(server->port()));
    EXPECT_FALSE(last_write_result().failed);
    EXPECT_EQ(server->holding(5), 77);
    EXPECT_EQ(shown_values(), Values{66});
    EXPECT_EQ(logged_frames(), (Strings{"TX: FC 06 00 05 00 4D", "RX: FC 06 00 05 00 4D", "TX: FA 03 00 00 00 01",
                                        "RX: FA 03 02 00 42"}));
    EXPECT_EQ(status_text(), " ");
    std::vector<ServerRequest> requests = server->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].unit, 252);
    EXPECT_EQ(requests[1].unit, 250);
}

// Given a name that does not resolve or a closed port, expect the reason of
// the failed connect even right after a Disconnect.
TEST_F(PollCycle, FailedConnectShowsItsOwnReasonEvenAfterADisconnect)
{
    auto expect_failed_connect = [&](const ConnectionSettings& settings, const char* reason) {
        link().disconnect_notice.store(true);
        run_cycle(poll_of(1, 3, 0, 2), settings);
        EXPECT_EQ(status_text(), reason);
        EXPECT_TRUE(status_is_error());
        EXPECT_TRUE(link().disconnect_notice.load()) << "kept for the next failure A";
        EXPECT_TRUE(logged_frames().empty());
    };
    ConnectionSettings named = tcp_settings(server->port());
    named.device = "no-such-host.invalid";
    expect_failed_connect(named, "Name or service not known");
    EXPECT_EQ(server->connection_count(), 0u);
    int closed_port = server->port();
    server.reset();
    expect_failed_connect(tcp_settings(closed_port), "Connection refused");
    EXPECT_EQ(recorder().status().error, ECONNREFUSED);
}

}  // namespace
