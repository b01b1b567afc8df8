#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "app/application.hpp"
#include "link/link_state.hpp"
#include "support/gtk_test_env.hpp"
#include "widget_tree.hpp"

namespace {

void activate(App& a, const char* action)
{
    g_action_group_activate_action(G_ACTION_GROUP(a.application), action, nullptr);
    drain_main_loop();
}

std::string menu_attribute(GMenuModel* menu, int item, const char* attribute)
{
    g_autofree char* value = nullptr;
    if (!g_menu_model_get_item_attribute(menu, item, attribute, "s", &value))
        return "";
    return value;
}

// What a user sees of the grid: each cell's place, span and text.
using Cell = std::tuple<int, int, int, int, std::string>;

std::vector<Cell> grid_snapshot(GtkGrid* grid)
{
    std::vector<Cell> cells;
    for (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(grid)); child;
         child = gtk_widget_get_next_sibling(child)) {
        int column = 0, row = 0, width = 0, height = 0;
        gtk_grid_query_child(grid, child, &column, &row, &width, &height);
        std::string text;
        if (GTK_IS_LABEL(child))
            text = gtk_label_get_text(GTK_LABEL(child));
        else if (GTK_IS_EDITABLE(child))
            text = gtk_editable_get_text(GTK_EDITABLE(child));
        cells.emplace_back(column, row, width, height, text);
    }
    return cells;
}

}  // namespace

TEST(Actions, PlainActionsWithTheirAccelerators)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    // The accelerator as GTK reports it back, or null for none.
    const std::pair<const char*, const char*> expected[] = {
        {"app.poll-definition", "F5"},
        {"app.save-poll-definition", "<Control>s"},
        {"app.load-poll-definition", "<Control>l"},
        {"app.import-register-map", "<Control>i"},
        {"app.export-register-map", nullptr},
        {"app.connection-definition", "F3"},
        {"app.write-register", "F6"},
        {"app.disconnect", "F4"},
        {"app.about-window", nullptr},
        {"app.toggle-alias-column", "<Control>t"},
        {"win.show-help-overlay", "<Control>question"},
        {"app.chart", "<Control>g"},
        {"app.scan-bus", "<Control>b"},
        {"app.quit", "<Control>q"},
    };
    for (const auto& [name, accel] : expected) {
        SCOPED_TRACE(name);
        g_auto(GStrv) accels = gtk_application_get_accels_for_action(a.application, name);
        EXPECT_EQ(std::vector<std::string>(accels, accels + g_strv_length(accels)),
                  accel ? std::vector<std::string>{accel} : std::vector<std::string>{});
        if (g_str_has_prefix(name, "app.")) {
            GAction* action = g_action_map_lookup_action(G_ACTION_MAP(a.application), name + 4);
            ASSERT_NE(action, nullptr);
            EXPECT_EQ(g_action_get_parameter_type(action), nullptr);
            EXPECT_EQ(g_action_get_state_type(action), nullptr);
            EXPECT_TRUE(g_action_get_enabled(action));
        }
    }
}

TEST(Actions, MainMenuListsItsEntriesInOrder)
{
    REQUIRE_DISPLAY();
    GMenuModel* menu = G_MENU_MODEL(activate_app().main_window.menu);
    const std::pair<const char*, const char*> expected[] = {
        {"_Connect", "app.connection-definition"},
        {"_Disconnect", "app.disconnect"},
        {"_Query Settings", "app.poll-definition"},
        {"Write Settings", "app.write-register"},
        {"_Save", "app.save-poll-definition"},
        {"_Load", "app.load-poll-definition"},
        {"_Recent Set-ups", ""},
        {"Import Register Map\u2026", "app.import-register-map"},
        {"Export Register Map\u2026", "app.export-register-map"},
        {"_Info", "win.show-help-overlay"},
        {"Hide Labels", "app.toggle-alias-column"},
        {"Edit Point\u2026", "app.edit-point"},
        {"Raw Values", "app.raw-values"},
        {"Address Notation", ""},
        {"Reset Statistics", "app.reset-statistics"},
        {"Copy Statistics", "app.copy-statistics"},
        {"Chart", "app.chart"},
        {"Scan Bus", "app.scan-bus"},
        {"_New Poll Definition", "app.new-definition"},
        {"Close Poll Definition", "app.close-definition"},
        {"Rename Poll Definition", "app.rename-definition"},
        {"Next Poll Definition", "app.next-definition"},
        {"Previous Poll Definition", "app.previous-definition"},
        {"_About", "app.about-window"},
    };
    ASSERT_EQ(g_menu_model_get_n_items(menu), 24);
    for (int i = 0; i < 24; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(menu_attribute(menu, i, G_MENU_ATTRIBUTE_LABEL), expected[i].first);
        EXPECT_EQ(menu_attribute(menu, i, G_MENU_ATTRIBUTE_ACTION), expected[i].second);
        EXPECT_EQ(g_menu_model_get_item_link(menu, i, G_MENU_LINK_SECTION), nullptr);
    }
    // The recent set-ups are a submenu of their own.
    g_autoptr(GMenuModel) recent = g_menu_model_get_item_link(menu, 6, G_MENU_LINK_SUBMENU);
    EXPECT_EQ(recent, G_MENU_MODEL(app().set_up_files.recent_menu));
    GtkPopover* popover = gtk_menu_button_get_popover(app().main_window.menu_button);
    ASSERT_TRUE(GTK_IS_POPOVER_MENU(popover));
    EXPECT_EQ(gtk_popover_menu_get_menu_model(GTK_POPOVER_MENU(popover)), menu);
}

TEST(Actions, ToggleLabelsTwiceRestoresGridAndMenuEntry)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    PollTabs& main = a.tabs;
    GMenuModel* menu = G_MENU_MODEL(app().main_window.menu);
    std::vector<Cell> before = grid_snapshot(main.tab->table.grid);

    activate(a, "toggle-alias-column");
    EXPECT_FALSE(main.tab->table.labels_visible);
    EXPECT_EQ(menu_attribute(menu, 10, G_MENU_ATTRIBUTE_LABEL), "Show Labels");
    EXPECT_EQ(menu_attribute(menu, 10, G_MENU_ATTRIBUTE_ACTION), "app.toggle-alias-column");

    activate(a, "toggle-alias-column");
    EXPECT_TRUE(main.tab->table.labels_visible);
    EXPECT_EQ(menu_attribute(menu, 10, G_MENU_ATTRIBUTE_LABEL), "Hide Labels");
    EXPECT_EQ(g_menu_model_get_n_items(menu), 24);
    EXPECT_EQ(grid_snapshot(main.tab->table.grid), before);
    // The scrolled window keeps the width chosen at activation.
    EXPECT_EQ(gtk_scrolled_window_get_min_content_width(main.tab->grid_scroller), 320);
}

TEST(Actions, DisconnectWhileNotConnectedChangesNothing)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    GtkLabel* line = a.main_window.status_line;
    gtk_widget_add_css_class(GTK_WIDGET(line), "error");
    gtk_label_set_text(line, "Response error / No communication");
    ASSERT_FALSE(app_link().running.load());

    activate(a, "disconnect");
    EXPECT_FALSE(app_link().running.load());
    EXPECT_STREQ(gtk_label_get_text(line), "Response error / No communication");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(line), "error"));
    EXPECT_STREQ(gtk_label_get_text(a.main_window.connect_label), "Connect");
}

TEST(Actions, WriteKeyKeepsTheModalityTheDialogHas)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    GtkWindow* write = a.write.window;
    ASSERT_NE(write, nullptr);

    activate(a, "write-register");
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(write)));
    EXPECT_FALSE(gtk_window_get_modal(write));
    EXPECT_EQ(gtk_window_get_transient_for(write), nullptr);
    gtk_widget_set_visible(GTK_WIDGET(write), FALSE);

    GtkWidget* button = toolbar_items(a.main_window).at(2);
    ASSERT_STREQ(gtk_widget_get_tooltip_text(button), "Write Settings");
    g_signal_emit_by_name(button, "clicked");
    drain_main_loop();
    EXPECT_TRUE(gtk_window_get_modal(write));
    gtk_widget_set_visible(GTK_WIDGET(write), FALSE);

    activate(a, "write-register");
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(write)));
    EXPECT_TRUE(gtk_window_get_modal(write));
    EXPECT_EQ(gtk_window_get_transient_for(write), GTK_WINDOW(a.main_window.window));
}

TEST(Actions, CommandsAndToolbarPresentTheirDialogs)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    GtkWidget* query_button = toolbar_items(a.main_window).at(1);
    ASSERT_STREQ(gtk_widget_get_tooltip_text(query_button), "Query Settings");
    const std::pair<std::function<void()>, GtkWindow*> cases[] = {
        {[&] { activate(a, "poll-definition"); }, a.query_settings.window},
        {[&] { g_signal_emit_by_name(query_button, "clicked"); }, a.query_settings.window},
        {[&] { activate(a, "connection-definition"); }, a.connection.window},
        {[&] { activate(a, "about-window"); }, GTK_WINDOW(a.about)},
    };
    for (const auto& [open, window] : cases) {
        SCOPED_TRACE(gtk_window_get_title(window));
        open();
        drain_main_loop();
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
        EXPECT_TRUE(gtk_window_get_modal(window));
        EXPECT_EQ(gtk_window_get_transient_for(window), GTK_WINDOW(a.main_window.window));
        // Closing hides and keeps the window for the next time.
        gtk_window_close(window);
        drain_main_loop();
        EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window)));
        EXPECT_TRUE(GTK_IS_WINDOW(window));
    }
}
