#pragma once
// Helpers shared by the Logger's widget tests.

#include <gtk/gtk.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "app/application.hpp"
#include "logger/frame_text.hpp"
#include "support/gtk_test_env.hpp"
#include "temp_files.hpp"

// Frame number n: a read request of unit 1 that carries n in its address.
inline void post_frame(unsigned n, LogDirection direction = LogDirection::tx)
{
    const uint8_t bytes[] = {0x01, 0x03, uint8_t(n >> 8), uint8_t(n & 0xFF)};
    app_reports().frame_logged(bytes, sizeof bytes, direction);
}

// The frame text of frame n after " TX: " or " RX: ".
inline std::string frame_text(unsigned n)
{
    g_autofree char* text = g_strdup_printf("01 03 %02X %02X", n >> 8, n & 0xFF);
    return text;
}

// Every line of a text with its time of day cut off ("TX: 01 03 00 05").
inline std::vector<std::string> lines_without_time(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.size() > 9 ? line.substr(9) : line);
    return lines;
}

// TX frames from first to last (inclusive, either way round) as lines without time.
inline std::vector<std::string> expected_lines(unsigned from, unsigned to)
{
    std::vector<std::string> lines{"TX: " + frame_text(from)};
    for (unsigned n = from; n != to;)
        lines.push_back("TX: " + frame_text(n = from < to ? n + 1 : n - 1));
    return lines;
}

inline std::string view_text(LoggerPane& pane)
{
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(gtk_text_view_get_buffer(pane.text_view), &start, &end);
    g_autofree char* text = gtk_text_iter_get_text(&start, &end);
    return text;
}

inline bool view_shows(LoggerPane& pane, const std::vector<std::string>& lines)
{
    return run_until([&] { return lines_without_time(view_text(pane)) == lines; }, 3000);
}

inline std::string tooltip_of(GtkButton* button)
{
    const char* text = gtk_widget_get_tooltip_text(GTK_WIDGET(button));
    return text ? text : "";
}

// A button's icon and tooltip: "icon tooltip".
inline std::string face_of(GtkButton* button)
{
    return gtk_button_get_icon_name(button) + (" " + tooltip_of(button));
}

inline void click(GtkButton* button)
{
    g_signal_emit_by_name(button, "clicked");
}

// Unfolds the pane as the user does and lets the layout settle.
inline void show_logger(LoggerPane& pane)
{
    if (!gtk_revealer_get_reveal_child(pane.revealer))
        click(pane.logger_button);
    run_until([&] { return gtk_revealer_get_child_revealed(pane.revealer); }, 3000);
}
