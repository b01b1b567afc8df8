#pragma once
// The application's side of the seam: what the worker reports reaches the
// user-interface thread in batches.
//
// Log lines, status and values are posted coalesced: while one callback is
// waiting in the main loop, newer work only adds to what it will do, so a
// fast device polled every millisecond cannot pile callbacks up in the
// queue. One callback does every kind of work marked, in this order: the
// log lines, then the newest status, then the newest values. While marks
// come faster than every 10 ms, the user-interface thread looks for them on
// a timer of its own instead of being woken for each. Write reports are
// one-shot callbacks, in posting order.
//
// There is one UiReports for each link (handover/link_set.hpp). The worker
// holds its UiReports (shared_ptr) as long as it runs, and the UiReports
// holds what the worker files into (values, the chart's polls, shared by
// every link's reports), so none of it outlives its owner.

#include <glib.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "handover/chart_feed.hpp"
#include "handover/shown_values.hpp"
#include "handover/status_board.hpp"
#include "link/link_reports.hpp"

// Where the hand-over delivers. The application wires these up at
// activation, before any worker starts; the hand-over knows no window.
struct UiDelivery {
    // On the worker's thread: a frame into the log queue, and the wait
    // before a round while the queue is full.
    std::function<void(const uint8_t* bytes, size_t count, LogDirection direction)> queue_frame;
    std::function<void()> wait_for_log_room;
    // On the user-interface thread:
    std::function<void()> log_lines;  // the log queue holds lines
    // The status that stands now, to be shown; and whether a definition's
    // key is still shown, so nothing of one closed or changed stands.
    std::function<void(const LinkStatus& status)> show_status;
    std::function<bool(uint16_t key)> definition_shown;
    std::function<void()> values;      // newer values are in the shown values
    std::function<void()> statistics;  // the worker did something: figures may have moved
    std::function<void()> write;   // a write was taken, or ended
};

// Kinds of work the worker leaves for the user-interface thread.
enum UiWork : unsigned {
    ui_work_log_lines = 1u << 0,  // the log queue holds lines
    ui_work_status = 1u << 1,     // a newer status is to be shown
    ui_work_values = 1u << 2,     // newer values are to be shown
};

struct UiReports final : LinkReports {
    void frame_logged(const uint8_t* bytes, size_t count, LogDirection direction) override;
    void status_changed(const LinkStatus& status) override;
    void values_read(const PublishedValues& values) override;
    void values_stale(uint16_t key) override;
    void write_taken(const WriteRequest& request) override;
    void write_ended(const WriteResult& result) override;
    void poll_ended(const PollOutcome& outcome) override;
    void wait_for_room() override;

    UiDelivery deliver;
    // The set-up's serial of the connection whose link reports here: what
    // it files is marked with it. Read by the worker; a load that replaces
    // the connections hands the link on to a new one.
    std::atomic<uint32_t> connection{0};

    // Filled by the worker, read by the views; shared with the reports of
    // the other links.
    std::shared_ptr<ShownValues> shown = std::make_shared<ShownValues>();
    std::shared_ptr<ChartFeed> chart = std::make_shared<ChartFeed>();

    // What the worker has left since the user-interface thread last looked
    // (UiWork bits), and the newest status of the link and of each
    // definition since then, under status_lock.
    std::atomic<unsigned> pending_work{0};
    std::mutex status_lock;
    std::vector<LinkStatus> pending_statuses;

    // User-interface thread only: the paced look, and what the status line
    // stands on.
    gint64 last_work_us = 0;
    bool look_armed = false;
    StatusBoard board;
};

// Any thread: marks work; only the first mark since the user-interface
// thread last looked posts a callback.
void post_ui_work(UiReports& reports, unsigned work);

// User-interface thread: the status line again from what stands, e.g.
// after a tab was closed or renamed.
void show_status_again(UiReports& reports);

// User-interface thread: does at once what the worker has left, rather
// than at the next paced look (at most 10 ms away while the worker streams),
// e.g. so that the window that closes holds every line logged before.
void take_pending_ui_work(UiReports& reports);
