// A loaded set-up's grids are built when their tabs are first shown, while
// the link polls every definition all along.

#include <gtest/gtest.h>

#include <fstream>

#include "config/config_dialogs.hpp"
#include "support/app_link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "table/grid_input.hpp"
#include "tabs/poll_tabs.hpp"
#include "support/temp_folder.hpp"

namespace {

using namespace app_test;

class LateGrids : public AppLinkTest {
protected:
    void TearDown() override
    {
        AppLinkTest::TearDown();
        PollTabs& main = app().tabs;
        while (close_poll_tab(main, *main.tabs.back())) {
        }
    }
};

// What a page holds besides its statistics line: its tab's grid, if in the window.
bool grid_in_page(const PollTab& tab)
{
    return gtk_widget_get_first_child(tab.page) != GTK_WIDGET(tab.statistics.line);
}

bool values_waiting(const PollTab& tab)
{
    return copy_values_for(*app_reports().shown, tab.definition->key, tab.definition->poll).value_count == tab.definition->poll.length;
}

std::string cell_text(PollTabs& main, int column, int row)
{
    GtkWidget* cell = gtk_grid_get_child_at(main.tab->table.grid, column, row);
    if (!cell)
        return "<none>";
    return GTK_IS_LABEL(cell) ? gtk_label_get_text(GTK_LABEL(cell)) : gtk_editable_get_text(GTK_EDITABLE(cell));
}

bool press(PollTabs& main, guint keyval, GdkModifierType state = GdkModifierType(0))
{
    return on_grid_key(nullptr, keyval, 0, state, &main.tab->table);
}

std::string clipboard_text(PollTabs& main)
{
    std::pair<bool, std::string> read{false, ""};
    gdk_clipboard_read_text_async(
        gtk_widget_get_clipboard(GTK_WIDGET(main.window)), nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<std::pair<bool, std::string>*>(data);
            g_autofree char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
            *r = {true, text ? text : "<unreadable>"};
        },
        &read);
    EXPECT_TRUE(run_until([&] { return read.first; }, 5000));
    return read.second;
}

}  // namespace

// Given three definitions loaded while the link polls, expect only the
// shown tab's grid in the window, the others' values waiting until their
// tabs are shown, then shown live in the tab's own Format beside its labels;
// the cursor, Ctrl+C and Return on the late grid acting on its cells; a tab
// shown before keeping its grid; and a second load over built grids.
TEST_F(LateGrids, ALoadedTabShowsItsValuesLabelsAndCursorWhenFirstShown)
{
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    for (uint16_t i = 0; i < 4; ++i)
        server->set_holding(uint16_t(100 + i), uint16_t(0x1230 + i));
    TempFolder folder;
    std::string path = folder.file("plant.dat");
    std::ofstream(path) << "Brenvaldor V.1.0.0\n"
                           "POLL slave=1 fcode=3 address=0 length=5 scan_rate=20\n"
                           "POLL slave=1 fcode=3 address=100 length=4 scan_rate=20 format=HEX\n"
                           "LABELS 1\nLABEL 101 \"Flow\"\n"
                           "POLL slave=1 fcode=3 address=200 length=2 scan_rate=20\n";
    PollTabs& main = app().tabs;
    connect_with(poll_of(1, 3, 0, 5, 20), tcp_settings(server->port()));
    ASSERT_TRUE(load_configuration_file(app().set_up_files, path.c_str()));
    ASSERT_EQ(main.tabs.size(), 3u);
    PollTab& first = *main.tabs[0];
    PollTab& pump = *main.tabs[1];
    EXPECT_FALSE(grid_in_page(first)) << "built in a turn of its own";
    drain_main_loop();
    EXPECT_TRUE(grid_in_page(first));
    EXPECT_FALSE(grid_in_page(pump));
    EXPECT_FALSE(grid_in_page(*main.tabs[2]));
    ASSERT_TRUE(run_until([&] { return values_waiting(pump) && values_waiting(*main.tabs[2]); }, 5000));
    EXPECT_TRUE(pump.table.value_cells.empty()) << "no grid is built out of sight";

    show_poll_tab(main, pump);
    ASSERT_EQ(main.tab, &pump);
    EXPECT_TRUE(grid_in_page(pump));
    EXPECT_FALSE(grid_in_page(first)) << "out of the window while not shown";
    EXPECT_EQ(cell_text(main, 2, 1), "0x1230");
    EXPECT_EQ(cell_text(main, 2, 4), "0x1233");
    EXPECT_FALSE(gtk_widget_has_css_class(GTK_WIDGET(pump.table.value_cells[3]), "stale"));
    EXPECT_EQ(cell_text(main, 1, 2), "Flow");
    EXPECT_TRUE(press(main, GDK_KEY_Down));
    EXPECT_TRUE(press(main, GDK_KEY_Right));
    EXPECT_TRUE(press(main, GDK_KEY_Down));
    EXPECT_EQ(cursor_address(main.tab->table), 101u);
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(pump.table.value_cells[1]), "active"));
    EXPECT_TRUE(press(main, GDK_KEY_c, GDK_CONTROL_MASK));
    EXPECT_EQ(clipboard_text(main), "0x1231");
    EXPECT_TRUE(press(main, GDK_KEY_Return));
    WriteDialog& write = app().write;
    EXPECT_TRUE(run_until([&] { return gtk_widget_get_visible(GTK_WIDGET(write.window)); }, 2000));
    EXPECT_EQ(gtk_spin_button_get_value_as_int(write.address_spin), 101);
    gtk_widget_set_visible(GTK_WIDGET(write.window), FALSE);

    GtkGrid* first_grid = first.table.grid;
    show_poll_tab(main, first);
    EXPECT_EQ(first.table.grid, first_grid) << "built once";
    EXPECT_TRUE(grid_in_page(first));
    EXPECT_EQ(cell_text(main, 2, 1), "0");
    ASSERT_TRUE(load_configuration_file(app().set_up_files, path.c_str()));
    drain_main_loop();
    EXPECT_EQ(main.tabs.size(), 3u);
    EXPECT_TRUE(grid_in_page(*main.tabs[0]));
    EXPECT_EQ(cell_text(main, 2, 1), "0");
}
