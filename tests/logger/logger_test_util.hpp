#pragma once
// Helpers shared by the Logger's widget tests.

#include <gtk/gtk.h>

#include <cstdint>
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
    log_frame(bytes, sizeof bytes, direction);
}

// The frame text of frame n after " TX: " or " RX: ".
inline std::string frame_text(unsigned n)
{
    char text[16];
    g_snprintf(text, sizeof text, "01 03 %02X %02X", n >> 8, n & 0xFF);
    return text;
}

// Every line of a text with its time of day cut off ("TX: 01 03 00 05").
inline std::vector<std::string> lines_without_time(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        lines.push_back(line.size() > 9 ? line.substr(9) : line);
        at = end + 1;
    }
    return lines;
}

// Frames first..last (inclusive) as lines without time, in the order given.
inline std::vector<std::string> expected_lines(unsigned first, unsigned last, const char* marker = "TX: ")
{
    std::vector<std::string> lines;
    if (first <= last)
        for (unsigned n = first; n <= last; ++n)
            lines.push_back(marker + frame_text(n));
    else
        for (unsigned n = first; n + 1 > last; --n)
            lines.push_back(marker + frame_text(n));
    return lines;
}

inline std::string view_text(LoggerPane& pane)
{
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(pane.text_view);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    g_autofree char* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    return text;
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
