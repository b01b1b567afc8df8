// The poll cycle over a serial line with RTU framing: a libmodbus RTU server
// on one end of a socat pty pair, the program on the other.

#include <gtest/gtest.h>

#include <modbus.h>

#include <cerrno>

#include "link_fixture.hpp"
#include "support/rtu_test_server.hpp"

namespace {

using namespace link_test;
using Strings = std::vector<std::string>;

class RtuLink : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        server = RtuTestServer::start(7);
        ASSERT_TRUE(server);
        serial.device = server->client_device();
        serial.baud_or_port = 9600;
        serial.parity = 'E';
        serial.response_timeout_ms = 500;
    }

    std::unique_ptr<RtuTestServer> server;
    ConnectionSettings serial;
};

// Given a register write and a read of the same block in one cycle, expect
// the written value read back and every frame logged without its checksum.
TEST_F(RtuLink, WritesAndReadsBackInOneCycle)
{
    server->set_holding(10, 0x1234);
    request_write(6, 11, 500, 1, 7);
    run_cycle(poll_of(7, 3, 10, 2), serial);
    EXPECT_FALSE(write_waiting());
    EXPECT_FALSE(last_write_result().failed);
    EXPECT_EQ(server->holding(11), 500);
    EXPECT_EQ(shown_values(), (std::vector<uint16_t>{0x1234, 500}));
    EXPECT_EQ(logged_frames(), (Strings{"TX: 07 06 00 0B 01 F4", "RX: 07 06 00 0B 01 F4", "TX: 07 03 00 0A 00 02",
                                        "RX: 07 03 04 12 34 01 F4"}));
    EXPECT_EQ(status_text(), " ");
}

TEST_F(RtuLink, OtherUnitNeverAnswersAndTimesOut)
{
    // Given a request for unit 8 on a line where only unit 7 answers, expect
    // the library's time-out text and zeros.
    run_cycle(poll_of(8, 3, 0, 2), serial);
    EXPECT_EQ(logged_frames(), Strings{"TX: 08 03 00 00 00 02"});
    EXPECT_EQ(status_text(), "Connection timed out");
    EXPECT_EQ(shown_values(), (std::vector<uint16_t>{0, 0}));
}

// Given a device answering later than the time-out, expect its late reply
// never taken for the next request, which reads another block once the
// scan rate has passed. (A reply that comes wholly after the next request
// went out cannot be told from its answer on a line without transaction ids.)
TEST_F(RtuLink, LateReplyIsNeverTakenForTheNextRequest)
{
    serial.response_timeout_ms = 250;
    for (uint16_t i = 0; i < 2; ++i) {
        server->set_holding(i, uint16_t(11 + i));
        server->set_holding(uint16_t(200 + i), uint16_t(21 + i));
    }
    server->delay_next_replies(1, 400);
    run_cycle(poll_of(7, 3, 0, 2, 0), serial);
    EXPECT_EQ(status_text(), "Connection timed out");
    run_for(300);
    run_cycle(poll_of(7, 3, 200, 2, 0), serial);
    EXPECT_EQ(shown_values(), (std::vector<uint16_t>{21, 22}));
    EXPECT_EQ(status_text(), " ");
}

// Units 248 to 254 cannot be addressed on a serial line: nothing is sent,
// and the refusal is told (once as "Not connected" right after a Disconnect).
TEST_F(RtuLink, UnitTheLineCannotAddressGetsNoRequest)
{
    uint32_t write = request_write(6, 3, 9, 1, 250);
    run_cycle(poll_of(250, 3, 0, 2), serial);
    EXPECT_EQ(last_write_result().sequence, write);
    EXPECT_EQ(last_write_result().error, EINVAL);
    EXPECT_EQ(status_text(), modbus_strerror(EINVAL));
    EXPECT_TRUE(status_is_error());
    EXPECT_TRUE(logged_frames().empty());
    EXPECT_EQ(server->request_count(), 0u);

    link().disconnect_notice.store(true);
    run_cycle(poll_of(250, 3, 0, 2), serial);
    EXPECT_EQ(status_text(), "Not connected");
    EXPECT_FALSE(status_is_error());
    run_cycle(poll_of(250, 3, 0, 2), serial);
    EXPECT_EQ(status_text(), modbus_strerror(EINVAL));
}

// Given a worker waiting on a silent line with a long time-out, expect
// Disconnect to end the wait at once.
TEST_F(RtuLink, DisconnectEndsAWaitForASilentDevice)
{
    serial.response_timeout_ms = 8000;
    connect_with(poll_of(8, 3, 0, 2), serial);
    ASSERT_TRUE(run_until([] { return logged_frames().size() == 1; }, 3000));
    run_for(200);
    disconnect();
    auto disconnected = std::chrono::steady_clock::now();
    ASSERT_TRUE(run_until([] { return worker_threads() == 0; }, 3000));
    EXPECT_LE(elapsed_ms(disconnected), 300.0);
    EXPECT_EQ(status_text(), "Not connected");
}

TEST_F(RtuLink, MissingDeviceIsAFailedConnect)
{
    serial.device = server->client_device() + "-gone";
    run_cycle(poll_of(7, 3, 0, 2), serial);
    EXPECT_EQ(status_text(), "No such file or directory");
    EXPECT_TRUE(status_is_error());
    EXPECT_TRUE(logged_frames().empty());
}

}  // namespace
