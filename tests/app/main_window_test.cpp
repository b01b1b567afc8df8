#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/application.hpp"
#include "widgets/status_line.hpp"
#include "support/gtk_test_env.hpp"
#include "widget_tree.hpp"

TEST(MainWindow, BuildsTheWidgetTreeOfTheDesign)
{
    REQUIRE_DISPLAY();
    // Activation loads the stylesheet too: a parse error would be a
    // warning, and warnings fail the test.
    App& a = activate_app();
    MainWindow& main = a.main_window;
    GtkWidget* window = GTK_WIDGET(main.window);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(gtk_widget_has_css_class(window, "platform-windows"));
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Brenvaldor");
    int width = 0, height = 0;
    gtk_window_get_default_size(GTK_WINDOW(window), &width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(1024, 768));

    GtkWidget* header = gtk_window_get_titlebar(GTK_WINDOW(window));
    ASSERT_TRUE(GTK_IS_HEADER_BAR(header));
    GtkWidget* title = gtk_header_bar_get_title_widget(GTK_HEADER_BAR(header));
    ASSERT_TRUE(GTK_IS_LABEL(title));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(title)), "Brenvaldor");
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
    // The tab view: one page per definition, the grid above its statistics line.
    EXPECT_EQ(rows[2], GTK_WIDGET(app().tabs.notebook));
    ASSERT_EQ(gtk_notebook_get_n_pages(app().tabs.notebook), 1);
    std::vector<GtkWidget*> page = children(gtk_notebook_get_nth_page(app().tabs.notebook, 0));
    ASSERT_EQ(page.size(), 2u);
    EXPECT_EQ(page[0], GTK_WIDGET(app().tabs.tab->grid_scroller));
    EXPECT_EQ(page[1], GTK_WIDGET(app().tabs.tab->statistics.line));
    EXPECT_STREQ(gtk_label_get_text(main.status_line), "");

    // The grid is not scrollable itself, so GTK puts a viewport between them.
    GtkScrolledWindow* scroller = app().tabs.tab->grid_scroller;
    GtkWidget* viewport = gtk_scrolled_window_get_child(scroller);
    ASSERT_TRUE(GTK_IS_VIEWPORT(viewport));
    EXPECT_EQ(gtk_viewport_get_child(GTK_VIEWPORT(viewport)), GTK_WIDGET(app().tabs.tab->table.grid));
    EXPECT_EQ(gtk_scrolled_window_get_min_content_width(scroller), 320);
    EXPECT_EQ(gtk_scrolled_window_get_min_content_height(scroller), 264);
    EXPECT_FALSE(gtk_scrolled_window_get_propagate_natural_width(scroller));
    EXPECT_FALSE(gtk_scrolled_window_get_propagate_natural_height(scroller));

    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(app().tabs.tab->table.grid), "registers"));
    EXPECT_TRUE(gtk_widget_get_focusable(GTK_WIDGET(app().tabs.tab->table.grid)));
}

TEST(MainWindow, ToolbarHoldsSevenItemsInOrder)
{
    REQUIRE_DISPLAY();
    MainWindow& main = activate_app().main_window;
    std::vector<GtkWidget*> items = toolbar_items(main);
    ASSERT_EQ(items.size(), 9u);

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
    g_autofree char* attributes = pango_attr_list_to_string(gtk_label_get_attributes(main.connect_label));
    EXPECT_STREQ(attributes, "0 4294967295 size 8000");

    const std::pair<const char*, const char*> buttons[] = {  // icon, tooltip
        {"x-office-spreadsheet-symbolic", "Query Settings"},
        {"document-edit-symbolic", "Write Settings"},
        {"document-save-symbolic", "Save configuration"},
        {"document-open-symbolic", "Load configuration"},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(buttons[i].second);
        EXPECT_STREQ(gtk_button_get_icon_name(GTK_BUTTON(items[i + 1])), buttons[i].first);
        EXPECT_STREQ(gtk_widget_get_tooltip_text(items[i + 1]), buttons[i].second);
    }

    ASSERT_TRUE(GTK_IS_LABEL(items[5]));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(items[5])), "Format:");
    EXPECT_EQ(gtk_widget_get_margin_start(items[5]), 8);

    EXPECT_EQ(items[6], GTK_WIDGET(app().tabs.format_selector));
    GListModel* model = gtk_drop_down_get_model(app().tabs.format_selector);
    std::vector<std::string> formats;
    for (guint i = 0; i < g_list_model_get_n_items(model); ++i)
        formats.push_back(gtk_string_list_get_string(GTK_STRING_LIST(model), i));
    EXPECT_EQ(formats, (std::vector<std::string>{"UINT", "INT", "HEX", "BINARY", "INT32", "UINT32", "FLOAT32",
                                                 "INT64", "UINT64", "FLOAT64"}));
    EXPECT_EQ(gtk_drop_down_get_selected(app().tabs.format_selector), 0u);

    ASSERT_TRUE(GTK_IS_LABEL(items[7]));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(items[7])), "Order:");
    EXPECT_EQ(items[8], GTK_WIDGET(app().tabs.order_selector));
    model = gtk_drop_down_get_model(app().tabs.order_selector);
    std::vector<std::string> orders;
    for (guint i = 0; i < g_list_model_get_n_items(model); ++i)
        orders.push_back(gtk_string_list_get_string(GTK_STRING_LIST(model), i));
    EXPECT_EQ(orders, (std::vector<std::string>{"AB CD", "CD AB", "BA DC", "DC BA"}));
    EXPECT_EQ(gtk_drop_down_get_selected(app().tabs.order_selector), 0u);
    // Only values of several registers have a word order.
    EXPECT_FALSE(gtk_widget_get_sensitive(items[8]));
    gtk_drop_down_set_selected(app().tabs.format_selector, 6);
    EXPECT_TRUE(gtk_widget_get_sensitive(items[8]));
    gtk_drop_down_set_selected(app().tabs.format_selector, 3);
    EXPECT_FALSE(gtk_widget_get_sensitive(items[8]));
}

TEST(MainWindow, SaveAndLoadButtonsOpenTheFileChooserEachWay)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    MainWindow& main = a.main_window;
    GtkWindow* window = GTK_WINDOW(main.window);
    std::vector<GtkWidget*> items = toolbar_items(main);
    ASSERT_EQ(items.size(), 9u);

    // Save and Load: the one configuration file dialog, each in its direction.
    const std::pair<int, GtkFileChooserAction> choosers[] = {{3, GTK_FILE_CHOOSER_ACTION_SAVE},
                                                             {4, GTK_FILE_CHOOSER_ACTION_OPEN}};
    for (const auto& [item, action] : choosers) {
        SCOPED_TRACE(item);
        g_signal_emit_by_name(items[item], "clicked");
        GtkWindow* chooser = file_dialog_get_window(app().set_up_files.file_dialog);
        ASSERT_NE(chooser, nullptr);
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(chooser)), action);
        EXPECT_EQ(gtk_window_get_transient_for(chooser), window);
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
        G_GNUC_END_IGNORE_DEPRECATIONS
        ASSERT_TRUE(run_until([&] { return file_dialog_get_window(app().set_up_files.file_dialog) == nullptr; }, 5000));
    }
    EXPECT_STREQ(gtk_label_get_text(main.status_line), "") << "a cancelled choice says nothing";
}

TEST(StatusLine, EachWriterLeavesItsTextAndClasses)
{
    REQUIRE_DISPLAY();
    GtkLabel* line = GTK_LABEL(g_object_ref_sink(gtk_label_new("")));
    // In order: the "error" and "info" classes are set and cleared independently.
    const struct {
        std::function<void()> write;
        const char* text;
        bool error, info;
    } steps[] = {
        {[&] { show_status_error(line, "No device selected"); }, "No device selected", true, false},
        {[&] { show_status_info(line, "/tmp/Brenvaldor.log"); }, "/tmp/Brenvaldor.log", true, true},
        {[&] { show_status_bare(line, "Cannot open log file"); }, "Cannot open log file", true, true},
        {[&] { show_status_neutral(line, "Not connected"); }, "Not connected", false, true},
        {[&] { end_status_info(line); }, " ", false, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.text);
        step.write();
        EXPECT_STREQ(gtk_label_get_text(line), step.text);
        EXPECT_EQ(gtk_widget_has_css_class(GTK_WIDGET(line), "error"), step.error);
        EXPECT_EQ(gtk_widget_has_css_class(GTK_WIDGET(line), "info"), step.info);
    }
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
