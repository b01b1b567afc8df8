#pragma once
// The hand-over of every poll's values from the worker to the chart.
//
// The worker records each cycle's outcome with the poll's time into a
// pending list under a lock held only for the copy; the user-interface
// thread swaps the whole list out at its own pace. So polls that the grid
// never showed (its refreshes are coalesced) still reach the chart, and
// neither side waits on the other for more than a copy of one block.

#include <cstdint>
#include <vector>

#include "link/link_state.hpp"

struct PolledBlock {
    int64_t time_ms = 0;  // when the answer came, or the failure was known; UTC
    uint16_t address = 0;
    uint8_t fcode = 3;
    uint8_t length = 0;     // items polled
    uint8_t count = 0;      // values that follow in the words (0 unless ok)
    bool ok = false;        // false: a failed poll, a gap in every series it covers
    bool new_link = false;  // the first poll recorded by a newly started worker
    uint32_t first_word = 0;
};

struct PolledBlocks {
    std::vector<PolledBlock> blocks;
    std::vector<uint16_t> words;  // the values of all ok blocks, one after another
    uint64_t dropped = 0;         // blocks lost because the list was full
};

// Records one poll cycle, once, when it goes out of scope: the values if
// read() saw a successful read, else a failed poll. Does nothing while no
// series is charted.
class ChartPoll {
public:
    explicit ChartPoll(const PollDefinition& poll);
    ~ChartPoll();
    ChartPoll(const ChartPoll&) = delete;
    ChartPoll& operator=(const ChartPoll&) = delete;

    // A good reply's values, coils and inputs already 0 or 1.
    void read(const uint16_t* values, unsigned count);

private:
    PollDefinition poll_;
    bool enabled_;
    bool done_ = false;
};

// UI thread: whether polls are recorded at all (on while any series is charted).
void set_chart_recording(bool on);
// UI thread: moves every pending block into into (which is cleared first).
void take_polled_blocks(PolledBlocks& into);

// For tests and the benchmark: the time source of recorded polls.
int64_t chart_clock_ms();
