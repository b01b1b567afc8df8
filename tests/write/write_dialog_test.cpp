#include "write/write_dialog.hpp"

#include <gtest/gtest.h>
#include <modbus.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/widget_tree.hpp"
#include "support/dialog_checks.hpp"
#include "handover/ui_post.hpp"
#include "support/app_link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "table/grid_input.hpp"
#include "values/value_format.hpp"

// Tests of the Write window and of its alert's state machine. Where the
// worker's part matters, the test does exactly what the worker does: take
// the write, publish its result, post report_write with the dialog.

namespace {

using namespace app_test;
using Texts = std::vector<std::string>;

void collect(GtkWidget* widget, Texts& labels, std::vector<GtkButton*>& buttons)
{
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child; child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_BUTTON(child))
            buttons.push_back(GTK_BUTTON(child));
        else if (GTK_IS_LABEL(child))
            labels.emplace_back(gtk_label_get_text(GTK_LABEL(child)));
        else
            collect(child, labels, buttons);
    }
}

const Texts pending{"Pending", "Write operation in progress", "[Cancel]"};
const Texts success{"Success ✅", "Write operation completed", "[Close]"};
const Texts not_connected{"Error ❌", "Not connected", "[Close]"};

Texts error_alert(int error)
{
    return {"Error ❌", modbus_strerror(error), "[Close]"};
}

class WriteDialogTest : public AppLinkTest {
protected:
    GtkWindow* alert_window() const { return alert_dialog_get_window(dialog.alert); }

    // The alert's message and detail, then its buttons as "[label]".
    Texts alert_texts(std::vector<GtkButton*>* buttons_out = nullptr) const
    {
        Texts labels;
        std::vector<GtkButton*> buttons;
        if (GtkWindow* window = alert_window())
            collect(GTK_WIDGET(window), labels, buttons);
        for (GtkButton* button : buttons)
            labels.push_back(std::string("[") + gtk_button_get_label(button) + "]");
        if (buttons_out)
            *buttons_out = buttons;
        return labels;
    }

    bool alert_comes(const Texts& expected, int timeout_ms = 2000) const
    {
        return run_until([&] { return alert_texts() == expected; }, timeout_ms);
    }

    void press_alert_button(const char* label)
    {
        std::vector<GtkButton*> buttons;
        alert_texts(&buttons);
        for (GtkButton* button : buttons)
            if (std::string(gtk_button_get_label(button)) == label) {
                g_signal_emit_by_name(button, "clicked");
                return drain_main_loop();
            }
        FAIL() << "no button " << label;
    }

    void type_value(const char* text) { gtk_editable_set_text(GTK_EDITABLE(dialog.value_entry), text); }
    const char* value_text() const { return gtk_editable_get_text(GTK_EDITABLE(dialog.value_entry)); }
    void choose_format(ValueFormat format)
    {
        gtk_drop_down_set_selected(app().tabs.format_selector, static_cast<guint>(format));
    }
    void press_send() { g_signal_emit_by_name(dialog.send_button, "clicked"); }

    // The worker's side: taking the newest write, and finishing it.
    void worker_takes()
    {
        CallGuard guard;
        take_waiting_write(app_link(), guard);
        post_to_ui(report_write, &dialog);
    }
    void worker_finishes(int error_code)
    {
        CallGuard guard;
        take_waiting_write(app_link(), guard);
        publish_write_result(app_link(), WriteResult{copy_write_request().sequence, error_code != 0, error_code});
        post_to_ui(report_write, &dialog);
    }

    WriteDialog& dialog = app().write;
};

TEST_F(WriteDialogTest, IsBuiltAsDesigned)
{
    expect_layout(dialog.window, "Write Settings", dialog.close_button, dialog.send_button,
                  {{"Modbus ID:", GTK_WIDGET(dialog.slave_spin)},
                   {"Function Code:", GTK_WIDGET(dialog.fcode_dropdown)},
                   {"Address:", GTK_WIDGET(dialog.address_spin)},
                   {"Value:", GTK_WIDGET(dialog.value_entry)}});
    EXPECT_STREQ(gtk_button_get_label(dialog.close_button), "_Close");
    EXPECT_STREQ(gtk_button_get_label(dialog.send_button), "_Send");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(dialog.send_button), "suggested-action"));
    EXPECT_EQ(gtk_window_get_default_widget(dialog.window), GTK_WIDGET(dialog.send_button));
    // The message spans both columns of rows 4 and 5; the length row follows.
    GtkGrid* grid = GTK_GRID(gtk_window_get_child(dialog.window));
    EXPECT_EQ(gtk_grid_get_child_at(grid, 0, 4), GTK_WIDGET(dialog.message_label));
    EXPECT_EQ(gtk_grid_get_child_at(grid, 1, 5), GTK_WIDGET(dialog.message_label));
    EXPECT_EQ(gtk_grid_get_child_at(grid, 0, 6), GTK_WIDGET(dialog.length_label));
    EXPECT_EQ(gtk_grid_get_child_at(grid, 1, 6), GTK_WIDGET(dialog.length_spin));
    EXPECT_STREQ(gtk_label_get_text(dialog.length_label), "Length:");
    expect_spin(dialog.slave_spin, 1, 255, 1, 10);
    expect_spin(dialog.address_spin, 0, 65535, 1, 10);
    expect_spin(dialog.length_spin, 1, 240, 1, 10);
    GListModel* functions = gtk_drop_down_get_model(dialog.fcode_dropdown);
    ASSERT_EQ(g_list_model_get_n_items(functions), 4u);
    EXPECT_STREQ(gtk_string_list_get_string(GTK_STRING_LIST(functions), 2), "0F Write Multiple Coils");
    EXPECT_EQ(gtk_drop_down_get_selected(dialog.fcode_dropdown), 1u);
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(dialog.length_spin)));
}

TEST_F(WriteDialogTest, LengthRowShowsOnlyForMultipleWrites)
{
    for (guint entry : {2u, 0u, 3u, 1u}) {
        SCOPED_TRACE(entry);
        gtk_spin_button_set_value(dialog.length_spin, 9);
        gtk_drop_down_set_selected(dialog.fcode_dropdown, entry);
        bool multiple = entry >= 2;
        EXPECT_EQ(gtk_widget_get_visible(GTK_WIDGET(dialog.length_spin)), multiple);
        EXPECT_EQ(gtk_widget_get_visible(GTK_WIDGET(dialog.length_label)), multiple);
        EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.length_spin), multiple ? 9 : 1);
    }
}

TEST_F(WriteDialogTest, FormatChangeRendersTheLastValidValueAgain)
{
    type_value("65535");
    choose_format(ValueFormat::HEX);
    EXPECT_STREQ(value_text(), "0xFFFF");
    choose_format(ValueFormat::INT);
    EXPECT_STREQ(value_text(), "-1");
    type_value("12a");  // invalid: not remembered
    choose_format(ValueFormat::BINARY);
    EXPECT_STREQ(value_text(), "0b1111111111111111");
    type_value("0b1_0");
    choose_format(ValueFormat::UINT);
    EXPECT_STREQ(value_text(), "2");
}

// The dialog keeps the registers of the last valid value: a change of
// format or order reads the same registers another way, as the grid does.
TEST_F(WriteDialogTest, WideFormatsReadTheRememberedRegistersAgain)
{
    choose_format(ValueFormat::FLOAT32);
    type_value("3.1415927");
    gtk_drop_down_set_selected(app().tabs.order_selector, 1);
    EXPECT_STREQ(value_text(), "2.1619829e-29");  // 4049 0FDB read as CD AB
    gtk_drop_down_set_selected(app().tabs.order_selector, 0);
    EXPECT_STREQ(value_text(), "3.1415927");
    choose_format(ValueFormat::UINT32);
    EXPECT_STREQ(value_text(), "1078530011");
    choose_format(ValueFormat::HEX);
    EXPECT_STREQ(value_text(), "0x4049");

    // Opened from the grid: the registers from the address on, or the
    // fallback number when they are not all polled.
    store_poll_definition(poll_of(1, 3, 100, 4));
    LinkState& s = app_link();
    const uint16_t polled[] = {0x4049, 0x0FDB, 0xFFFF, 0xFFFE};
    publish_values(poll_of(1, 3, 100, 4), polled, 4, true);
    choose_format(ValueFormat::FLOAT32);
    open_write_dialog(dialog, 100, 7);
    EXPECT_STREQ(value_text(), "3.1415927");
    choose_format(ValueFormat::INT32);
    open_write_dialog(dialog, 102, 7);
    EXPECT_STREQ(value_text(), "-2");
    open_write_dialog(dialog, 103, 7);
    EXPECT_STREQ(value_text(), "7");
    // A NaN keeps its sign and payload, which its text does not show.
    const uint16_t nan[] = {0xFFC0, 0x0001, 0xFFFF, 0xFFFE};
    publish_values(poll_of(1, 3, 100, 4), nan, 4, true);
    choose_format(ValueFormat::FLOAT32);
    open_write_dialog(dialog, 100, 7);
    EXPECT_STREQ(value_text(), "NaN");
    choose_format(ValueFormat::UINT32);
    EXPECT_STREQ(value_text(), "4290772993");

    // A coil takes the value as UINT and the entry keeps the text typed.
    s.running = true;
    gtk_drop_down_set_selected(dialog.fcode_dropdown, 0);
    type_value("1");
    press_send();
    EXPECT_STREQ(gtk_label_get_text(dialog.message_label), "");
    EXPECT_STREQ(value_text(), "1");
    EXPECT_EQ(copy_write_request().value, 1);
    EXPECT_EQ(copy_write_request().width, 1);
    ASSERT_TRUE(alert_comes(pending));
    press_alert_button("Cancel");
}

TEST_F(WriteDialogTest, OpenFillsFromTheDefinitionAndThePolledValues)
{
    store_poll_definition(poll_of(9, 3, 100, 5));
    LinkState& s = app_link();
    const uint16_t values[] = {1000, 1001, 1002, 1003, 1004};
    publish_values(poll_of(9, 3, 100, 5), values, 5, true);
    auto set_last_write = [&](uint8_t fcode, uint16_t count) {
        std::lock_guard lock(s.write_lock);
        s.write.fcode = fcode;
        s.write.count = count;
    };
    set_last_write(16, 4);
    gtk_label_set_text(dialog.message_label, "stale");
    gtk_widget_add_css_class(GTK_WIDGET(dialog.message_label), "error");

    open_write_dialog(dialog, 104, 7);
    drain_main_loop();
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(dialog.window)));
    EXPECT_TRUE(gtk_window_get_modal(dialog.window));
    EXPECT_EQ(gtk_window_get_transient_for(dialog.window), GTK_WINDOW(app().main_window.window));
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.slave_spin), 9);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.address_spin), 104);
    EXPECT_EQ(gtk_drop_down_get_selected(dialog.fcode_dropdown), 3u);
    EXPECT_STREQ(value_text(), "1004");
    EXPECT_EQ(gtk_spin_button_get_value_as_int(dialog.length_spin), 4);
    EXPECT_STREQ(gtk_label_get_text(dialog.message_label), "");
    EXPECT_FALSE(gtk_widget_has_css_class(GTK_WIDGET(dialog.message_label), "error"));

    // Outside the polled block on either side: the fallback value.
    set_last_write(5, 4);
    open_write_dialog(dialog, 105, 7);
    EXPECT_STREQ(value_text(), "7");
    EXPECT_EQ(gtk_drop_down_get_selected(dialog.fcode_dropdown), 0u);
    open_write_dialog(dialog, 99, 8);
    EXPECT_STREQ(value_text(), "8");
    g_signal_emit_by_name(dialog.close_button, "clicked");
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(dialog.window)));
}

TEST_F(WriteDialogTest, InvalidValueIsRefusedWithAMessage)
{
    app_link().running = true;
    // The message says what the format takes.
    choose_format(ValueFormat::INT);
    type_value("-32769");
    press_send();
    EXPECT_STREQ(gtk_label_get_text(dialog.message_label),
                 "Ungültiger Wert für das ausgewählte Format (INT: -32768 to 32767)");
    choose_format(ValueFormat::HEX);
    type_value("0x");
    press_send();
    drain_main_loop();
    EXPECT_STREQ(gtk_label_get_text(dialog.message_label),
                 "Ungültiger Wert für das ausgewählte Format (HEX: 0 to FFFF, with or without 0x)");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(dialog.message_label), "error"));
    EXPECT_FALSE(write_waiting());
    EXPECT_EQ(alert_window(), nullptr);

    // A valid value (Enter sends too) clears the message and is shown in the
    // format's notation.
    type_value(" 0x00ff ");
    g_signal_emit_by_name(dialog.value_entry, "activate");
    EXPECT_STREQ(gtk_label_get_text(dialog.message_label), "");
    EXPECT_FALSE(gtk_widget_has_css_class(GTK_WIDGET(dialog.message_label), "error"));
    EXPECT_STREQ(value_text(), "0x00FF");
    EXPECT_TRUE(write_waiting());
    EXPECT_EQ(copy_write_request().value, 255);
    ASSERT_TRUE(alert_comes(pending));
    press_alert_button("Cancel");
}

TEST_F(WriteDialogTest, SendFillsTheRequestAndShowsPendingThenSuccess)
{
    LinkState& s = app_link();
    s.running = true;
    gtk_spin_button_set_value(dialog.slave_spin, 17);
    gtk_spin_button_set_value(dialog.address_spin, 300);
    gtk_drop_down_set_selected(dialog.fcode_dropdown, 2);
    gtk_spin_button_set_value(dialog.length_spin, 12);
    type_value("1");
    press_send();
    EXPECT_TRUE(write_waiting());
    WriteRequest w = copy_write_request();
    std::vector<int> request{w.slave, w.fcode, w.address, w.value, w.count};
    EXPECT_EQ(request, (std::vector<int>{17, 15, 300, 1, 12}));
    ASSERT_TRUE(alert_comes(pending));
    GtkWindow* pending_window = alert_window();
    EXPECT_EQ(gtk_window_get_transient_for(pending_window), dialog.window);

    // The worker reports again when it takes the write: the same alert stays.
    worker_takes();
    drain_main_loop();
    EXPECT_EQ(alert_window(), pending_window);

    // A finished write reported twice (the worker's report and a late one)
    // gives one result alert, not a second choice on top of it.
    worker_finishes(0);
    post_to_ui(report_write, &dialog);
    ASSERT_TRUE(alert_comes(success));
    GtkWindow* result_window = alert_window();
    run_for(100);
    EXPECT_EQ(alert_window(), result_window);
    press_alert_button("Close");
    EXPECT_EQ(alert_window(), nullptr);
    EXPECT_FALSE(dialog.pending_shown);
}

// Given a cancel while the worker is inside the write, expect the write to
// run to its end and its result never to be shown.
TEST_F(WriteDialogTest, CancelWhileTheWriteRunsHidesItsResult)
{
    LinkState& s = app_link();
    s.running = true;
    press_send();
    ASSERT_TRUE(alert_comes(pending));
    worker_takes();
    drain_main_loop();
    press_alert_button("Cancel");
    EXPECT_TRUE(dialog.cancelled);

    worker_finishes(0);
    run_for(100);
    EXPECT_EQ(alert_window(), nullptr);

    // A new Send starts from "Pending" again.
    press_send();
    EXPECT_FALSE(dialog.cancelled);
    ASSERT_TRUE(alert_comes(pending));
    worker_finishes(0);
    ASSERT_TRUE(alert_comes(success));
    press_alert_button("Close");
}

// Against a real server through the real worker.
class WriteToServer : public WriteDialogTest {
protected:
    void SetUp() override
    {
        WriteDialogTest::SetUp();
        server = ModbusTestServer::start_tcp();
        ASSERT_TRUE(server);
        connect_with(poll_of(1, 3, 0, 4, 200), tcp_settings(server->port()));
    }

    void send(guint entry, uint16_t address, const char* value, int length = 1)
    {
        gtk_spin_button_set_value(dialog.slave_spin, 1);
        gtk_drop_down_set_selected(dialog.fcode_dropdown, entry);
        gtk_spin_button_set_value(dialog.address_spin, address);
        gtk_spin_button_set_value(dialog.length_spin, length);
        type_value(value);
        press_send();
    }

    void TearDown() override
    {
        WriteDialogTest::TearDown();
        // The next test starts from one tab with its cursor where it starts.
        PollTabs& main = app().tabs;
        while (close_poll_tab(main, *main.tabs.back())) {
        }
        main.tab->table.cursor_column = 1;
        main.tab->table.cursor_row = 0;
    }

    size_t writes_seen()
    {
        size_t n = 0;
        for (const ServerRequest& r : server->requests())
            n += r.function == 5 || r.function == 6 || r.function == 15 || r.function == 16;
        return n;
    }

    std::unique_ptr<ModbusTestServer> server;
};

TEST_F(WriteToServer, WritesChangeTheServersData)
{
    // Sent during the worker's start pause, so "Pending" is on screen first.
    send(0, 10, "1");
    ASSERT_TRUE(alert_comes(pending));
    ASSERT_TRUE(alert_comes(success, 5000));
    press_alert_button("Close");
    EXPECT_TRUE(server->coil(10));

    auto write_ok = [&](guint entry, uint16_t address, const char* value, int length) {
        send(entry, address, value, length);
        ASSERT_TRUE(alert_comes(success, 5000)) << "entry " << entry;
        press_alert_button("Close");
    };
    // Given 2 for a coil, whose bit 0 would switch it off, expect it
    // refused, and nothing sent.
    server->set_coil(11, true);
    for (guint coils : {0u, 2u}) {
        send(coils, 11, "2", 3);
        EXPECT_STREQ(gtk_label_get_text(dialog.message_label), "Coils take 0 or 1 (or ON, OFF)");
        EXPECT_FALSE(write_waiting());
    }
    EXPECT_EQ(alert_window(), nullptr);
    EXPECT_TRUE(server->coil(11));
    write_ok(0, 11, "off", 1);
    EXPECT_FALSE(server->coil(11));
    write_ok(0, 11, " ON", 1);
    EXPECT_TRUE(server->coil(11));
    write_ok(0, 11, "0", 1);
    EXPECT_FALSE(server->coil(11));
    write_ok(1, 20, "4660", 1);
    EXPECT_EQ(server->holding(20), 4660);
    write_ok(2, 30, "On", 10);
    for (uint16_t a = 30; a < 40; ++a)
        EXPECT_TRUE(server->coil(a)) << a;
    EXPECT_FALSE(server->coil(40));
    server->set_holding(53, 99);
    write_ok(3, 50, "7", 3);
    for (uint16_t a = 50; a < 53; ++a)
        EXPECT_EQ(server->holding(a), 7) << a;
    EXPECT_EQ(server->holding(53), 99);
    EXPECT_EQ(writes_seen(), 7u);
}

TEST_F(WriteToServer, DeviceExceptionIsNamedByItsCode)
{
    server->set_behaviour(ModbusTestServer::Behaviour::exception);
    send(1, 20, "5");
    ASSERT_TRUE(alert_comes({"Error ❌", "Exception 02: Illegal data address", "[Close]"}, 5000));
    // Escape on a result has no cancel button to choose, and still closes it.
    gtk_window_close(alert_window());
    drain_main_loop();
    EXPECT_EQ(alert_window(), nullptr);
}

TEST_F(WriteToServer, SendAfterDisconnectNeverReachesTheServer)
{
    ASSERT_TRUE(run_until([&] { return server->request_count() > 0; }, 5000));
    app_link().running = false;
    signal_wake();
    ASSERT_TRUE(run_until([] { return active_workers() == 0; }, 5000));
    send(1, 20, "5");
    EXPECT_FALSE(write_waiting()) << "a later Connect must not send it";
    EXPECT_TRUE(last_write_result().failed);
    ASSERT_TRUE(alert_comes(not_connected, 500));
    press_alert_button("Close");
    run_for(300);
    EXPECT_EQ(writes_seen(), 0u);
}

// Given Cancel or Escape on "Pending" before the worker took the write,
// expect the write dropped: the server sees none, no result alert shows.
TEST_F(WriteToServer, CancelBeforeTheNextCycleSendsNothing)
{
    for (bool by_escape : {false, true}) {
        SCOPED_TRACE(by_escape ? "Escape" : "Cancel");
        if (by_escape) {  // a new worker, whose start pause leaves the time to cancel
            app_link().running = false;
            signal_wake();
            ASSERT_TRUE(run_until([] { return worker_threads() == 0; }, 5000));
            connect_with(poll_of(1, 3, 0, 4, 200), tcp_settings(server->port()));
        }
        send(1, 20, "5");
        ASSERT_TRUE(alert_comes(pending));
        if (by_escape)
            gtk_window_close(alert_window());
        else
            press_alert_button("Cancel");
        drain_main_loop();
        EXPECT_FALSE(write_waiting());
        size_t before = server->request_count();
        ASSERT_TRUE(run_until([&] { return server->request_count() >= before + 2; }, 5000));
        EXPECT_EQ(writes_seen(), 0u);
        EXPECT_EQ(server->holding(20), 0);
        EXPECT_EQ(alert_window(), nullptr);
    }
}

// Given Cancel while the worker is inside a slow write, then a second Send,
// expect the first to run to its end unreported and the second to be sent
// and reported by its own result.
TEST_F(WriteToServer, SecondWriteAfterACancelledSlowOneIsSentAndReported)
{
    server->set_reply_delay(std::chrono::milliseconds(300));
    ASSERT_TRUE(run_until([&] { return server->request_count() > 0; }, 5000));
    send(1, 1, "111");
    ASSERT_TRUE(run_until([&] { return writes_seen() == 1; }, 5000));
    press_alert_button("Cancel");
    send(1, 2, "222");
    ASSERT_TRUE(alert_comes(pending));
    ASSERT_TRUE(alert_comes(success, 5000));
    EXPECT_EQ(server->holding(2), 222) << "success shown before the second write was sent";
    EXPECT_EQ(server->holding(1), 111);
    EXPECT_EQ(writes_seen(), 2u);
    press_alert_button("Close");
}

// Given a write from a cell of one tab, then another tab shown: F6 and the
// toolbar aim the dialog at the shown tab's unit and cursor (its first
// address while it has none), a tab of input registers included, and the
// server sees each write where the dialog said.
TEST_F(WriteToServer, WriteFollowsTheShownTab)
{
    PollTabs& main = app().tabs;
    auto press = [&](std::initializer_list<guint> keys) {
        for (guint key : keys)
            on_grid_key(nullptr, key, 0, GdkModifierType(0), &main.tab->table);
    };
    auto write_and_close = [&](const char* value) {
        type_value(value);
        press_send();
        ASSERT_TRUE(alert_comes(success, 5000));
        press_alert_button("Close");
    };
    auto last_write = [&] {
        std::vector<ServerRequest> requests = server->requests();
        auto write = std::find_if(requests.rbegin(), requests.rend(), [](auto& r) { return r.function == 6; });
        return write == requests.rend() ? std::vector<int>{} : std::vector<int>{write->unit, write->address};
    };
    auto aimed_at = [&] {
        return std::vector<int>{gtk_spin_button_get_value_as_int(dialog.slave_spin),
                                gtk_spin_button_get_value_as_int(dialog.address_spin)};
    };

    store_poll_definition(poll_of(1, 3, 100, 10, 200));
    build_grid(main.tab->table);
    PollTab* first = main.tab;
    press({GDK_KEY_Down, GDK_KEY_Right, GDK_KEY_Down, GDK_KEY_Down, GDK_KEY_Down, GDK_KEY_Down, GDK_KEY_Down,
           GDK_KEY_Return});
    ASSERT_EQ(aimed_at(), (std::vector<int>{1, 105}));
    gtk_drop_down_set_selected(dialog.fcode_dropdown, 1);
    write_and_close("777");
    EXPECT_EQ(last_write(), (std::vector<int>{1, 105}));

    ASSERT_TRUE(add_poll_tab(main, poll_of(5, 4, 20, 10, 200)));
    g_action_group_activate_action(G_ACTION_GROUP(app().application), "write-register", nullptr);
    EXPECT_EQ(aimed_at(), (std::vector<int>{5, 20}));
    EXPECT_EQ(gtk_drop_down_get_selected(dialog.fcode_dropdown), 1u) << "the function stays";
    EXPECT_STREQ(value_text(), "777") << "the value stays";
    write_and_close("777");
    EXPECT_EQ(last_write(), (std::vector<int>{5, 20}));
    EXPECT_EQ(server->holding(20), 777);

    press({GDK_KEY_Down, GDK_KEY_Right, GDK_KEY_Down, GDK_KEY_Down, GDK_KEY_Down});
    g_signal_emit_by_name(toolbar_items(app().main_window).at(2), "clicked");
    EXPECT_EQ(aimed_at(), (std::vector<int>{5, 23}));
    write_and_close("4");
    EXPECT_EQ(last_write(), (std::vector<int>{5, 23}));

    show_poll_tab(main, *first);
    g_action_group_activate_action(G_ACTION_GROUP(app().application), "write-register", nullptr);
    EXPECT_EQ(aimed_at(), (std::vector<int>{1, 105}));
}

// 200 registers cannot be framed in one request: the write fails, is
// reported, and the polling goes on.
TEST_F(WriteToServer, TooManyRegistersFailsAndPollingGoesOn)
{
    send(3, 0, "7", 200);
    ASSERT_TRUE(alert_comes(error_alert(EMBMDATA), 5000));
    press_alert_button("Close");
    size_t before = server->request_count();
    ASSERT_TRUE(run_until([&] { return server->request_count() >= before + 2; }, 3000));
    EXPECT_EQ(server->holding(0), 0);
}

// given a NaN with a payload polled in FLOAT32 and sent with "10" as it was
// shown, expect the server to get back the very registers it sent
TEST_F(WriteToServer, AnUneditedValueIsWrittenBackAsItsRegisters)
{
    server->set_holding(10, 0x7FC0);
    server->set_holding(11, 0x0001);
    store_poll_definition(poll_of(1, 3, 10, 2, 200));
    signal_wake();
    choose_format(ValueFormat::FLOAT32);
    ASSERT_TRUE(run_until([] { return copy_values_for(copy_poll_definition()).value_count == 2; }, 5000));
    open_write_dialog(dialog, 10, 0);
    ASSERT_STREQ(value_text(), "NaN");
    gtk_drop_down_set_selected(dialog.fcode_dropdown, 3);
    press_send();
    ASSERT_TRUE(alert_comes(success, 5000));
    press_alert_button("Close");
    EXPECT_EQ(server->holding(10), 0x7FC0);
    EXPECT_EQ(server->holding(11), 0x0001);
    EXPECT_EQ(writes_seen(), 1u);
}

// Given Modicon addresses, expect a coil's number refused for a register
// write with nothing sent, "0x000A" to write protocol address 10 of a real
// server, the address then shown as its register's number, and plain
// numbers again once the notation is protocol addresses.
TEST_F(WriteToServer, TakesTheAddressInTheUsersNotation)
{
    set_address_notation(app().preferences, AddressNotation::modicon);
    auto address_text = [&] { return std::string(gtk_editable_get_text(GTK_EDITABLE(dialog.address_spin))); };
    send(1, 4, "321");
    EXPECT_EQ(address_text(), "40005");
    ASSERT_TRUE(alert_comes(success, 5000));
    press_alert_button("Close");

    gtk_editable_set_text(GTK_EDITABLE(dialog.address_spin), "00011");
    press_send();
    EXPECT_EQ(gtk_label_get_text(dialog.message_label),
              parse_address(AddressNotation::modicon, ModbusTable::holding_registers, "00011").refusal);
    EXPECT_FALSE(write_waiting());

    gtk_editable_set_text(GTK_EDITABLE(dialog.address_spin), "0x000A");
    press_send();
    ASSERT_TRUE(alert_comes(success, 5000));
    press_alert_button("Close");
    EXPECT_EQ(server->holding(10), 321);
    EXPECT_EQ(server->holding(4), 321);
    EXPECT_EQ(address_text(), "40011");

    set_address_notation(app().preferences, AddressNotation::protocol);
    EXPECT_EQ(address_text(), "10");
}

}  // namespace

