#include "grid_fixture.hpp"

#include "link/worker.hpp"
#include "support/modbus_test_server.hpp"

// given a real server and a Connect, expect its registers in the grid after
// the first poll cycle, at the cells of the worked layout
TEST(GridEndToEnd, ShowsTheServersRegistersAfterTheFirstCycle)
{
    REQUIRE_DISPLAY();
    std::unique_ptr<ModbusTestServer> server = ModbusTestServer::start_tcp();
    ASSERT_NE(server, nullptr);
    for (uint16_t i = 0; i < 20; ++i)
        server->set_holding(uint16_t(13 + i), uint16_t(1000 + i));
    server->set_holding(20, 65535);

    PollTabs& main = grid_for(13, 20);
    PollDefinition poll = copy_poll_definition();
    poll.slave = 1;
    poll.scan_rate = 100;
    store_poll_definition(poll);
    store_connection_settings({.device = "127.0.0.1", .baud_or_port = uint32_t(server->port()), .use_tcp = true});
    gtk_drop_down_set_selected(main.format_selector, 1);  // INT

    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
    bool shown = run_until([&] { return text_at(main, 6, 3) == "1019"; }, 8000);
    app_link().running.store(false);
    signal_wake();
    run_until([] { return active_workers() == 0; }, 5000);

    EXPECT_TRUE(shown) << "no poll result reached the grid";
    EXPECT_EQ(text_at(main, 2, 4), "1000");  // address 13
    EXPECT_EQ(text_at(main, 4, 1), "-1");    // address 20 holds 65535
    EXPECT_EQ(text_at(main, 2, 3), "");      // address 12 is a spare cell
    server->stop();
}
