// Modbus ASCII on a serial line and RTU frames over TCP, against Debian's
// python3-pymodbus with its ASCII and RTU framers, and a bad LRC from the
// tests' own pty device. The Logger shows every framing alike: unit id and
// protocol data unit, without header, CRC or LRC.

#include <gtest/gtest.h>

#include "link/link_statistics.hpp"
#include "link_fixture.hpp"
#include "support/pty_device.hpp"
#include "support/pymodbus_launcher.hpp"

namespace {

using namespace link_test;
using Strings = std::vector<std::string>;
using Values = std::vector<uint16_t>;

class WireTransports : public LinkTest {
protected:
    // A read and a write of the pymodbus tables, each in a cycle of its own.
    void expect_read_write_and_log(const ConnectionSettings& settings)
    {
        run_cycle(poll_of(1, 3, 10, 3), settings);
        EXPECT_EQ(shown_values(), (Values{1010, 1011, 1012}));
        EXPECT_EQ(status_text(), " ");
        EXPECT_EQ(logged_frames(), (Strings{"TX: 01 03 00 0A 00 03", "RX: 01 03 06 03 F2 03 F3 03 F4"}));

        forget_frames();
        request_write(16, 20, 258, 2);
        run_cycle(poll_of(1, 3, 19, 4), settings);
        EXPECT_FALSE(last_write_result().failed);
        EXPECT_EQ(shown_values(), (Values{1019, 258, 258, 1022}));
        EXPECT_EQ(logged_frames(), (Strings{"TX: 01 10 00 14 00 02 04 01 02 01 02", "RX: 01 10 00 14 00 02",
                                            "TX: 01 03 00 13 00 04", "RX: 01 03 08 03 FB 01 02 01 02 03 FE"}));
    }
};

TEST_F(WireTransports, AsciiLineIsReadWrittenAndLoggedLikeRtu)
{
    auto server = PymodbusServer::start(PymodbusServer::Mode::ascii_serial);
    ASSERT_TRUE(server) << "python3-pymodbus serial server or socat did not start";
    expect_read_write_and_log({.device = server->client_device(), .serial_framing = SerialFraming::ascii});
}

// Given a reply whose LRC is wrong, expect a bad reply, told as a bad CRC
// is on an RTU line, and the next good reply shown.
TEST_F(WireTransports, AsciiReplyWithABadLrcIsABadReply)
{
    auto rtu = PtyDevice::start(1, PtyDevice::Framing::rtu);
    ASSERT_TRUE(rtu);
    rtu->answer_next({PtyDevice::Answer::bad_check});
    run_cycle(poll_of(1, 3, 0, 2), {.device = rtu->client_device(), .response_timeout_ms = 300});
    std::string bad_crc_status = status_text();
    ASSERT_TRUE(status_is_error());

    auto device = PtyDevice::start(1, PtyDevice::Framing::ascii);
    ASSERT_TRUE(device);
    device->set_holding(0, 7);
    device->answer_next({PtyDevice::Answer::bad_check});
    ConnectionSettings ascii{
        .device = device->client_device(), .response_timeout_ms = 300, .serial_framing = SerialFraming::ascii};
    reset_statistics(link().statistics);
    run_cycle(poll_of(1, 3, 0, 2), ascii);
    StatisticsSnapshot stats = take_snapshot(link().statistics);
    EXPECT_EQ(stats.bad_replies, 1u);
    EXPECT_EQ(stats.timeouts, 0u);
    EXPECT_EQ(shown_values(), Values(2, 0));
    EXPECT_FALSE(published_values().live);
    EXPECT_EQ(status_text(), bad_crc_status);

    run_cycle(poll_of(1, 3, 0, 2), ascii);
    EXPECT_EQ(shown_values(), (Values{7, 0}));
    EXPECT_EQ(status_text(), " ");
}

TEST_F(WireTransports, RtuOverTcpIsReadWrittenAndLoggedLikeRtu)
{
    auto server = PymodbusServer::start(PymodbusServer::Mode::rtu_over_tcp);
    ASSERT_TRUE(server) << "python3-pymodbus server did not start";
    ConnectionSettings settings = tcp_settings(server->port());
    settings.tcp_framing = TcpFraming::rtu;
    expect_read_write_and_log(settings);
}

}  // namespace
