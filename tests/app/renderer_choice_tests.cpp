// The renderer the main window draws with, as the program chooses it. The
// tests themselves draw with cairo and without GL, so the window is started
// in a child run of this test program with the variables each case gives.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>

#include "app/application.hpp"
#include "app/renderer_choice.hpp"
#include "support/gtk_test_env.hpp"

namespace {

struct Chosen {
    std::string gl;        // the display's GL, empty without one
    std::string renderer;  // the window's renderer type
};

// gsk_renderer: the value of GSK_RENDERER, or nullptr to leave it unset.
Chosen start_window(const char* gsk_renderer)
{
    const char* argv[] = {"/proc/self/exe", "--gtest_also_run_disabled_tests",
                          "--gtest_filter=RendererChoice.DISABLED_ReportingChild", nullptr};
    g_auto(GStrv) environment = g_get_environ();
    environment = g_environ_unsetenv(environment, "GDK_DEBUG");
    environment = gsk_renderer ? g_environ_setenv(environment, "GSK_RENDERER", gsk_renderer, TRUE)
                               : g_environ_unsetenv(environment, "GSK_RENDERER");
    g_autofree char* printed = nullptr;
    int status = 0;
    g_autoptr(GError) error = nullptr;
    Chosen chosen;
    if (!g_spawn_sync(nullptr, const_cast<char**>(argv), environment, G_SPAWN_DEFAULT, nullptr, nullptr, &printed,
                      nullptr, &status, &error)) {
        ADD_FAILURE() << error->message;
        return chosen;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << printed;
    std::istringstream lines(printed);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("gl=", 0) == 0)
            chosen.gl = line.substr(3);
        if (line.rfind("renderer=", 0) == 0)
            chosen.renderer = line.substr(9);
    }
    return chosen;
}

}  // namespace

TEST(RendererChoice, DISABLED_ReportingChild)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    drain_main_loop();
    GskRenderer* renderer = gtk_native_get_renderer(GTK_NATIVE(a.main_window.window));
    ASSERT_TRUE(renderer);
    std::printf("gl=%s\nrenderer=%s\n", display_gl_renderer().c_str(), G_OBJECT_TYPE_NAME(renderer));
}

// Given the display's GL, expect cairo where Mesa rasterises it on the CPU
// and GTK's GL renderer on real hardware; a renderer the user names wins.
TEST(RendererChoice, SoftwareGlDrawsWithCairoUnlessTheUserNamesARenderer)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "Mesa's GL drivers are not built for the sanitizers";
#endif
    REQUIRE_DISPLAY();
    Chosen chosen = start_window(nullptr);
    if (chosen.gl.empty())
        GTEST_SKIP() << "this display has no GL";
    EXPECT_EQ(chosen.renderer, is_software_gl(chosen.gl) ? "GskCairoRenderer" : "GskGLRenderer") << chosen.gl;
    EXPECT_EQ(start_window("gl").renderer, "GskGLRenderer");
}
