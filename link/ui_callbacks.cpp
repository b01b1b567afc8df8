#include "link/ui_callbacks.hpp"

#include <modbus.h>

#include <atomic>

#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "link/host_address.hpp"
#include "link/link_state.hpp"
#include "link/ui_post.hpp"
#include "table/register_grid.hpp"

namespace {

std::atomic<bool> refresh_pending{false};
std::atomic<bool> status_pending{false};
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
    // Taken as a read-modify-write so that the values stored before the
    // newest post are seen below.
    refresh_pending.exchange(false, std::memory_order_acq_rel);
    if (MainWindow* main = link_state().main_window)
        fill_from_link_state(*main);
}

namespace {

void apply_latest_status(void*)
{
    status_pending.exchange(false, std::memory_order_acq_rel);
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

}  // namespace

void post_status(StatusKind kind)
{
    latest_status.store(kind, std::memory_order_release);
    if (!status_pending.exchange(true, std::memory_order_acq_rel))
        post_to_ui(apply_latest_status, nullptr);
}

void post_refresh_values()
{
    if (!refresh_pending.exchange(true, std::memory_order_acq_rel))
        post_to_ui(refresh_values, nullptr);
}

void post_link_error_or_notice()
{
    LinkState& s = link_state();
    if (s.disconnect_notice.exchange(false))
        post_status(StatusKind::not_connected);
    else
        post_status(StatusKind::link_error);
}
