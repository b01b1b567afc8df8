#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "config/config_dialogs.hpp"
#include "config/config_format.hpp"
#include "config/set_up_window.hpp"
#include "link/link_state.hpp"
#include "support/gtk_test_env.hpp"
#include "support/refusal_alerts.hpp"
#include "support/temp_folder.hpp"

namespace {

// The status line's text, with " [error]" when it wears the error class.
std::string status_shown()
{
    std::string text = gtk_label_get_text(app().main_window.status_line);
    return gtk_widget_has_css_class(GTK_WIDGET(app().main_window.status_line), "error") ? text + " [error]" : text;
}

// A cell of our own in the grid: gone once build_grid has thrown every
// cell away or another grid is shown, still there when the grid was not
// rebuilt. A replaced tab's grid is destroyed later, so it is compared only
// while shown.
struct GridMarker {
    GtkWidget* cell = GTK_WIDGET(g_object_ref_sink(gtk_label_new("marker")));
    PollTabs& main;
    GtkGrid* grid;

    explicit GridMarker(PollTabs& shown) : main(shown), grid(shown.tab->table.grid)
    {
        gtk_grid_attach(grid, cell, 40, 40, 1, 1);
    }
    ~GridMarker() { g_object_unref(cell); }
    bool still_there() const { return main.tab->table.grid == grid && gtk_widget_get_parent(cell) == GTK_WIDGET(grid); }
};

// The program's state before a load: a definition and labels of its own.
const PollDefinition prepared_poll{17, 2, 300, 40, 250};

PollTabs& prepared_main()
{
    PollTabs& main = activate_app().tabs;
    store_poll_definition(prepared_poll);
    main.tab->definition->labels = LabelStore{};
    set_label(main.tab->definition->labels, 7, "kept");
    set_label(main.tab->definition->labels, 8, "also kept");
    // As if just saved, so a load goes to the chooser without asking first.
    main.model->document.changed = false;
    return main;
}

void press_dialog_button(GtkWindow* window, int response)
{
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(window), response);
    G_GNUC_END_IGNORE_DEPRECATIONS
    ASSERT_NE(button, nullptr);
    gtk_widget_activate(button);
}

std::string chosen_path(GtkWindow* chooser)
{
    g_autoptr(GFile) file = gtk_file_chooser_get_file(GTK_FILE_CHOOSER(chooser));
    g_autofree char* path = file ? g_file_get_path(file) : nullptr;
    return path ? path : "";
}

// Picks path in the chooser as a user would by typing it. The chooser
// loads folders in the background, and a load that ends late resets the
// choice, so the choice is repeated until it holds for a while.
bool choose_path(GtkWindow* window, const std::string& path, bool saving)
{
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(window);
    g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
    g_autoptr(GFile) folder = g_file_get_parent(file);
    g_autofree char* name = g_file_get_basename(file);
    for (int attempt = 0; attempt < 40; ++attempt) {
        run_for(100);
        if (!gtk_file_chooser_set_current_folder(chooser, folder, nullptr))
            return false;
        run_for(100);
        if (saving)
            gtk_file_chooser_set_current_name(chooser, name);
        else if (!gtk_file_chooser_set_file(chooser, file, nullptr))
            return false;
        if (run_until([&] { return chosen_path(window) == path; }, 300)) {
            run_for(200);
            if (chosen_path(window) == path)
                return true;
        }
    }
    return false;
}

}  // namespace

TEST(ConfigDialogs, FailedLoadChangesNothingAndAnEmptyFileEmptiesTheLabels)
{
    REQUIRE_DISPLAY();
    PollTabs& main = prepared_main();
    LabelStore before = main.tab->definition->labels;
    TempFolder folder;
    std::string path = folder.file("broken.dat");
    write_file(path, "Brenvaldor V.1.0.0\nPOLL slave=1 length=5\nLABEL 1 \"one\"\nLABEL 5 x\nLABEL 2 \"two\"\n");
    GridMarker marker(main);
    EXPECT_FALSE(load_configuration_file(app().set_up_files, path.c_str()));
    EXPECT_EQ(copy_poll_definition(), prepared_poll);
    EXPECT_EQ(main.tab->definition->labels.entries, before.entries);
    EXPECT_TRUE(marker.still_there());
    EXPECT_EQ(alerts_over(GTK_WINDOW(main.window)),
              (AlertTexts{{"Cannot load configuration file", "Line 4 is not valid", "[Close]"}}));

    // A file that cannot be read at all names no line but the reason.
    EXPECT_FALSE(load_configuration_file(app().set_up_files, folder.file("missing.dat").c_str()));
    EXPECT_EQ(alerts_over(GTK_WINDOW(main.window)),
              (AlertTexts{{"Cannot load configuration file", "No such file or directory", "[Close]"}}));
    EXPECT_EQ(main.tab->definition->labels.entries, before.entries);

    // An empty file loads: same definition, no labels, a new grid, the alert taken down.
    write_file(path, "");
    ASSERT_TRUE(load_configuration_file(app().set_up_files, path.c_str()));
    EXPECT_EQ(copy_poll_definition(), prepared_poll);
    EXPECT_TRUE(main.tab->definition->labels.entries.empty());
    EXPECT_FALSE(marker.still_there());
    EXPECT_EQ(alerts_over(GTK_WINDOW(main.window)), AlertTexts{});
    EXPECT_EQ(status_shown(), "") << "the status line is the link's";
}

TEST(ConfigDialogs, FailedSaveKeepsTheOldFileAndSaysSo)
{
    REQUIRE_DISPLAY();
    PollTabs& main = prepared_main();
    TempFolder folder;
    std::string path = folder.file("Brenvaldor.dat");
    write_file(path, "old contents\n");
    // Room for only a few bytes, as on a nearly full disk; binds root too.
    struct rlimit old_limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    struct rlimit small = old_limit;
    small.rlim_cur = 20;
    sighandler_t old_handler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool saved = save_configuration_file(app().set_up_files, path.c_str());
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(read_file(path), "old contents\n");
    EXPECT_EQ(entry_count(folder.path), 1u);
    EXPECT_EQ(alerts_over(GTK_WINDOW(main.window)),
              (AlertTexts{{"Cannot save configuration file", "File too large", "[Close]"}}));

    ASSERT_TRUE(save_configuration_file(app().set_up_files, path.c_str()));
    EXPECT_EQ(alerts_over(GTK_WINDOW(main.window)), AlertTexts{});
}

TEST(ConfigDialogs, SavesAndLoadsThroughTheFileChooser)
{
    REQUIRE_DISPLAY();
    PollTabs& main = activate_app().tabs;
    TempFolder folder;
    store_poll_definition(PollDefinition{9, 4, 1234, 33, 750});
    main.tab->definition->labels = LabelStore{};
    set_label(main.tab->definition->labels, 1234, "Kessel\tA");

    start_save_configuration(app().set_up_files);
    GtkWindow* chooser = file_dialog_get_window(app().set_up_files.file_dialog);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(gtk_window_get_transient_for(chooser), GTK_WINDOW(main.window));
    EXPECT_STREQ(gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(chooser)), "Brenvaldor.dat");
    std::string path = folder.file("plant.dat");
    ASSERT_TRUE(choose_path(chooser, path, true)) << chosen_path(chooser);
    press_dialog_button(chooser, GTK_RESPONSE_ACCEPT);
    ASSERT_TRUE(run_until([&] { return file_dialog_get_window(app().set_up_files.file_dialog) == nullptr; }, 5000));
    EXPECT_EQ(read_file(path), write_configuration(PollDefinition{9, 4, 1234, 33, 750}, main.tab->definition->labels));
    EXPECT_EQ(status_shown(), "");

    prepared_main();
    GridMarker marker(main);
    start_load_configuration(app().set_up_files);
    chooser = file_dialog_get_window(app().set_up_files.file_dialog);
    ASSERT_NE(chooser, nullptr);
    ASSERT_TRUE(choose_path(chooser, path, false)) << chosen_path(chooser);
    press_dialog_button(chooser, GTK_RESPONSE_ACCEPT);
    ASSERT_TRUE(run_until([&] { return !marker.still_there(); }, 5000)) << status_shown();
    EXPECT_EQ(status_shown(), "");
    EXPECT_EQ(copy_poll_definition(), (PollDefinition{9, 4, 1234, 33, 750}));
    EXPECT_EQ(main.tab->definition->labels.entries, (std::vector<LabelEntry>{{1234, "Kessel\tA"}}));
}

TEST(ConfigDialogs, CancelledDialogSaysNothingAndChangesNothing)
{
    REQUIRE_DISPLAY();
    PollTabs& main = prepared_main();
    LabelStore before = main.tab->definition->labels;
    GridMarker marker(main);
    for (auto start : {start_save_configuration, start_load_configuration}) {
        start(app().set_up_files);
        GtkWindow* chooser = file_dialog_get_window(app().set_up_files.file_dialog);
        ASSERT_NE(chooser, nullptr);
        // given a chooser already open, expect a second start to keep it
        start_load_configuration(app().set_up_files);
        EXPECT_EQ(file_dialog_get_window(app().set_up_files.file_dialog), chooser);
        press_dialog_button(chooser, GTK_RESPONSE_CANCEL);
        ASSERT_TRUE(run_until([&] { return file_dialog_get_window(app().set_up_files.file_dialog) == nullptr; }, 5000));
        drain_main_loop();
    }
    EXPECT_EQ(status_shown(), "");
    EXPECT_EQ(copy_poll_definition(), prepared_poll);
    EXPECT_EQ(main.tab->definition->labels.entries, before.entries);
    EXPECT_TRUE(marker.still_there());
}

// Given a set-up of two tabs, one named, in HEX and charting an address,
// with connection settings of its own: a load asks first, and "Save" with
// no file yet goes through the Save chooser and only then on to the Open
// chooser. Loaded over a set-up changed meanwhile, the file brings it all
// back: the tabs, the chart, the link's settings and the Connection
// dialog's fields, under a title that names the file, unmarked.
TEST(ConfigDialogs, LoadAsksFirstSavesThroughTheQuestionAndBringsTheSetUpBack)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    PollTabs& tabs = a.tabs;
    TempFolder folder;
    ConnectionSettings plant;
    plant.device = "plc.example";
    plant.baud_or_port = 1502;
    plant.use_tcp = true;
    plant.keep_open = true;
    set_connection(a.set_up, plant);
    PollTab* meter = add_poll_tab(tabs, PollDefinition{2, 4, 100, 6, 500});
    ASSERT_NE(meter, nullptr);
    rename_poll_tab(tabs, *meter, "Meter");
    gtk_drop_down_set_selected(tabs.format_selector, guint(ValueFormat::HEX));
    ASSERT_TRUE(add_chart_series(a.chart, 102));
    EXPECT_STREQ(gtk_window_get_title(tabs.window), "*Brenvaldor");

    start_load_configuration(a.set_up_files);
    GtkWindow* question = set_up_question_window(a.set_up_files);
    ASSERT_NE(question, nullptr) << "a load asks first";
    EXPECT_EQ(file_dialog_get_window(a.set_up_files.file_dialog), nullptr);
    ASSERT_TRUE(press_alert_button(question, "Save"));
    drain_main_loop();
    GtkWindow* chooser = file_dialog_get_window(a.set_up_files.file_dialog);
    ASSERT_NE(chooser, nullptr);
    std::string path = folder.file("plant.dat");
    ASSERT_TRUE(choose_path(chooser, path, true)) << chosen_path(chooser);
    press_dialog_button(chooser, GTK_RESPONSE_ACCEPT);
    ASSERT_TRUE(run_until([&] { return !read_file(path).empty(); }, 5000));
    EXPECT_STREQ(gtk_window_get_title(tabs.window), "plant.dat \u2014 Brenvaldor");
    std::string saved = read_file(path);
    EXPECT_NE(saved.find("CONNECTION "), std::string::npos);
    EXPECT_NE(saved.find("DEVICE \"plc.example\"\n"), std::string::npos);
    EXPECT_NE(saved.find("CHART 102\n"), std::string::npos);
    ASSERT_TRUE(run_until([&] {
        GtkWindow* open = file_dialog_get_window(a.set_up_files.file_dialog);
        return open && open != chooser;
    }, 5000)) << "then the load goes on to its chooser";
    chooser = file_dialog_get_window(a.set_up_files.file_dialog);
    press_dialog_button(chooser, GTK_RESPONSE_CANCEL);
    ASSERT_TRUE(run_until([&] { return file_dialog_get_window(a.set_up_files.file_dialog) == nullptr; }, 5000));

    // Meanwhile: the named tab closed, its series removed, another connection.
    ASSERT_TRUE(close_poll_tab(tabs, *meter));
    ASSERT_EQ(a.chart.series.size(), 1u) << "a closed tab's series stays until removed";
    remove_chart_series(a.chart, 0);
    ConnectionSettings other = plant;
    other.device = "10.0.0.9";
    set_connection(a.set_up, other);
    a.set_up.document.changed = false;  // as if discarded

    ASSERT_TRUE(load_configuration_file(a.set_up_files, path.c_str()));
    drain_main_loop();
    ASSERT_EQ(tabs.tabs.size(), 2u);
    EXPECT_EQ(tabs.tabs[1]->definition->name, "Meter");
    EXPECT_EQ(tabs.tabs[1]->definition->format, ValueFormat::HEX);
    EXPECT_EQ(tabs.tabs[1]->definition->poll, (PollDefinition{2, 4, 100, 6, 500}));
    ASSERT_EQ(a.chart.series.size(), 1u);
    EXPECT_EQ(a.chart.series[0]->address, 102);
    EXPECT_EQ(a.chart.series[0]->tab, tabs.tabs[1]->serial);
    EXPECT_EQ(copy_connection_settings(), plant);
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(a.connection.ip_entry)), "plc.example");
    EXPECT_STREQ(gtk_window_get_title(tabs.window), "plant.dat \u2014 Brenvaldor");
    EXPECT_EQ(write_configuration(set_up_of(a.set_up)), saved) << "and saves as it was";
}
