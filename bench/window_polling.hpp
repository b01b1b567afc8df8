#pragma once
// The real window's link in a benchmark: a kept connection to a local
// server, and its worker started pinned to a core and stopped again.

#include <gtk/gtk.h>

#include <cstdio>
#include <set>

#include "app/application.hpp"
#include "bench_support.hpp"
#include "link/worker.hpp"

namespace bench {

// The program's window, activated as at start, with GTK's log discarded
// as the shipped program does; false, having said why, without an X server.
inline bool open_bench_window(const char* bench)
{
    gtk_disable_setlocale();
    g_set_prgname("brenvaldor");
    g_log_set_writer_func(discard_log_messages, nullptr, nullptr);
    if (!gtk_init_check()) {
        std::fprintf(stderr, "%s needs an X server (run it under ./scripts/headless)\n", bench);
        return false;
    }
    GtkApplication* application = create_application(G_APPLICATION_NON_UNIQUE);
    g_application_register(G_APPLICATION(application), nullptr, nullptr);
    g_application_activate(G_APPLICATION(application));
    return true;
}

// A kept Modbus TCP connection to port on this machine.
inline ConnectionSettings kept_local_tcp(int port)
{
    ConnectionSettings settings;
    settings.device = "127.0.0.1";
    settings.baud_or_port = uint32_t(port);
    settings.use_tcp = true;
    settings.keep_open = true;
    return settings;
}

// The link of the window's shown tab.
inline ConnectionLink& window_link()
{
    return shown_link(app().tabs);
}

// Starts the window's worker, pinned to cpu, and returns once it cycles.
inline bool start_window_polling(int cpu)
{
    ConnectionLink& shown = window_link();
    LinkState& link = *shown.link;
    std::set<int> before = thread_ids();
    link.running.store(true);
    if (!start_worker(shown.link, shown.reports))
        return false;
    if (int worker = started_worker(before))
        pin(worker, cpu);
    gint64 deadline = g_get_monotonic_time() + 5'000'000;
    while (active_workers(link) == 0 && g_get_monotonic_time() < deadline)
        run_loop_for(2);
    return active_workers(link) > 0;
}

// Stops the worker and waits for its thread to end.
inline void stop_window_polling()
{
    LinkState& link = *window_link().link;
    link.running.store(false);
    signal_wake(link);
    gint64 deadline = g_get_monotonic_time() + 5'000'000;
    while (worker_threads(link) > 0 && g_get_monotonic_time() < deadline)
        run_loop_for(5);
}

}  // namespace bench
