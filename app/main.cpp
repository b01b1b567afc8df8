// Brenvaldor: a Modbus RTU and TCP master for the desktop.

#include <gtk/gtk.h>

#include "app/application.hpp"
#include "link/link_state.hpp"

int main()
{
    // The "C" locale keeps number formatting and parsing independent of the
    // user's language settings.
    gtk_disable_setlocale();
    GtkApplication* application = create_application(G_APPLICATION_DEFAULT_FLAGS);
    g_log_set_writer_func(discard_log_messages, nullptr, nullptr);

    int status = g_application_run(G_APPLICATION(application), 0, nullptr);
    g_object_unref(application);

    // The worker holds its link and its reports, so nothing it uses is torn
    // down while it ends on its own.
    end_scan(app().scan);
    request_stop_all(app().links);
    return status;
}
