#include "chart/chart_export.hpp"

#include <cerrno>
#include <exception>
#include <string>
#include <vector>

#include "chart/chart_csv.hpp"
#include "chart/chart_plot.hpp"
#include "chart/chart_window.hpp"
#include "files/whole_file.hpp"

namespace {

ChartWindow& chart_of(gpointer data)
{
    return *static_cast<ChartWindow*>(data);
}

FileDialog* make_dialog(const char* name, const char* suffix)
{
    FileDialog* dialog = file_dialog_new();
    file_dialog_set_initial_name(dialog, name);
    g_autoptr(GFile) folder = g_file_new_for_path(".");
    file_dialog_set_initial_folder(dialog, folder);
    g_autoptr(GtkFileFilter) filter = gtk_file_filter_new();
    gtk_file_filter_add_suffix(filter, suffix);
    file_dialog_set_default_filter(dialog, filter);
    return dialog;
}

// A failed export stays in an alert over the chart until the user closes
// it or exports again.
bool refused(ChartWindow& chart, const char* message, const std::string& reason)
{
    show_refusal(chart.window, message, reason.c_str());
    return false;
}

cairo_status_t append_bytes(void* closure, const unsigned char* data, unsigned int length)
{
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The chosen path, or null when the choice was cancelled.
char* chosen_path(GObject* source, GAsyncResult* result)
{
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_save_finish(FILE_DIALOG(source), result, &error);
    return file ? g_file_get_path(file) : nullptr;
}

void on_csv_chosen(GObject* source, GAsyncResult* result, gpointer data)
{
    g_autofree char* path = chosen_path(source, result);
    if (path)
        export_csv_file(chart_of(data), path);
}

void on_image_chosen(GObject* source, GAsyncResult* result, gpointer data)
{
    g_autofree char* path = chosen_path(source, result);
    if (path)
        save_image_file(chart_of(data), path);
}

void start_choice(ChartWindow& chart, FileDialog* dialog, GAsyncReadyCallback done)
{
    if (GtkWindow* open = file_dialog_get_window(dialog)) {
        gtk_window_present(open);
        return;
    }
    file_dialog_save(dialog, chart.window, nullptr, done, &chart);
}

void on_export_csv(GtkButton*, gpointer data)
{
    start_choice(chart_of(data), chart_of(data).csv_dialog, on_csv_chosen);
}

void on_save_image(GtkButton*, gpointer data)
{
    start_choice(chart_of(data), chart_of(data).image_dialog, on_image_chosen);
}

}  // namespace

void build_export_dialogs(ChartWindow& chart)
{
    chart.csv_dialog = make_dialog("Brenvaldor.csv", "csv");
    chart.image_dialog = make_dialog("Brenvaldor.png", "png");
}

void append_export_buttons(ChartWindow& chart, GtkBox* bar)
{
    GtkWidget* csv = gtk_button_new_with_label("Export CSV");
    g_signal_connect(csv, "clicked", G_CALLBACK(on_export_csv), &chart);
    GtkWidget* image = gtk_button_new_with_label("Save Image");
    g_signal_connect(image, "clicked", G_CALLBACK(on_save_image), &chart);
    gtk_box_append(bar, csv);
    gtk_box_append(bar, image);
}

bool export_csv_file(ChartWindow& chart, const char* path)
{
    withdraw_refusal(chart.window);
    int error = ENOMEM;  // out of memory while building the text: the old file stays
    try {
        std::vector<CsvColumn> columns;
        for (const auto& s : chart.series) {
            std::string name = series_name(*s);
            std::string unit = s->point ? s->point->unit : std::string();
            columns.push_back({unit.empty() ? name : name + " [" + unit + "]", &s->samples});
            if (full_sample_count(s->raw_samples) > 0)
                columns.push_back({name + " raw", &s->raw_samples});
        }
        if (replace_file(path, samples_csv(columns)))
            return true;
        error = errno;
    } catch (const std::exception&) {
    }
    return refused(chart, "Cannot export CSV", file_failure_reason(path, error));
}

bool save_image_file(ChartWindow& chart, const char* path)
{
    int width = gtk_widget_get_width(GTK_WIDGET(chart.plot));
    int height = gtk_widget_get_height(GTK_WIDGET(chart.plot));
    if (width < 2 || height < 2) {
        width = 640;
        height = 400;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    draw_plot(chart, cr, width, height);
    cairo_destroy(cr);
    withdraw_refusal(chart.window);
    std::string png;
    std::string reason = "Out of memory";
    try {
        cairo_status_t status = cairo_surface_write_to_png_stream(surface, append_bytes, &png);
        if (status != CAIRO_STATUS_SUCCESS)
            reason = cairo_status_to_string(status);
        else if (replace_file(path, png))
            reason.clear();
        else
            reason = file_failure_reason(path, errno);
    } catch (const std::exception&) {
    }
    cairo_surface_destroy(surface);
    return reason.empty() || refused(chart, "Cannot save image", reason);
}
