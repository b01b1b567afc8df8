#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "app/resources.hpp"
#include "app/status_line.hpp"
#include "support/gtk_test_env.hpp"
#include "widget_tree.hpp"

namespace {

std::string icon_of(GtkWidget* button)
{
    GtkWidget* image = gtk_button_get_child(GTK_BUTTON(button));
    if (!GTK_IS_IMAGE(image))
        return "";
    const char* name = gtk_image_get_icon_name(GTK_IMAGE(image));
    return name ? name : "";
}

// The selector list of every rule of the stylesheet held in the program, in
// file order, with comments dropped and blanks collapsed.
std::vector<std::string> stylesheet_selectors()
{
    register_resources();
    g_autoptr(GBytes) bytes = g_resources_lookup_data("/com/Brenvaldor/style.css", G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes)
        return {};
    std::string sheet(static_cast<const char*>(g_bytes_get_data(bytes, nullptr)), g_bytes_get_size(bytes));
    for (size_t open; (open = sheet.find("/*")) != std::string::npos;)
        sheet.erase(open, sheet.find("*/", open) + 2 - open);
    std::vector<std::string> selectors;
    for (size_t start = 0, brace; (brace = sheet.find('{', start)) != std::string::npos;) {
        std::string selector;
        for (char c : sheet.substr(start, brace - start)) {
            bool blank = g_ascii_isspace(c);
            if (!blank)
                selector += c;
            else if (!selector.empty() && selector.back() != ' ')
                selector += ' ';
        }
        while (!selector.empty() && selector.back() == ' ')
            selector.pop_back();
        selectors.push_back(selector);
        start = sheet.find('}', brace) + 1;
    }
    return selectors;
}

}  // namespace

TEST(MainWindow, BuildsTheWidgetTreeOfTheDesign)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    MainWindow& main = a.main_window;
    GtkWidget* window = GTK_WIDGET(main.window);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(gtk_widget_has_css_class(window, "platform-windows"));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Brenvaldor");
    int width = 0, height = 0;
    gtk_window_get_default_size(GTK_WINDOW(window), &width, &height);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    EXPECT_TRUE(gtk_window_get_resizable(GTK_WINDOW(window)));

    GtkWidget* header = gtk_window_get_titlebar(GTK_WINDOW(window));
    ASSERT_TRUE(GTK_IS_HEADER_BAR(header));
    GtkWidget* title = gtk_header_bar_get_title_widget(GTK_HEADER_BAR(header));
    ASSERT_TRUE(GTK_IS_LABEL(title));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(title)), "Brenvaldor");
    EXPECT_TRUE(gtk_header_bar_get_show_title_buttons(GTK_HEADER_BAR(header)));
    EXPECT_STREQ(gtk_menu_button_get_icon_name(main.menu_button), "open-menu-symbolic");

    // Paned: the top may not shrink; the Logger pane is the end child.
    EXPECT_EQ(gtk_window_get_child(GTK_WINDOW(window)), GTK_WIDGET(main.paned));
    EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(main.paned)), GTK_ORIENTATION_VERTICAL);
    EXPECT_FALSE(gtk_paned_get_shrink_start_child(main.paned));
    EXPECT_EQ(gtk_paned_get_end_child(main.paned), GTK_WIDGET(a.logger.outer_box));

    GtkWidget* top = gtk_paned_get_start_child(main.paned);
    ASSERT_TRUE(GTK_IS_BOX(top));
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(top)), 5);
    std::vector<GtkWidget*> rows = children(top);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(GTK_IS_ACTION_BAR(rows[0]));
    EXPECT_EQ(rows[1], GTK_WIDGET(main.status_line));
    EXPECT_EQ(rows[2], GTK_WIDGET(main.grid_scroller));
    EXPECT_STREQ(gtk_label_get_text(main.status_line), "");

    // The scrolled window around the grid.
    GtkScrolledWindow* scroller = main.grid_scroller;
    // The grid is not scrollable itself, so GTK puts a viewport between them.
    GtkWidget* viewport = gtk_scrolled_window_get_child(scroller);
    ASSERT_TRUE(GTK_IS_VIEWPORT(viewport));
    EXPECT_EQ(gtk_viewport_get_child(GTK_VIEWPORT(viewport)), GTK_WIDGET(main.grid));
    EXPECT_EQ(gtk_scrolled_window_get_min_content_width(scroller), 320);
    EXPECT_EQ(gtk_scrolled_window_get_min_content_height(scroller), 264);
    EXPECT_FALSE(gtk_scrolled_window_get_propagate_natural_width(scroller));
    EXPECT_FALSE(gtk_scrolled_window_get_propagate_natural_height(scroller));
    EXPECT_TRUE(gtk_widget_get_hexpand(GTK_WIDGET(scroller)));
    EXPECT_TRUE(gtk_widget_get_vexpand(GTK_WIDGET(scroller)));
    GtkPolicyType horizontal, vertical;
    gtk_scrolled_window_get_policy(scroller, &horizontal, &vertical);
    EXPECT_EQ(horizontal, GTK_POLICY_AUTOMATIC);
    EXPECT_EQ(vertical, GTK_POLICY_AUTOMATIC);

    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(main.grid), "registers"));
    EXPECT_TRUE(gtk_widget_get_focusable(GTK_WIDGET(main.grid)));
}

TEST(MainWindow, ToolbarHoldsSevenItemsInOrder)
{
    REQUIRE_DISPLAY();
    MainWindow& main = activate_app().main_window;
    std::vector<GtkWidget*> items = toolbar_items(main);
    ASSERT_EQ(items.size(), 7u);

    // 1: the Connect button, an image over a small caption.
    EXPECT_EQ(items[0], GTK_WIDGET(main.connect_button));
    EXPECT_STREQ(gtk_widget_get_tooltip_text(items[0]), "Connect");
    GtkWidget* box = gtk_button_get_child(GTK_BUTTON(items[0]));
    ASSERT_TRUE(GTK_IS_BOX(box));
    EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(box)), GTK_ORIENTATION_VERTICAL);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(box)), 6);
    std::vector<GtkWidget*> parts = children(box);
    ASSERT_EQ(parts.size(), 2u);
    ASSERT_TRUE(GTK_IS_IMAGE(parts[0]));
    EXPECT_STREQ(gtk_image_get_icon_name(GTK_IMAGE(parts[0])), "network-transmit-receive-symbolic");
    EXPECT_EQ(parts[1], GTK_WIDGET(main.connect_label));
    EXPECT_STREQ(gtk_label_get_text(main.connect_label), "Connect");
    PangoAttrList* attributes = gtk_label_get_attributes(main.connect_label);
    ASSERT_NE(attributes, nullptr);
    PangoAttrIterator* iterator = pango_attr_list_get_iterator(attributes);
    PangoAttribute* size = pango_attr_iterator_get(iterator, PANGO_ATTR_SIZE);
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(reinterpret_cast<PangoAttrInt*>(size)->value, 8000);
    pango_attr_iterator_destroy(iterator);

    struct Expected {
        const char* icon;
        const char* tooltip;
    };
    const Expected buttons[] = {
        {"x-office-spreadsheet-symbolic", "Query Settings"},
        {"document-edit-symbolic", "Write Settings"},
        {"document-save-symbolic", "Save configuration"},
        {"document-open-symbolic", "Load configuration"},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(buttons[i].tooltip);
        ASSERT_TRUE(GTK_IS_BUTTON(items[i + 1]));
        EXPECT_EQ(icon_of(items[i + 1]), buttons[i].icon);
        EXPECT_STREQ(gtk_widget_get_tooltip_text(items[i + 1]), buttons[i].tooltip);
    }

    ASSERT_TRUE(GTK_IS_LABEL(items[5]));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(items[5])), "Format:");
    EXPECT_EQ(gtk_widget_get_margin_start(items[5]), 8);

    EXPECT_EQ(items[6], GTK_WIDGET(main.format_selector));
    GListModel* model = gtk_drop_down_get_model(main.format_selector);
    ASSERT_EQ(g_list_model_get_n_items(model), 4u);
    const char* formats[] = {"UINT", "INT", "HEX", "BINARY"};
    for (guint i = 0; i < 4; ++i)
        EXPECT_STREQ(gtk_string_list_get_string(GTK_STRING_LIST(model), i), formats[i]);
    EXPECT_EQ(gtk_drop_down_get_selected(main.format_selector), 0u);
}

TEST(MainWindow, ToolbarButtonsOpenTheirWindows)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    MainWindow& main = a.main_window;
    GtkWindow* window = GTK_WINDOW(main.window);
    std::vector<GtkWidget*> items = toolbar_items(main);
    ASSERT_EQ(items.size(), 7u);

    // Query Settings: modal over the main window.
    g_signal_emit_by_name(items[1], "clicked");
    drain_main_loop();
    GtkWindow* query = a.query_settings.window;
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(query)));
    EXPECT_TRUE(gtk_window_get_modal(query));
    EXPECT_EQ(gtk_window_get_transient_for(query), window);
    gtk_window_close(query);
    drain_main_loop();

    // Save and Load: the one configuration file dialog, each in its direction.
    const std::pair<int, GtkFileChooserAction> choosers[] = {{3, GTK_FILE_CHOOSER_ACTION_SAVE},
                                                             {4, GTK_FILE_CHOOSER_ACTION_OPEN}};
    for (const auto& [item, action] : choosers) {
        SCOPED_TRACE(item);
        g_signal_emit_by_name(items[item], "clicked");
        GtkWindow* chooser = file_dialog_get_window(main.file_dialog);
        ASSERT_NE(chooser, nullptr);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)), action);
        EXPECT_EQ(gtk_window_get_transient_for(chooser), window);
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
        G_GNUC_END_IGNORE_DEPRECATIONS
        ASSERT_TRUE(run_until([&] { return file_dialog_get_window(main.file_dialog) == nullptr; }, 5000));
    }
    EXPECT_STREQ(gtk_label_get_text(main.status_line), "") << "a cancelled choice says nothing";
}

TEST(MainWindow, StylesheetLoadsWithoutComplaint)
{
    REQUIRE_DISPLAY();
    // A parse error would be reported as a warning, which fails the test.
    GtkWidget* window = gtk_window_new();
    g_autoptr(GtkCssProvider) css = load_stylesheet(window);
    gtk_style_context_remove_provider_for_display(gtk_widget_get_display(window), GTK_STYLE_PROVIDER(css));
    gtk_window_destroy(GTK_WINDOW(window));
}

TEST(MainWindow, StylesheetRulesComeInCascadeOrder)
{
    // Later rules win over earlier ones of equal weight, so the order of the
    // rules is part of the look: the main window's own rules come first and
    // the generic grid colours after them.
    const std::vector<std::string> expected = {
        "window.platform-windows, window.platform-windows *",
        "window.platform-windows button, window.platform-windows entry, window.platform-windows spinbutton",
        "window.platform-windows .registers label.first_row, window.platform-windows .registers label.first_column",
        "window.platform-windows .registers text, window.platform-windows .registers label",
        "window.platform-windows .registers:focus label.active, window.platform-windows .registers:focus text.active",
        "window.platform-windows textview",
        "label.info",
        ".registers",
        ".registers label",
        ".registers:focus label.active",
        ".registers label.first_row",
        ".registers text",
        ".registers label.first_column",
        ".registers:focus text.active",
        "entry.error",
        "label.error",
        "textview",
        "frame, .frame",
        "frame > box, .frame > box, frame > .box, .frame > .box",
        "spinbutton, entry, .spinbutton, .entry",
        ".registers text selection",
    };
    EXPECT_EQ(stylesheet_selectors(), expected);
}

TEST(StatusLine, EachWriterLeavesItsTextAndClasses)
{
    REQUIRE_DISPLAY();
    GtkLabel* line = GTK_LABEL(g_object_ref_sink(gtk_label_new("")));
    auto has = [&](const char* name) { return gtk_widget_has_css_class(GTK_WIDGET(line), name); };

    show_status_error(line, "No device selected");
    EXPECT_STREQ(gtk_label_get_text(line), "No device selected");
    EXPECT_TRUE(has("error"));

    show_status_info(line, "/tmp/Brenvaldor.log");
    EXPECT_STREQ(gtk_label_get_text(line), "/tmp/Brenvaldor.log");
    EXPECT_TRUE(has("error")) << "the classes are independent";
    EXPECT_TRUE(has("info"));

    show_status_bare(line, "Cannot open log file");
    EXPECT_STREQ(gtk_label_get_text(line), "Cannot open log file");
    EXPECT_TRUE(has("error"));
    EXPECT_TRUE(has("info"));

    show_status_neutral(line, "Not connected");
    EXPECT_STREQ(gtk_label_get_text(line), "Not connected");
    EXPECT_FALSE(has("error"));
    EXPECT_TRUE(has("info"));

    end_status_info(line);
    EXPECT_STREQ(gtk_label_get_text(line), " ");
    EXPECT_FALSE(has("info"));
    g_object_unref(line);
}

TEST(MainWindow, CloseRequestQuitsAndKeepsTheWindow)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    gboolean handled = FALSE;
    g_signal_emit_by_name(a.main_window.window, "close-request", &handled);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(GTK_IS_WINDOW(a.main_window.window));
}
