#include "logger/logger_pane.hpp"

#include <ctime>

#include "app/application.hpp"

void build_logger_pane(LoggerPane& pane, MainWindow& main)
{
    pane.main_window = &main;
    pane.outer_box = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 5));
    pane.inner_box = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_box_append(pane.outer_box, GTK_WIDGET(pane.inner_box));
}

void append_log_line(void* data)
{
    LogLine* line = static_cast<LogLine*>(data);
    LoggerPane& pane = app().logger;
    char buffer[64000];
    size_t length = format_log_line(buffer, sizeof buffer, static_cast<int64_t>(std::time(nullptr)),
                                    line->direction, line->text, line->length);
    if (length)
        push_log_line(pane.history, std::string_view(buffer, length), line->direction);
    free_log_line(line);
}
