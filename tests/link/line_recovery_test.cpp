// After a failure the line is left clean for the next request: scripted TCP
// peers that send malformed headers, late duplicates and silence behind a
// gateway, and pty devices that answer late or at a slow line's pace.

#include <gtest/gtest.h>

#include <modbus.h>

#include <algorithm>
#include <map>

#include "link/bus_scan.hpp"
#include "link_fixture.hpp"
#include "support/pty_device.hpp"
#include "support/scripted_tcp_server.hpp"

namespace {

using namespace link_test;
using Sends = std::vector<ScriptedTcpServer::Send>;

uint16_t address_of(const Bytes& request)
{
    return uint16_t(request[8] << 8 | request[9]);
}

PollEntry entry(uint16_t key, const PollDefinition& poll)
{
    return PollEntry{key, poll, nullptr};
}

// A device's register write: kept in registers, and echoed.
Sends write_register(std::map<uint16_t, uint16_t>& registers, const Bytes& request)
{
    registers[address_of(request)] = uint16_t(request[10] << 8 | request[11]);
    return Sends{{write_echo(request), 0}};
}

// One round on the test's thread with these entries, as the worker runs it.
void run_round(const std::vector<PollEntry>& round, const ConnectionSettings& settings)
{
    CallGuard guard;
    WorkerContext worker{link(), recorder(), guard, 1};
    KeptLink kept;
    PollSchedule schedule;
    sync_schedule(schedule, round);
    run_poll_round(worker, round, settings, kept, schedule);
}

// A read's reply with a header that cannot be Modbus TCP.
Bytes malformed(const Bytes& request, int kind)
{
    Bytes reply = read_reply(request, 0x0BAD);
    if (kind == 0)
        reply[3] = 1;  // protocol id
    else if (kind == 1)
        reply[5] = 1;  // a length too short for any frame
    else
        reply[5] = uint8_t(reply[5] + 4);  // a length its function contradicts
    return reply;
}

// Given a malformed header in reply to the first block, and a write handed
// over meanwhile, expect only that block to fail: the write, sent after
// it, reported as the device answered, and the second block read.
TEST_F(LinkTest, MalformedTcpHeaderFailsOnlyItsOwnBlock)
{
    std::map<uint16_t, uint16_t> registers;  // the server thread's
    auto server = ScriptedTcpServer::start([&](const ScriptedTcpServer::Request& request) {
        const Bytes& bytes = request.bytes;
        if (bytes[7] == 6)
            return write_register(registers, bytes);
        if (address_of(bytes) == 0) {
            request_write(6, 20, uint16_t(request.serial), 1);
            return Sends{{malformed(bytes, int(request.serial / 3)), 0}};
        }
        return Sends{{read_reply(bytes, registers[20]), 0}};
    });
    ASSERT_TRUE(server);
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        run_round({entry(1, poll_of(1, 3, 0, 2)), entry(2, poll_of(1, 3, 10, 2))}, tcp_settings(server->port()));
        std::map<uint16_t, PublishedValues> values = recorder().values_by_key();
        EXPECT_FALSE(values[1].live);
        EXPECT_EQ(recorder().status_by_definition()[1].error, EMBBADDATA);
        WriteResult write = last_write_result();
        EXPECT_FALSE(write.failed) << modbus_strerror(write.error);
        EXPECT_TRUE(values[2].live);
        EXPECT_EQ(values[2].values[0], 3 * kind + 1) << "the value the write set";
        EXPECT_EQ(recorder().status_by_definition()[2].kind, StatusKind::cleared);
    }
    EXPECT_EQ(server->connection_count(), 6u) << "each round's line opened anew after the bad header";
}

// Given a device on a 19200 baud line that answers the first block 40 ms
// after its time-out, with the same unit, function and byte count as the
// second block's reply, expect the second block only ever to show its own
// values, round after round on the kept port.
TEST_F(LinkTest, LateRtuReplyIsNeverAnotherBlocksValues)
{
    auto device = PtyDevice::start(1);
    ASSERT_TRUE(device);
    ConnectionSettings serial{.device = device->client_device(), .baud_or_port = 19200, .response_timeout_ms = 200};
    serial.keep_open = true;
    device->set_holding(0, 111);
    device->set_holding(100, 222);
    device->delay_replies_at(0, 240);
    store_poll_entries(link(), {entry(1, poll_of(1, 3, 0, 1, 0)), entry(2, poll_of(1, 3, 100, 1, 0))});
    store_connection_settings(serial);
    link().running.store(true);
    ASSERT_TRUE(start_worker());
    ASSERT_TRUE(run_until([&] { return device->request_count() >= 8; }, 8000));
    disconnect();
    size_t second = 0;
    for (const PublishedValues& values : recorder().values_history()) {
        if (values.key == 1) {
            EXPECT_FALSE(values.live);
        } else if (values.live) {
            ++second;
            EXPECT_EQ(values.values[0], 222) << "never the first block's 111";
        }
    }
    EXPECT_GE(second, 2u);
    // The late reply is shown as it came (with its checksum), passed over.
    std::vector<std::string> frames = logged_frames();
    EXPECT_TRUE(std::any_of(frames.begin(), frames.end(),
                            [](const std::string& f) { return f.rfind("RX: 01 03 02 00 6F ", 0) == 0; }));
}

// Given identification replies far longer than a request's, paced as a
// slow line carries them, expect each read whole: 157 bytes of RTU at 2400
// baud (650 ms on the line) and a frame of 248 bytes in ASCII at 9600
// (501 characters, 520 ms).
TEST_F(LinkTest, LongIdentificationRepliesAreReadWholeOnSlowLines)
{
    // 8 bytes of header and 3 objects of 2 + size bytes each.
    struct Line {
        PtyDevice::Framing framing;
        uint32_t baud;
        size_t object_size;
    } lines[] = {{PtyDevice::Framing::rtu, 2400, 47}, {PtyDevice::Framing::ascii, 9600, 78}};
    for (const Line& line : lines) {
        auto device = PtyDevice::start(3, line.framing);
        ASSERT_TRUE(device);
        device->set_paced(true);
        std::string vendor(line.object_size, 'V'), product(line.object_size, 'P'), revision(line.object_size, 'R');
        device->set_identification({{0, vendor}, {1, product}, {2, revision}});
        ScanPlan plan;
        plan.settings.device = device->client_device();
        plan.settings.baud_or_port = line.baud;
        plan.settings.serial_framing = line.framing == PtyDevice::Framing::ascii ? SerialFraming::ascii
                                                                                  : SerialFraming::rtu;
        plan.first_unit = plan.last_unit = 3;
        plan.timeout_ms = 1000;  // room for a loaded machine: the reply's pace is the point
        struct Rows final : ScanReports {
            std::vector<ScanRow> rows;
            void probe_done(const ScanProgress&) override {}
            void unit_found(const ScanRow& row) override { rows.push_back(row); }
            void scan_ended(const ScanEnd&) override {}
        } rows;
        CallGuard guard;
        run_bus_scan(recorder(), rows, plan, guard);
        ASSERT_EQ(rows.rows.size(), 1u);
        EXPECT_EQ(rows.rows[0].identification, vendor + " / " + product + " / " + revision);
    }
}

// Given a kept connection on which a late duplicate of each reply arrives
// and which the server then closes for being idle, expect every poll good:
// the duplicate is passed over and the close behind it seen before the
// next request goes out.
TEST_F(LinkTest, KeptConnectionClosedBehindALateDuplicateFailsNoPoll)
{
    auto server = ScriptedTcpServer::start(
        [](const ScriptedTcpServer::Request& request) {
            Bytes reply = read_reply(request.bytes, 7);
            return Sends{{reply, 0}, {reply, 60}};
        },
        150);
    ASSERT_TRUE(server);
    ConnectionSettings settings = tcp_settings(server->port());
    settings.keep_open = true;
    connect_with(poll_of(1, 3, 0, 1, 400), settings);
    ASSERT_TRUE(run_until([&] { return server->idle_closes() >= 3 && recorder().polls().size() >= 4; }, 8000));
    disconnect();
    for (const PollOutcome& poll : recorder().polls())
        EXPECT_TRUE(poll.ok);
    EXPECT_GE(take_snapshot(link().statistics).good, 4u);
}

// Given units 1 and 5 behind one gateway, 5 silent, expect unit 1's values
// to stay live and be read in the same rounds as unit 5's time-outs (a
// round still takes a time-out), and unit 5's other block passed over.
TEST_F(LinkTest, SilentUnitBehindAGatewayHoldsUpNoOther)
{
    auto server = ScriptedTcpServer::start([](const ScriptedTcpServer::Request& request) {
        return request.bytes[6] == 5 ? Sends{} : Sends{{read_reply(request.bytes, 9), 0}};
    });
    ASSERT_TRUE(server);
    store_poll_entries(link(), {entry(1, poll_of(5, 3, 0, 1, 100)), entry(2, poll_of(1, 3, 0, 1, 100)),
                                entry(3, poll_of(5, 4, 0, 1, 100))});
    connect_to(server->port(), 300);
    ASSERT_TRUE(run_until([] { return recorder().values_by_key()[2].live; }, 5000));
    size_t polls = recorder().polls().size();
    auto asked = [&](uint8_t unit) {
        std::vector<PollOutcome> outcomes = recorder().polls();
        return std::count_if(outcomes.begin() + long(polls), outcomes.end(),
                             [&](const PollOutcome& poll) { return poll.poll.slave == unit; });
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (asked(1) < 3 && std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(recorder().values_by_key()[2].live) << "unit 1 shown stale";
        run_for(5);
    }
    disconnect();
    EXPECT_GE(asked(1), 3) << "unit 1 is asked in the rounds unit 5 times out in";
    EXPECT_GE(asked(5), 2);
    EXPECT_EQ(recorder().status_by_definition()[3].error, ETIMEDOUT) << "unit 5's other block not asked again";
}

// Given a write handed over while the round reads its second of three
// slow blocks, expect the first block read again right after the round,
// not at its own rate, so that every block shows the write.
TEST_F(LinkTest, WriteMidRoundReadsEveryBlockAfterIt)
{
    std::map<uint16_t, uint16_t> registers;  // the server thread's
    auto server = ScriptedTcpServer::start([&](const ScriptedTcpServer::Request& request) {
        const Bytes& bytes = request.bytes;
        if (bytes[7] == 6)
            return write_register(registers, bytes);
        if (request.serial == 2)  // the first round's second block
            request_write(6, 0, 99, 1);
        return Sends{{read_reply(bytes, registers[address_of(bytes)]), 0}};
    });
    ASSERT_TRUE(server);
    store_poll_entries(link(), {entry(1, poll_of(1, 3, 0, 1, 5000)), entry(2, poll_of(1, 3, 1, 1, 5000)),
                                entry(3, poll_of(1, 3, 2, 1, 5000))});
    connect_to(server->port());
    ASSERT_TRUE(run_until([] { return recorder().values_by_key()[1].values[0] == 99; }, 4000))
        << "the block read before the write waits for its scan rate";
    disconnect();
}

// Given a read answered 400 ms late, expect a reset of the figures while it
// is under way (as Connect makes) to leave them empty of it; and a write
// cut off by Disconnect after it went out to say it may have been done.
TEST_F(LinkTest, CutOffExchangesCountNothingAndSayWhatMayHaveHappened)
{
    std::atomic<bool> write_heard{false};
    auto server = ScriptedTcpServer::start([&write_heard](const ScriptedTcpServer::Request& request) {
        if (request.bytes[7] == 6) {
            write_heard.store(true);
            return Sends{};
        }
        return Sends{{read_reply(request.bytes, 1), 400}};
    });
    ASSERT_TRUE(server);
    connect_with(poll_of(1, 3, 0, 1, 0), tcp_settings(server->port(), 2000));
    ASSERT_TRUE(run_until([&] { return server->request_count() == 1; }, 3000));
    reset_statistics(link().statistics);
    ASSERT_TRUE(run_until([] { return recorder().polls().size() == 1; }, 2000));
    StatisticsSnapshot figures = take_snapshot(link().statistics);
    EXPECT_EQ(figures.good, 0u) << "the reply of a request sent before the reset";
    EXPECT_EQ(figures.transaction.max_ns, 0u);

    uint32_t sequence = request_write(6, 4, 5, 1);
    ASSERT_TRUE(run_until([&] { return write_heard.load(); }, 3000));
    disconnect();
    ASSERT_TRUE(run_until([&] { return last_write_result().sequence == sequence; }, 2000));
    WriteResult result = last_write_result();
    EXPECT_TRUE(result.failed);
    EXPECT_TRUE(result.unanswered);
    EXPECT_STREQ(write_failure_text(result),
                 "Disconnected before the device answered; the write may have been carried out");
    std::vector<std::string> frames = logged_frames();
    EXPECT_NE(std::find(frames.begin(), frames.end(), "TX: 01 06 00 04 00 05"), frames.end());
}

}  // namespace
