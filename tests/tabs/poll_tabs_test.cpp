// Several poll definitions in the main window: each tab keeps its own
// set-up, the file keeps them all, and a tab closed while its request is
// under way leaves nothing of it on the screen.

#include <gtest/gtest.h>
#include <glib/gstdio.h>

#include <atomic>

#include "widgets/dialog_layer.hpp"
#include "chart/chart_window.hpp"
#include "config/config_dialogs.hpp"
#include "query/query_settings_dialog.hpp"
#include "support/app_link_fixture.hpp"
#include "support/refusal_alerts.hpp"
#include "support/scripted_tcp_server.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

using namespace app_test;
using Texts = std::vector<std::string>;

void activate(const char* action)
{
    g_action_group_activate_action(G_ACTION_GROUP(app().application), action, nullptr);
    drain_main_loop();
}

Texts cell_texts(const PollTab& tab)
{
    Texts texts;
    for (GtkLabel* cell : tab.table.value_cells)
        texts.emplace_back(gtk_label_get_text(cell));
    return texts;
}

std::string title_of(const PollTab& tab)
{
    return gtk_label_get_text(tab.title);
}

// The entry of the rename open on tab's title, or null.
GtkEditable* rename_entry(const PollTab& tab)
{
    for (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(tab.title)); child;
         child = gtk_widget_get_next_sibling(child))
        if (GTK_IS_POPOVER(child) && gtk_widget_get_visible(child))
            return GTK_EDITABLE(gtk_popover_get_child(GTK_POPOVER(child)));
    return nullptr;
}

// Escape as it reaches the entry, before the popover around it sees it.
bool press_escape_in(GtkEditable* entry)
{
    g_autoptr(GListModel) controllers = gtk_widget_observe_controllers(GTK_WIDGET(entry));
    for (guint i = 0; i < g_list_model_get_n_items(controllers); ++i) {
        g_autoptr(GObject) controller = G_OBJECT(g_list_model_get_item(controllers, i));
        gboolean handled = FALSE;
        if (GTK_IS_EVENT_CONTROLLER_KEY(controller))
            g_signal_emit_by_name(controller, "key-pressed", GDK_KEY_Escape, 0u, GdkModifierType(0), &handled);
        if (handled)
            return true;
    }
    return false;
}

class TabView : public AppLinkTest {
protected:
    void TearDown() override
    {
        AppLinkTest::TearDown();
        // The next test starts from one tab, as the program does.
        PollTabs& main = app().tabs;
        while (close_poll_tab(main, *main.tabs.back())) {
        }
    }
};

}  // namespace

// Given two tabs, each with an address charted, the second's read answered
// late with an exception, and that tab closed while the read is under way:
// expect its exception never on the status line and its series taking
// nothing more, the remaining tab's values live and charted, and the closed
// tab's block never asked for again.
TEST_F(TabView, ClosedWhileItsRequestIsInFlightShowsNothingAnywhere)
{
    std::atomic<bool> boiler_in_flight{false};
    std::atomic<size_t> boiler_reads{0};
    auto server = ScriptedTcpServer::start([&](const ScriptedTcpServer::Request& request) {
        if (request.bytes[8] == 0 && request.bytes[9] == 200) {  // the second tab's block
            ++boiler_reads;
            boiler_in_flight = true;
            return std::vector<ScriptedTcpServer::Send>{{exception_reply(request.bytes, 2), 400}};
        }
        return std::vector<ScriptedTcpServer::Send>{{read_reply(request.bytes, 7), 5}};
    });
    ASSERT_TRUE(server);
    PollTabs& main = app().tabs;
    store_poll_definition(poll_of(1, 3, 0, 3, 50));
    build_grid(main.tab->table);
    PollTab* first = main.tab;
    PollTab* boiler = add_poll_tab(main, poll_of(1, 3, 200, 3, 50));
    ASSERT_TRUE(boiler);
    rename_poll_tab(main, *boiler, "Boiler");
    ASSERT_EQ(main.tab, boiler);
    ChartWindow& chart = app().chart;
    ASSERT_TRUE(add_chart_series(chart, 200));
    EXPECT_EQ(series_title(*chart.series[0]), "Boiler: Address 200");
    show_poll_tab(main, *first);
    ASSERT_TRUE(add_chart_series(chart, 0));
    show_poll_tab(main, *boiler);

    store_connection_settings(tcp_settings(server->port()));
    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
    ASSERT_TRUE(run_until([&] { return boiler_in_flight.load(); }, 3000));
    activate("close-definition");
    ASSERT_EQ(main.tabs.size(), 1u);
    ASSERT_EQ(main.tab, first);
    drain_chart_polls(chart);
    size_t boiler_samples = full_sample_count(chart.series[0]->samples);
    size_t first_samples = full_sample_count(chart.series[1]->samples);

    bool error_shown = false;
    run_until(
        [&] {
            error_shown |= gtk_widget_has_css_class(GTK_WIDGET(app().main_window.status_line), "error");
            return false;
        },
        1000);
    EXPECT_FALSE(error_shown) << gtk_label_get_text(app().main_window.status_line);
    EXPECT_EQ(cell_texts(*first), (Texts{"7", "7", "7"}));
    EXPECT_FALSE(gtk_widget_has_css_class(GTK_WIDGET(first->table.value_cells[0]), "stale"));
    EXPECT_EQ(boiler_reads.load(), 1u);
    drain_chart_polls(chart);
    EXPECT_EQ(full_sample_count(chart.series[0]->samples), boiler_samples);
    EXPECT_GT(full_sample_count(chart.series[1]->samples), first_samples + 5);
    remove_chart_series(chart, 1);
    remove_chart_series(chart, 0);
}

// Given three tabs set up differently, expect each to keep its definition,
// labels, name and Format as the window moves between them and a tab is
// dragged to the front, the link to poll all three under their own keys in
// the tabs' order, the file to bring all three back in that order
// after the window was changed, the last tab never to close, and no more
// tabs than the link takes.
TEST_F(TabView, EachTabKeepsItsOwnSetUpAndTheFileKeepsThemAll)
{
    PollTabs& main = app().tabs;
    store_poll_definition(poll_of(1, 3, 0, 4));
    build_grid(main.tab->table);
    set_label(main.tab->definition->labels, 2, "Speed");
    gtk_drop_down_set_selected(main.format_selector, guint(ValueFormat::FLOAT32));

    activate("new-definition");
    ASSERT_EQ(main.tabs.size(), 2u);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(app().query_settings.window))) << "set up at once";
    gtk_widget_set_visible(GTK_WIDGET(app().query_settings.window), FALSE);
    EXPECT_EQ(main.tab->definition->poll, poll_of(1, 3, 0, 4)) << "a copy of the definition shown";
    EXPECT_TRUE(main.tab->definition->labels.entries.empty()) << "without its labels";
    hand_poll_definition(main, poll_of(2, 1, 10, 8));
    build_grid(main.tab->table);
    EXPECT_EQ(title_of(*main.tab), "ID 2 \u00b7 01 \u00b7 10\u201317");
    rename_poll_tab(main, *main.tab, "  Doors\n");
    EXPECT_EQ(title_of(*main.tab), "Doors");
    EXPECT_EQ(gtk_drop_down_get_selected(main.format_selector), guint(ValueFormat::UINT));

    activate("previous-definition");
    EXPECT_EQ(main.tab, main.tabs[0].get());
    EXPECT_EQ(gtk_drop_down_get_selected(main.format_selector), guint(ValueFormat::FLOAT32));
    ASSERT_NE(find_label(main.tab->definition->labels, 2), nullptr);
    ASSERT_TRUE(add_poll_tab(main, poll_of(3, 4, 100, 2)));
    gtk_drop_down_set_selected(main.format_selector, guint(ValueFormat::HEX));
    activate("next-definition");
    EXPECT_EQ(main.tab, main.tabs[0].get()) << "round the end";
    PollTab* shown = main.tab;
    gtk_notebook_reorder_child(main.notebook, main.tabs[2]->page, 0);  // as a drag does
    EXPECT_EQ(main.tabs[0]->definition->poll, poll_of(3, 4, 100, 2));
    EXPECT_EQ(main.tab, shown);
    EXPECT_EQ(main.tabs[1].get(), shown);

    std::vector<PollEntry> polled = copy_poll_entries(app_link());
    ASSERT_EQ(polled.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(polled[i].key, main.tabs[i]->definition->key);
        EXPECT_EQ(polled[i].poll, main.tabs[i]->definition->poll);
    }

    g_autofree char* folder = g_dir_make_tmp("tabs-XXXXXX", nullptr);
    std::string path = std::string(folder) + "/plant.dat";
    ASSERT_TRUE(save_configuration_file(app().set_up_files, path.c_str()));
    activate("close-definition");
    activate("close-definition");
    activate("close-definition");
    ASSERT_EQ(main.tabs.size(), 1u) << "the last tab stays";
    EXPECT_FALSE(g_action_group_get_action_enabled(G_ACTION_GROUP(app().application), "close-definition"));
    ASSERT_TRUE(load_configuration_file(app().set_up_files, path.c_str()));
    g_remove(path.c_str());
    g_rmdir(folder);
    ASSERT_EQ(main.tabs.size(), 3u);
    EXPECT_EQ(gtk_notebook_get_n_pages(main.notebook), 3);
    EXPECT_EQ(main.tabs[2]->definition->poll, poll_of(2, 1, 10, 8));
    EXPECT_EQ(title_of(*main.tabs[2]), "Doors");
    EXPECT_EQ(main.tabs[0]->definition->format, ValueFormat::HEX);
    EXPECT_EQ(gtk_drop_down_get_selected(main.format_selector), guint(ValueFormat::HEX));
    ASSERT_NE(find_label(main.tabs[1]->definition->labels, 2), nullptr);
    EXPECT_EQ(find_label(main.tabs[1]->definition->labels, 2)->text, "Speed");
    EXPECT_EQ(main.tabs[1]->definition->format, ValueFormat::FLOAT32);
    EXPECT_EQ(copy_poll_entries(app_link()).size(), 3u);

    while (add_poll_tab(main, poll_of(1, 3, 0, 1))) {
    }
    EXPECT_EQ(main.tabs.size(), max_poll_definitions);
}

// Given a name typed with blanks around it, 40 characters of CJK, Latin and
// an emoji and more after, and the focus then moved elsewhere, expect the
// name kept, trimmed and cut after the 40th character; given a name typed
// and then Escape, expect the name before it kept.
TEST_F(TabView, RenameIsKeptWhenTheFocusLeavesAndEscapeCancelsIt)
{
    PollTabs& main = app().tabs;
    const std::string forty = "北側ボイラー室 boiler pressure, north side 12 🔥";
    start_tab_rename(main);
    drain_main_loop();
    GtkEditable* entry = rename_entry(*main.tab);
    ASSERT_NE(entry, nullptr);
    GtkWidget* text = GTK_WIDGET(gtk_editable_get_delegate(entry));
    ASSERT_TRUE(run_until([&] { return gtk_window_get_focus(GTK_WINDOW(main.window)) == text; }, 2000));
    gtk_editable_set_text(entry, ("  " + forty + " and beyond").c_str());
    gtk_widget_grab_focus(GTK_WIDGET(main.tab->table.grid));
    drain_main_loop();
    EXPECT_EQ(main.tab->definition->name, forty);
    EXPECT_EQ(title_of(*main.tab), forty);
    EXPECT_EQ(g_utf8_strlen(main.tab->definition->name.c_str(), -1), 40);
    EXPECT_EQ(rename_entry(*main.tab), nullptr) << "the rename ended";

    start_tab_rename(main);
    drain_main_loop();
    entry = rename_entry(*main.tab);
    ASSERT_NE(entry, nullptr);
    gtk_editable_set_text(entry, "Abandoned");
    EXPECT_TRUE(press_escape_in(entry));
    drain_main_loop();
    EXPECT_EQ(main.tab->definition->name, forty);
    EXPECT_EQ(rename_entry(*main.tab), nullptr);
}

// Given Ctrl+N, expect Cancel or a close of its Query Settings to
// take the new tab away again and Ok to keep it; at the link's most, expect
// Ctrl+N and a file of one definition more to be refused, naming the limit.
TEST_F(TabView, ANewTabCancelledGoesAndTheLimitIsNamed)
{
    PollTabs& main = app().tabs;
    QuerySettingsDialog& dialog = app().query_settings;
    PollTab* first = main.tab;
    for (bool by_close : {false, true}) {
        SCOPED_TRACE(by_close ? "closed (as Escape does)" : "Cancel");
        activate("new-definition");
        ASSERT_EQ(main.tabs.size(), 2u);
        if (by_close)
            gtk_window_close(dialog.window);
        else
            g_signal_emit_by_name(dialog.cancel_button, "clicked");
        drain_main_loop();
        EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(dialog.window)));
        EXPECT_EQ(main.tabs.size(), 1u);
        EXPECT_EQ(main.tab, first);
    }
    activate("new-definition");
    g_signal_emit_by_name(dialog.ok_button, "clicked");
    open_query_settings(dialog);
    g_signal_emit_by_name(dialog.cancel_button, "clicked");
    EXPECT_EQ(main.tabs.size(), 2u) << "kept once set up";

    while (add_poll_tab(main, poll_of(1, 3, 0, 1))) {
    }
    activate("new-definition");
    EXPECT_EQ(main.tabs.size(), max_poll_definitions);
    const std::string limit = "A set-up holds at most 64 poll definitions";
    EXPECT_EQ(alerts_over(GTK_WINDOW(main.window)),
              (AlertTexts{{"Cannot add a poll definition", limit, "[Close]"}}));

    std::string text = "Brenvaldor V.1.0.0\n";
    for (size_t i = 0; i <= max_poll_definitions; ++i)
        text += "POLL slave=1 fcode=3 address=0 length=1 scan_rate=1000\nLABELS 0\n";
    g_autofree char* folder = g_dir_make_tmp("tabs-XXXXXX", nullptr);
    std::string path = std::string(folder) + "/many.dat";
    ASSERT_TRUE(g_file_set_contents(path.c_str(), text.c_str(), -1, nullptr));
    EXPECT_FALSE(load_configuration_file(app().set_up_files, path.c_str()));
    g_remove(path.c_str());
    g_rmdir(folder);
    EXPECT_EQ(alerts_over(GTK_WINDOW(main.window)),
              (AlertTexts{{"Cannot load configuration file", limit + "; line 130 starts one more", "[Close]"}}));
    withdraw_refusal(GTK_WINDOW(main.window));
}

// Given a holding-register tab shown beside an input-register one, expect
// Modicon chosen in the menu to relabel the shown grid (headers, default
// labels), both titles and the statistics report, the other tab's grid when
// shown, a header and a value cell to name their protocol address, and the
// choice to be kept; a key file that cannot be written is named in an alert
// while the choice holds; back in protocol addresses, plain numbers.
TEST_F(TabView, TheAddressNotationRelabelsGridsAndTitles)
{
    PollTabs& main = app().tabs;
    store_poll_definition(poll_of(1, 3, 10, 20));
    ASSERT_TRUE(add_poll_tab(main, poll_of(2, 4, 0, 5)));
    activate("previous-definition");
    auto choose = [](const char* key) {
        g_action_group_activate_action(G_ACTION_GROUP(app().application), "address-notation",
                                       g_variant_new_string(key));
        drain_main_loop();
    };
    auto cell = [&](int column, int row) { return gtk_grid_get_child_at(main.tab->table.grid, column, row); };
    auto text_at = [&](int column, int row) {
        GtkWidget* widget = cell(column, row);
        return std::string(GTK_IS_LABEL(widget) ? gtk_label_get_text(GTK_LABEL(widget))
                                                : gtk_editable_get_text(GTK_EDITABLE(widget)));
    };

    choose("modicon");
    EXPECT_EQ((Texts{text_at(2, 0), text_at(4, 0), text_at(0, 2), text_at(1, 2)}),
              (Texts{"40011", "40021", "1", "Address 40012"}));
    EXPECT_EQ(title_of(*main.tabs[0]), "ID 1 \u00b7 03 \u00b7 40011\u201340030");
    EXPECT_EQ(title_of(*main.tabs[1]), "ID 2 \u00b7 04 \u00b7 30001\u201330005");
    EXPECT_NE(all_statistics_report(main).find("ID 2 \u00b7 04 \u00b7 30001\u201330005\n"), std::string::npos);
    EXPECT_EQ(grid_cell_tooltip(cell(2, 2)), "Protocol address 11");
    EXPECT_EQ(grid_cell_tooltip(cell(4, 0)), "Protocol address 20");
    EXPECT_EQ(load_preferences(default_preferences_path()).notation, AddressNotation::modicon);
    activate("next-definition");
    EXPECT_EQ(text_at(2, 0), "30001");
    activate("previous-definition");

    std::string kept_at = app().preferences.path;
    app().preferences.path = "/dev/null/preferences.ini";
    choose("hex");
    EXPECT_EQ(text_at(2, 0), "0x000A");
    AlertTexts alerts = alerts_over(GTK_WINDOW(main.window));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].at(1).find("/dev/null/preferences.ini"), std::string::npos);
    withdraw_refusal(GTK_WINDOW(main.window));
    app().preferences.path = kept_at;

    choose("protocol");
    g_autoptr(GVariant) state = g_action_group_get_action_state(G_ACTION_GROUP(app().application), "address-notation");
    EXPECT_STREQ(g_variant_get_string(state, nullptr), "protocol");
    EXPECT_EQ((Texts{text_at(2, 0), text_at(1, 2)}), (Texts{"10", "Address 11"}));
    EXPECT_EQ(title_of(*main.tabs[0]), "ID 1 \u00b7 03 \u00b7 10\u201329");
    EXPECT_EQ(grid_cell_tooltip(cell(2, 2)), "");
    EXPECT_EQ(load_preferences(default_preferences_path()).notation, AddressNotation::protocol);
}
