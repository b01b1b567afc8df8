#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/about_text.hpp"
#include "app/application.hpp"
#include "support/gtk_test_env.hpp"

namespace {

// The widgets of the type at or below widget, in tree order.
std::vector<GtkWidget*> find_all(GtkWidget* widget, GType type)
{
    std::vector<GtkWidget*> found;
    if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type))
        found.push_back(widget);
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child))
        for (GtkWidget* below : find_all(child, type))
            found.push_back(below);
    return found;
}

std::string string_property(gpointer object, const char* name)
{
    g_autofree char* value = nullptr;
    g_object_get(object, name, &value, nullptr);
    return value ? value : "";
}

}  // namespace

TEST(AboutText, CommentsLineByLine)
{
    const std::vector<std::string> expected = {
        "Brenvaldor is a lightweight, user-friendly Modbus client for RTU and TCP connections.",
        "It allows you to scan register addresses and coils, write values, and monitor communication in real-time.",
        "Features:",
        "- Connection to Modbus devices via Serial (RTU) or TCP/IP.",
        "- Query settings for reading coils, input coils, holding registers, input registers.",
        "- Write single/multiple registers or bits.",
        "- Real-time data display.",
        "- Debug logging with TX/RX frames. Log to File",
        "- Save and load configurations.",
        "- Cross-platform GUI using GTK.",
        "",
        "",
        "Open-Source Components:",
        "\u2022 GTK 4 \u2013 https://www.gtk.org \u2013 GNU LGPL v2.1",
        "\u2022 libmodbus \u2013 https://libmodbus.org \u2013 GNU LGPL v2.1",
    };
    // A trailing line break would show as one more, empty, line.
    g_auto(GStrv) lines = g_strsplit(build_about_comments().c_str(), "\n", -1);
    EXPECT_EQ(std::vector<std::string>(lines, lines + g_strv_length(lines)), expected);
}

TEST(ShortcutsWindow, ListsTheGeneralShortcutsWithoutWrite)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    GtkShortcutsWindow* shortcuts = a.shortcuts;
    ASSERT_TRUE(GTK_IS_SHORTCUTS_WINDOW(shortcuts));
    EXPECT_STREQ(gtk_buildable_get_buildable_id(GTK_BUILDABLE(shortcuts)), "help_overlay");
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(shortcuts)));
    EXPECT_EQ(gtk_application_window_get_help_overlay(a.main_window.window), shortcuts);

    std::vector<GtkWidget*> sections = find_all(GTK_WIDGET(shortcuts), GTK_TYPE_SHORTCUTS_SECTION);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_EQ(string_property(sections[0], "section-name"), "shortcuts");
    guint max_height = 0;
    g_object_get(sections[0], "max-height", &max_height, nullptr);
    EXPECT_EQ(max_height, 10u);
    std::vector<GtkWidget*> groups = find_all(GTK_WIDGET(shortcuts), GTK_TYPE_SHORTCUTS_GROUP);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(string_property(groups[0], "title"), "General");
    EXPECT_EQ(string_property(groups[1], "title"), "Poll Definitions");

    // Each entry as the window shows it: its title and its accelerator.
    auto entries_of = [](GtkWidget* group) {
        std::vector<std::string> entries;
        for (GtkWidget* entry : find_all(group, GTK_TYPE_SHORTCUTS_SHORTCUT)) {
            guint key = 0;
            GdkModifierType modifiers{};
            gtk_accelerator_parse(string_property(entry, "accelerator").c_str(), &key, &modifiers);
            g_autofree char* shown = gtk_accelerator_name(key, modifiers);
            entries.push_back(string_property(entry, "title") + " = " + shown);
        }
        return entries;
    };
    const std::vector<std::string> general = {
        "Show Shortcuts = <Control>question", "Query Settings = F5", "Save = <Control>s", "Load = <Control>l",
        "Import Register Map = <Control>i", "Connect = F3", "Disconnect = F4", "Toggle Hide Labels = <Control>t", "Chart = <Control>g",
        "Scan Bus = <Control>b", "Chart the Address under the Cursor = plus", "Edit Point = <Control>e",
        "Raw Values = <Control>r", "Copy Value to Clipboard = <Control>c",
        "Quit = <Control>q",
    };
    EXPECT_EQ(entries_of(groups[0]), general);
    const std::vector<std::string> definitions = {
        "New Poll Definition = <Control>n", "Close Poll Definition = <Control>w",
        "Next Poll Definition = <Control>Page_Down", "Previous Poll Definition = <Control>Page_Up",
    };
    EXPECT_EQ(entries_of(groups[1]), definitions);
}

TEST(AboutDialog, NameVersionLogoAndComments)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    GtkAboutDialog* about = a.about;
    ASSERT_TRUE(GTK_IS_ABOUT_DIALOG(about));
    EXPECT_STREQ(gtk_about_dialog_get_program_name(about), "Brenvaldor");
    EXPECT_STREQ(gtk_about_dialog_get_version(about), "V.1.0.0");
    EXPECT_EQ(gtk_about_dialog_get_comments(about), build_about_comments());
    GdkPaintable* logo = gtk_about_dialog_get_logo(about);
    ASSERT_TRUE(GDK_IS_TEXTURE(logo));
    EXPECT_EQ(gdk_texture_get_width(GDK_TEXTURE(logo)), 512);
    EXPECT_EQ(gdk_texture_get_height(GDK_TEXTURE(logo)), 512);
}

TEST(Icon, TheWindowIconIsFoundFromTheBuildTree)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    EXPECT_STREQ(gtk_window_get_default_icon_name(), "com.Brenvaldor");
    GtkIconTheme* theme = gtk_icon_theme_get_for_display(gtk_widget_get_display(GTK_WIDGET(a.main_window.window)));
    EXPECT_TRUE(gtk_icon_theme_has_icon(theme, "com.Brenvaldor"));
}
