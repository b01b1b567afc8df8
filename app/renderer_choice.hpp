#pragma once
// Which of GTK's renderers draws the windows. Where GL is rasterised on the
// CPU (Mesa's llvmpipe in a virtual machine, over remote X, under Xvfb),
// GTK 4.8's GL renderer spends about 30 ms of CPU on every frame of the main
// window, so a value changing once a second costs 3 % of a core; its cairo
// renderer draws the same frame in about 3 ms. A renderer the user names in
// GSK_RENDERER always wins.

#include <string>

// The GL_RENDERER text of the display's GL ("llvmpipe (LLVM 15.0.6, 256
// bits)"), or empty where GTK has no GL. User-interface thread.
std::string display_gl_renderer();

// True for the renderer texts of Mesa's software rasterisers.
bool is_software_gl(const std::string& renderer);

// Before the first window is shown: chooses the cairo renderer when GL is
// rasterised on the CPU and GSK_RENDERER is not set.
void prefer_cairo_over_software_gl();
