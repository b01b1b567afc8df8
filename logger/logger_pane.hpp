#pragma once
// The Logger pane: the newest frames first, pause, copy, clear, record.
// While the set-up has several connections, every line names its
// connection, and a drop-down shows all lines or one connection's.

#include <gtk/gtk.h>

#include <cstdint>
#include <string>
#include <vector>

#include "logger/log_file.hpp"
#include "logger/log_history.hpp"
#include "setup/set_up_model.hpp"


struct LoggerPane {
    // Owned by the pane's widgets (borrowed references).
    GtkTextView* text_view = nullptr;
    GtkBox* outer_box = nullptr;
    GtkBox* inner_box = nullptr;
    GtkBox* button_box = nullptr;
    GtkRevealer* revealer = nullptr;
    GtkButton* logger_button = nullptr;
    GtkButton* pause_button = nullptr;
    GtkButton* copy_button = nullptr;
    GtkButton* clear_button = nullptr;
    GtkButton* record_button = nullptr;
    GtkDropDown* connection_filter = nullptr;  // All, then each connection
    GtkTextTag* rx_tag = nullptr;
    GtkTextTag* tx_tag = nullptr;
    // The main window's, once it is built (borrowed): the parent of its
    // dialogs, and the line that shows the recording.
    GtkWindow* window = nullptr;
    GtkLabel* status_line = nullptr;
    // The set-up whose connections mark the lines (borrowed); none: no marks.
    const SetUpModel* model = nullptr;
    // Plain state.
    uint32_t filter = 0;  // the serial of the connection shown, or 0: every one
    std::vector<uint32_t> filter_connections;  // the drop-down's entries after All
    LogHistory history;
    bool logging_paused = false;
    LogRecording recording;
    bool view_stale = false;      // the ring holds lines the view does not show yet
    uint64_t lines_appended = 0;  // lines that ever entered the ring
    uint64_t lines_shown = 0;     // lines_appended when the view was last drawn
    guint redraw_timer = 0;       // the next redraw, while one is due
    gint64 last_redraw_us = 0;    // monotonic time of the last redraw
};

void build_logger_pane(LoggerPane& pane);
// Marks lines with the connections of model and offers them in the filter
// from now on, following their changes.
void follow_connections(LoggerPane& pane, SetUpModel& model);
// Shows the lines of the connection of serial only, or with 0 every line.
void filter_log_lines(LoggerPane& pane, uint32_t connection);

// Takes every queued line at once into the ring and, in one write, into
// the log file. The view follows within a second while it is unfolded, and
// when it is unfolded, paused or copied.
void append_log_lines(LoggerPane& pane);

// Redraws the view now if a redraw is due and the log is not paused.
void flush_logger_view(LoggerPane& pane);

// The "clicked" handlers of the pane's buttons.
void on_logger_toggle(GtkButton* button, gpointer pane);
void on_pause_clicked(GtkButton* button, gpointer pane);
void on_copy_clicked(GtkButton* button, gpointer pane);
void on_clear_clicked(GtkButton* button, gpointer pane);
void on_record_clicked(GtkButton* button, gpointer pane);

// Starts recording to the file at path (created or emptied), as the save
// choice's completion does; on failure shows "Cannot open log file".
bool start_recording(LoggerPane& pane, const char* path);
void stop_recording(LoggerPane& pane);
// Writes lines to the running recording; a failure is shown until the
// recording stops.
void record_log_text(LoggerPane& pane, const char* text, size_t length);
