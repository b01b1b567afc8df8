#include "support/gtk_test_env.hpp"

#include "app/application.hpp"


App& activate_app()
{
    App& a = app();
    if (!a.application) {
        GtkApplication* application = create_application(G_APPLICATION_NON_UNIQUE);
        g_autoptr(GError) error = nullptr;
        g_application_register(G_APPLICATION(application), nullptr, &error);
        g_application_activate(G_APPLICATION(application));
        drain_main_loop();
    }
    return a;
}

void drain_main_loop()
{
    take_all_pending_ui_work(app().links);
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

bool run_until(const std::function<bool()>& condition, int timeout_ms)
{
    gint64 deadline = g_get_monotonic_time() + gint64(timeout_ms) * 1000;
    while (!condition()) {
        if (g_get_monotonic_time() >= deadline)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
    return true;
}

void run_for(int milliseconds)
{
    gint64 deadline = g_get_monotonic_time() + gint64(milliseconds) * 1000;
    while (g_get_monotonic_time() < deadline) {
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
}
