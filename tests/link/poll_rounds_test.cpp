#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "link/modbus_exchange.hpp"
#include "link_fixture.hpp"
#include "support/pymodbus_launcher.hpp"

using namespace link_test;

namespace {

class PollRounds : public LinkTest {};

PollEntry entry(uint16_t key, uint8_t fcode, uint16_t address, uint8_t length, uint32_t scan_rate)
{
    return PollEntry{key, poll_of(1, fcode, address, length, scan_rate), std::make_shared<LinkStatistics>()};
}

// The gaps between the server's reads of one function, in milliseconds.
std::vector<double> gaps(const std::vector<PymodbusServer::LoggedRead>& reads, int function)
{
    std::vector<double> out;
    double last = -1;
    for (const auto& read : reads) {
        if (read.function != function)
            continue;
        if (last >= 0)
            out.push_back((read.seconds - last) * 1000);
        last = read.seconds;
    }
    return out;
}

}  // namespace

// Given holding registers at 300 ms, input registers at 500 ms, coils at
// scan rate 0 and a block the device refuses, all on one kept connection to
// an independent server: expect each block read at its own rate (the slow
// ones on time beside the one that never waits), one request at a time,
// each block's values under its own key, and the refusal marking only its
// own values and status.
TEST_F(PollRounds, EachDefinitionAtItsRateOneRequestAtATime)
{
    auto server = PymodbusServer::start(PymodbusServer::Mode::tcp, true);
    ASSERT_TRUE(server) << "python3-pymodbus";
    std::vector<PollEntry> entries{entry(1, 3, 0, 10, 300), entry(2, 4, 5, 4, 500), entry(3, 1, 0, 16, 0),
                                   entry(4, 3, 5000, 2, 200)};
    store_poll_entries(link(), entries);
    connect_to(server->port(), 1000, "127.0.0.1", true);
    run_for(3200);
    disconnect();
    ASSERT_TRUE(run_until([] { return worker_threads() == 0; }, 3000));

    std::vector<PymodbusServer::LoggedRead> reads = server->requests_logged();
    std::vector<double> holding = gaps(reads, 3), input = gaps(reads, 4), coils = gaps(reads, 1);
    ASSERT_GE(input.size(), 3u);
    for (double gap : input)
        EXPECT_TRUE(gap >= 495 && gap < 600) << gap;
    ASSERT_GE(holding.size(), 5u);
    for (double gap : holding)
        EXPECT_LT(gap, 360) << "read at 300 ms beside the refused block at 200 ms";
    EXPECT_GT(coils.size(), 20 * input.size()) << "scan rate 0 never waits";

    // The refusal's reply is logged like any other.
    std::vector<std::string> frames = logged_frames();
    for (size_t i = 0; i < frames.size(); ++i)
        ASSERT_EQ(frames[i].substr(0, 3), i % 2 ? "RX:" : "TX:") << "line " << i << ": one request at a time";

    std::map<uint16_t, PublishedValues> values = recorder().values_by_key();
    EXPECT_EQ(values[1].values[9], 1009);
    EXPECT_EQ(values[2].values[0], 2005);
    EXPECT_EQ(values[3].values[1], 1);
    EXPECT_EQ(values[3].block.fcode, 1);
    EXPECT_FALSE(values[4].live);
    std::map<uint16_t, LinkStatus> statuses = recorder().status_by_definition();
    EXPECT_EQ(statuses[4].kind, StatusKind::exception);
    EXPECT_EQ(statuses[1].kind, StatusKind::cleared);
    EXPECT_EQ(statuses.count(0), 1u) << "only the Disconnect speaks for the link";
    EXPECT_EQ(take_snapshot(*entries[1].statistics).polls, input.size() + 1);
    EXPECT_EQ(take_snapshot(*entries[3].statistics).good, 0u);
    EXPECT_EQ(take_snapshot(link().statistics).connect.count, 1u) << "one connection for all";
}
