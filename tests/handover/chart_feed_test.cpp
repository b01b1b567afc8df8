// The hand-over of polls from worker threads to the chart.

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "handover/chart_feed.hpp"

namespace {

const PollDefinition registers{.slave = 1, .fcode = 3, .address = 40, .length = 3, .scan_rate = 0};
const PollDefinition coils{.slave = 1, .fcode = 1, .address = 7, .length = 2, .scan_rate = 0};

// One worker's cycles: a read of 3 registers, a failed poll, a read of coils.
void worker_cycles(ChartFeed& feed, uint32_t run, uint16_t base)
{
    const uint16_t words[] = {base, uint16_t(base + 1), uint16_t(base + 2)};
    const uint16_t bits[] = {0, 1};
    file_poll(feed, PollOutcome{registers, chart_clock_ms(), run, true, words, 3});
    file_poll(feed, PollOutcome{registers, chart_clock_ms(), run});  // nothing read: the connect failed
    file_poll(feed, PollOutcome{coils, chart_clock_ms(), run, true, bits, 2});
}

TEST(ChartRecorder, EveryPollReachesTheUiThreadAndEachWorkerStartsANewLine)
{
    ChartFeed feed;
    set_chart_recording(feed, true);
    std::thread(worker_cycles, std::ref(feed), 1, 100).join();
    std::thread(worker_cycles, std::ref(feed), 2, 200).join();
    PolledBlocks taken;
    take_polled_blocks(feed, taken);
    ASSERT_EQ(taken.blocks.size(), 6u);
    struct Row {
        uint16_t address;
        bool ok, new_link;
        std::vector<uint16_t> values;
    };
    const Row rows[] = {{40, true, true, {100, 101, 102}}, {40, false, false, {}}, {7, true, false, {0, 1}},
                        {40, true, true, {200, 201, 202}}, {40, false, false, {}}, {7, true, false, {0, 1}}};
    for (size_t i = 0; i < 6; ++i) {
        const PolledBlock& b = taken.blocks[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(b.address, rows[i].address);
        EXPECT_EQ(b.ok, rows[i].ok);
        EXPECT_EQ(b.new_link, rows[i].new_link);
        EXPECT_EQ(std::vector<uint16_t>(taken.words.begin() + b.first_word,
                                        taken.words.begin() + b.first_word + b.count),
                  rows[i].values);
        EXPECT_LE(taken.blocks[i > 0 ? i - 1 : 0].time_ms, b.time_ms);
    }

    // While nothing is charted nothing is kept, and a taken list is gone.
    set_chart_recording(feed, false);
    std::thread(worker_cycles, std::ref(feed), 3, 300).join();
    take_polled_blocks(feed, taken);
    EXPECT_TRUE(taken.blocks.empty());
    EXPECT_TRUE(taken.words.empty());
}

}  // namespace
