// Recording the log to a file: the save choice, the record button's faces
// and the report of a failed write.

#include <cerrno>

#include "widgets/dialog_layer.hpp"
#include "widgets/status_line.hpp"
#include "files/whole_file.hpp"
#include "logger/logger_pane.hpp"

namespace {

GtkLabel* status_line_of(const LoggerPane& pane)
{
    return pane.status_line;
}

// While recording the button stops the recording; once a write failed it
// also carries the error style and says so, for as long as the recording
// runs, since the status line is soon taken over by the link's reports.
void show_record_face(LoggerPane& pane, bool recording, bool failed)
{
    GtkWidget* button = GTK_WIDGET(pane.record_button);
    const char* tooltip = !recording ? "Log To File"
                          : failed   ? "Stop Recording (Log file write failed)"
                                     : "Stop Recording";
    gtk_button_set_icon_name(pane.record_button,
                             recording ? "media-playback-stop-symbolic" : "media-record-symbolic");
    if (recording)
        gtk_widget_add_css_class(button, "destructive-action");
    else
        gtk_widget_remove_css_class(button, "destructive-action");
    if (recording && failed)
        gtk_widget_add_css_class(button, "error");
    else
        gtk_widget_remove_css_class(button, "error");
    gtk_widget_set_tooltip_text(button, tooltip);
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, tooltip, -1);
}

// A failed write loses lines of the file: the status line tells it once,
// the record button until the recording stops; later lines are still tried.
void report_write_failure(LoggerPane& pane)
{
    if (pane.recording.failure_reported)
        return;
    pane.recording.failure_reported = true;
    show_record_face(pane, true, true);
    if (GtkLabel* status = status_line_of(pane))
        show_status_error(status, "Log file write failed");
}

void on_log_file_chosen(GObject* source, GAsyncResult* result, gpointer data)
{
    LoggerPane& pane = *static_cast<LoggerPane*>(data);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GFile) file = file_dialog_save_finish(FILE_DIALOG(source), result, &error);
    if (!file)
        return;
    g_autofree char* path = g_file_get_path(file);
    if (!path)
        return;
    start_recording(pane, path);
}

void choose_log_file(LoggerPane& pane)
{
    g_autoptr(FileDialog) dialog = file_dialog_new();
    file_dialog_set_initial_name(dialog, "Brenvaldor.log");
    g_autoptr(GFile) folder = g_file_new_for_path(".");
    file_dialog_set_initial_folder(dialog, folder);
    GtkWindow* parent = pane.window;
    // The choice holds its own reference to the dialog until it completes.
    file_dialog_save(dialog, parent, nullptr, on_log_file_chosen, &pane);
}

}  // namespace

bool start_recording(LoggerPane& pane, const char* path)
{
    g_autofree char* full_path = g_canonicalize_filename(path, nullptr);
    stop_recording(pane);
    GtkWindow* window = pane.window;
    withdraw_refusal(window);
    if (!open_log_file(pane.recording, full_path)) {
        // Not on the status line, which the link's next report takes over.
        show_refusal(window, "Cannot open log file", file_failure_reason(full_path, errno).c_str());
        return false;
    }
    show_record_face(pane, true, false);
    if (GtkLabel* status = status_line_of(pane))
        show_status_info(status, full_path);
    return true;
}

void stop_recording(LoggerPane& pane)
{
    if (!log_recording_active(pane.recording))
        return;
    close_log_file(pane.recording);
    show_record_face(pane, false, false);
    if (GtkLabel* status = status_line_of(pane))
        end_status_info(status);
}

void record_log_text(LoggerPane& pane, const char* text, size_t length)
{
    if (!log_recording_active(pane.recording))
        return;
    bool wrote = write_log_file(pane.recording, text, length);
    if (!wrote || log_file_sync_failed(pane.recording))
        report_write_failure(pane);
}

void on_record_clicked(GtkButton*, gpointer data)
{
    LoggerPane& pane = *static_cast<LoggerPane*>(data);
    if (log_recording_active(pane.recording)) {
        append_log_lines(pane);  // lines logged before the click belong in the file
        stop_recording(pane);
    } else
        choose_log_file(pane);
}
