#include "link/pending_write.hpp"

#include <gtest/gtest.h>
#include <modbus.h>

#include <cerrno>

#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/pymodbus_launcher.hpp"
#include "support/scripted_tcp_server.hpp"

namespace {

using namespace link_test;
using Strings = std::vector<std::string>;
using Values = std::vector<uint16_t>;

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

    void expect_write_succeeded(uint32_t sequence)
    {
        WriteResult result = last_write_result();
        EXPECT_FALSE(write_waiting());
        EXPECT_EQ(result.sequence, sequence);
        EXPECT_FALSE(result.failed);
        EXPECT_EQ(result.error, 0);
    }

    std::unique_ptr<ModbusTestServer> server;
};

// The data of every function code is checked through the Write dialog; here
// the worker's order: the write, both its frames, the pause, then the read.
TEST_F(PendingWrite, WriteGoesBeforeTheReadWithBothFramesLogged)
{
    uint32_t sequence = request_write(15, 0x0010, 1, 10, 17);
    auto start = std::chrono::steady_clock::now();
    run_write_cycle();
    EXPECT_GE(elapsed_ms(start), 45.0) << "a write pauses before the read";
    expect_write_succeeded(sequence);
    EXPECT_EQ(logged_frames(), (Strings{"TX: 11 0F 00 10 00 0A 02 FF 03", "RX: 11 0F 00 10 00 0A",
                                        "TX: 01 03 00 00 00 01", "RX: 01 03 02 00 00"}));
    for (uint16_t a = 0x000F; a <= 0x001A; ++a)
        EXPECT_EQ(server->coil(a), a >= 0x0010 && a < 0x001A) << a;
    ASSERT_EQ(server->request_count(), 2u);
    EXPECT_EQ(server->requests()[0].unit, 17);
}

TEST_F(PendingWrite, RegisterWriteAboveTheLibraryLimitFailsCleanly)
{
    // Given 200 registers (more than a frame can carry), expect a failed
    // write with the library's text, nothing sent nor counted, and the poll
    // going on.
    // Values of two or four registers count every register; 255 of four
    // are more than the worker's register buffer holds.
    // A block of more than a write holds is refused too, repeated or not.
    const std::pair<uint16_t, uint8_t> writes[] = {{124, 1}, {200, 1}, {255, 1}, {62, 2}, {255, 4}, {1, 124}, {2, 100}};
    for (auto [items, width] : writes) {
        unsigned count = items * width;
        SCOPED_TRACE(count);
        forget_frames();
        uint32_t sequence = request_write(16, 0, 9, items, 1, width);
        run_write_cycle();
        WriteResult result = last_write_result();
        EXPECT_EQ(result.sequence, sequence);
        EXPECT_TRUE(result.failed);
        EXPECT_EQ(result.error, EMBMDATA);
        EXPECT_STREQ(modbus_strerror(result.error), "Too many data");
        EXPECT_EQ(server->holding(0), 0);
        Strings frames = logged_frames();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.back(), "RX: 01 03 02 00 00") << "the poll read still happens";
        EXPECT_EQ(frames.size(), 2u) << "nothing is logged that did not go on the wire";
        EXPECT_EQ(shown_values(), std::vector<uint16_t>{0});
        EXPECT_EQ(status_text(), modbus_strerror(EMBMDATA)) << "told after the good read";
        EXPECT_TRUE(status_is_error());
    }
    EXPECT_EQ(requests_with_function(*server, 0x10), 0u);
    StatisticsSnapshot figures = take_snapshot(link().statistics);
    EXPECT_EQ(figures.writes_sent, 0u) << "nothing went on the wire";
    EXPECT_EQ(figures.writes_failed, 0u);
}

// Withdrawn before the worker took it: never sent, and never reported.
TEST_F(PendingWrite, WithdrawnWriteNeverReachesTheServer)
{
    uint32_t sequence = request_write(6, 3, 99, 1);
    EXPECT_TRUE(withdraw_write(sequence));
    run_write_cycle();
    EXPECT_EQ(last_write_result().sequence, 0u);
    EXPECT_EQ(server->holding(3), 0);
    EXPECT_EQ(requests_with_function(*server, 0x06), 0u);
    EXPECT_EQ(logged_frames(), (Strings{"TX: 01 03 00 00 00 01", "RX: 01 03 02 00 00"}));
}

TEST_F(PendingWrite, WriteFailsWithTheReasonTheLinkCouldNotOpen)
{
    ConnectionSettings empty_ip = tcp_settings(server->port());
    empty_ip.device = "";
    uint32_t sequence = request_write(6, 3, 99, 1);
    run_cycle(poll_of(1, 3, 0, 1), empty_ip);
    WriteResult result = last_write_result();
    EXPECT_EQ(result.sequence, sequence);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.error, 0) << "0 reads as not connected";

    int closed_port = server->port();
    server.reset();
    sequence = request_write(6, 3, 99, 1);
    run_cycle(poll_of(1, 3, 0, 1), tcp_settings(closed_port));
    result = last_write_result();
    EXPECT_EQ(result.sequence, sequence);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.error, ECONNREFUSED);
}

// Given a device that refuses with an exception, expect the refusal shown
// as it came and named by its code, for the write and for the read.
TEST_F(PendingWrite, RejectedWriteIsReportedWithTheDevicesException)
{
    server->set_behaviour(ModbusTestServer::Behaviour::exception);
    request_write(6, 3, 99, 1);
    run_write_cycle();
    WriteResult result = last_write_result();
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.error, EMBXILADD);
    EXPECT_STREQ(write_failure_text(result), "Exception 02: Illegal data address");
    EXPECT_EQ(logged_frames(),
              (Strings{"TX: 01 06 00 03 00 63", "RX: 01 86 02", "TX: 01 03 00 00 00 01", "RX: 01 83 02"}));
    EXPECT_EQ(status_text(), "Exception 02: Illegal data address") << "the failed read's text wins";
}

// Sets bit 3 and clears bit 0 of holding register 9 (0x03F1 to begin
// with), then writes a 40-register string at 100 in one request; each
// read back from the server by the poll after it.
void write_bits_and_a_string(const ConnectionSettings& settings)
{
    hand_over_write(link(), bit_write_request(1, 9, 3, true), true);
    run_cycle(poll_of(1, 3, 9, 1), settings);
    EXPECT_EQ(shown_values(), Values{0x03F9}) << "the other bits are kept";
    hand_over_write(link(), bit_write_request(1, 9, 0, false), true);
    run_cycle(poll_of(1, 3, 9, 1), settings);
    EXPECT_EQ(shown_values(), Values{0x03F8});
    EXPECT_FALSE(last_write_result().failed);
    Strings frames = logged_frames();
    ASSERT_EQ(frames.size(), 8u);
    EXPECT_EQ(Strings(frames.begin() + 4, frames.begin() + 6),
              (Strings{"TX: 01 16 00 09 FF FE 00 00", "RX: 01 16 00 09 FF FE 00 00"}));

    WriteRequest string;
    string.fcode = 16;
    string.address = 100;
    string.width = 40;
    Values expected{1099};
    for (uint16_t i = 0; i < 40; ++i)
        expected.push_back(string.words[i] = uint16_t(('A' + i % 26) << 8 | ('a' + i % 26)));
    expected.push_back(1140);
    forget_frames();
    hand_over_write(link(), string, true);
    run_cycle(poll_of(1, 3, 99, 42), settings);
    EXPECT_FALSE(last_write_result().failed);
    EXPECT_EQ(shown_values(), expected) << "the neighbours are kept";
    EXPECT_EQ(logged_frames().at(1), "RX: 01 10 00 64 00 28") << "all 40 in one request";
}

TEST_F(PendingWrite, LibmodbusServerTakesMaskWritesAndAString)
{
    for (uint16_t address : {9, 99, 140})
        server->set_holding(address, uint16_t(1000 + address));  // as pymodbus starts
    write_bits_and_a_string(tcp_settings(server->port()));
    EXPECT_EQ(server->holding(9), 0x03F8);
    EXPECT_EQ(requests_with_function(*server, 0x16), 2u);
}

class MaskWrite : public LinkTest {};

TEST_F(MaskWrite, PymodbusServerTakesMaskWritesAndAString)
{
    auto server = PymodbusServer::start();
    ASSERT_TRUE(server) << "python3-pymodbus server did not start";
    write_bits_and_a_string(tcp_settings(server->port()));
}

// Given a device that refuses function 22, or echoes other masks, expect a
// failed write that says which, and the poll read after it as always.
TEST_F(MaskWrite, RefusedOrMisechoedFailsAndPollingGoesOn)
{
    struct Row {
        const char* what;
        Bytes (*answer)(const Bytes& request);
        int error;
        uint8_t exception;
        const char* received;
    } rows[] = {
        {"refused", [](const Bytes& r) { return exception_reply(r, 1); }, EMBXILFUN, 1, "RX: 01 96 01"},
        {"other masks", [](const Bytes& r) { Bytes echo = r; echo.back() = 0; return echo; }, EMBBADDATA, 0,
         "RX: 01 16 00 09 FF F7 00 00"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        auto device = ScriptedTcpServer::start([&row](const ScriptedTcpServer::Request& request) {
            const Bytes& bytes = request.bytes;
            Bytes reply = bytes[7] == 0x16 ? row.answer(bytes) : read_reply(bytes, 7);
            return std::vector<ScriptedTcpServer::Send>{{reply, 0}};
        });
        ASSERT_TRUE(device);
        forget_frames();
        uint32_t sequence = hand_over_write(link(), bit_write_request(1, 9, 3, true), true);
        run_cycle(poll_of(1, 3, 9, 1), tcp_settings(device->port()));
        WriteResult result = last_write_result();
        EXPECT_EQ(result.sequence, sequence);
        EXPECT_TRUE(result.failed);
        EXPECT_EQ(result.error, row.error);
        EXPECT_EQ(result.exception, row.exception);
        Strings frames = logged_frames();
        ASSERT_GE(frames.size(), 3u);
        EXPECT_EQ(frames[0], "TX: 01 16 00 09 FF F7 00 08");
        EXPECT_EQ(frames[1], row.received);
        EXPECT_EQ(frames.back(), "RX: 01 03 02 00 07");
        EXPECT_EQ(shown_values(), Values{7});
    }
}

}  // namespace
