#include <gtest/gtest.h>

#include "logger_test_util.hpp"

namespace {

std::vector<GtkWidget*> children(GtkWidget* parent)
{
    std::vector<GtkWidget*> list;
    for (GtkWidget* child = gtk_widget_get_first_child(parent); child; child = gtk_widget_get_next_sibling(child))
        list.push_back(child);
    return list;
}

std::string icon_of(GtkButton* button)
{
    const char* name = gtk_button_get_icon_name(button);
    return name ? name : "";
}

std::string tooltip_of(GtkButton* button)
{
    const char* text = gtk_widget_get_tooltip_text(GTK_WIDGET(button));
    return text ? text : "";
}

std::string rgba_property(GtkTextTag* tag, const char* name)
{
    GdkRGBA* colour = nullptr;
    g_object_get(tag, name, &colour, nullptr);
    if (!colour)
        return "";
    g_autofree char* text = gdk_rgba_to_string(colour);
    gdk_rgba_free(colour);
    return text;
}

// The tag on the first character of each line of the view.
std::vector<GtkTextTag*> line_tags(LoggerPane& pane)
{
    std::vector<GtkTextTag*> tags;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(pane.text_view);
    for (int line = 0; line + 1 < gtk_text_buffer_get_line_count(buffer); ++line) {
        GtkTextIter at;
        gtk_text_buffer_get_iter_at_line(buffer, &at, line);
        GSList* list = gtk_text_iter_get_tags(&at);
        tags.push_back(g_slist_length(list) == 1 ? GTK_TEXT_TAG(list->data) : nullptr);
        g_slist_free(list);
    }
    return tags;
}

bool view_shows(LoggerPane& pane, const std::vector<std::string>& lines)
{
    return run_until([&] { return lines_without_time(view_text(pane)) == lines; }, 3000);
}

// Unfolds the pane and fills it with lines 1..last, more than it shows at once.
bool show_lines_up_to(LoggerPane& pane, unsigned last)
{
    show_logger(pane);
    for (unsigned n = 1; n <= last; ++n)
        post_frame(n);
    return view_shows(pane, expected_lines(last, 1));
}

}  // namespace

TEST(LoggerPane, BuildsTheWidgetTreeFoldedIn)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    EXPECT_EQ(gtk_box_get_spacing(pane.outer_box), 5);
    EXPECT_EQ(gtk_box_get_spacing(pane.inner_box), 0);
    EXPECT_EQ(children(GTK_WIDGET(pane.outer_box)), std::vector<GtkWidget*>{GTK_WIDGET(pane.inner_box)});
    std::vector<GtkWidget*> rows = children(GTK_WIDGET(pane.inner_box));
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_TRUE(GTK_IS_ACTION_BAR(rows[0]));
    EXPECT_EQ(rows[1], GTK_WIDGET(pane.revealer));
    GtkActionBar* bar = GTK_ACTION_BAR(rows[0]);
    EXPECT_EQ(gtk_action_bar_get_center_widget(bar), GTK_WIDGET(pane.logger_button));
    EXPECT_STREQ(gtk_button_get_label(pane.logger_button), "Logger");
    EXPECT_EQ(tooltip_of(pane.logger_button), "close Logger");
    EXPECT_TRUE(gtk_widget_is_ancestor(GTK_WIDGET(pane.button_box), GTK_WIDGET(bar)));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(pane.button_box)));
    EXPECT_EQ(gtk_box_get_spacing(pane.button_box), 5);

    struct Row { GtkButton* button; const char* icon; const char* tooltip; };
    const Row rows_expected[] = {
        {pane.pause_button, "media-playback-pause-symbolic", "Pause Logging"},
        {pane.copy_button, "edit-copy-symbolic", "Copy to Clipboard"},
        {pane.clear_button, "edit-clear-all-symbolic", "Clear Log"},
        {pane.record_button, "media-record-symbolic", "Log To File"},
    };
    std::vector<GtkWidget*> buttons = children(GTK_WIDGET(pane.button_box));
    ASSERT_EQ(buttons.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(buttons[i], GTK_WIDGET(rows_expected[i].button)) << i;
        EXPECT_EQ(icon_of(rows_expected[i].button), rows_expected[i].icon) << i;
        EXPECT_EQ(tooltip_of(rows_expected[i].button), rows_expected[i].tooltip) << i;
    }

    EXPECT_FALSE(gtk_revealer_get_reveal_child(pane.revealer));
    GtkScrolledWindow* scroller = GTK_SCROLLED_WINDOW(gtk_revealer_get_child(pane.revealer));
    ASSERT_TRUE(GTK_IS_SCROLLED_WINDOW(scroller));
    EXPECT_EQ(gtk_scrolled_window_get_min_content_height(scroller), 200);
    EXPECT_TRUE(gtk_scrolled_window_get_propagate_natural_height(scroller));
    EXPECT_EQ(gtk_scrolled_window_get_child(scroller), GTK_WIDGET(pane.text_view));
    EXPECT_FALSE(gtk_text_view_get_editable(pane.text_view));
    EXPECT_EQ(gtk_text_view_get_wrap_mode(pane.text_view), GTK_WRAP_WORD_CHAR);
}

TEST(LoggerPane, TagsColourLinesByDirectionWithTxOnTop)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    struct Row { GtkTextTag* tag; const char* background; };
    for (Row row : {Row{pane.rx_tag, "rgb(191,252,252)"}, Row{pane.tx_tag, "rgb(237,239,241)"}}) {
        EXPECT_EQ(rgba_property(row.tag, "foreground-rgba"), "rgb(0,0,0)");
        EXPECT_EQ(rgba_property(row.tag, "background-rgba"), row.background);
        EXPECT_EQ(rgba_property(row.tag, "paragraph-background-rgba"), row.background);
        gboolean full = FALSE;
        g_object_get(row.tag, "background-full-height", &full, nullptr);
        EXPECT_TRUE(full);
    }
    EXPECT_GT(gtk_text_tag_get_priority(pane.tx_tag), gtk_text_tag_get_priority(pane.rx_tag));

    post_frame(1, LogDirection::tx);
    post_frame(1, LogDirection::rx);
    ASSERT_TRUE(view_shows(pane, {"RX: " + frame_text(1), "TX: " + frame_text(1)}));
    EXPECT_EQ(line_tags(pane), (std::vector<GtkTextTag*>{pane.rx_tag, pane.tx_tag}));
}

TEST(LoggerPane, FoldingTogglesButtonsAndLinesArriveWhileFolded)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    for (unsigned n = 1; n <= 3; ++n)
        post_frame(n);
    EXPECT_TRUE(view_shows(pane, expected_lines(3, 1))) << "the view is redrawn while folded in";

    click(pane.logger_button);
    EXPECT_TRUE(gtk_revealer_get_reveal_child(pane.revealer));
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(pane.button_box)));
    click(pane.logger_button);
    EXPECT_FALSE(gtk_revealer_get_reveal_child(pane.revealer));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(pane.button_box)));
    EXPECT_EQ(tooltip_of(pane.logger_button), "close Logger");
}

// Given a view scrolled down to older lines, expect the next line to bring it back to the top.
TEST(LoggerPane, NewestLineStandsAtTheTopInSight)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    ASSERT_TRUE(show_lines_up_to(pane, 150));
    GtkAdjustment* vertical = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(pane.text_view));
    ASSERT_TRUE(run_until([&] { return gtk_adjustment_get_upper(vertical) > gtk_adjustment_get_page_size(vertical) + 100; }, 3000));
    gtk_adjustment_set_value(vertical, gtk_adjustment_get_upper(vertical));
    run_for(50);
    ASSERT_GT(gtk_adjustment_get_value(vertical), 0.0);

    post_frame(151);
    ASSERT_TRUE(view_shows(pane, expected_lines(151, 1)));
    EXPECT_TRUE(run_until([&] { return gtk_adjustment_get_value(vertical) == 0.0; }, 3000));
}

// Given a view at the top, expect each new line to stand at the top of
// what is visible, not the line that was there before.
TEST(LoggerPane, ViewAtTheTopShowsEachNewLineFirst)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    ASSERT_TRUE(show_lines_up_to(pane, 150));
    auto top_line_text = [&] {
        GdkRectangle visible;
        gtk_text_view_get_visible_rect(pane.text_view, &visible);
        GtkTextIter start, end;
        gtk_text_view_get_line_at_y(pane.text_view, &start, visible.y, nullptr);
        end = start;
        gtk_text_iter_forward_to_line_end(&end);
        g_autofree char* text = gtk_text_iter_get_text(&start, &end);
        return lines_without_time(text).front();
    };
    for (unsigned n = 151; n <= 160; ++n) {
        post_frame(n);
        ASSERT_TRUE(view_shows(pane, expected_lines(n, 1)));
        run_for(20);
        EXPECT_EQ(top_line_text(), "TX: " + frame_text(n));
    }
}

// Given many lines in one burst, expect the view to show exactly the ring after the next frame.
TEST(LoggerPane, BurstOfLinesEndsAsTheNewest200)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    for (unsigned n = 1; n <= 1000; ++n)
        post_frame(n, n % 2 ? LogDirection::tx : LogDirection::rx);
    std::vector<std::string> expected;
    for (unsigned n = 1000; n > 800; --n)
        expected.push_back((n % 2 ? "TX: " : "RX: ") + frame_text(n));
    ASSERT_TRUE(view_shows(pane, expected));
    std::vector<GtkTextTag*> tags = line_tags(pane);
    ASSERT_EQ(tags.size(), 200u);
    EXPECT_EQ(tags.front(), pane.rx_tag);
    EXPECT_EQ(tags.back(), pane.tx_tag);
}

TEST(LoggerPane, PauseKeepsTheViewUntilTheNextLineAfterContinue)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    for (unsigned n = 1; n <= 5; ++n)
        post_frame(n);
    drain_main_loop();
    click(pane.pause_button);  // before any frame drew the five lines
    EXPECT_TRUE(pane.logging_paused);
    EXPECT_EQ(icon_of(pane.pause_button), "media-playback-start-symbolic");
    EXPECT_EQ(tooltip_of(pane.pause_button), "Continue Logging");
    std::string paused_view = view_text(pane);
    EXPECT_EQ(lines_without_time(paused_view), expected_lines(5, 1));

    for (unsigned n = 6; n <= 55; ++n)
        post_frame(n);
    run_for(200);
    EXPECT_EQ(view_text(pane), paused_view);
    EXPECT_EQ(pane.history.count, 55u) << "lines still enter the ring while paused";

    click(pane.pause_button);
    EXPECT_FALSE(pane.logging_paused);
    EXPECT_EQ(icon_of(pane.pause_button), "media-playback-pause-symbolic");
    EXPECT_EQ(tooltip_of(pane.pause_button), "Pause Logging");
    run_for(200);
    EXPECT_EQ(view_text(pane), paused_view) << "Continue alone does not redraw";

    post_frame(56);
    EXPECT_TRUE(view_shows(pane, expected_lines(56, 1)));
}

TEST(LoggerPane, CopyTakesTheViewNewestFirstAndNothingWhenEmpty)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    GdkClipboard* clipboard = gtk_widget_get_clipboard(GTK_WIDGET(activate_app().main_window.window));
    auto read_clipboard = [&] {
        struct Read { bool done = false; std::string text; } read;
        gdk_clipboard_read_text_async(
            clipboard, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer data) {
                Read* r = static_cast<Read*>(data);
                g_autofree char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
                r->text = text ? text : "<none>";
                r->done = true;
            },
            &read);
        run_until([&] { return read.done; }, 3000);
        return read.text;
    };
    gdk_clipboard_set_text(clipboard, "kept");
    click(pane.copy_button);
    EXPECT_EQ(read_clipboard(), "kept");

    for (unsigned n = 1; n <= 3; ++n)
        post_frame(n, n == 2 ? LogDirection::rx : LogDirection::tx);
    drain_main_loop();
    click(pane.copy_button);
    std::string copied = read_clipboard();
    EXPECT_EQ(lines_without_time(copied),
              (std::vector<std::string>{"TX: " + frame_text(3), "RX: " + frame_text(2), "TX: " + frame_text(1)}));
    EXPECT_EQ(copied.back(), '\n');
    EXPECT_EQ(copied, view_text(pane));
}

// Given lines that arrive a few frames apart while the ring fills and wraps,
// expect the view after every frame to be the whole ring, newest first,
// each line with the tag of its direction.
TEST(LoggerPane, ViewFollowsTheRingFrameByFrame)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    auto direction_of = [](unsigned n) { return n % 3 ? LogDirection::tx : LogDirection::rx; };
    unsigned sent = 0;
    for (unsigned batch : {1u, 120u, 30u, 49u, 1u, 7u, 199u, 200u, 3u, 250u, 2u}) {
        for (unsigned i = 0; i < batch; ++i, ++sent)
            post_frame(sent, direction_of(sent));
        std::vector<std::string> expected;
        std::vector<GtkTextTag*> tags;
        for (unsigned n = sent; n-- > 0 && expected.size() < 200;) {
            expected.push_back((direction_of(n) == LogDirection::tx ? "TX: " : "RX: ") + frame_text(n));
            tags.push_back(direction_of(n) == LogDirection::tx ? pane.tx_tag : pane.rx_tag);
        }
        ASSERT_TRUE(view_shows(pane, expected)) << "after " << sent << " lines";
        ASSERT_EQ(line_tags(pane), tags) << "after " << sent << " lines";
    }
}
