// Test entry: GLib and GTK warnings and criticals end the test at once,
// so misuse of the toolkit fails instead of scrolling past.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

namespace {

GLogWriterOutput fatal_warnings(GLogLevelFlags level, const GLogField* fields, gsize n_fields, gpointer)
{
    if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
        g_log_writer_standard_streams(level, fields, n_fields, nullptr);
        std::fprintf(stderr, "fatal: a GLib or GTK warning was logged during the test\n");
        std::abort();
    }
    if (g_getenv("BRENVALDOR_TEST_VERBOSE"))
        return g_log_writer_standard_streams(level, fields, n_fields, nullptr);
    return G_LOG_WRITER_HANDLED;
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    g_log_set_writer_func(fatal_warnings, nullptr, nullptr);
    g_log_set_always_fatal(GLogLevelFlags(G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
    gtk_disable_setlocale();
    g_set_prgname("brenvaldor");
    // Pure tests run without a display; widget tests check for one themselves.
    if (g_getenv("DISPLAY") || g_getenv("WAYLAND_DISPLAY"))
        if (gtk_init_check()) {
            // A blinking cursor's timer that fires after its text lost the
            // focus in a way only a test produces (no window manager, no
            // real input) warns; the blink itself is not under test.
            g_object_set(gtk_settings_get_default(), "gtk-cursor-blink", FALSE, nullptr);
        }
    return RUN_ALL_TESTS();
}
