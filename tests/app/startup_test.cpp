// The shipped program as a user starts it: whatever it is given on the
// command line and however chatty the toolkit is asked to be, it opens its
// window and prints nothing.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "desktop_session.hpp"

TEST(Startup, IgnoresItsArgumentsAndPrintsNothing)
{
    if (!g_getenv("DISPLAY"))
        GTEST_FAIL() << "this test needs an X server (run under Xvfb)";
    SessionFolder folder;
    std::string program = std::string(BRENVALDOR_BINARY_DIR) + "/brenvaldor";
    // An option GApplication would refuse, were the arguments handed on;
    // timeout ends the program after two seconds and then answers 124.
    const char* argv[] = {"timeout", "2", program.c_str(), "--no-such-option", "Brenvaldor.dat", nullptr};
    g_auto(GStrv) environment = g_get_environ();
    // Every debug message GLib and GTK have would be printed without the
    // program's own log writer.
    environment = g_environ_setenv(environment, "G_MESSAGES_DEBUG", "all", TRUE);
    environment = g_environ_setenv(environment, "GTK_A11Y", "none", TRUE);
    // Without a session bus the application runs on its own, so no other
    // instance of a parallel test can take the launch over.
    environment = g_environ_setenv(environment, "DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", TRUE);

    g_autofree char* printed = nullptr;
    g_autofree char* complained = nullptr;
    int status = 0;
    g_autoptr(GError) error = nullptr;
    ASSERT_TRUE(g_spawn_sync(folder.path.c_str(), const_cast<char**>(argv), environment, G_SPAWN_SEARCH_PATH,
                             nullptr, nullptr, &printed, &complained, &status, &error))
        << error->message;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 124) << "the program ended at start: " << complained;
    EXPECT_STREQ(printed, "");
    EXPECT_STREQ(complained, "");
}
