// The desktop's light or dark preference, as the program follows it.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cmath>

#include "app/color_scheme.hpp"
#include "widgets/status_line.hpp"
#include "chart/chart_plot.hpp"
#include "support/app_link.hpp"
#include "support/gtk_test_env.hpp"

namespace {

double luminance(const GdkRGBA& c)
{
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

// The contrast of a text colour, laid over the background, with it.
double contrast(GdkRGBA text, const GdkRGBA& background)
{
    text.red = text.red * text.alpha + background.red * (1 - text.alpha);
    text.green = text.green * text.alpha + background.green * (1 - text.alpha);
    text.blue = text.blue * text.alpha + background.blue * (1 - text.alpha);
    double a = luminance(text) + 0.05, b = luminance(background) + 0.05;
    return a > b ? a / b : b / a;
}

GdkRGBA text_colour(GtkWidget* widget)
{
    GdkRGBA colour{};
    gtk_style_context_get_color(gtk_widget_get_style_context(widget), &colour);
    return colour;
}

GdkRGBA window_background(GtkWidget* widget)
{
    GdkRGBA colour{};
    EXPECT_TRUE(gtk_style_context_lookup_color(gtk_widget_get_style_context(widget), "theme_bg_color", &colour));
    return colour;
}

// The chart's background, from a corner of the plot left of its axis.
double chart_background_level()
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 200, 120);
    cairo_t* cr = cairo_create(surface);
    draw_plot(app().chart, cr, 200, 120);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    uint32_t pixel = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface))[0];
    cairo_surface_destroy(surface);
    return (pixel & 0xFF) / 255.0;
}

bool prefers_dark()
{
    gboolean dark = FALSE;
    g_object_get(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", &dark, nullptr);
    return dark;
}

}  // namespace

TEST(ColorScheme, ReadsTheDesktopsValues)
{
    EXPECT_EQ(scheme_from_gsettings("prefer-dark"), SchemePreference::dark);
    EXPECT_EQ(scheme_from_gsettings("prefer-light"), SchemePreference::light);
    EXPECT_EQ(scheme_from_gsettings("default"), SchemePreference::none);
    EXPECT_EQ(scheme_from_portal(1), SchemePreference::dark);
    EXPECT_EQ(scheme_from_portal(2), SchemePreference::light);
    EXPECT_EQ(scheme_from_portal(0), SchemePreference::none);
    // Given no preference, expect the user's own GTK setting kept.
    EXPECT_TRUE(prefer_dark_theme(SchemePreference::none, true));
    EXPECT_FALSE(prefer_dark_theme(SchemePreference::none, false));
    EXPECT_FALSE(prefer_dark_theme(SchemePreference::light, true));
}

// Given the desktop's GNOME key changed while the program runs (no portal
// on the test's bus), expect the style to follow, and the grid's values
// (stale ones too), the status line's notes and the chart to stay readable.
TEST(ColorScheme, DarkPreferenceSwitchesTheStyleAtRunTime)
{
    REQUIRE_DISPLAY();
    // The memory backend keeps the test off the user's own desktop settings.
    ASSERT_STREQ(g_getenv("GSETTINGS_BACKEND"), "memory") << "run under scripts/test-env";
    g_autoptr(GSettingsSchema) schema =
        g_settings_schema_source_lookup(g_settings_schema_source_get_default(), "org.gnome.desktop.interface", TRUE);
    ASSERT_TRUE(schema) << "gsettings-desktop-schemas is not installed";
    g_autoptr(GSettings) desktop = g_settings_new_full(schema, nullptr, nullptr);

    App& a = activate_app();
    ASSERT_GE(a.tabs.tab->table.value_cells.size(), 2u);
    GtkWidget* cell = GTK_WIDGET(a.tabs.tab->table.value_cells[0]);
    GtkWidget* stale = GTK_WIDGET(a.tabs.tab->table.value_cells[1]);
    gtk_widget_remove_css_class(cell, "stale");
    gtk_widget_add_css_class(stale, "stale");
    // Shown: GTK restyles only what is on screen.
    present_chart_window(a.chart);
    drain_main_loop();
    GtkLabel* status = a.main_window.status_line;
    auto readable = [&] {
        GdkRGBA background = window_background(cell);
        show_status_info(status, "info");
        double info = contrast(text_colour(GTK_WIDGET(status)), background);
        end_status_info(status);
        show_status_error(status, "error");
        double error = contrast(text_colour(GTK_WIDGET(status)), background);
        show_status_neutral(status, " ");
        return contrast(text_colour(cell), background) >= 4.5 && contrast(text_colour(stale), background) >= 3 &&
               info >= 4.5 && error >= 4.5;
    };
    EXPECT_FALSE(prefers_dark());
    EXPECT_LT(luminance(text_colour(cell)), 0.5);
    EXPECT_TRUE(readable());
    EXPECT_GT(chart_background_level(), 0.5);

    g_settings_set_string(desktop, "color-scheme", "prefer-dark");
    ASSERT_TRUE(run_until(prefers_dark, 2000));
    EXPECT_TRUE(run_until([&] { return luminance(text_colour(cell)) > 0.5; }, 2000));
    EXPECT_TRUE(readable());
    EXPECT_TRUE(run_until([] { return chart_background_level() < 0.5; }, 2000));

    g_settings_set_string(desktop, "color-scheme", "default");
    EXPECT_TRUE(run_until([] { return !prefers_dark(); }, 2000));
}
