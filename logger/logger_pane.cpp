#include "logger/logger_pane.hpp"

#include <ctime>
#include <string>
#include <vector>

#include "logger/log_queue.hpp"

namespace {

// However fast lines stream in, the view is updated at most four times a
// second: nobody reads faster, and every update costs a frame of the whole
// window. When a whole ring of new lines has come in since the last update,
// every shown line must be laid out afresh, which costs far more than taking
// the lines in: such updates come at most once a second.
constexpr gint64 redraw_interval_us = 250000;
constexpr gint64 rebuild_interval_us = 1000000;

void set_icon_button_help(GtkButton* button, const char* tooltip)
{
    gtk_widget_set_tooltip_text(GTK_WIDGET(button), tooltip);
    // An icon has no text of its own for screen readers; the tooltip says it.
    gtk_accessible_update_property(GTK_ACCESSIBLE(button), GTK_ACCESSIBLE_PROPERTY_LABEL, tooltip, -1);
}

GtkButton* add_tool_button(LoggerPane& pane, const char* icon, const char* tooltip, GCallback handler)
{
    GtkButton* button = GTK_BUTTON(gtk_button_new_from_icon_name(icon));
    set_icon_button_help(button, tooltip);
    g_signal_connect(button, "clicked", handler, &pane);
    gtk_box_append(pane.button_box, GTK_WIDGET(button));
    return button;
}

GtkTextTag* make_line_tag(GtkTextBuffer* buffer, const char* name, const char* background)
{
    return gtk_text_buffer_create_tag(buffer, name, "foreground", "#000000",
                                      "background", background, "paragraph-background", background,
                                      "background-full-height", TRUE, nullptr);
}

void build_action_bar(LoggerPane& pane)
{
    GtkActionBar* bar = GTK_ACTION_BAR(gtk_action_bar_new());
    pane.logger_button = GTK_BUTTON(gtk_button_new_with_label("Logger"));
    gtk_widget_set_tooltip_text(GTK_WIDGET(pane.logger_button), "close Logger");
    g_signal_connect(pane.logger_button, "clicked", G_CALLBACK(on_logger_toggle), &pane);
    gtk_action_bar_set_center_widget(bar, GTK_WIDGET(pane.logger_button));

    pane.button_box = GTK_BOX(gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 5));
    pane.pause_button = add_tool_button(pane, "media-playback-pause-symbolic", "Pause Logging",
                                        G_CALLBACK(on_pause_clicked));
    pane.copy_button = add_tool_button(pane, "edit-copy-symbolic", "Copy to Clipboard", G_CALLBACK(on_copy_clicked));
    pane.clear_button = add_tool_button(pane, "edit-clear-all-symbolic", "Clear Log", G_CALLBACK(on_clear_clicked));
    pane.record_button = add_tool_button(pane, "media-record-symbolic", "Log To File", G_CALLBACK(on_record_clicked));
    gtk_widget_set_visible(GTK_WIDGET(pane.button_box), FALSE);
    gtk_action_bar_pack_end(bar, GTK_WIDGET(pane.button_box));
    gtk_box_append(pane.inner_box, GTK_WIDGET(bar));
}

void build_log_view(LoggerPane& pane)
{
    pane.text_view = GTK_TEXT_VIEW(gtk_text_view_new());
    gtk_text_view_set_editable(pane.text_view, FALSE);
    gtk_text_view_set_wrap_mode(pane.text_view, GTK_WRAP_WORD_CHAR);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(pane.text_view);
    // Made in this order, so the TX tag has the higher priority.
    pane.rx_tag = make_line_tag(buffer, "rxTag", "#bffcfc");
    pane.tx_tag = make_line_tag(buffer, "txTag", "#edeff1");

    GtkScrolledWindow* scroller = GTK_SCROLLED_WINDOW(gtk_scrolled_window_new());
    gtk_scrolled_window_set_min_content_height(scroller, 200);
    gtk_scrolled_window_set_propagate_natural_height(scroller, TRUE);
    gtk_scrolled_window_set_child(scroller, GTK_WIDGET(pane.text_view));

    pane.revealer = GTK_REVEALER(gtk_revealer_new());
    gtk_revealer_set_reveal_child(pane.revealer, FALSE);
    gtk_revealer_set_child(pane.revealer, GTK_WIDGET(scroller));
    gtk_box_append(pane.inner_box, GTK_WIDGET(pane.revealer));
}

GtkTextTag* tag_of(const LoggerPane& pane, LogDirection direction)
{
    return direction == LogDirection::tx ? pane.tx_tag : pane.rx_tag;
}

bool passes_filter(const LoggerPane& pane, const LogHistoryLine& line)
{
    return pane.filter == 0 || line.connection == pane.filter;
}

// Puts the ring lines first..count-1 that pass the filter at the start of
// the buffer, newest first, in one insert; the tags follow line by line.
void insert_newest_lines(LoggerPane& pane, GtkTextBuffer* buffer, unsigned first)
{
    std::string text;
    for (unsigned i = pane.history.count; i-- > first;)
        if (passes_filter(pane, log_line_at(pane.history, i)))
            text += log_line_at(pane.history, i).text;
    GtkTextIter at;
    gtk_text_buffer_get_start_iter(buffer, &at);
    gtk_text_buffer_insert(buffer, &at, text.data(), static_cast<int>(text.size()));
    int offset = 0;
    for (unsigned i = pane.history.count; i-- > first;) {
        const LogHistoryLine& line = log_line_at(pane.history, i);
        if (!passes_filter(pane, line))
            continue;
        // A line is time, marker and hexadecimal digits: one byte per character.
        int length = static_cast<int>(line.text.size());
        GtkTextIter from, to;
        gtk_text_buffer_get_iter_at_offset(buffer, &from, offset);
        gtk_text_buffer_get_iter_at_offset(buffer, &to, offset + length);
        gtk_text_buffer_apply_tag(buffer, tag_of(pane, line.direction), &from, &to);
        offset += length;
    }
}

// Makes the buffer hold the ring, newest line first. When only some lines
// are new, they go on top and the oldest fall off the bottom: the text is
// the same as a rebuild, but the view keeps the layout of the lines it
// already shows, which is what lets it keep up with a fast device.
void redraw_view(LoggerPane& pane)
{
    pane.view_stale = false;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(pane.text_view);
    uint64_t fresh = pane.lines_appended - pane.lines_shown;
    if (fresh >= pane.history.count) {
        gtk_text_buffer_set_text(buffer, "", 0);
        insert_newest_lines(pane, buffer, 0);
    } else {
        insert_newest_lines(pane, buffer, pane.history.count - static_cast<unsigned>(fresh));
        unsigned kept = 0;
        for (unsigned i = 0; i < pane.history.count; ++i)
            kept += passes_filter(pane, log_line_at(pane.history, i));
        GtkTextIter from, to;
        gtk_text_buffer_get_iter_at_line(buffer, &from, static_cast<int>(kept));
        gtk_text_buffer_get_end_iter(buffer, &to);
        gtk_text_buffer_delete(buffer, &from, &to);
    }
    pane.lines_shown = pane.lines_appended;
    pane.last_redraw_us = g_get_monotonic_time();
    GtkAdjustment* vertical = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(pane.text_view));
    if (vertical)
        gtk_adjustment_set_value(vertical, gtk_adjustment_get_lower(vertical));
}

bool view_folded(const LoggerPane& pane)
{
    return !gtk_revealer_get_reveal_child(pane.revealer);
}

// The earliest time of the next update, by how much it has to lay out.
gint64 next_redraw_us(const LoggerPane& pane)
{
    bool rebuild = pane.lines_appended - pane.lines_shown >= log_history_size;
    return pane.last_redraw_us + (rebuild ? rebuild_interval_us : redraw_interval_us);
}

void schedule_redraw(LoggerPane& pane);

void on_redraw_timer(gpointer data)
{
    LoggerPane& pane = *static_cast<LoggerPane*>(data);
    pane.redraw_timer = 0;
    if (view_folded(pane))
        return;
    if (g_get_monotonic_time() < next_redraw_us(pane))
        return schedule_redraw(pane);  // the ring turned over while waiting
    flush_logger_view(pane);
}

// A folded view lays nothing out: it is brought up to date when it is
// unfolded (or paused or copied), so what the user sees is the same.
void schedule_redraw(LoggerPane& pane)
{
    pane.view_stale = true;
    if (pane.logging_paused || pane.redraw_timer || view_folded(pane))
        return;
    gint64 wait_us = next_redraw_us(pane) - g_get_monotonic_time();
    guint wait_ms = wait_us > 0 ? guint(wait_us / 1000) : 0;
    pane.redraw_timer = g_timeout_add_once(wait_ms, on_redraw_timer, &pane);
}

// The mark of the lines of connection: its name while the set-up has
// several connections, else none.
std::string connection_mark(const LoggerPane& pane, uint32_t connection)
{
    if (!pane.model || pane.model->connections.size() < 2)
        return {};
    for (const ConnectionSetUp& c : pane.model->connections)
        if (c.serial == connection)
            return "[" + c.name + "]";
    return {};
}

// Formats the batch into lines, all stamped with the same time of day.
// starts receives where each of the newest (up to 200) lines begins.
void format_batch(const LoggerPane& pane, const LogBatch& batch, std::string& lines, std::vector<size_t>& starts)
{
    int64_t now = static_cast<int64_t>(std::time(nullptr));
    size_t count = batch.lines.size();
    size_t first_kept = count > log_history_size ? count - log_history_size : 0;
    lines.clear();
    starts.clear();
    // Lines come in runs of one connection: its mark is looked up once a run.
    uint32_t marked = 0;
    std::string mark = connection_mark(pane, 0);
    for (size_t i = 0; i < count; ++i) {
        const LogLine& line = batch.lines[i];
        if (line.connection != marked)
            mark = connection_mark(pane, marked = line.connection);
        size_t start = lines.size(), capacity = 15 + mark.size() + size_t(line.length);
        lines.resize(start + capacity);
        size_t length = format_log_line(lines.data() + start, capacity, now, line.direction,
                                        batch.text.data() + line.offset, line.length, mark);
        lines.resize(start + length);
        if (i >= first_kept)
            starts.push_back(start);
    }
    starts.push_back(lines.size());
}

// Buffers that grew while the user interface fell far behind are given
// back; the usual batches of a fast device stay well below this and keep
// their buffers, so the drain allocates nothing.
template <typename Buffer>
void trim(Buffer& buffer)
{
    if (buffer.capacity() * sizeof buffer[0] > (4u << 20))
        Buffer().swap(buffer);
}

// Beside the pane's buttons while it is unfolded and the set-up has
// several connections.
void show_filter(LoggerPane& pane)
{
    if (pane.connection_filter)
        gtk_widget_set_visible(GTK_WIDGET(pane.connection_filter),
                               gtk_widget_get_visible(GTK_WIDGET(pane.button_box)) && pane.filter_connections.size() > 1);
}

}  // namespace

void build_logger_pane(LoggerPane& pane)
{
    pane.outer_box = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 5));
    pane.inner_box = GTK_BOX(gtk_box_new(GTK_ORIENTATION_VERTICAL, 0));
    gtk_box_append(pane.outer_box, GTK_WIDGET(pane.inner_box));
    build_action_bar(pane);
    build_log_view(pane);
}

void flush_logger_view(LoggerPane& pane)
{
    if (pane.view_stale && !pane.logging_paused)
        redraw_view(pane);
}

void append_log_lines(LoggerPane& pane)
{
    // UI thread only; the batch's buffers go back and forth with the queue.
    static LogBatch batch;
    static std::string lines;
    static std::vector<size_t> starts;
    take_log_batch(batch);
    if (!batch.lines.empty()) {
        format_batch(pane, batch, lines, starts);
        // Lines older than the ring's newest 200 would only pass through it.
        size_t kept = starts.size() - 1;
        pane.lines_appended += batch.lines.size() - kept;
        for (size_t i = 0; i < kept; ++i) {
            std::string_view line(lines.data() + starts[i], starts[i + 1] - starts[i]);
            const LogLine& source = batch.lines[batch.lines.size() - kept + i];
            if (push_log_line(pane.history, line, source.direction, source.connection))
                ++pane.lines_appended;
        }
        record_log_text(pane, lines.data(), lines.size());
        schedule_redraw(pane);
    }
    trim(batch.text);
    trim(batch.lines);
    trim(lines);
}

void on_logger_toggle(GtkButton*, gpointer data)
{
    LoggerPane& pane = *static_cast<LoggerPane*>(data);
    gboolean show = !gtk_revealer_get_reveal_child(pane.revealer);
    if (show)
        flush_logger_view(pane);
    gtk_widget_set_visible(GTK_WIDGET(pane.button_box), show);
    show_filter(pane);
    gtk_revealer_set_reveal_child(pane.revealer, show);
}

void on_pause_clicked(GtkButton* button, gpointer data)
{
    LoggerPane& pane = *static_cast<LoggerPane*>(data);
    // Lines that came before the pause belong in the paused view, even if
    // their frame has not been drawn yet.
    flush_logger_view(pane);
    pane.logging_paused = !pane.logging_paused;
    if (pane.logging_paused) {
        gtk_button_set_icon_name(button, "media-playback-start-symbolic");
        set_icon_button_help(button, "Continue Logging");
    } else {
        // The view stays as it is until the next line arrives.
        gtk_button_set_icon_name(button, "media-playback-pause-symbolic");
        set_icon_button_help(button, "Pause Logging");
    }
}

void on_copy_clicked(GtkButton*, gpointer data)
{
    LoggerPane& pane = *static_cast<LoggerPane*>(data);
    flush_logger_view(pane);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(pane.text_view);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    g_autofree char* text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    if (!text || !*text)
        return;
    GdkClipboard* clipboard = nullptr;
    if (pane.window)
        clipboard = gtk_widget_get_clipboard(GTK_WIDGET(pane.window));
    else
        clipboard = gdk_display_get_clipboard(gdk_display_get_default());
    gdk_clipboard_set_text(clipboard, text);
}

void on_clear_clicked(GtkButton*, gpointer data)
{
    LoggerPane& pane = *static_cast<LoggerPane*>(data);
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(pane.text_view), "", 0);
    clear_log_history(pane.history);
    pane.view_stale = false;
    pane.lines_shown = pane.lines_appended;
}

namespace {

void on_filter_selected(GObject*, GParamSpec*, gpointer data)
{
    LoggerPane& pane = *static_cast<LoggerPane*>(data);
    guint selected = gtk_drop_down_get_selected(pane.connection_filter);
    bool one = selected != GTK_INVALID_LIST_POSITION && selected >= 1 && selected <= pane.filter_connections.size();
    filter_log_lines(pane, one ? pane.filter_connections[selected - 1] : 0);
}

// The drop-down's entries anew from the set-up's connections, the one
// filtered kept while it is still there.
void offer_connections(LoggerPane& pane)
{
    pane.filter_connections.clear();
    g_autoptr(GtkStringList) names = gtk_string_list_new(nullptr);
    gtk_string_list_append(names, "All");
    guint selected = 0;
    for (const ConnectionSetUp& c : pane.model->connections) {
        pane.filter_connections.push_back(c.serial);
        gtk_string_list_append(names, c.name.c_str());
        if (c.serial == pane.filter)
            selected = guint(pane.filter_connections.size());
    }
    g_signal_handlers_block_by_func(pane.connection_filter, gpointer(on_filter_selected), &pane);
    gtk_drop_down_set_model(pane.connection_filter, G_LIST_MODEL(names));
    gtk_drop_down_set_selected(pane.connection_filter, selected);
    g_signal_handlers_unblock_by_func(pane.connection_filter, gpointer(on_filter_selected), &pane);
    show_filter(pane);
    if (selected == 0 && pane.filter != 0)
        filter_log_lines(pane, 0);
}

}  // namespace

void follow_connections(LoggerPane& pane, SetUpModel& model)
{
    pane.model = &model;
    if (!pane.connection_filter) {
        pane.connection_filter = GTK_DROP_DOWN(gtk_drop_down_new(nullptr, nullptr));
        gtk_widget_set_tooltip_text(GTK_WIDGET(pane.connection_filter), "Show the Lines of");
        gtk_accessible_update_property(GTK_ACCESSIBLE(pane.connection_filter), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                       "Show the Lines of", -1);
        g_signal_connect(pane.connection_filter, "notify::selected", G_CALLBACK(on_filter_selected), &pane);
        GtkWidget* bar = gtk_widget_get_ancestor(GTK_WIDGET(pane.button_box), GTK_TYPE_ACTION_BAR);
        gtk_action_bar_pack_start(GTK_ACTION_BAR(bar), GTK_WIDGET(pane.connection_filter));
    }
    offer_connections(pane);
    listen_to_set_up(model, [&pane](const SetUpEvent& event) {
        if (event.change == SetUpChange::connection || event.change == SetUpChange::connections ||
            event.change == SetUpChange::replaced)
            offer_connections(pane);
    });
}

void filter_log_lines(LoggerPane& pane, uint32_t connection)
{
    if (pane.filter == connection)
        return;
    pane.filter = connection;
    // Laid out afresh from the ring: the lines shown are another choice.
    pane.lines_shown = pane.lines_appended - pane.history.count;
    pane.view_stale = true;
    flush_logger_view(pane);
}
