#include "chart/chart_plot.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "chart/chart_csv.hpp"
#include "chart/chart_export.hpp"
#include "chart/chart_window.hpp"
#include "chart/plot_axes.hpp"

namespace {

constexpr double right_margin = 12, top_margin = 10, bottom_margin = 24;
// The left margin holds the value labels: the widest, a gap to the axis,
// and an edge; never narrower than the least.
constexpr double label_gap = 6, label_edge = 4, least_left_margin = 24;

struct Colour {
    double r, g, b;
};
constexpr Colour palette[max_chart_series] = {
    {0.12, 0.47, 0.71}, {0.84, 0.15, 0.16}, {0.17, 0.63, 0.17}, {0.58, 0.40, 0.74},
    {1.00, 0.50, 0.05}, {0.55, 0.34, 0.29}, {0.89, 0.47, 0.76}, {0.09, 0.75, 0.81},
};

// The plot's colours follow the text colour the theme gives the plot: light
// text means the dark style.
struct PlotStyle {
    GdkRGBA text;
    bool dark;
};

PlotStyle plot_style(GtkWidget* widget)
{
    PlotStyle style{};
    gtk_style_context_get_color(gtk_widget_get_style_context(widget), &style.text);
    style.dark = 0.2126 * style.text.red + 0.7152 * style.text.green + 0.0722 * style.text.blue > 0.5;
    return style;
}

// A series' colour; on the dark style a quarter whiter, so that the darker
// ones (blue, brown) keep a contrast above 3:1 with the plot.
Colour series_colour(unsigned colour, bool dark)
{
    Colour c = palette[colour % max_chart_series];
    if (dark)
        c = {c.r + (1 - c.r) * 0.25, c.g + (1 - c.g) * 0.25, c.b + (1 - c.b) * 0.25};
    return c;
}

void set_colour(cairo_t* cr, unsigned colour, bool dark)
{
    Colour c = series_colour(colour, dark);
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

void set_background(cairo_t* cr, const PlotStyle& style, double alpha)
{
    double level = style.dark ? 0.12 : 1.0;
    cairo_set_source_rgba(cr, level, level, level, alpha);
}

void set_text(cairo_t* cr, const PlotStyle& style, double alpha)
{
    cairo_set_source_rgba(cr, style.text.red, style.text.green, style.text.blue, style.text.alpha * alpha);
}

ChartWindow& chart_of(gpointer data)
{
    return *static_cast<ChartWindow*>(data);
}

bool shown(const ChartSeries& series)
{
    return gtk_check_button_get_active(series.check);
}

std::string clock_text(int64_t time_ms, bool with_millis)
{
    g_autoptr(GDateTime) utc = g_date_time_new_from_unix_utc(time_ms / 1000);
    if (!utc)
        return {};
    g_autoptr(GDateTime) local = g_date_time_to_local(utc);
    g_autofree char* text = g_date_time_format(local, "%H:%M:%S");
    std::string result = text ? text : "";
    if (with_millis) {
        char millis[8];
        snprintf(millis, sizeof millis, ".%03d", int(time_ms % 1000));
        result += millis;
    }
    return result;
}

int64_t local_offset_ms(int64_t time_ms)
{
    g_autoptr(GDateTime) utc = g_date_time_new_from_unix_utc(time_ms / 1000);
    g_autoptr(GDateTime) local = utc ? g_date_time_to_local(utc) : nullptr;
    return local ? g_date_time_get_utc_offset(local) / 1000 : 0;
}

void draw_text(cairo_t* cr, PangoLayout* layout, const std::string& text, double x, double y, double x_align)
{
    pango_layout_set_text(layout, text.c_str(), -1);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    cairo_move_to(cr, x - w * x_align, y - h / 2.0);
    pango_cairo_show_layout(cr, layout);
}

struct Frame {
    double x0, y0, w, h;  // the plot area inside the axes
    int64_t from, to;
    ValueScale scale;
    double y_of(double v) const { return y0 + h - (v - scale.low) / (scale.high - scale.low) * h; }
};

double left_margin_for(PangoLayout* layout, const ValueScale& scale)
{
    int widest = 0;
    for (double tick : scale.ticks) {
        pango_layout_set_text(layout, tick_text(tick, scale.step).c_str(), -1);
        int w = 0, h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        widest = std::max(widest, w);
    }
    return std::max(least_left_margin, widest + label_gap + label_edge);
}

void draw_axes(cairo_t* cr, PangoLayout* layout, const Frame& f, const PlotStyle& style)
{
    cairo_set_line_width(cr, 1);
    for (double tick : f.scale.ticks) {
        double y = std::round(f.y_of(tick)) + 0.5;
        set_text(cr, style, 0.15);
        cairo_move_to(cr, f.x0, y);
        cairo_line_to(cr, f.x0 + f.w, y);
        cairo_stroke(cr);
        set_text(cr, style, 1);
        draw_text(cr, layout, tick_text(tick, f.scale.step), f.x0 - label_gap, y, 1.0);
    }
    int64_t step = time_step_ms(f.to - f.from, std::max(2, int(f.w / 90)));
    for (int64_t t : time_ticks(f.from, f.to, step, local_offset_ms(f.to))) {
        double x = std::round(f.x0 + double(t - f.from) / double(f.to - f.from) * f.w) + 0.5;
        set_text(cr, style, 0.15);
        cairo_move_to(cr, x, f.y0);
        cairo_line_to(cr, x, f.y0 + f.h);
        cairo_stroke(cr);
        // A time too near either end would be cut off by the edge.
        if (x < f.x0 + 24 || x > f.x0 + f.w - 24)
            continue;
        set_text(cr, style, 1);
        draw_text(cr, layout, clock_text(t, false), x, f.y0 + f.h + bottom_margin / 2, 0.5);
    }
    set_text(cr, style, 0.5);
    cairo_rectangle(cr, f.x0 + 0.5, f.y0 + 0.5, f.w - 1, f.h - 1);
    cairo_stroke(cr);
}

// The curves' pixels for one frame: bars are written straight into an
// image, which is far cheaper than having cairo fill or stroke thousands of
// tiny shapes per series.
struct CurveImage {
    cairo_surface_t* surface = nullptr;
    int width = 0, height = 0;
    unsigned char* data = nullptr;
    ptrdiff_t stride = 0;

    uint32_t* row(int y) const { return reinterpret_cast<uint32_t*>(data + ptrdiff_t(y) * stride); }
};

// A transparent image of the plot area, kept between frames.
CurveImage& curve_image(int width, int height)
{
    static CurveImage image;
    if (!image.surface || image.width != width || image.height != height) {
        if (image.surface)
            cairo_surface_destroy(image.surface);
        image.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        image.width = width;
        image.height = height;
        image.data = cairo_image_surface_get_data(image.surface);
        image.stride = cairo_image_surface_get_stride(image.surface);
    }
    cairo_surface_flush(image.surface);
    std::fill_n(image.row(0), size_t(image.stride / 4) * size_t(height), 0u);
    return image;
}

void fill_bar(CurveImage& image, int x, double top, double bottom, uint32_t pixel)
{
    int y0 = std::clamp(int(std::floor(top - 0.5)), 0, image.height);
    int y1 = std::clamp(int(std::ceil(bottom + 0.5)), 0, image.height);
    int width = x + 1 < image.width ? 2 : 1;
    uint32_t* p = image.row(y0) + x;
    ptrdiff_t step = image.stride / 4;
    for (int y = y0; y < y1; ++y, p += step)
        std::fill_n(p, width, pixel);
}

uint32_t pixel_of(unsigned colour, bool dark)
{
    Colour c = series_colour(colour, dark);
    return 0xFF000000u | uint32_t(c.r * 255) << 16 | uint32_t(c.g * 255) << 8 | uint32_t(c.b * 255);
}

// One bar per column from its minimum to its maximum, stretched to the
// previous column's last value so the curve stays joined; columns farther
// apart are joined by a stroked line. No join crosses a failed poll.
void draw_curve(cairo_t* cr, CurveImage& image, const Frame& f, const std::vector<ColumnSpan>& columns,
                unsigned colour, bool dark)
{
    bool have_previous = false;
    size_t previous = 0;
    double previous_last = 0;
    uint32_t pixel = pixel_of(colour, dark);
    for (size_t c = 0; c < columns.size(); ++c) {
        const ColumnSpan& s = columns[c];
        if (!s.has_value)
            continue;
        bool joined = have_previous && !s.break_before;
        bool adjacent = joined && previous + 1 == c;
        double low = adjacent ? std::min(s.min, previous_last) : s.min;
        double high = adjacent ? std::max(s.max, previous_last) : s.max;
        fill_bar(image, int(c), f.y_of(high) - f.y0, f.y_of(low) - f.y0, pixel);
        if (joined && !adjacent) {
            cairo_move_to(cr, f.x0 + double(previous) + 1, f.y_of(previous_last));
            cairo_line_to(cr, f.x0 + double(c) + 1, f.y_of(s.first));
        }
        have_previous = true;
        previous = c;
        previous_last = s.last;
    }
    set_colour(cr, colour, dark);
    cairo_stroke(cr);
}

std::string newest_value_text(const ChartSeries& series)
{
    size_t n = full_sample_count(series.samples);
    std::string text = n ? series_value_text(series, series.samples.values[n - 1]) : std::string();
    return text.empty() ? std::string("–") : text;
}

void draw_legend(cairo_t* cr, PangoLayout* layout, const ChartWindow& chart, const Frame& f,
                 const PlotStyle& style)
{
    int rows = 0;
    for (const auto& s : chart.series)
        rows += shown(*s) ? 1 : 0;
    if (rows == 0)
        return;
    // A veil behind the legend keeps it readable over the curves.
    set_background(cr, style, 0.8);
    cairo_rectangle(cr, f.x0 + 4, f.y0 + 3, 260, rows * 16 + 2);
    cairo_fill(cr);
    double y = f.y0 + 12;
    for (const auto& s : chart.series) {
        if (!shown(*s))
            continue;
        set_colour(cr, s->colour, style.dark);
        cairo_set_line_width(cr, 3);
        cairo_move_to(cr, f.x0 + 10, y);
        cairo_line_to(cr, f.x0 + 26, y);
        cairo_stroke(cr);
        set_text(cr, style, 1);
        draw_text(cr, layout, series_title(*s) + "  " + newest_value_text(*s), f.x0 + 32, y, 0.0);
        y += 16;
    }
}

void draw_hover(cairo_t* cr, const ChartWindow& chart, const Frame& f, const PlotStyle& style)
{
    if (chart.hover_x < f.x0 || chart.hover_x >= f.x0 + f.w)
        return;
    set_text(cr, style, 0.4);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, std::round(chart.hover_x) + 0.5, f.y0);
    cairo_line_to(cr, std::round(chart.hover_x) + 0.5, f.y0 + f.h);
    cairo_stroke(cr);
}

// The columns of every shown series, and the value range they span.
void reduce_all(const ChartWindow& chart, Frame& f, std::vector<std::vector<ColumnSpan>>& all)
{
    double low = std::numeric_limits<double>::infinity(), high = -low;
    all.resize(chart.series.size());
    for (size_t i = 0; i < chart.series.size(); ++i) {
        all[i].assign(size_t(std::max(1.0, f.w)), ColumnSpan{});
        if (!shown(*chart.series[i]))
            continue;
        reduce_columns(chart.series[i]->samples, f.from, f.to, all[i]);
        for (const ColumnSpan& c : all[i]) {
            if (c.has_value) {
                low = std::min(low, c.min);
                high = std::max(high, c.max);
            }
        }
    }
    if (low > high)
        low = high = 0;
    f.scale = value_scale(low, high, std::max(3, int(f.h / 40)));
}

void on_draw(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer data)
{
    draw_plot(chart_of(data), cr, width, height);
}

gboolean on_frame(GtkWidget* plot, GdkFrameClock*, gpointer data)
{
    ChartWindow& chart = chart_of(data);
    if (gtk_toggle_button_get_active(chart.pause))
        return G_SOURCE_CONTINUE;
    int64_t from = 0, to = 0;
    chart_view(chart, from, to);
    double width = std::max(1.0, gtk_widget_get_width(plot) - chart.plot_left - right_margin);
    // Redrawn when samples came or time moved the curves by a pixel.
    if (chart.dirty || double(to - chart.drawn_end) * width >= double(to - from))
        gtk_widget_queue_draw(plot);
    return G_SOURCE_CONTINUE;
}

void on_motion(GtkEventControllerMotion*, double x, double, gpointer data)
{
    ChartWindow& chart = chart_of(data);
    chart.hover_x = x;
    std::string text = hover_text(chart, x, gtk_widget_get_width(GTK_WIDGET(chart.plot)));
    gtk_label_set_text(chart.readout, text.c_str());
    gtk_widget_queue_draw(GTK_WIDGET(chart.plot));
}

void on_leave(GtkEventControllerMotion*, gpointer data)
{
    chart_of(data).hover_x = -1;
    gtk_widget_queue_draw(GTK_WIDGET(chart_of(data).plot));
}

void on_pause_toggled(GtkToggleButton* pause, gpointer data)
{
    ChartWindow& chart = chart_of(data);
    chart.paused_at = chart_clock_ms();
    if (!gtk_toggle_button_get_active(pause))
        chart.dirty = true;
    gtk_widget_queue_draw(GTK_WIDGET(chart.plot));
}

void on_range_changed(GObject*, GParamSpec*, gpointer data)
{
    chart_of(data).dirty = true;
    gtk_widget_queue_draw(GTK_WIDGET(chart_of(data).plot));
}

void draw_swatch(GtkDrawingArea* swatch, cairo_t* cr, int width, int height, gpointer colour)
{
    set_colour(cr, GPOINTER_TO_UINT(colour), plot_style(GTK_WIDGET(swatch)).dark);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_fill(cr);
}

GtkWidget* build_toolbar(ChartWindow& chart)
{
    GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    static const char* const ranges[] = {"Last 1 minute", "Last 10 minutes", "Last 1 hour", "Everything kept",
                                         nullptr};
    chart.range = GTK_DROP_DOWN(gtk_drop_down_new_from_strings(ranges));
    gtk_accessible_update_property(GTK_ACCESSIBLE(chart.range), GTK_ACCESSIBLE_PROPERTY_LABEL, "Time range", -1);
    g_signal_connect(chart.range, "notify::selected", G_CALLBACK(on_range_changed), &chart);
    chart.pause = GTK_TOGGLE_BUTTON(gtk_toggle_button_new_with_label("Pause"));
    g_signal_connect(chart.pause, "toggled", G_CALLBACK(on_pause_toggled), &chart);
    gtk_box_append(GTK_BOX(bar), GTK_WIDGET(chart.range));
    gtk_box_append(GTK_BOX(bar), GTK_WIDGET(chart.pause));
    append_export_buttons(chart, GTK_BOX(bar));
    return bar;
}

}  // namespace

GtkWidget* build_colour_swatch(unsigned colour)
{
    GtkWidget* swatch = gtk_drawing_area_new();
    gtk_drawing_area_set_content_width(GTK_DRAWING_AREA(swatch), 14);
    gtk_drawing_area_set_content_height(GTK_DRAWING_AREA(swatch), 14);
    gtk_widget_set_valign(swatch, GTK_ALIGN_CENTER);
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(swatch), draw_swatch, GUINT_TO_POINTER(colour), nullptr);
    return swatch;
}

GtkWidget* build_plot_side(ChartWindow& chart)
{
    GtkWidget* side = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_widget_set_hexpand(side, TRUE);
    gtk_box_append(GTK_BOX(side), build_toolbar(chart));
    chart.plot = GTK_DRAWING_AREA(gtk_drawing_area_new());
    gtk_drawing_area_set_content_width(chart.plot, 480);
    gtk_drawing_area_set_content_height(chart.plot, 300);
    gtk_widget_set_hexpand(GTK_WIDGET(chart.plot), TRUE);
    gtk_widget_set_vexpand(GTK_WIDGET(chart.plot), TRUE);
    gtk_accessible_update_property(GTK_ACCESSIBLE(chart.plot), GTK_ACCESSIBLE_PROPERTY_LABEL, "Chart", -1);
    gtk_drawing_area_set_draw_func(chart.plot, on_draw, &chart, nullptr);
    gtk_widget_add_tick_callback(GTK_WIDGET(chart.plot), on_frame, &chart, nullptr);
    GtkEventController* motion = gtk_event_controller_motion_new();
    g_signal_connect(motion, "motion", G_CALLBACK(on_motion), &chart);
    g_signal_connect(motion, "leave", G_CALLBACK(on_leave), &chart);
    gtk_widget_add_controller(GTK_WIDGET(chart.plot), motion);
    chart.readout = GTK_LABEL(gtk_label_new(" "));
    gtk_label_set_xalign(chart.readout, 0);
    gtk_box_append(GTK_BOX(side), GTK_WIDGET(chart.plot));
    gtk_box_append(GTK_BOX(side), GTK_WIDGET(chart.readout));
    return side;
}

void draw_plot(ChartWindow& chart, cairo_t* cr, int width, int height)
{
    PlotStyle style = plot_style(GTK_WIDGET(chart.plot));
    set_background(cr, style, 1);
    cairo_paint(cr);
    Frame f{chart.plot_left, top_margin, width - chart.plot_left - right_margin,
            height - top_margin - bottom_margin, 0, 0, {}};
    if (f.w < 2) {  // the last labels' margin may not fit this picture
        f.x0 = least_left_margin;
        f.w = width - f.x0 - right_margin;
    }
    if (f.w < 2 || f.h < 2)
        return;
    chart_view(chart, f.from, f.to);
    chart.drawn_end = f.to;
    chart.dirty = false;
    g_autoptr(PangoLayout) layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Sans 8");
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    static std::vector<std::vector<ColumnSpan>> columns;  // reused: drawing is on the UI thread only
    reduce_all(chart, f, columns);
    // The scale depends on the height alone, the labels on the scale; a
    // margin that changes with them gives the curves a new width.
    double left = left_margin_for(layout, f.scale);
    if (width - left - right_margin >= 2) {
        chart.plot_left = left;
        if (left != f.x0) {
            f.x0 = left;
            f.w = width - left - right_margin;
            reduce_all(chart, f, columns);
        }
    }
    draw_axes(cr, layout, f, style);
    cairo_save(cr);
    cairo_rectangle(cr, f.x0, f.y0, f.w, f.h);
    cairo_clip(cr);
    cairo_set_line_width(cr, 2);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    CurveImage& image = curve_image(int(f.w), int(f.h));
    for (size_t i = 0; i < chart.series.size(); ++i)
        if (shown(*chart.series[i]))
            draw_curve(cr, image, f, columns[i], chart.series[i]->colour, style.dark);
    cairo_surface_mark_dirty(image.surface);
    cairo_set_source_surface(cr, image.surface, f.x0, f.y0);
    cairo_paint(cr);
    draw_hover(cr, chart, f, style);
    cairo_restore(cr);
    draw_legend(cr, layout, chart, f, style);
}

std::string hover_text(const ChartWindow& chart, double x, int width)
{
    double left = chart.plot_left;
    double w = width - left - right_margin;
    if (w < 1 || x < left || x >= left + w)
        return " ";
    int64_t from = 0, to = 0;
    chart_view(chart, from, to);
    int64_t at = from + int64_t((x - left) / w * double(to - from));
    std::string text = clock_text(at, true);
    for (const auto& s : chart.series) {
        if (!shown(*s))
            continue;
        int64_t time = 0;
        double value = 0;
        bool found = value_at(s->samples, at, time, value);
        text += "   " + series_title(*s) + ": " + (found ? sample_readout(*s, value) : std::string("–"));
    }
    return text;
}
