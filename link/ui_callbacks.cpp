#include "link/ui_callbacks.hpp"

#include <modbus.h>

#include "app/main_window.hpp"
#include "app/status_line.hpp"
#include "link/link_state.hpp"
#include "link/ui_post.hpp"
#include "table/register_grid.hpp"

namespace {

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

void post_link_error_or_notice()
{
    LinkState& s = link_state();
    if (s.disconnect_notice.exchange(false))
        post_to_ui(show_not_connected, nullptr);
    else
        post_to_ui(show_link_error, nullptr);
}
