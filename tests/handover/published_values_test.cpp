// What the grid draws from the worker's values: only values read for the
// block it shows, and every cell without a good reply of the newest cycle
// marked as such.

#include <gtest/gtest.h>

#include "app/main_window.hpp"
#include "connection/connect.hpp"
#include "write/write_dialog.hpp"
#include "support/app_link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "table/register_grid.hpp"

namespace {

using namespace app_test;
using Texts = std::vector<std::string>;

PollTabs& main_window()
{
    return app().tabs;
}

Texts cell_texts(size_t count)
{
    Texts texts;
    for (size_t i = 0; i < count && i < main_window().tab->table.value_cells.size(); ++i)
        texts.emplace_back(gtk_label_get_text(main_window().tab->table.value_cells[i]));
    return texts;
}

// How many of the first count cells carry the style of a stale value.
size_t stale_cells(size_t count)
{
    size_t stale = 0;
    for (size_t i = 0; i < count && i < main_window().tab->table.value_cells.size(); ++i)
        stale += gtk_widget_has_css_class(GTK_WIDGET(main_window().tab->table.value_cells[i]), "stale");
    return stale;
}

// What Ok in Query Settings and a configuration load do.
void define(const PollDefinition& poll)
{
    store_poll_definition(poll);
    build_grid(main_window().tab->table);
    signal_wake();
}

class PublishedValuesTest : public AppLinkTest {
protected:
    void SetUp() override
    {
        AppLinkTest::SetUp();
        server = ModbusTestServer::start_tcp();
        ASSERT_TRUE(server);
        for (uint16_t i = 0; i < 3; ++i) {
            server->set_holding(i, uint16_t(11 + i));
            server->set_holding(uint16_t(200 + i), uint16_t(21 + i));
        }
    }

    std::unique_ptr<ModbusTestServer> server;
};

// Given Ok in Query Settings while a slow read of the old block is under
// way, expect its values never drawn into the new cells.
TEST_F(PublishedValuesTest, ReadInFlightNeverLandsInANewBlock)
{
    server->set_reply_delay(std::chrono::milliseconds(600));
    define(poll_of(1, 3, 0, 3, 300));
    connect_with(poll_of(1, 3, 0, 3, 300), tcp_settings(server->port()));
    ASSERT_TRUE(run_until([&] { return server->request_count() == 1; }, 3000));
    define(poll_of(1, 3, 200, 3, 300));
    bool old_values_drawn = false;
    ASSERT_TRUE(run_until(
        [&] {
            old_values_drawn |= cell_texts(1) == Texts{"11"};
            return cell_texts(3) == (Texts{"21", "22", "23"});
        },
        4000));
    EXPECT_FALSE(old_values_drawn);
    EXPECT_EQ(stale_cells(3), 0u);
}

// Given a new definition while disconnected, expect a format change, the
// label toggle and the Write dialog never to use the old block's values.
TEST_F(PublishedValuesTest, NewDefinitionEmptiesTheValuesUntilItsFirstRead)
{
    define(poll_of(1, 3, 0, 3));
    run_cycle(poll_of(1, 3, 0, 3), tcp_settings(server->port()));
    EXPECT_EQ(cell_texts(3), (Texts{"11", "12", "13"}));

    define(poll_of(1, 1, 0, 3));
    gtk_drop_down_set_selected(main_window().format_selector, 2);  // HEX
    EXPECT_EQ(cell_texts(3), (Texts{"", "", ""}));
    toggle_label_column(main_window().tab->table);
    EXPECT_EQ(cell_texts(3), (Texts{"", "", ""}));
    open_write_dialog(app().write, 1, 7);
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(app().write.value_entry)), "0x0007");
    gtk_widget_set_visible(GTK_WIDGET(app().write.window), FALSE);
}

// Given a good read, then failures of each kind, expect only the cells of a
// good reply of the newest cycle without the stale style; texts as before.
TEST_F(PublishedValuesTest, CellsWithoutAGoodReplyOfTheNewestCycleLookStale)
{
    PollDefinition poll = poll_of(1, 3, 0, 3);
    define(poll);
    int closed_port = ModbusTestServer::start_tcp()->port();
    struct Row {
        const char* what;
        ModbusTestServer::Behaviour behaviour;
        int port;
        Texts texts;
        size_t stale;
    } rows[] = {
        {"good read", ModbusTestServer::Behaviour::answer, server->port(), {"11", "12", "13"}, 0},
        {"exception", ModbusTestServer::Behaviour::exception, server->port(), {"0", "0", "0"}, 3},
        {"good again", ModbusTestServer::Behaviour::answer, server->port(), {"11", "12", "13"}, 0},
        {"failed connect", ModbusTestServer::Behaviour::answer, closed_port, {"11", "12", "13"}, 3},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        server->set_behaviour(row.behaviour);
        run_cycle(poll, tcp_settings(row.port));
        EXPECT_EQ(cell_texts(3), row.texts);
        EXPECT_EQ(stale_cells(3), row.stale);
    }

    // After a Disconnect nothing is live, whatever the last read was.
    run_cycle(poll, tcp_settings(server->port()));
    app_link().running.store(true);
    disconnect_link();
    drain_main_loop();
    EXPECT_EQ(cell_texts(3), (Texts{"11", "12", "13"}));
    EXPECT_EQ(stale_cells(3), 3u);
}

}  // namespace
