#include "query/query_settings_dialog.hpp"

#include <gtest/gtest.h>

#include <memory>

#include "support/dialog_checks.hpp"
#include "support/app_link_fixture.hpp"
#include "support/modbus_test_server.hpp"

namespace {

using namespace app_test;

class QuerySettings : public AppLinkTest {
protected:
    void TearDown() override
    {
        AppLinkTest::TearDown();
        g_clear_object(&sentinel);
    }

    bool shown() const { return gtk_widget_get_visible(GTK_WIDGET(dialog.window)); }

    void open()
    {
        open_query_settings(dialog);
        drain_main_loop();
    }

    // A cell of our own in the main grid: rebuilding the grid throws it away.
    void plant_sentinel()
    {
        sentinel = GTK_WIDGET(g_object_ref_sink(gtk_label_new("sentinel")));
        gtk_grid_attach(app().tabs.tab->table.grid, sentinel, 0, 1000, 1, 1);
    }
    bool grid_holds_sentinel() const { return gtk_widget_get_parent(sentinel) == GTK_WIDGET(app().tabs.tab->table.grid); }

    QuerySettingsDialog& dialog = app().query_settings;
    GtkWidget* sentinel = nullptr;  // our own reference
};

void press(GtkButton* button)
{
    g_signal_emit_by_name(button, "clicked");
}

// Types into the spin button's text and presses Enter there.
void type_and_enter(GtkSpinButton* spin, const char* text)
{
    gtk_editable_set_text(GTK_EDITABLE(spin), text);
    g_signal_emit_by_name(gtk_editable_get_delegate(GTK_EDITABLE(spin)), "activate");
    drain_main_loop();
}

TEST_F(QuerySettings, IsBuiltAsDesigned)
{
    expect_layout(dialog.window, "Query Settings", dialog.cancel_button, dialog.ok_button,
                  {{"Connection:", GTK_WIDGET(dialog.connection_dropdown)},
                   {"Modbus ID:", GTK_WIDGET(dialog.slave_id_spin)},
                   {"Function Code:", GTK_WIDGET(dialog.function_code_dropdown)},
                   {"Address:", GTK_WIDGET(dialog.address_spin)},
                   {"Length:", GTK_WIDGET(dialog.length_spin)},
                   {"[ms] Scan Rate:", GTK_WIDGET(dialog.scan_rate_spin)}});
    EXPECT_STREQ(gtk_button_get_label(dialog.cancel_button), "Cancel");
    EXPECT_STREQ(gtk_button_get_label(dialog.ok_button), "Ok");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(dialog.ok_button), "suggested-action"));
    expect_spin(dialog.slave_id_spin, 1, 255, 1, 10);
    expect_spin(dialog.address_spin, 0, 65535, 1, 10);
    expect_spin(dialog.length_spin, 1, 240, 1, 5);
    expect_spin(dialog.scan_rate_spin, 0, 10000, 10, 100);
    EXPECT_EQ(gtk_spin_button_get_climb_rate(dialog.slave_id_spin), 0);
    for (GtkSpinButton* spin : {dialog.address_spin, dialog.length_spin, dialog.scan_rate_spin})
        EXPECT_EQ(gtk_spin_button_get_climb_rate(spin), 2);
    GListModel* functions = gtk_drop_down_get_model(dialog.function_code_dropdown);
    ASSERT_EQ(g_list_model_get_n_items(functions), 4u);
    EXPECT_STREQ(gtk_string_list_get_string(GTK_STRING_LIST(functions), 3), "04 Read Input Registers");
    EXPECT_FALSE(shown());
}

// Given a loaded definition outside the dialog's ranges, expect the nearest
// ends shown, and Ok to store exactly what is shown; a scan rate of 0 (as
// fast as the device answers) is in the range, and kept.
TEST_F(QuerySettings, OpenClampsToTheRangesAndOkStoresWhatIsShown)
{
    store_poll_definition({.slave = 7, .fcode = 1, .address = 65535, .length = 250, .scan_rate = 0});
    open();
    EXPECT_TRUE(shown());
    EXPECT_TRUE(gtk_window_get_modal(dialog.window));
    EXPECT_EQ(gtk_window_get_transient_for(dialog.window), GTK_WINDOW(app().main_window.window));
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.slave_id_spin), 7);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.address_spin), 65535);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.length_spin), 240);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.scan_rate_spin), 0);
    EXPECT_EQ(gtk_drop_down_get_selected(dialog.function_code_dropdown), 0u);

    // The function entry maps to its code; a text typed and never committed
    // with Enter is what Ok stores.
    gtk_drop_down_set_selected(dialog.function_code_dropdown, 3);
    gtk_editable_set_text(GTK_EDITABLE(dialog.length_spin), "200");
    plant_sentinel();
    press(dialog.ok_button);
    PollDefinition expected{.slave = 7, .fcode = 4, .address = 65535, .length = 200, .scan_rate = 0};
    EXPECT_EQ(copy_poll_definition(), expected);
    EXPECT_FALSE(grid_holds_sentinel()) << "the grid was not laid out again";
    EXPECT_FALSE(shown());
}

TEST_F(QuerySettings, CancelAndCloseKeepTheDefinitionAndForgetTheEdits)
{
    PollDefinition stored{.slave = 3, .fcode = 2, .address = 100, .length = 12, .scan_rate = 250};
    store_poll_definition(stored);
    plant_sentinel();
    for (bool by_close : {false, true}) {
        SCOPED_TRACE(by_close ? "window closed" : "Cancel");
        open();
        gtk_spin_button_set_value(dialog.slave_id_spin, 99);
        gtk_drop_down_set_selected(dialog.function_code_dropdown, 3);
        gtk_spin_button_set_value(dialog.address_spin, 5);
        gtk_spin_button_set_value(dialog.scan_rate_spin, 9000);
        gtk_editable_set_text(GTK_EDITABLE(dialog.length_spin), "77");  // never committed
        if (by_close)
            gtk_window_close(dialog.window);
        else
            press(dialog.cancel_button);
        drain_main_loop();
        EXPECT_FALSE(shown());
        EXPECT_EQ(copy_poll_definition(), stored);
        EXPECT_TRUE(grid_holds_sentinel());

        open();
        EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.slave_id_spin), 3);
        EXPECT_EQ(gtk_drop_down_get_selected(dialog.function_code_dropdown), 1u);
        EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.address_spin), 100);
        EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(dialog.length_spin)), "12");
        EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.scan_rate_spin), 250);
        press(dialog.cancel_button);
    }
}

// Enter applies in Modbus ID, Address and Length; in Scan Rate it only
// takes the number.
TEST_F(QuerySettings, EnterAppliesExceptInScanRate)
{
    GtkSpinButton* spins[] = {dialog.slave_id_spin, dialog.address_spin, dialog.length_spin, dialog.scan_rate_spin};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        store_poll_definition(PollDefinition{});
        open();
        type_and_enter(spins[i], "42");
        EXPECT_EQ(shown(), i == 3);
        EXPECT_EQ(gtk_spin_button_get_value_as_int(spins[i]), 42);
        PollDefinition poll = copy_poll_definition();
        unsigned stored[] = {poll.slave, poll.address, poll.length, poll.scan_rate};
        EXPECT_EQ(stored[i], i == 3 ? 1000u : 42u);
        if (shown())
            press(dialog.cancel_button);
    }
}

// Given a worker waiting out a 10 s scan interval, expect Ok to make the
// very next poll read the new block instead of waiting for the interval.
TEST_F(QuerySettings, OkWhileConnectedPollsTheNewLengthAtOnce)
{
    std::unique_ptr<ModbusTestServer> server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    connect_with(poll_of(1, 3, 0, 20, 10000), tcp_settings(server->port()));
    ASSERT_TRUE(run_until([] { return published_values().value_count == 20; }, 5000));
    run_for(200);  // the worker is now inside its long wait
    size_t polls_before = server->request_count();

    open();
    gtk_spin_button_set_value(dialog.length_spin, 7);
    press(dialog.ok_button);
    ASSERT_TRUE(run_until([] { return published_values().value_count == 7; }, 4000))
        << "the new length was not polled before the scan interval ran out";
    EXPECT_EQ(server->request_count(), polls_before + 1);
}

// Given Modicon addresses, expect the dialog to open on the block's first in
// its function's table and take "40011" as protocol address 10; an input
// register's number is refused with its reason, the dialog open and the
// definition unchanged, and taken once the function reads input registers;
// "0x" is a protocol address in every notation.
TEST_F(QuerySettings, TakesTheAddressInTheUsersNotation)
{
    set_address_notation(app().preferences, AddressNotation::modicon);
    store_poll_definition({.slave = 1, .fcode = 3, .address = 4, .length = 10, .scan_rate = 1000});
    auto address_text = [&] { return std::string(gtk_editable_get_text(GTK_EDITABLE(dialog.address_spin))); };
    open();
    EXPECT_EQ(address_text(), "40005");
    type_and_enter(dialog.address_spin, "40011");
    EXPECT_FALSE(shown());
    EXPECT_EQ(copy_poll_definition().address, 10);

    open();
    EXPECT_EQ(address_text(), "40011");
    type_and_enter(dialog.address_spin, "30021");
    EXPECT_TRUE(shown());
    EXPECT_EQ(address_text(), "30021") << "the text refused stays as typed";
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(dialog.message_label)));
    EXPECT_EQ(gtk_label_get_text(dialog.message_label),
              parse_address(AddressNotation::modicon, ModbusTable::holding_registers, "30021").refusal);
    EXPECT_EQ(copy_poll_definition().address, 10);
    gtk_drop_down_set_selected(dialog.function_code_dropdown, 3);
    press(dialog.ok_button);
    EXPECT_EQ(copy_poll_definition(), (PollDefinition{.slave = 1, .fcode = 4, .address = 20, .length = 10, .scan_rate = 1000}));

    open();
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(dialog.message_label)));
    EXPECT_EQ(address_text(), "30021");
    type_and_enter(dialog.address_spin, "0x000A");
    EXPECT_EQ(copy_poll_definition().address, 10);
}

}  // namespace
