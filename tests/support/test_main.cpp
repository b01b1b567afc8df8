// Test entry: GLib and GTK warnings and criticals end the test at once,
// so misuse of the toolkit fails instead of scrolling past.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

// GTK 4.8 itself warns when a scroll bar is drawn in the frame before its
// first size allocation (a chooser closed at once, a view scrolled while
// lines arrive); no call of ours can cause or avoid it, so it is only shown.
bool is_known_toolkit_noise(const GLogField* fields, gsize n_fields)
{
    for (gsize i = 0; i < n_fields; ++i) {
        if (g_strcmp0(fields[i].key, "MESSAGE") != 0 || fields[i].length != -1)
            continue;
        const char* message = static_cast<const char*>(fields[i].value);
        return g_str_has_prefix(message, "Trying to snapshot ") &&
               strstr(message, " without a current allocation") != nullptr;
    }
    return false;
}

GLogWriterOutput fatal_warnings(GLogLevelFlags level, const GLogField* fields, gsize n_fields, gpointer)
{
    if ((level & G_LOG_LEVEL_WARNING) && is_known_toolkit_noise(fields, n_fields))
        return g_log_writer_standard_streams(level, fields, n_fields, nullptr);
    if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
        g_log_writer_standard_streams(level, fields, n_fields, nullptr);
        std::fprintf(stderr, "fatal: a GLib or GTK warning was logged during the test\n");
        std::abort();
    }
    if (g_getenv("BRENVALDOR_TEST_VERBOSE"))
        return g_log_writer_standard_streams(level, fields, n_fields, nullptr);
    return G_LOG_WRITER_HANDLED;
}

// The desktop's recent files (a saved or loaded set-up is added to them)
// and the program's preferences go to folders of the process's own, never
// the user's; GLib reads the folders once, so they are set before GTK starts.
std::string private_home;

void remove_private_home()
{
    std::error_code ignored;
    std::filesystem::remove_all(private_home, ignored);
}

void use_private_home()
{
    g_autofree char* folder = g_dir_make_tmp("brenvaldor-home-XXXXXX", nullptr);
    if (!folder)
        return;
    private_home = folder;
    g_autofree char* data = g_build_filename(folder, "data", nullptr);
    g_autofree char* config = g_build_filename(folder, "config", nullptr);
    g_mkdir_with_parents(data, 0700);
    g_setenv("XDG_DATA_HOME", data, TRUE);
    g_setenv("XDG_CONFIG_HOME", config, TRUE);
    std::atexit(remove_private_home);
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    g_log_set_writer_func(fatal_warnings, nullptr, nullptr);
    gtk_disable_setlocale();
    g_set_prgname("brenvaldor");
    use_private_home();
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
