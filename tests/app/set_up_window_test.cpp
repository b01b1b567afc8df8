#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "config/set_up_window.hpp"
#include "config/config_dialogs.hpp"
#include "support/temp_folder.hpp"
#include "support/gtk_test_env.hpp"
#include "support/refusal_alerts.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

std::string title_of(PollTabs& main)
{
    EXPECT_STREQ(gtk_label_get_text(app().main_window.title), gtk_window_get_title(GTK_WINDOW(main.window)));
    return gtk_window_get_title(GTK_WINDOW(main.window));
}

// Presses the question's button with that label.
void answer(const char* label)
{
    GtkWindow* question = set_up_question_window(app().set_up_files);
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(press_alert_button(question, label)) << label;
    drain_main_loop();
}

}  // namespace

TEST(SetUpWindow, MarksChangesAsksBeforeClosingAndRemembersTheSavedFile)
{
    REQUIRE_DISPLAY();
    TempFolder folder;
    App& a = activate_app();
    PollTabs& main = a.tabs;
    GtkWindow* window = GTK_WINDOW(main.window);
    EXPECT_EQ(title_of(main), "Brenvaldor");

    rename_poll_tab(main, *main.tab, "Boiler");
    EXPECT_EQ(title_of(main), "*Brenvaldor");
    gtk_window_close(window);
    drain_main_loop();
    EXPECT_EQ(alerts_over(window), (AlertTexts{{"Save changes to the set-up?", "Unsaved changes are lost otherwise.",
                                                "[Cancel]", "[Discard]", "[Save]"}}));
    answer("Cancel");
    EXPECT_EQ(set_up_question_window(app().set_up_files), nullptr);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));

    // Saved: the title names the file, unmarked, and the file is a recent one.
    std::string path = folder.file("Boiler.dat");
    ASSERT_TRUE(save_configuration_file(app().set_up_files, path.c_str()));
    EXPECT_EQ(title_of(main), "Boiler.dat \u2014 Brenvaldor");
    g_autofree char* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    // The test's main keeps the recent files in a folder of the process's own.
    std::string recent_file = std::string(g_get_user_data_dir()) + "/recently-used.xbel";
    ASSERT_TRUE(run_until([&] { return g_menu_model_get_n_items(G_MENU_MODEL(app().set_up_files.recent_menu)) == 1; }, 5000));
    EXPECT_TRUE(gtk_recent_manager_has_item(gtk_recent_manager_get_default(), uri));
    EXPECT_NE(read_file(recent_file).find(uri), std::string::npos);

    // Another change; the question names the file, and Discard closes.
    add_poll_tab(main, main.tab->definition->poll);
    EXPECT_EQ(title_of(main), "*Boiler.dat \u2014 Brenvaldor");
    gtk_window_close(window);
    drain_main_loop();
    ASSERT_EQ(alerts_over(window).size(), 1u);
    EXPECT_EQ(alerts_over(window)[0][0], "Save changes to \u201cBoiler.dat\u201d?");
    answer("Discard");
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(window)));
}
