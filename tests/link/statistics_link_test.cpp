#include <gtest/gtest.h>
#include <modbus.h>

#include "link/link_statistics.hpp"
#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"

namespace {

using namespace link_test;
using namespace std::chrono_literals;
using Behaviour = ModbusTestServer::Behaviour;

class StatisticsLink : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        reset_statistics(link().statistics);
        server = ModbusTestServer::start_tcp();
        ASSERT_TRUE(server);
    }

    size_t requests_of(uint8_t function)
    {
        size_t n = 0;
        for (const ServerRequest& request : server->requests())
            n += request.function == function;
        return n;
    }

    std::unique_ptr<ModbusTestServer> server;
};

// Given a device that answers every request after 50 ms, expect the median
// response near 50 ms and the counters equal to the server's own log.
TEST_F(StatisticsLink, SlowDeviceGivesItsResponseTimeAndCountsMatchTheServer)
{
    server->set_reply_delay(50ms);
    constexpr int cycles = 5;
    for (int i = 0; i < cycles; ++i) {
        if (i == 2)
            request_write(6, 10, 7, 1);
        run_cycle(poll_of(1, 3, 0, 4), tcp_settings(server->port()));
    }
    StatisticsSnapshot stats = take_snapshot(link().statistics);
    EXPECT_EQ(stats.polls, requests_of(3));
    EXPECT_EQ(stats.polls, uint64_t(cycles));
    EXPECT_EQ(stats.good, uint64_t(cycles));
    EXPECT_EQ(stats.writes_sent, requests_of(6));
    EXPECT_EQ(stats.writes_sent, 1u);
    EXPECT_EQ(stats.writes_failed, 0u);
    EXPECT_EQ(stats.timeouts + stats.bad_replies + stats.other_failures + exception_total(stats), 0u);
    double p50 = percentile_ns(stats.transaction, 50);
    EXPECT_GE(p50, 40e6);
    EXPECT_LE(p50, 80e6);
    EXPECT_GE(stats.transaction.min_ns, 40'000'000u);
    EXPECT_EQ(stats.connect.count, server->connection_count());
    EXPECT_GT(stats.connect.min_ns, 0u);
}

// One cycle per failure: each lands under its own counter and nowhere else.
TEST_F(StatisticsLink, FailuresAreCountedUnderTheirKind)
{
    auto closed = ModbusTestServer::start_tcp();
    ASSERT_TRUE(closed);
    int closed_port = closed->port();
    closed->stop();  // nobody listens there now: the connect is refused

    struct Row {
        const char* name;
        Behaviour behaviour;
        int port;
        uint64_t polls, timeouts, exceptions_02, other, connect_failures;
    } rows[] = {
        {"silent server", Behaviour::silent, server->port(), 1, 1, 0, 0, 0},
        {"exception response", Behaviour::exception, server->port(), 1, 0, 1, 0, 0},
        {"refused connect", Behaviour::answer, closed_port, 0, 0, 0, 1, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset_statistics(link().statistics);
        server->set_behaviour(row.behaviour);
        run_cycle(poll_of(1, 3, 0, 4), tcp_settings(row.port, 100));
        StatisticsSnapshot stats = take_snapshot(link().statistics);
        EXPECT_EQ(stats.polls, row.polls);
        EXPECT_EQ(stats.good, 0u);
        EXPECT_EQ(stats.timeouts, row.timeouts);
        EXPECT_EQ(stats.exceptions[MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS], row.exceptions_02);
        EXPECT_EQ(exception_total(stats), row.exceptions_02);
        EXPECT_EQ(stats.bad_replies, 0u);
        EXPECT_EQ(stats.other_failures, row.other);
        EXPECT_EQ(stats.connect_failures, row.connect_failures);
        EXPECT_EQ(stats.transaction.count, 0u);
    }
}

}  // namespace
