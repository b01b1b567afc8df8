#pragma once
// The hand-over of every poll's values from the worker to the chart.
//
// The worker's report of each poll is filed with the poll's time into a
// pending list under a lock held only for the copy; the user-interface
// thread swaps the whole list out at its own pace. So polls that the grid
// never showed (its refreshes are coalesced) still reach the chart, and
// neither side waits on the other for more than a copy of one block.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

#include "link/link_reports.hpp"

struct PolledBlock {
    int64_t time_ms = 0;  // when the answer came, or the failure was known; UTC
    uint16_t address = 0;
    uint8_t fcode = 3;
    uint8_t length = 0;     // items polled
    uint8_t count = 0;      // values that follow in the words (0 unless ok)
    bool ok = false;        // false: a failed poll, a gap in every series it covers
    bool new_link = false;  // the first poll recorded from a newly started worker
    uint32_t first_word = 0;
    uint16_t key = 0;  // of the definition polled
};

struct PolledBlocks {
    std::vector<PolledBlock> blocks;
    std::vector<uint16_t> words;  // the values of all ok blocks, one after another
    uint64_t dropped = 0;         // blocks lost because the list was full
};

// Shared by the workers, which file, and the chart, which takes. Every
// connection's worker files into the one feed; a source tells the links apart.
struct ChartFeed {
    std::atomic<bool> recording{false};  // on while any series is charted
    std::mutex lock;                     // guards what follows
    PolledBlocks pending;
    // For each source, the worker whose poll it filed last.
    std::vector<std::pair<uint32_t, uint32_t>> last_runs;
};

// Worker side: files one poll's outcome from source's link; nothing while
// not recording.
void file_poll(ChartFeed& feed, const PollOutcome& outcome, uint32_t source = 0);
// UI thread: whether polls are filed at all.
void set_chart_recording(ChartFeed& feed, bool on);
// UI thread: moves every pending block into into (which is cleared first).
void take_polled_blocks(ChartFeed& feed, PolledBlocks& into);

// For tests and the chart's view: the time source of the chart, UTC.
int64_t chart_clock_ms();
