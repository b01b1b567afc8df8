#include "app/renderer_choice.hpp"

#include <epoxy/gl.h>
#include <gtk/gtk.h>

#include <cstring>

std::string display_gl_renderer()
{
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return {};
    g_autoptr(GError) error = nullptr;
    g_autoptr(GdkGLContext) context = gdk_display_create_gl_context(display, &error);
    if (!context || !gdk_gl_context_realize(context, &error))
        return {};
    gdk_gl_context_make_current(context);
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    std::string renderer = text ? text : "";
    gdk_gl_context_clear_current();
    return renderer;
}

bool is_software_gl(const std::string& renderer)
{
    g_autofree char* folded = g_ascii_strdown(renderer.c_str(), -1);
    return strstr(folded, "llvmpipe") || strstr(folded, "softpipe") || strstr(folded, "software rasterizer");
}

void prefer_cairo_over_software_gl()
{
    if (g_getenv("GSK_RENDERER"))
        return;
    // GTK reads the variable for each window as it is realized, on this thread.
    if (is_software_gl(display_gl_renderer()))
        g_setenv("GSK_RENDERER", "cairo", FALSE);
}
