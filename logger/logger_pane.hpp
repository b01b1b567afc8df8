#pragma once
// The Logger pane: the newest frames first, pause, copy, clear, record.

#include <gtk/gtk.h>

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
    int record_fd = -1;  // the log file while recording, else -1
};

void build_logger_pane(LoggerPane& pane, MainWindow& main);

// The main-loop callback posted by log_frame; takes ownership of the LogLine.
void append_log_line(void* line);
