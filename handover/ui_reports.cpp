#include "handover/ui_reports.hpp"

#include "handover/ui_post.hpp"

namespace {

// The statuses the worker told since the last look, in their order, onto
// the board, and the newest that stands onto the line.
void apply_latest_status(UiReports& reports)
{
    if (!reports.deliver.show_status)
        return;
    std::vector<LinkStatus> told;
    {
        std::lock_guard lock(reports.status_lock);
        told.swap(reports.pending_statuses);
    }
    for (const LinkStatus& status : told)
        post_status(reports.board, status);
    // Nothing of a definition closed or changed into another block stands.
    if (reports.deliver.definition_shown)
        std::erase_if(reports.board.standing, [&](const LinkStatus& s) {
            return s.definition != 0 && !reports.deliver.definition_shown(s.definition);
        });
    reports.deliver.show_status(shown_status(reports.board));
}

// Set while the user-interface thread paces itself: marks then post nothing.
constexpr unsigned work_held = 1u << 31;
// Posts closer together than this take turns on a user-interface timer.
constexpr guint pace_ms = 10;

void run_pending_work(void* reports);

void on_paced_look(void* data)
{
    static_cast<UiReports*>(data)->look_armed = false;
    run_pending_work(data);
}

// One timer at a time, however often the work is also taken at once.
void arm_next_look(UiReports& reports)
{
    if (reports.look_armed)
        return;
    reports.look_armed = true;
    g_timeout_add_once(pace_ms, on_paced_look, &reports);
}

// While the worker streams, waking the user-interface thread for every
// cycle would cost both threads more than the cycle itself: the first post
// wakes it, and then it looks again every pace_ms on a timer of its own,
// which needs no wake-up from the worker, until a look finds nothing new.
void pace_or_release(UiReports& reports, bool did_work, gint64 now)
{
    if (did_work && now - reports.last_work_us < gint64(pace_ms) * 1000) {
        arm_next_look(reports);
        return;
    }
    unsigned held = work_held;
    if (!reports.pending_work.compare_exchange_strong(held, 0, std::memory_order_acq_rel))
        arm_next_look(reports);  // marked meanwhile
}

// One main-loop turn per batch of cycles: the log lines first, then the
// newest status, then the newest values, as the worker produced them. The
// marks are taken as a read-modify-write, so everything stored before the
// newest mark is seen below.
void run_pending_work(void* data)
{
    UiReports& reports = *static_cast<UiReports*>(data);
    unsigned work = reports.pending_work.exchange(work_held, std::memory_order_acq_rel) & ~work_held;
    gint64 now = g_get_monotonic_time();
    if ((work & ui_work_log_lines) && reports.deliver.log_lines)
        reports.deliver.log_lines();
    if (work & ui_work_status)
        apply_latest_status(reports);
    if ((work & ui_work_values) && reports.deliver.values)
        reports.deliver.values();
    if (work && reports.deliver.statistics)
        reports.deliver.statistics();
    pace_or_release(reports, work != 0, now);
    if (work)
        reports.last_work_us = now;
}

void report_write_to_dialog(void* data)
{
    UiReports& reports = *static_cast<UiReports*>(data);
    if (reports.deliver.write)
        reports.deliver.write();
}

}  // namespace

void show_status_again(UiReports& reports)
{
    // A line nothing stands on keeps its text.
    if (!reports.board.standing.empty())
        apply_latest_status(reports);
}

void take_pending_ui_work(UiReports& reports)
{
    if (reports.pending_work.load(std::memory_order_acquire) & ~work_held)
        run_pending_work(&reports);
}

void post_ui_work(UiReports& reports, unsigned work)
{
    if (reports.pending_work.fetch_or(work, std::memory_order_acq_rel) == 0)
        post_to_ui(run_pending_work, &reports);
}

void UiReports::frame_logged(const uint8_t* bytes, size_t count, LogDirection direction)
{
    if (count == 0)
        return;
    if (!deliver.queue_frame)
        return;
    deliver.queue_frame(bytes, count, direction);
    post_ui_work(*this, ui_work_log_lines);
}

void UiReports::status_changed(const LinkStatus& status)
{
    {
        // Only the newest of each definition counts, so the list stays short.
        std::lock_guard lock(status_lock);
        std::erase_if(pending_statuses, [&](const LinkStatus& s) { return s.definition == status.definition; });
        pending_statuses.push_back(status);
    }
    post_ui_work(*this, ui_work_status);
}

void UiReports::values_read(const PublishedValues& values)
{
    store_values(*shown, values, connection.load(std::memory_order_relaxed));
    post_ui_work(*this, ui_work_values);
}

void UiReports::values_stale(uint16_t key)
{
    mark_values_stale(*shown, key, connection.load(std::memory_order_relaxed));
    post_ui_work(*this, ui_work_values);
}

void UiReports::write_taken(const WriteRequest&)
{
    post_to_ui(report_write_to_dialog, this);
}

void UiReports::write_ended(const WriteResult&)
{
    // The dialog reads the result from the link, where the worker stored it first.
    post_to_ui(report_write_to_dialog, this);
}

void UiReports::poll_ended(const PollOutcome& outcome)
{
    file_poll(*chart, outcome, connection.load(std::memory_order_relaxed));
}

void UiReports::wait_for_room()
{
    if (deliver.wait_for_log_room)
        deliver.wait_for_log_room();
}
