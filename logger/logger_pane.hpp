#pragma once
// The Logger pane: the newest frames first, pause, copy, clear, record.

#include <gtk/gtk.h>

#include <cstdint>

#include "logger/log_file.hpp"
#include "logger/log_history.hpp"

struct MainWindow;

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
    GtkTextTag* rx_tag = nullptr;
    GtkTextTag* tx_tag = nullptr;
    MainWindow* main_window = nullptr;
    // Plain state.
    LogHistory history;
    bool logging_paused = false;
    LogRecording recording;
    bool view_stale = false;  // the ring holds lines the view does not show yet
    uint64_t lines_appended = 0;  // lines that ever entered the ring
    uint64_t lines_shown = 0;     // lines_appended when the view was last drawn
    guint redraw_tick = 0;    // tick callback that redraws at the next frame
    guint sync_timer = 0;     // batched sync of the log file while recording
};

void build_logger_pane(LoggerPane& pane, MainWindow& main);

// The main-loop callback posted by log_frame; takes ownership of the LogLine.
// The line enters the ring and the log file at once; the view follows at
// the next frame.
void append_log_line(void* line);

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
// Writes one whole line to the running recording; reports the first failure.
void record_log_line(LoggerPane& pane, const char* line, size_t length);
