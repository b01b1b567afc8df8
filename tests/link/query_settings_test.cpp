#include <gtest/gtest.h>

#include <memory>

#include "app/application.hpp"
#include "link/link_state.hpp"
#include "link/query_settings_dialog.hpp"
#include "link/worker.hpp"
#include "support/gtk_test_env.hpp"
#include "support/modbus_test_server.hpp"

#include "dialog_checks.hpp"

namespace {

class QuerySettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DISPLAY();
        a = &activate_app();
        reset_link_state();
        dialog = &a->query_settings;
    }

    void TearDown() override
    {
        link_state().running = false;
        request_stop();
        g_clear_object(&sentinel);
    }

    bool shown() const { return gtk_widget_get_visible(GTK_WIDGET(dialog->window)); }

    // A cell of our own in the main grid: rebuilding the grid throws it away.
    GtkWidget* plant_sentinel()
    {
        sentinel = GTK_WIDGET(g_object_ref_sink(gtk_label_new("sentinel")));
        gtk_grid_attach(a->main_window.grid, sentinel, 0, 1000, 1, 1);
        return sentinel;
    }
    bool grid_holds(GtkWidget* widget) const
    {
        return gtk_widget_get_parent(widget) == GTK_WIDGET(a->main_window.grid);
    }

    App* a = nullptr;
    QuerySettingsDialog* dialog = nullptr;
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
}

}  // namespace

TEST_F(QuerySettings, IsBuiltAsDesigned)
{
    EXPECT_EQ(gtk_window_get_title(dialog->window), nullptr);
    expect_header_bar(dialog->window, "Query Settings", dialog->cancel_button, dialog->ok_button);
    EXPECT_STREQ(gtk_button_get_label(dialog->cancel_button), "Cancel");
    EXPECT_STREQ(gtk_button_get_label(dialog->ok_button), "Ok");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(dialog->ok_button), "suggested-action"));

    GtkGrid* grid = expect_content_grid(dialog->window);
    ASSERT_NE(grid, nullptr);
    const char* captions[] = {"Modbus ID:", "Function Code:", "Address:", "Length:", "[ms] Scan Rate:"};
    GtkWidget* widgets[] = {GTK_WIDGET(dialog->slave_id_spin), GTK_WIDGET(dialog->function_code_dropdown),
                            GTK_WIDGET(dialog->address_spin), GTK_WIDGET(dialog->length_spin),
                            GTK_WIDGET(dialog->scan_rate_spin)};
    for (int row = 0; row < 5; ++row) {
        GtkWidget* caption = gtk_grid_get_child_at(grid, 0, row);
        ASSERT_TRUE(GTK_IS_LABEL(caption));
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(caption)), captions[row]);
        EXPECT_EQ(gtk_widget_get_halign(caption), GTK_ALIGN_END);
        EXPECT_EQ(gtk_grid_get_child_at(grid, 1, row), widgets[row]);
    }
    expect_spin(dialog->slave_id_spin, 1, 255, 1, 10);
    expect_spin(dialog->address_spin, 0, 65535, 1, 10);
    expect_spin(dialog->length_spin, 1, 240, 1, 5);
    expect_spin(dialog->scan_rate_spin, 1, 10000, 10, 100);
    EXPECT_EQ(gtk_spin_button_get_climb_rate(dialog->slave_id_spin), 0);
    for (GtkSpinButton* spin : {dialog->address_spin, dialog->length_spin, dialog->scan_rate_spin})
        EXPECT_EQ(gtk_spin_button_get_climb_rate(spin), 2);
    // The values when built, before any opening overwrites them.
    EXPECT_EQ(gtk_spin_button_get_value(dialog->slave_id_spin), 1);
    EXPECT_EQ(gtk_drop_down_get_selected(dialog->function_code_dropdown), 2u);
    EXPECT_EQ(gtk_spin_button_get_value(dialog->address_spin), 0);
    EXPECT_EQ(gtk_spin_button_get_value(dialog->length_spin), 10);
    EXPECT_EQ(gtk_spin_button_get_value(dialog->scan_rate_spin), 1000);
    EXPECT_TRUE(gtk_widget_get_hexpand(GTK_WIDGET(dialog->function_code_dropdown)));
    GListModel* functions = gtk_drop_down_get_model(dialog->function_code_dropdown);
    ASSERT_EQ(g_list_model_get_n_items(functions), 4u);
    EXPECT_STREQ(gtk_string_list_get_string(GTK_STRING_LIST(functions), 3), "04 Read Input Registers");
    EXPECT_FALSE(shown());
}

// Given a loaded definition outside the dialog's ranges, expect the nearest
// ends shown, and Ok to store exactly what was shown.
TEST_F(QuerySettings, OpenClampsToTheRangesAndOkStoresWhatIsShown)
{
    store_poll_definition({.slave = 7, .fcode = 1, .address = 65535, .length = 250, .scan_rate = 0});
    open_query_settings(*dialog);
    drain_main_loop();
    EXPECT_TRUE(shown());
    EXPECT_TRUE(gtk_window_get_modal(dialog->window));
    EXPECT_EQ(gtk_window_get_transient_for(dialog->window), GTK_WINDOW(a->main_window.window));
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog->slave_id_spin), 7);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog->address_spin), 65535);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog->length_spin), 240);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog->scan_rate_spin), 1);
    EXPECT_EQ(gtk_drop_down_get_selected(dialog->function_code_dropdown), 0u);

    plant_sentinel();
    press(dialog->ok_button);
    PollDefinition expected{.slave = 7, .fcode = 1, .address = 65535, .length = 240, .scan_rate = 1};
    EXPECT_EQ(copy_poll_definition(), expected);
    EXPECT_FALSE(grid_holds(sentinel)) << "the grid was not laid out again";
    EXPECT_FALSE(shown());
}

TEST_F(QuerySettings, OkStoresEveryFieldAndMapsTheFunctionEntry)
{
    open_query_settings(*dialog);
    gtk_spin_button_set_value(dialog->slave_id_spin, 255);
    gtk_drop_down_set_selected(dialog->function_code_dropdown, 3);
    gtk_spin_button_set_value(dialog->address_spin, 4660);
    gtk_spin_button_set_value(dialog->length_spin, 1);
    // Typed and never committed with Enter: what is shown is what Ok stores.
    gtk_editable_set_text(GTK_EDITABLE(dialog->scan_rate_spin), "9990");
    press(dialog->ok_button);
    PollDefinition expected{.slave = 255, .fcode = 4, .address = 4660, .length = 1, .scan_rate = 9990};
    EXPECT_EQ(copy_poll_definition(), expected);
}

TEST_F(QuerySettings, CancelAndCloseKeepTheDefinitionAndForgetTheEdits)
{
    PollDefinition stored{.slave = 3, .fcode = 2, .address = 100, .length = 12, .scan_rate = 250};
    store_poll_definition(stored);
    plant_sentinel();

    for (bool by_close : {false, true}) {
        SCOPED_TRACE(by_close ? "window closed" : "Cancel");
        open_query_settings(*dialog);
        drain_main_loop();
        gtk_spin_button_set_value(dialog->slave_id_spin, 99);
        gtk_drop_down_set_selected(dialog->function_code_dropdown, 3);
        gtk_spin_button_set_value(dialog->address_spin, 5);
        gtk_spin_button_set_value(dialog->scan_rate_spin, 9000);
        // Typed but never committed with Enter.
        gtk_editable_set_text(GTK_EDITABLE(dialog->length_spin), "77");
        if (by_close)
            gtk_window_close(dialog->window);
        else
            press(dialog->cancel_button);
        drain_main_loop();
        EXPECT_FALSE(shown());
        EXPECT_EQ(copy_poll_definition(), stored);
        EXPECT_TRUE(grid_holds(sentinel));

        open_query_settings(*dialog);
        drain_main_loop();
        EXPECT_TRUE(shown());
        EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog->slave_id_spin), 3);
        EXPECT_EQ(gtk_drop_down_get_selected(dialog->function_code_dropdown), 1u);
        EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog->address_spin), 100);
        EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(dialog->length_spin)), "12");
        EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog->scan_rate_spin), 250);
        press(dialog->cancel_button);
    }
}

TEST_F(QuerySettings, EnterAppliesInIdAddressAndLength)
{
    GtkSpinButton* spins[] = {dialog->slave_id_spin, dialog->address_spin, dialog->length_spin};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        store_poll_definition(PollDefinition{});
        open_query_settings(*dialog);
        drain_main_loop();
        type_and_enter(spins[i], "42");
        drain_main_loop();
        EXPECT_FALSE(shown());
        PollDefinition poll = copy_poll_definition();
        EXPECT_EQ(i == 0 ? poll.slave : i == 1 ? poll.address : poll.length, 42);
    }
}

TEST_F(QuerySettings, EnterInScanRateOnlyTakesTheNumber)
{
    open_query_settings(*dialog);
    drain_main_loop();
    type_and_enter(dialog->scan_rate_spin, "500");
    drain_main_loop();
    EXPECT_TRUE(shown());
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog->scan_rate_spin), 500);
    EXPECT_EQ(copy_poll_definition().scan_rate, 1000u);
    press(dialog->cancel_button);
}

// Given a worker waiting out a 10 s scan interval, expect Ok to make the
// very next poll read the new block instead of waiting for the interval.
TEST_F(QuerySettings, OkWhileConnectedPollsTheNewLengthAtOnce)
{
    std::unique_ptr<ModbusTestServer> server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    store_poll_definition({.slave = 1, .fcode = 3, .address = 0, .length = 20, .scan_rate = 10000});
    store_connection_settings({.device = "127.0.0.1", .baud_or_port = uint32_t(server->port()), .use_tcp = true});
    link_state().running = true;
    ASSERT_TRUE(start_worker());
    ASSERT_TRUE(run_until([] { return link_state().value_count.load() == 20; }, 5000));
    run_for(200);  // the worker is now inside its long wait
    size_t polls_before = server->request_count();

    open_query_settings(*dialog);
    drain_main_loop();
    gtk_spin_button_set_value(dialog->length_spin, 7);
    gint64 start = g_get_monotonic_time();
    press(dialog->ok_button);
    ASSERT_TRUE(run_until([] { return link_state().value_count.load() == 7; }, 4000))
        << "the new length was not polled before the scan interval ran out";
    EXPECT_LT(g_get_monotonic_time() - start, 4000 * 1000);
    EXPECT_EQ(server->request_count(), polls_before + 1);
    link_state().running = false;
    signal_wake();
}
