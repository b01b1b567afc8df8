// Wide values written through the Write dialog to a Modbus implementation
// nobody here wrote: Debian's python3-pymodbus TCP server.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/app_link_fixture.hpp"
#include "support/pymodbus_launcher.hpp"
#include "values/value_format.hpp"
#include "write/write_dialog.hpp"

namespace {

using namespace app_test;
using Strings = std::vector<std::string>;
using Values = std::vector<uint16_t>;

class PymodbusWrite : public AppLinkTest {};

// The Write dialog's Send in a 32/64-bit format and word order, with
// "10 Write Multiple Registers"; while "connected", so the write is handed
// over for the next cycle.
void send_wide(ValueFormat format, unsigned order, uint16_t address, const char* text, int length,
               guint fcode_entry = 3)
{
    PollTabs& main = app().tabs;
    WriteDialog& dialog = app().write;
    gtk_drop_down_set_selected(main.format_selector, unsigned(format));
    gtk_drop_down_set_selected(main.order_selector, order);
    gtk_drop_down_set_selected(dialog.fcode_dropdown, fcode_entry);
    gtk_spin_button_set_value(dialog.slave_spin, 1);
    gtk_spin_button_set_value(dialog.address_spin, address);
    gtk_spin_button_set_value(dialog.length_spin, length);
    gtk_editable_set_text(GTK_EDITABLE(dialog.value_entry), text);
    app_link().running.store(true);
    g_signal_emit_by_name(dialog.send_button, "clicked");
}

std::string message_text()
{
    return gtk_label_get_text(app().write.message_label);
}

TEST_F(PymodbusWrite, WideValuesLandInTheChosenOrder)
{
    auto server = PymodbusServer::start();
    ASSERT_TRUE(server) << "python3-pymodbus server did not start";
    ConnectionSettings settings = tcp_settings(server->port());

    const Values pi_in_order[] = {{0x4049, 0x0FDB}, {0x0FDB, 0x4049}, {0x4940, 0xDB0F}, {0xDB0F, 0x4940}};
    for (unsigned order = 0; order < 4; ++order) {
        SCOPED_TRACE(order);
        uint16_t address = uint16_t(100 + 2 * order);
        send_wide(ValueFormat::FLOAT32, order, address, "3.1415927", 1);
        run_cycle(poll_of(1, 3, address, 2), settings);
        EXPECT_FALSE(write_waiting());
        EXPECT_FALSE(last_write_result().failed);
        EXPECT_EQ(shown_values(), pi_in_order[order]);
    }

    send_wide(ValueFormat::INT64, 0, 120, "-2", 1);
    run_cycle(poll_of(1, 3, 120, 4), settings);
    EXPECT_EQ(shown_values(), (Values{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFE}));

    // Three values, six registers, one request.
    clear_log_history(app().logger.history);
    send_wide(ValueFormat::FLOAT32, 0, 130, "1.5", 3);
    run_cycle(poll_of(1, 3, 130, 7), settings);
    EXPECT_EQ(shown_values(), (Values{0x3FC0, 0, 0x3FC0, 0, 0x3FC0, 0, 1136}));
    Strings frames = logged_frames();
    EXPECT_EQ(std::count_if(frames.begin(), frames.end(), [](const std::string& f) { return f.find("TX: 01 10") == 0; }),
              1);
    EXPECT_NE(std::find(frames.begin(), frames.end(), "TX: 01 10 00 82 00 06 0C 3F C0 00 00 3F C0 00 00 3F C0 00 00"),
              frames.end());
}

// 62 FLOAT32 values are 124 registers, one more than a request holds; "06"
// writes one register. Both are refused before anything is handed over.
TEST_F(PymodbusWrite, WideWritesThatCannotBeSentAreRefused)
{
    auto server = PymodbusServer::start();
    ASSERT_TRUE(server) << "python3-pymodbus server did not start";
    ConnectionSettings settings = tcp_settings(server->port());

    send_wide(ValueFormat::FLOAT32, 0, 200, "2.5", 62);
    EXPECT_EQ(message_text(), "124 registers do not fit one request (at most 123)");
    send_wide(ValueFormat::FLOAT32, 0, 200, "2.5", 1, 1);
    EXPECT_EQ(message_text(), "32-bit and 64-bit values need \"10 Write Multiple Registers\"");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(app().write.message_label), "error"));
    EXPECT_FALSE(write_waiting());

    clear_log_history(app().logger.history);
    run_cycle(poll_of(1, 3, 200, 2), settings);
    EXPECT_EQ(logged_frames(), (Strings{"TX: 01 03 00 C8 00 02", "RX: 01 03 04 04 B0 04 B1"}));
    EXPECT_EQ(shown_values(), (Values{1200, 1201}));

    // 61 values fit: 122 registers.
    send_wide(ValueFormat::FLOAT32, 0, 200, "2.5", 61);
    EXPECT_EQ(message_text(), "");
    run_cycle(poll_of(1, 3, 321, 2), settings);
    EXPECT_FALSE(last_write_result().failed);
    EXPECT_EQ(shown_values(), (Values{0, 1322}));  // the last value's second register, then one untouched
}

}  // namespace
