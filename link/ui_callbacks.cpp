#include "link/ui_callbacks.hpp"

#include <modbus.h>

#include <atomic>

#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "link/host_address.hpp"
#include "link/link_state.hpp"
#include "link/ui_post.hpp"
#include "logger/logger_pane.hpp"
#include "table/register_grid.hpp"

namespace {

// What the worker has left for the user-interface thread since it last
// looked (UiWork bits); the first mark posts one callback that takes all.
std::atomic<unsigned> pending_work{0};
std::atomic<StatusKind> latest_status{StatusKind::cleared};

GtkLabel* status_line()
{
    MainWindow* main = link_state().main_window;
    return main ? main->status_line : nullptr;
}

}  // namespace

void show_no_device(void*)
{
    if (GtkLabel* line = status_line())
        show_status_error(line, "No device selected");
}

void show_rtu_id_refused(void*)
{
    if (GtkLabel* line = status_line())
        show_status_error(line, "Modbus ID 255 not allowed for RTU");
}

void show_no_response(void*)
{
    if (GtkLabel* line = status_line())
        show_status_error(line, "Response error / No communication");
}

void show_link_error(void*)
{
    // modbus_strerror may fall back to strerror, which is not thread-safe:
    // the text is made here, on the UI thread only.
    if (GtkLabel* line = status_line())
        show_status_error(line, modbus_strerror(link_state().last_errno.load(std::memory_order_acquire)));
}

void show_resolve_error(void*)
{
    // The resolver's own reason: the library would only say "Connection refused".
    if (GtkLabel* line = status_line())
        show_status_error(line, resolve_error_text(link_state().last_resolve_error.load(std::memory_order_acquire)));
}

void show_not_connected(void*)
{
    if (GtkLabel* line = status_line())
        show_status_neutral(line, "Not connected");
}

void clear_status(void*)
{
    if (GtkLabel* line = status_line())
        show_status_neutral(line, " ");
}

void refresh_values(void*)
{
    if (MainWindow* main = link_state().main_window)
        fill_from_link_state(*main);
}

namespace {

void apply_latest_status()
{
    switch (latest_status.load(std::memory_order_acquire)) {
    case StatusKind::no_device:
        return show_no_device(nullptr);
    case StatusKind::rtu_id_refused:
        return show_rtu_id_refused(nullptr);
    case StatusKind::no_response:
        return show_no_response(nullptr);
    case StatusKind::link_error:
        return show_link_error(nullptr);
    case StatusKind::resolve_error:
        return show_resolve_error(nullptr);
    case StatusKind::not_connected:
        return show_not_connected(nullptr);
    case StatusKind::cleared:
        return clear_status(nullptr);
    }
}

// Set while the user-interface thread paces itself: marks then post nothing.
constexpr unsigned work_held = 1u << 31;
// Posts closer together than this take turns on a user-interface timer.
constexpr guint pace_ms = 10;
gint64 last_work_us = 0;  // user-interface thread only
bool look_armed = false;  // user-interface thread only

void run_pending_work(void*);

void on_paced_look(void*)
{
    look_armed = false;
    run_pending_work(nullptr);
}

// One timer at a time, however often the work is also taken at once.
void arm_next_look()
{
    if (look_armed)
        return;
    look_armed = true;
    g_timeout_add_once(pace_ms, on_paced_look, nullptr);
}

// While the worker streams, waking the user-interface thread for every
// cycle would cost both threads more than the cycle itself: the first post
// wakes it, and then it looks again every pace_ms on a timer of its own,
// which needs no wake-up from the worker, until a look finds nothing new.
void pace_or_release(bool did_work, gint64 now)
{
    if (did_work && now - last_work_us < gint64(pace_ms) * 1000) {
        arm_next_look();
        return;
    }
    unsigned held = work_held;
    if (!pending_work.compare_exchange_strong(held, 0, std::memory_order_acq_rel))
        arm_next_look();  // marked meanwhile
}

// One main-loop turn per batch of cycles: the log lines first, then the
// newest status, then the newest values, as the worker produced them. The
// marks are taken as a read-modify-write, so everything stored before the
// newest mark is seen below.
void run_pending_work(void*)
{
    unsigned work = pending_work.exchange(work_held, std::memory_order_acq_rel) & ~work_held;
    gint64 now = g_get_monotonic_time();
    if (work & ui_work_log_lines)
        append_log_lines(nullptr);
    if (work & ui_work_status)
        apply_latest_status();
    if (work & ui_work_values)
        refresh_values(nullptr);
    if (MainWindow* main = link_state().main_window; main && work)
        schedule_statistics_refresh(main->statistics);
    pace_or_release(work != 0, now);
    if (work)
        last_work_us = now;
}

}  // namespace

void take_pending_ui_work()
{
    if (pending_work.load(std::memory_order_acquire) & ~work_held)
        run_pending_work(nullptr);
}

void post_ui_work(unsigned work)
{
    if (pending_work.fetch_or(work, std::memory_order_acq_rel) == 0)
        post_to_ui(run_pending_work, nullptr);
}

void post_status(StatusKind kind)
{
    latest_status.store(kind, std::memory_order_release);
    post_ui_work(ui_work_status);
}

void post_refresh_values()
{
    post_ui_work(ui_work_values);
}

void post_link_error_or_notice()
{
    LinkState& s = link_state();
    if (s.disconnect_notice.exchange(false))
        post_status(StatusKind::not_connected);
    else
        post_status(StatusKind::link_error);
}
