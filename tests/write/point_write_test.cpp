// Writes in a point's terms, through the Write dialog, to Debian's
// python3-pymodbus TCP server: a scaled value, a named one, a string and
// one bit by Mask Write Register; and a value that does not fit, refused.

#include <gtest/gtest.h>

#include <algorithm>

#include "setup/set_up_model.hpp"
#include "support/app_link_fixture.hpp"
#include "support/pymodbus_launcher.hpp"
#include "write/write_dialog.hpp"

namespace {

using namespace app_test;
using Values = std::vector<uint16_t>;

class PointWrite : public AppLinkTest {};

void put_point(uint16_t address, const Point& point)
{
    set_point(app().set_up, *app().tabs.tab->definition, address, point);
}

// Sends what the open dialog holds (with text, typed first) by "10".
void send(const char* text)
{
    WriteDialog& dialog = app().write;
    gtk_drop_down_set_selected(dialog.fcode_dropdown, 3);
    if (text)
        gtk_editable_set_text(GTK_EDITABLE(dialog.value_entry), text);
    app_link().running.store(true);
    g_signal_emit_by_name(dialog.send_button, "clicked");
}

// Opens the dialog on address as a value cell does, types text and sends.
void send_at(uint16_t address, const char* text)
{
    open_write_dialog(app().write, address, 0);
    send(text);
}

long count_writes(const std::vector<std::string>& frames)
{
    return std::count_if(frames.begin(), frames.end(), [](const std::string& f) {
        return f.starts_with("TX: 01 06") || f.starts_with("TX: 01 10") || f.starts_with("TX: 01 16");
    });
}

// Given points of each kind on a block of pymodbus's holding registers,
// expect the dialog to show each in its terms, to send what the user reads
// back as the registers that hold it, one bit by 0x16 with the others
// kept, and to refuse a value its type cannot hold without sending it.
TEST_F(PointWrite, ScaledNamedStringAndBitLandAsTheDeviceHoldsThem)
{
    auto server = PymodbusServer::start();
    ASSERT_TRUE(server) << "python3-pymodbus server did not start";
    ConnectionSettings settings = tcp_settings(server->port());
    PollDefinition poll = poll_of(1, 3, 100, 12);
    store_poll_definition(poll);
    Point speed;
    speed.scale = 0.1;
    speed.decimals = 1;
    speed.unit = "rpm";
    put_point(100, speed);
    Point state;
    state.value_names = {{0, "Stopped"}, {1, "Running"}, {2, "Fault"}};
    put_point(101, state);
    Point serial;
    serial.kind = PointKind::string;
    serial.registers = 4;
    put_point(102, serial);
    Point alarms;
    alarms.kind = PointKind::bits;
    alarms.bit_names = {{3, "Reset"}};
    put_point(110, alarms);
    run_cycle(poll, settings);
    WriteDialog& dialog = app().write;

    open_write_dialog(dialog, 100, 0);
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(dialog.value_entry)), "110.0 rpm") << "1100 × 0.1";
    send_at(100, "148.0 rpm");
    run_cycle(poll, settings);

    open_write_dialog(dialog, 101, 0);
    ASSERT_TRUE(gtk_widget_get_visible(GTK_WIDGET(dialog.name_choice)));
    gtk_drop_down_set_selected(dialog.name_choice, 1);
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(dialog.value_entry)), "Running");
    send(nullptr);
    run_cycle(poll, settings);

    send_at(102, "AX-1042");
    run_cycle(poll, settings);

    open_write_dialog(dialog, 110, 0);
    ASSERT_TRUE(gtk_widget_get_visible(GTK_WIDGET(dialog.bit_choice)));
    gtk_drop_down_set_selected(dialog.bit_choice, 3);
    send("On");
    run_cycle(poll, settings);
    EXPECT_FALSE(last_write_result().failed) << write_failure_text(last_write_result());

    Values shown = shown_values();
    ASSERT_EQ(shown.size(), 12u);
    EXPECT_EQ(shown[0], 1480);
    EXPECT_EQ(shown[1], 1);
    EXPECT_EQ((Values{shown[2], shown[3], shown[4], shown[5]}), (Values{0x4158, 0x2D31, 0x3034, 0x3200}));
    EXPECT_EQ(shown[10], 1110 | 0x8) << "bit 3 set, the others as they were";
    std::vector<std::string> frames = logged_frames();
    EXPECT_NE(std::find(frames.begin(), frames.end(), "TX: 01 16 00 6E FF F7 00 08"), frames.end())
        << "the Logger shows the masks sent";

    // 7000.0 rpm is 70000 in the register: refused, nothing sent.
    long writes = count_writes(frames);
    send_at(100, "7000 rpm");
    EXPECT_NE(std::string(gtk_label_get_text(dialog.message_label)).find("70000"), std::string::npos);
    EXPECT_FALSE(write_waiting());
    run_cycle(poll, settings);
    EXPECT_EQ(count_writes(logged_frames()), writes);
    EXPECT_EQ(shown_values()[0], 1480);
}

}  // namespace
