#include "link/pending_write.hpp"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"

namespace {

using namespace link_test;
using Strings = std::vector<std::string>;

size_t requests_with_function(ModbusTestServer& server, uint8_t function)
{
    size_t n = 0;
    for (const ServerRequest& request : server.requests())
        n += request.function == function;
    return n;
}

class PendingWrite : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        server = ModbusTestServer::start_tcp();
        ASSERT_TRUE(server);
    }

    void run_write_cycle()
    {
        run_cycle(poll_of(1, 3, 0, 1), tcp_settings(server->port()));
    }

    void expect_write_succeeded()
    {
        LinkState& s = link_state();
        EXPECT_TRUE(s.write_done.load());
        EXPECT_FALSE(s.write_failed.load());
        EXPECT_EQ(s.write_errno.load(), 0);
    }

    std::unique_ptr<ModbusTestServer> server;
};

// Each write reaches the server before the poll read of the same cycle,
// both frames logged; coils take bit 0 of the value.
TEST_F(PendingWrite, EveryFunctionChangesTheServersData)
{
    server->set_coil(0x0013, true);
    server->set_holding(0x0023, 99);
    struct Row {
        uint8_t slave, fcode;
        uint16_t address, value, count;
        Strings frames;
    } rows[] = {
        {17, 5, 0x0010, 1, 1, {"TX: 11 05 00 10 FF 00", "RX: 11 05 00 10 FF 00"}},
        {17, 5, 0x0013, 2, 1, {"TX: 11 05 00 13 00 00", "RX: 11 05 00 13 00 00"}},
        {1, 6, 0x0102, 0xBEEF, 1, {"TX: 01 06 01 02 BE EF", "RX: 01 06 01 02 BE EF"}},
        {1, 15, 0x0030, 1, 10, {"TX: 01 0F 00 30 00 0A 02 FF 03", "RX: 01 0F 00 30 00 0A"}},
        {1, 16, 0x0020, 7, 3, {"TX: 01 10 00 20 00 03 06 00 07 00 07 00 07", "RX: 01 10 00 20 00 03"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << int(row.fcode) << " at " << row.address);
        clear_log_history(app().logger.history);
        request_write(row.fcode, row.address, row.value, row.count, row.slave);
        auto start = std::chrono::steady_clock::now();
        run_write_cycle();
        EXPECT_GE(elapsed_ms(start), 45.0) << "a write pauses before the read";
        expect_write_succeeded();
        Strings frames = logged_frames();
        ASSERT_EQ(frames.size(), 4u);
        EXPECT_EQ(Strings(frames.begin(), frames.begin() + 2), row.frames);
        EXPECT_EQ(frames[2], "TX: 01 03 00 00 00 01");
        bool coils = row.fcode == 5 || row.fcode == 15;
        for (int a = row.address - 1; a <= row.address + row.count; ++a) {
            bool inside = a >= row.address && a < row.address + row.count;
            if (coils)
                EXPECT_EQ(server->coil(a), inside && (row.value & 1)) << a;
            else
                EXPECT_EQ(server->holding(a), inside ? row.value : a == 0x0023 ? 99 : 0) << a;
        }
    }
}

TEST_F(PendingWrite, RegisterWriteAboveTheLibraryLimitFailsCleanly)
{
    // Given 200 registers (more than a frame can carry), expect a failed
    // write with the library's text, nothing sent, and the poll going on.
    for (uint16_t count : {124, 200, 255}) {
        SCOPED_TRACE(count);
        clear_log_history(app().logger.history);
        request_write(16, 0, 9, count);
        run_write_cycle();
        LinkState& s = link_state();
        EXPECT_TRUE(s.write_done.load());
        EXPECT_TRUE(s.write_failed.load());
        EXPECT_EQ(s.write_errno.load(), EMBMDATA);
        EXPECT_STREQ(modbus_strerror(s.write_errno.load()), "Too many data");
        EXPECT_EQ(server->holding(0), 0);
        Strings frames = logged_frames();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), "RX: 01 03 02 00 00") << "the poll read still happens";
        // A frame whose byte count fits is shown as requested; no RX for it.
        EXPECT_EQ(frames.size(), count <= 127 ? 3u : 2u);
        EXPECT_EQ(shown_values(), std::vector<uint16_t>{0});
        EXPECT_EQ(status_text(), modbus_strerror(EMBMDATA)) << "told after the good read";
        EXPECT_TRUE(status_is_error());
    }
    EXPECT_EQ(requests_with_function(*server, 0x10), 0u);
}

TEST_F(PendingWrite, CancelledWriteNeverReachesTheServer)
{
    request_write(6, 3, 99, 1);
    link_state().write_cancelled.store(true);
    run_write_cycle();
    expect_write_succeeded();
    EXPECT_EQ(server->holding(3), 0);
    EXPECT_EQ(requests_with_function(*server, 0x06), 0u);
    EXPECT_EQ(logged_frames(), (Strings{"TX: 01 03 00 00 00 01", "RX: 01 03 02 00 00"}));
}

TEST_F(PendingWrite, WriteFailsWithTheReasonTheLinkCouldNotOpen)
{
    ConnectionSettings empty_ip = tcp_settings(server->port());
    empty_ip.device = "";
    request_write(6, 3, 99, 1);
    run_cycle(poll_of(1, 3, 0, 1), empty_ip);
    LinkState& s = link_state();
    EXPECT_TRUE(s.write_done.load());
    EXPECT_TRUE(s.write_failed.load());
    EXPECT_EQ(s.write_errno.load(), 0) << "0 reads as not connected";

    int closed_port = server->port();
    server.reset();
    request_write(6, 3, 99, 1);
    run_cycle(poll_of(1, 3, 0, 1), tcp_settings(closed_port));
    EXPECT_TRUE(s.write_done.load());
    EXPECT_TRUE(s.write_failed.load());
    EXPECT_EQ(s.write_errno.load(), ECONNREFUSED);
}

TEST_F(PendingWrite, RejectedWriteIsReportedWithTheLibraryError)
{
    server->set_behaviour(ModbusTestServer::Behaviour::exception);
    request_write(6, 3, 99, 1);
    run_write_cycle();
    LinkState& s = link_state();
    EXPECT_TRUE(s.write_failed.load());
    EXPECT_EQ(s.write_errno.load(), EMBXILADD);
    EXPECT_EQ(logged_frames(), (Strings{"TX: 01 06 00 03 00 63", "TX: 01 03 00 00 00 01"}));
    EXPECT_EQ(status_text(), "Response error / No communication") << "the failed read's text wins";
}

}  // namespace
