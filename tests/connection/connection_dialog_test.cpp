#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/dialog_helpers.hpp"
#include "link/link_state.hpp"
#include "support/gtk_test_env.hpp"

namespace {

using Widgets = std::vector<GtkWidget*>;

GtkWidget* frame_of(void* widget)
{
    GtkWidget* frame = GTK_WIDGET(widget);
    while (frame && !GTK_IS_FRAME(frame))
        frame = gtk_widget_get_parent(frame);
    return frame;
}

Widgets children(void* parent)
{
    Widgets list;
    for (GtkWidget* child = gtk_widget_get_first_child(GTK_WIDGET(parent)); child;
         child = gtk_widget_get_next_sibling(child))
        list.push_back(child);
    return list;
}

Widgets frame_children(void* frame)
{
    return children(gtk_frame_get_child(GTK_FRAME(frame)));
}

// The captions of check buttons and plain labels, in order.
Names texts_of(const Widgets& widgets)
{
    Names texts;
    for (GtkWidget* w : widgets)
        texts.push_back(GTK_IS_CHECK_BUTTON(w) ? gtk_check_button_get_label(GTK_CHECK_BUTTON(w))
                                               : gtk_label_get_text(GTK_LABEL(w)));
    return texts;
}

Names drop_down_items(GtkDropDown* selector)
{
    Names items;
    GListModel* list = gtk_drop_down_get_model(selector);
    for (guint i = 0; i < g_list_model_get_n_items(list); ++i)
        items.push_back(gtk_string_list_get_string(GTK_STRING_LIST(list), i));
    return items;
}

void expect_spin(GtkSpinButton* spin, double value, double lower, double upper, double step, double page)
{
    GtkAdjustment* a = gtk_spin_button_get_adjustment(spin);
    EXPECT_EQ(gtk_spin_button_get_value(spin), value);
    EXPECT_EQ(std::vector<double>({gtk_adjustment_get_lower(a), gtk_adjustment_get_upper(a),
                                   gtk_adjustment_get_step_increment(a), gtk_adjustment_get_page_increment(a),
                                   gtk_adjustment_get_page_size(a), gtk_spin_button_get_climb_rate(spin)}),
              std::vector<double>({lower, upper, step, page, 0, 2}));
    EXPECT_EQ(gtk_spin_button_get_digits(spin), 0u);
    Widgets parts = frame_children(frame_of(spin));  // the spin button and its unit
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0], GTK_WIDGET(spin));
    EXPECT_EQ(texts_of({parts[1]}), Names{"[ms]"});
}

bool sensitive(void* widget)
{
    return gtk_widget_get_sensitive(GTK_WIDGET(widget));
}

}  // namespace

TEST(ConnectionDialog, StartsWithTheDesignedWidgetsAndChoices)
{
    REQUIRE_DISPLAY();
    // The test environment turns accessibility off; this process keeps the
    // in-memory accessibility context (read once, before any widget exists).
    g_setenv("GTK_A11Y", "test", TRUE);
    ConnectionDialog& d = activate_app().connection;
    EXPECT_FALSE(is_visible(d));
    EXPECT_STREQ(gtk_window_get_title(d.window), "Connection");
    GtkWidget* header = gtk_window_get_titlebar(d.window);
    ASSERT_TRUE(GTK_IS_HEADER_BAR(header));
    EXPECT_FALSE(gtk_header_bar_get_show_title_buttons(GTK_HEADER_BAR(header)));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(gtk_header_bar_get_title_widget(GTK_HEADER_BAR(header)))),
                 "Connection");
    EXPECT_STREQ(gtk_button_get_label(d.ok_button), "Ok");
    EXPECT_STREQ(gtk_button_get_label(d.cancel_button), "Cancel");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(d.ok_button), "suggested-action"));

    GtkWidget* connection = frame_of(d.serial_choice);
    Names frame_labels;
    for (GtkWidget* frame : {connection, GTK_WIDGET(d.mode_frame), frame_of(d.timeout_spin),
                             frame_of(d.query_delay_spin), GTK_WIDGET(d.remote_frame)})
        frame_labels.push_back(gtk_frame_get_label(GTK_FRAME(frame)));
    EXPECT_EQ(frame_labels, (Names{"Connection", "Mode", "Timeout", "Query Delay", "Remote Server"}));

    // Each group holds its widgets in the designed order.
    EXPECT_EQ(frame_children(connection), (Widgets{GTK_WIDGET(d.serial_choice), GTK_WIDGET(d.tcp_choice)}));
    EXPECT_EQ(frame_children(d.mode_frame), (Widgets{GTK_WIDGET(d.rtu_choice), GTK_WIDGET(d.ascii_choice)}));
    EXPECT_EQ(texts_of({GTK_WIDGET(d.serial_choice), GTK_WIDGET(d.tcp_choice), GTK_WIDGET(d.rtu_choice),
                        GTK_WIDGET(d.ascii_choice)}),
              (Names{"Serial Port", "TCP/IP", "RTU", "ASCII"}));
    EXPECT_EQ(children(d.serial_box), (Widgets{GTK_WIDGET(d.port_combo), GTK_WIDGET(d.baud_selector),
                                               GTK_WIDGET(d.data_bits_selector), GTK_WIDGET(d.parity_selector),
                                               GTK_WIDGET(d.stop_bits_selector)}));
    EXPECT_EQ(frame_children(d.remote_frame), (Widgets{GTK_WIDGET(d.ip_entry), GTK_WIDGET(d.port_entry),
                                                       GTK_WIDGET(d.mbap_choice), GTK_WIDGET(d.rtu_over_tcp_choice)}));

    std::vector<bool> active;
    for (GtkCheckButton* choice : {d.serial_choice, d.tcp_choice, d.rtu_choice, d.ascii_choice, d.keep_open_check,
                                   d.mbap_choice, d.rtu_over_tcp_choice})
        active.push_back(gtk_check_button_get_active(choice));
    EXPECT_EQ(active, (std::vector<bool>{true, false, true, false, false, true, false}));
    EXPECT_EQ(texts_of({GTK_WIDGET(d.keep_open_check)}), (Names{"Keep connection open"}));
    EXPECT_TRUE(gtk_combo_box_get_has_entry(GTK_COMBO_BOX(d.port_combo)));
    struct Choice {
        GtkDropDown* selector;
        Names items;
        guint selected;
    };
    for (const Choice& c : {Choice{d.baud_selector, {"1200", "9600", "19200"}, 2},
                            Choice{d.data_bits_selector, {"7 Data bits", "8 Data bits"}, 1},
                            Choice{d.parity_selector, {"None Parity", "Odd Parity", "Even Parity"}, 0},
                            Choice{d.stop_bits_selector, {"1 Stop Bits", "2 Stop Bits"}, 0}}) {
        EXPECT_EQ(drop_down_items(c.selector), c.items);
        EXPECT_EQ(gtk_drop_down_get_selected(c.selector), c.selected);
        EXPECT_TRUE(gtk_test_accessible_has_property(GTK_ACCESSIBLE(c.selector), GTK_ACCESSIBLE_PROPERTY_LABEL));
    }
    EXPECT_TRUE(gtk_drop_down_get_enable_search(d.baud_selector));
    EXPECT_STREQ(gtk_widget_get_tooltip_text(GTK_WIDGET(d.parity_selector)), "Select Parity");
    expect_spin(d.timeout_spin, 1000, 0, 10000, 10, 100);
    EXPECT_EQ(gtk_editable_get_alignment(GTK_EDITABLE(d.timeout_spin)), 1.0f);
    expect_spin(d.query_delay_spin, 10, 0, 1000, 1, 10);
    for (auto [entry, name] : {std::pair{d.ip_entry, "IP"}, std::pair{d.port_entry, "PORT"}}) {
        EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(entry)), "");
        EXPECT_STREQ(gtk_entry_get_placeholder_text(entry), name);
        EXPECT_EQ(gtk_test_accessible_check_property(GTK_ACCESSIBLE(entry), GTK_ACCESSIBLE_PROPERTY_LABEL, name),
                  nullptr);
    }
    EXPECT_EQ(gtk_entry_get_input_purpose(d.port_entry), GTK_INPUT_PURPOSE_DIGITS);

    // Spin buttons are named by their frame's caption, the port by its type.
    for (GtkSpinButton* spin : {d.timeout_spin, d.query_delay_spin})
        EXPECT_EQ(gtk_test_accessible_check_relation(GTK_ACCESSIBLE(spin), GTK_ACCESSIBLE_RELATION_LABELLED_BY,
                                                     gtk_frame_get_label_widget(GTK_FRAME(frame_of(spin))), nullptr),
                  nullptr);
    EXPECT_EQ(gtk_test_accessible_check_relation(GTK_ACCESSIBLE(d.port_combo), GTK_ACCESSIBLE_RELATION_LABELLED_BY,
                                                 d.serial_choice, nullptr),
              nullptr);

    // The first fill follows the machine's own ports: the first one chosen.
    if (combo_items(d).empty())
        EXPECT_EQ(combo_entry_text(d), "");
    else
        EXPECT_EQ(combo_active(d), 0);
}

TEST(ConnectionDialog, ConnectionTypeSwitchesTheSensitiveSections)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    // Serial, TCP and back: one type at a time, its sections alone usable,
    // the time-outs always.
    for (bool serial : {true, false, true, false}) {
        gtk_check_button_set_active(serial ? d.serial_choice : d.tcp_choice, TRUE);
        SCOPED_TRACE(serial ? "serial" : "tcp");
        EXPECT_EQ(gtk_check_button_get_active(serial ? d.tcp_choice : d.serial_choice), FALSE);
        EXPECT_EQ(sensitive(d.mode_frame), serial);
        EXPECT_EQ(sensitive(d.serial_box), serial);
        EXPECT_EQ(sensitive(d.remote_frame), !serial);
        EXPECT_TRUE(sensitive(frame_of(d.timeout_spin)));
        EXPECT_TRUE(sensitive(frame_of(d.query_delay_spin)));
        EXPECT_TRUE(sensitive(d.keep_open_check));
    }
}

TEST(ConnectionDialog, CancelAndCloseHideAndStoreNothing)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    FakePortTree ports({"ttyUSB0", "ttyUSB1"});
    d.port_root = ports.root();
    ASSERT_TRUE(open_and_wait_for_ports(d, 2));
    EXPECT_TRUE(is_visible(d));
    EXPECT_TRUE(gtk_window_get_modal(d.window));
    EXPECT_EQ(gtk_window_get_transient_for(d.window), GTK_WINDOW(activate_app().main_window.window));

    type_port_name(d, "/dev/ttyUSB1");
    gtk_drop_down_set_selected(d.baud_selector, 0);
    gtk_spin_button_set_value(d.timeout_spin, 300);
    gtk_check_button_set_active(d.ascii_choice, TRUE);
    click(d.cancel_button);
    EXPECT_FALSE(is_visible(d));
    EXPECT_EQ(copy_connection_settings(), ConnectionSettings{});
    EXPECT_FALSE(app_link().running.load());

    // The changed widgets stay; the port entry shows the stored name again.
    ASSERT_TRUE(open_and_wait_for_ports(d, 2));
    EXPECT_EQ(gtk_drop_down_get_selected(d.baud_selector), 0u);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(d.timeout_spin), 300);
    EXPECT_TRUE(gtk_check_button_get_active(d.ascii_choice));
    EXPECT_EQ(combo_active(d), 0);
    EXPECT_EQ(combo_entry_text(d), "/dev/ttyUSB0");

    gtk_window_close(d.window);
    drain_main_loop();
    EXPECT_FALSE(is_visible(d));
    EXPECT_TRUE(GTK_IS_WINDOW(d.window));
    EXPECT_EQ(copy_connection_settings(), ConnectionSettings{});
}
