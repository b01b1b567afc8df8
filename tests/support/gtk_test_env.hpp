#pragma once
// Helpers for tests that build the real windows on the X server.

#include <gtk/gtk.h>

#include <functional>

struct App;

// Builds the whole user interface once per process, as activation does
// (the application is registered non-unique so test processes never meet).
App& activate_app();

// Runs pending main-loop work without blocking, and what the worker has
// left that the user-interface thread would take at its next paced look.
void drain_main_loop();
// Iterates the main loop until condition holds or timeout_ms passed.
bool run_until(const std::function<bool()>& condition, int timeout_ms);
// Iterates the main loop for a while, whatever happens.
void run_for(int milliseconds);

// Skips the calling test when no display is available.
#define REQUIRE_DISPLAY()                                                   \
    do {                                                                    \
        if (!gdk_display_get_default())                                     \
            GTEST_FAIL() << "this test needs an X server (run under Xvfb)"; \
    } while (0)

#include "support/app_link.hpp"
