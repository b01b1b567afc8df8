#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/dialog_helpers.hpp"
#include "connection/port_list.hpp"
#include "link/link_state.hpp"
#include "link/worker.hpp"
#include "support/gtk_test_env.hpp"

namespace {

using Names = std::vector<std::string>;

struct Cell {
    int column, row, width, height;
    bool operator==(const Cell&) const = default;
};

Cell cell_of(GtkWidget* widget)
{
    Cell cell{};
    gtk_grid_query_child(GTK_GRID(gtk_widget_get_parent(widget)), widget, &cell.column, &cell.row, &cell.width,
                         &cell.height);
    return cell;
}

GtkWidget* frame_of(GtkWidget* widget)
{
    GtkWidget* frame = widget;
    while (frame && !GTK_IS_FRAME(frame))
        frame = gtk_widget_get_parent(frame);
    return frame;
}

bool sensitive(void* widget)
{
    return gtk_widget_get_sensitive(GTK_WIDGET(widget));
}

void expect_spin(GtkSpinButton* spin, double value, double lower, double upper, double step, double page)
{
    GtkAdjustment* adjustment = gtk_spin_button_get_adjustment(spin);
    EXPECT_EQ(gtk_spin_button_get_value(spin), value);
    EXPECT_EQ(gtk_adjustment_get_lower(adjustment), lower);
    EXPECT_EQ(gtk_adjustment_get_upper(adjustment), upper);
    EXPECT_EQ(gtk_adjustment_get_step_increment(adjustment), step);
    EXPECT_EQ(gtk_adjustment_get_page_increment(adjustment), page);
    EXPECT_EQ(gtk_adjustment_get_page_size(adjustment), 0);
    EXPECT_EQ(gtk_spin_button_get_climb_rate(spin), 2);
    EXPECT_EQ(gtk_spin_button_get_digits(spin), 0u);
}

void type_port_name(ConnectionDialog& dialog, const char* text)
{
    gtk_editable_set_text(GTK_EDITABLE(gtk_combo_box_get_child(GTK_COMBO_BOX(dialog.port_combo))), text);
}

std::vector<GtkWidget*> children(GtkWidget* parent)
{
    std::vector<GtkWidget*> list;
    for (GtkWidget* child = gtk_widget_get_first_child(parent); child; child = gtk_widget_get_next_sibling(child))
        list.push_back(child);
    return list;
}

// The label of a check button or a plain label.
std::string text_of(GtkWidget* widget)
{
    const char* text = GTK_IS_CHECK_BUTTON(widget) ? gtk_check_button_get_label(GTK_CHECK_BUTTON(widget))
                                                   : gtk_label_get_text(GTK_LABEL(widget));
    return text ? text : "";
}

Names texts_of(const std::vector<GtkWidget*>& widgets)
{
    Names texts;
    for (GtkWidget* widget : widgets)
        texts.push_back(text_of(widget));
    return texts;
}

Names drop_down_items(GtkDropDown* selector)
{
    Names items;
    GtkStringList* list = GTK_STRING_LIST(gtk_drop_down_get_model(selector));
    for (guint i = 0; i < g_list_model_get_n_items(G_LIST_MODEL(list)); ++i)
        items.push_back(gtk_string_list_get_string(list, i));
    return items;
}

struct Margins {
    int top, bottom, start, end;
    bool operator==(const Margins&) const = default;
};

Margins margins_of(void* widget)
{
    GtkWidget* w = GTK_WIDGET(widget);
    return {gtk_widget_get_margin_top(w), gtk_widget_get_margin_bottom(w), gtk_widget_get_margin_start(w),
            gtk_widget_get_margin_end(w)};
}

// The box inside the frame around widget, with its orientation and spacing checked.
GtkWidget* frame_box(GtkWidget* frame, GtkOrientation orientation, int spacing)
{
    GtkWidget* box = gtk_frame_get_child(GTK_FRAME(frame));
    EXPECT_TRUE(GTK_IS_BOX(box));
    EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(box)), orientation);
    EXPECT_EQ(gtk_box_get_spacing(GTK_BOX(box)), spacing);
    return box;
}

}  // namespace

TEST(ConnectionDialog, StartsWithTheDesignedWidgets)
{
    REQUIRE_DISPLAY();
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

    EXPECT_EQ(cell_of(frame_of(GTK_WIDGET(d.serial_choice))), (Cell{0, 0, 3, 2}));
    EXPECT_EQ(cell_of(GTK_WIDGET(d.serial_box)), (Cell{0, 2, 1, 6}));
    EXPECT_EQ(cell_of(GTK_WIDGET(d.mode_frame)), (Cell{1, 2, 2, 2}));
    EXPECT_EQ(cell_of(frame_of(GTK_WIDGET(d.timeout_spin))), (Cell{1, 4, 2, 2}));
    EXPECT_EQ(cell_of(frame_of(GTK_WIDGET(d.query_delay_spin))), (Cell{1, 6, 2, 2}));
    EXPECT_EQ(cell_of(GTK_WIDGET(d.remote_frame)), (Cell{0, 8, 3, 2}));
    EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(frame_of(GTK_WIDGET(d.timeout_spin)))), "Timeout");
    EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(frame_of(GTK_WIDGET(d.query_delay_spin)))), "Query Delay");

    EXPECT_TRUE(gtk_check_button_get_active(d.serial_choice));
    EXPECT_FALSE(gtk_check_button_get_active(d.tcp_choice));
    EXPECT_TRUE(gtk_check_button_get_active(d.rtu_choice));
    EXPECT_FALSE(gtk_check_button_get_active(d.ascii_choice));
    EXPECT_EQ(gtk_drop_down_get_selected(d.baud_selector), 2u);
    EXPECT_TRUE(gtk_drop_down_get_enable_search(d.baud_selector));
    EXPECT_EQ(gtk_drop_down_get_selected(d.data_bits_selector), 1u);
    EXPECT_EQ(gtk_drop_down_get_selected(d.parity_selector), 0u);
    EXPECT_STREQ(gtk_widget_get_tooltip_text(GTK_WIDGET(d.parity_selector)), "Select Parity");
    EXPECT_EQ(gtk_drop_down_get_selected(d.stop_bits_selector), 0u);
    expect_spin(d.timeout_spin, 1000, 0, 10000, 10, 100);
    EXPECT_EQ(gtk_editable_get_alignment(GTK_EDITABLE(d.timeout_spin)), 1.0f);
    expect_spin(d.query_delay_spin, 10, 0, 1000, 1, 10);
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(d.ip_entry)), "");
    EXPECT_STREQ(gtk_editable_get_text(GTK_EDITABLE(d.port_entry)), "");
    EXPECT_STREQ(gtk_entry_get_placeholder_text(d.ip_entry), "IP");
    EXPECT_STREQ(gtk_entry_get_placeholder_text(d.port_entry), "PORT");
    EXPECT_EQ(gtk_entry_get_input_purpose(d.port_entry), GTK_INPUT_PURPOSE_DIGITS);

    // The first fill follows the machine's own ports: the first one chosen.
    Names items = combo_items(d);
    if (items.empty())
        EXPECT_EQ(combo_entry_text(d), "");
    else
        EXPECT_EQ(combo_active(d), 0);
}

TEST(ConnectionDialog, SectionsHoldTheDesignedTextsInTheirOrder)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    GtkWidget* grid = gtk_window_get_child(d.window);
    ASSERT_TRUE(GTK_IS_GRID(grid));
    EXPECT_EQ(gtk_grid_get_row_spacing(GTK_GRID(grid)), 8u);
    EXPECT_EQ(gtk_grid_get_column_spacing(GTK_GRID(grid)), 8u);
    EXPECT_EQ(margins_of(grid), (Margins{12, 12, 12, 12}));

    GtkWidget* connection = frame_of(GTK_WIDGET(d.serial_choice));
    EXPECT_STREQ(gtk_frame_get_label(GTK_FRAME(connection)), "Connection");
    GtkWidget* types = frame_box(connection, GTK_ORIENTATION_HORIZONTAL, 5);
    EXPECT_EQ(children(types), (std::vector<GtkWidget*>{GTK_WIDGET(d.serial_choice), GTK_WIDGET(d.tcp_choice)}));
    EXPECT_EQ(texts_of(children(types)), (Names{"Serial Port", "TCP/IP"}));

    EXPECT_STREQ(gtk_frame_get_label(d.mode_frame), "Mode");
    GtkWidget* modes = frame_box(GTK_WIDGET(d.mode_frame), GTK_ORIENTATION_HORIZONTAL, 5);
    EXPECT_EQ(children(modes), (std::vector<GtkWidget*>{GTK_WIDGET(d.rtu_choice), GTK_WIDGET(d.ascii_choice)}));
    EXPECT_EQ(texts_of(children(modes)), (Names{"RTU", "ASCII"}));

    EXPECT_EQ(gtk_orientable_get_orientation(GTK_ORIENTABLE(d.serial_box)), GTK_ORIENTATION_VERTICAL);
    EXPECT_EQ(gtk_box_get_spacing(d.serial_box), 8);
    EXPECT_EQ(margins_of(d.serial_box), (Margins{6, 6, 0, 0}));
    EXPECT_EQ(children(GTK_WIDGET(d.serial_box)),
              (std::vector<GtkWidget*>{GTK_WIDGET(d.port_combo), GTK_WIDGET(d.baud_selector),
                                       GTK_WIDGET(d.data_bits_selector), GTK_WIDGET(d.parity_selector),
                                       GTK_WIDGET(d.stop_bits_selector)}));
    EXPECT_TRUE(gtk_combo_box_get_has_entry(GTK_COMBO_BOX(d.port_combo)));
    EXPECT_EQ(drop_down_items(d.baud_selector), (Names{"1200", "9600", "19200"}));
    EXPECT_EQ(drop_down_items(d.data_bits_selector), (Names{"7 Data bits", "8 Data bits"}));
    EXPECT_EQ(drop_down_items(d.parity_selector), (Names{"None Parity", "Odd Parity", "Even Parity"}));
    EXPECT_EQ(drop_down_items(d.stop_bits_selector), (Names{"1 Stop Bits", "2 Stop Bits"}));

    for (GtkSpinButton* spin : {d.timeout_spin, d.query_delay_spin}) {
        GtkWidget* box = frame_box(frame_of(GTK_WIDGET(spin)), GTK_ORIENTATION_HORIZONTAL, 5);
        std::vector<GtkWidget*> parts = children(box);
        ASSERT_EQ(parts.size(), 2u);
        EXPECT_EQ(parts[0], GTK_WIDGET(spin));
        EXPECT_EQ(text_of(parts[1]), "[ms]");
    }

    EXPECT_STREQ(gtk_frame_get_label(d.remote_frame), "Remote Server");
    EXPECT_EQ(margins_of(d.remote_frame), (Margins{6, 6, 0, 0}));
    GtkWidget* remote = frame_box(GTK_WIDGET(d.remote_frame), GTK_ORIENTATION_HORIZONTAL, 8);
    EXPECT_EQ(margins_of(remote), (Margins{6, 6, 8, 8}));
    EXPECT_EQ(children(remote), (std::vector<GtkWidget*>{GTK_WIDGET(d.ip_entry), GTK_WIDGET(d.port_entry)}));
    EXPECT_EQ(margins_of(d.ip_entry), (Margins{0, 0, 6, 6}));
    EXPECT_EQ(margins_of(d.port_entry), (Margins{0, 0, 6, 6}));
}

TEST(ConnectionDialog, ControlsCarryAccessibleNames)
{
    REQUIRE_DISPLAY();
    // The test environment turns accessibility off; this process keeps the
    // in-memory accessibility context (read once, before any widget exists).
    g_setenv("GTK_A11Y", "test", TRUE);
    ConnectionDialog& d = activate_app().connection;
    auto labelled_by_frame = [](GtkSpinButton* spin) {
        GtkWidget* caption = gtk_frame_get_label_widget(GTK_FRAME(frame_of(GTK_WIDGET(spin))));
        return gtk_test_accessible_check_relation(GTK_ACCESSIBLE(spin), GTK_ACCESSIBLE_RELATION_LABELLED_BY,
                                                  caption, nullptr);
    };
    EXPECT_EQ(labelled_by_frame(d.timeout_spin), nullptr);
    EXPECT_EQ(labelled_by_frame(d.query_delay_spin), nullptr);
    g_autofree char* mismatch = gtk_test_accessible_check_relation(
        GTK_ACCESSIBLE(d.timeout_spin), GTK_ACCESSIBLE_RELATION_LABELLED_BY, d.serial_choice, nullptr);
    EXPECT_NE(mismatch, nullptr) << "the relation check must see a wrong caption";
    EXPECT_EQ(gtk_test_accessible_check_relation(GTK_ACCESSIBLE(d.port_combo), GTK_ACCESSIBLE_RELATION_LABELLED_BY,
                                                 d.serial_choice, nullptr),
              nullptr);
    EXPECT_EQ(gtk_test_accessible_check_property(GTK_ACCESSIBLE(d.ip_entry), GTK_ACCESSIBLE_PROPERTY_LABEL, "IP"),
              nullptr);
    EXPECT_EQ(gtk_test_accessible_check_property(GTK_ACCESSIBLE(d.port_entry), GTK_ACCESSIBLE_PROPERTY_LABEL, "PORT"),
              nullptr);
    for (GtkDropDown* selector : {d.baud_selector, d.data_bits_selector, d.parity_selector, d.stop_bits_selector})
        EXPECT_TRUE(gtk_test_accessible_has_property(GTK_ACCESSIBLE(selector), GTK_ACCESSIBLE_PROPERTY_LABEL));
}

TEST(ConnectionDialog, ConnectionTypeSwitchesTheSensitiveSections)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    GtkWidget* timeout_frame = frame_of(GTK_WIDGET(d.timeout_spin));
    GtkWidget* delay_frame = frame_of(GTK_WIDGET(d.query_delay_spin));
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(sensitive(d.mode_frame));
        EXPECT_TRUE(sensitive(d.serial_box));
        EXPECT_FALSE(sensitive(d.remote_frame));
        gtk_check_button_set_active(d.tcp_choice, TRUE);
        EXPECT_FALSE(gtk_check_button_get_active(d.serial_choice));
        EXPECT_FALSE(sensitive(d.mode_frame));
        EXPECT_FALSE(sensitive(d.serial_box));
        EXPECT_TRUE(sensitive(d.remote_frame));
        EXPECT_TRUE(sensitive(timeout_frame));
        EXPECT_TRUE(sensitive(delay_frame));
        gtk_check_button_set_active(d.serial_choice, TRUE);
        EXPECT_FALSE(gtk_check_button_get_active(d.tcp_choice));
        EXPECT_TRUE(sensitive(timeout_frame));
        EXPECT_TRUE(sensitive(delay_frame));
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
    EXPECT_FALSE(link_state().running.load());

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

TEST(ConnectionDialog, TimeoutStaysWithinItsRange)
{
    REQUIRE_DISPLAY();
    ConnectionDialog& d = activate_app().connection;
    gtk_spin_button_set_value(d.timeout_spin, 20000);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(d.timeout_spin), 10000);
    gtk_spin_button_set_value(d.timeout_spin, -5);
    EXPECT_EQ(gtk_spin_button_get_value_as_int(d.timeout_spin), 0);
}
