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

std::string rgba_property(GtkTextTag* tag, const char* name)
{
    g_autoptr(GdkRGBA) colour = nullptr;
    g_object_get(tag, name, &colour, nullptr);
    g_autofree char* text = colour ? gdk_rgba_to_string(colour) : nullptr;
    return text ? text : "";
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

// The line at the top of what the view shows, without its time.
std::string top_line_text(LoggerPane& pane)
{
    GdkRectangle visible;
    gtk_text_view_get_visible_rect(pane.text_view, &visible);
    GtkTextIter start;
    gtk_text_view_get_line_at_y(pane.text_view, &start, visible.y, nullptr);
    GtkTextIter end = start;
    gtk_text_iter_forward_to_line_end(&end);
    g_autofree char* text = gtk_text_iter_get_text(&start, &end);
    return lines_without_time(text).front();
}

}  // namespace

// Given a fresh pane, expect it folded in with its buttons hidden, the view
// following the lines all the same, the Logger button to fold it out and in,
// and the lines coloured by direction, TX over RX.
TEST(LoggerPane, BuildsTheWidgetTreeFoldedInWithItsButtonsAndTags)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    EXPECT_EQ(children(GTK_WIDGET(pane.outer_box)), std::vector<GtkWidget*>{GTK_WIDGET(pane.inner_box)});
    std::vector<GtkWidget*> rows = children(GTK_WIDGET(pane.inner_box));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1], GTK_WIDGET(pane.revealer));
    EXPECT_EQ(gtk_action_bar_get_center_widget(GTK_ACTION_BAR(rows[0])), GTK_WIDGET(pane.logger_button));
    EXPECT_STREQ(gtk_button_get_label(pane.logger_button), "Logger");
    EXPECT_EQ(tooltip_of(pane.logger_button), "close Logger");
    EXPECT_TRUE(gtk_widget_is_ancestor(GTK_WIDGET(pane.button_box), rows[0]));
    struct Row { GtkButton* button; const char* face; };
    const Row expected[] = {{pane.pause_button, "media-playback-pause-symbolic Pause Logging"},
                            {pane.copy_button, "edit-copy-symbolic Copy to Clipboard"},
                            {pane.clear_button, "edit-clear-all-symbolic Clear Log"},
                            {pane.record_button, "media-record-symbolic Log To File"}};
    std::vector<GtkWidget*> buttons = children(GTK_WIDGET(pane.button_box));
    ASSERT_EQ(buttons.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(buttons[i], GTK_WIDGET(expected[i].button)) << i;
        EXPECT_EQ(face_of(expected[i].button), expected[i].face) << i;
    }
    GtkScrolledWindow* scroller = GTK_SCROLLED_WINDOW(gtk_revealer_get_child(pane.revealer));
    EXPECT_EQ(gtk_scrolled_window_get_min_content_height(scroller), 200);
    EXPECT_EQ(gtk_scrolled_window_get_child(scroller), GTK_WIDGET(pane.text_view));
    EXPECT_FALSE(gtk_text_view_get_editable(pane.text_view));
    EXPECT_EQ(gtk_text_view_get_wrap_mode(pane.text_view), GTK_WRAP_WORD_CHAR);

    // A folded view lays nothing out; unfolding shows every line at once.
    for (unsigned n = 1; n <= 3; ++n)
        post_frame(n);
    run_for(150);
    EXPECT_EQ(pane.history.count, 3u);
    EXPECT_EQ(view_text(pane), "") << "folded in, the lines wait in the ring";
    for (bool shown : {false, true, false}) {
        EXPECT_EQ(gtk_revealer_get_reveal_child(pane.revealer), shown);
        EXPECT_EQ(gtk_widget_get_visible(GTK_WIDGET(pane.button_box)), shown);
        click(pane.logger_button);
        if (!shown) {
            EXPECT_EQ(lines_without_time(view_text(pane)), expected_lines(3, 1));
        }
    }

    struct TagRow { GtkTextTag* tag; const char* background; };
    for (TagRow row : {TagRow{pane.rx_tag, "rgb(191,252,252)"}, TagRow{pane.tx_tag, "rgb(237,239,241)"}}) {
        EXPECT_EQ(rgba_property(row.tag, "foreground-rgba"), "rgb(0,0,0)");
        EXPECT_EQ(rgba_property(row.tag, "background-rgba"), row.background);
        EXPECT_EQ(rgba_property(row.tag, "paragraph-background-rgba"), row.background);
        gboolean full = FALSE;
        g_object_get(row.tag, "background-full-height", &full, nullptr);
        EXPECT_TRUE(full);
    }
    EXPECT_GT(gtk_text_tag_get_priority(pane.tx_tag), gtk_text_tag_get_priority(pane.rx_tag));
}

// Given a view scrolled down to older lines, expect the next line to bring it back
// to the top, and each later line to stand first in sight, not the one before it.
TEST(LoggerPane, NewestLineStandsAtTheTopInSight)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    for (unsigned n = 1; n <= 150; ++n)
        post_frame(n);
    ASSERT_TRUE(view_shows(pane, expected_lines(150, 1)));
    GtkAdjustment* vertical = gtk_scrollable_get_vadjustment(GTK_SCROLLABLE(pane.text_view));
    ASSERT_TRUE(run_until([&] { return gtk_adjustment_get_upper(vertical) > gtk_adjustment_get_page_size(vertical) + 100; }, 3000));
    gtk_adjustment_set_value(vertical, gtk_adjustment_get_upper(vertical));
    run_for(50);
    ASSERT_GT(gtk_adjustment_get_value(vertical), 0.0);

    for (unsigned n = 151; n <= 160; ++n) {
        post_frame(n);
        ASSERT_TRUE(view_shows(pane, expected_lines(n, 1)));
        EXPECT_TRUE(run_until([&] {
            return gtk_adjustment_get_value(vertical) == 0.0 && top_line_text(pane) == "TX: " + frame_text(n);
        }, 3000)) << "after line " << n << " the top shows " << top_line_text(pane);
    }
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
    EXPECT_EQ(face_of(pane.pause_button), "media-playback-start-symbolic Continue Logging");
    std::string paused_view = view_text(pane);
    EXPECT_EQ(lines_without_time(paused_view), expected_lines(5, 1));

    for (unsigned n = 6; n <= 55; ++n)
        post_frame(n);
    run_for(200);
    EXPECT_EQ(view_text(pane), paused_view);

    click(pane.pause_button);
    EXPECT_EQ(face_of(pane.pause_button), "media-playback-pause-symbolic Pause Logging");
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
    // Our own window owns the clipboard after a copy, so its content answers at once.
    auto read_clipboard = [&] {
        g_auto(GValue) value = G_VALUE_INIT;
        g_value_init(&value, G_TYPE_STRING);
        gdk_content_provider_get_value(gdk_clipboard_get_content(clipboard), &value, nullptr);
        return std::string(g_value_get_string(&value) ?: "<none>");
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
    EXPECT_EQ(copied, view_text(pane));
}

// Given batches of lines smaller and larger than the ring, expect the view after
// every frame to be the whole ring, newest first, each line tagged by direction.
TEST(LoggerPane, ViewFollowsTheRingFrameByFrame)
{
    REQUIRE_DISPLAY();
    LoggerPane& pane = activate_app().logger;
    show_logger(pane);
    auto direction_of = [](unsigned n) { return n % 3 ? LogDirection::tx : LogDirection::rx; };
    unsigned sent = 0;
    for (unsigned batch : {1u, 120u, 30u, 49u, 1u, 7u, 199u, 200u, 3u, 1000u, 2u}) {
        for (unsigned i = 0; i < batch; ++i, ++sent)
            post_frame(sent, direction_of(sent));
        std::vector<std::string> expected;
        std::vector<GtkTextTag*> tags;
        for (unsigned n = sent; n-- > 0 && expected.size() < 200;) {
            bool tx = direction_of(n) == LogDirection::tx;
            expected.push_back((tx ? "TX: " : "RX: ") + frame_text(n));
            tags.push_back(tx ? pane.tx_tag : pane.rx_tag);
        }
        ASSERT_TRUE(view_shows(pane, expected)) << "after " << sent << " lines";
        ASSERT_EQ(line_tags(pane), tags) << "after " << sent << " lines";
    }
}
