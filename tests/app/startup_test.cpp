// The shipped program as a user starts it: whatever it is given on the
// command line and however chatty the toolkit is asked to be, it opens its
// window and prints nothing.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "desktop_session.hpp"

namespace {

std::string read_all(int fd)
{
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, size_t(n));
    close(fd);
    return text;
}

// True while the child has not ended within the time given.
bool still_running_after(GPid pid, int milliseconds)
{
    gint64 deadline = g_get_monotonic_time() + gint64(milliseconds) * 1000;
    while (g_get_monotonic_time() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return false;
        g_usleep(50000);
    }
    return true;
}

}  // namespace

TEST(Startup, IgnoresItsArgumentsAndPrintsNothing)
{
    if (!g_getenv("DISPLAY"))
        GTEST_FAIL() << "this test needs an X server (run under Xvfb)";
    TempFolder folder;
    std::string program = std::string(BRENVALDOR_BINARY_DIR) + "/brenvaldor";
    // An option GApplication would refuse, were the arguments handed on.
    const char* argv[] = {program.c_str(), "--no-such-option", "Brenvaldor.dat", nullptr};
    g_auto(GStrv) environment = g_get_environ();
    // Every debug message GLib and GTK have would be printed without the
    // program's own log writer.
    environment = g_environ_setenv(environment, "G_MESSAGES_DEBUG", "all", TRUE);
    environment = g_environ_setenv(environment, "GTK_A11Y", "none", TRUE);
    // Without a session bus the application runs on its own, so no other
    // instance of a parallel test can take the launch over.
    environment = g_environ_setenv(environment, "DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", TRUE);

    GPid pid = 0;
    int out = -1, err = -1;
    g_autoptr(GError) error = nullptr;
    ASSERT_TRUE(g_spawn_async_with_pipes(folder.path.c_str(), const_cast<char**>(argv), environment,
                                         G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &pid, nullptr, &out, &err,
                                         &error))
        << error->message;
    bool running = still_running_after(pid, 2000);
    if (running) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    std::string printed = read_all(out);
    std::string complained = read_all(err);
    g_spawn_close_pid(pid);

    EXPECT_TRUE(running) << "the program ended at start: " << complained;
    EXPECT_EQ(printed, "");
    EXPECT_EQ(complained, "");
}
