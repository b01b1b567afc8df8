#include <gtest/gtest.h>

#include <string>

#include "pointedit/point_dialog.hpp"
#include "setup/set_up_model.hpp"
#include "support/app_link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "table/register_grid.hpp"

namespace {

using namespace app_test;

class PointDialogTest : public AppLinkTest {};

std::string cell_text(unsigned item)
{
    return gtk_label_get_text(app().tabs.tab->table.value_cells.at(item));
}

std::string tooltip(unsigned item)
{
    const char* text = value_cell_tooltip(GTK_WIDGET(app().tabs.tab->table.value_cells.at(item)));
    return text ? text : "";
}

}  // namespace

// Given a block of polled registers, expect Edit Point to preview the value
// in the terms being set, to refuse a scale of 0 with its reason and Ok
// closed, and on Ok to put label and point into the set-up; the grid then
// shows the point once at its first address with its unit, the registers in
// its tooltip, the rest of it marked, and Raw Values shows the registers.
TEST_F(PointDialogTest, SetsAPointThatTheGridShowsInItsTerms)
{
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    server->set_holding(2, 0x0001);
    server->set_holding(3, 0x86A0);  // 100000
    server->set_holding(4, 1004);
    PollDefinition poll = poll_of(1, 3, 0, 6);
    store_poll_definition(poll);
    ConnectionSettings settings = tcp_settings(server->port());
    run_cycle(poll, settings);
    App& a = app();
    PointDialog& dialog = a.point_dialog;

    open_point_dialog(dialog, 2);
    gtk_editable_set_text(GTK_EDITABLE(dialog.label), "Energy");
    gtk_drop_down_set_selected(dialog.type, 6);  // UINT32
    gtk_editable_set_text(GTK_EDITABLE(dialog.scale), "0.01");
    gtk_editable_set_text(GTK_EDITABLE(dialog.unit), "kWh");
    EXPECT_EQ(std::string(gtk_label_get_text(dialog.preview)), "1000 kWh  (raw 0x0001 0x86A0)");
    gtk_editable_set_text(GTK_EDITABLE(dialog.scale), "0");
    EXPECT_STRNE(gtk_label_get_text(dialog.reason), "");
    EXPECT_FALSE(gtk_widget_get_sensitive(GTK_WIDGET(dialog.ok_button)));
    EXPECT_FALSE(apply_point_dialog(dialog));
    EXPECT_TRUE(a.tabs.tab->definition->points.empty()) << "nothing changes while refused";
    gtk_editable_set_text(GTK_EDITABLE(dialog.scale), "0.01");
    ASSERT_TRUE(apply_point_dialog(dialog));
    EXPECT_FALSE(gtk_widget_get_visible(GTK_WIDGET(dialog.window)));
    const DefinitionSetUp& definition = *a.tabs.tab->definition;
    ASSERT_EQ(definition.points.count(2), 1u);
    EXPECT_EQ(definition.points.at(2).unit, "kWh");
    EXPECT_EQ(find_label(definition.labels, 2)->text, "Energy");
    EXPECT_TRUE(a.set_up.document.changed);

    run_cycle(poll, settings);
    EXPECT_EQ(cell_text(2), "1000 kWh");
    EXPECT_EQ(cell_text(3), "");
    EXPECT_TRUE(gtk_widget_has_css_class(GTK_WIDGET(a.tabs.tab->table.value_cells[3]), "group_rest"));
    EXPECT_EQ(tooltip(2), "Raw 0x0001 0x86A0");
    EXPECT_EQ(cell_text(4), "1004") << "the tab's Format goes on after the point";
    g_action_group_activate_action(G_ACTION_GROUP(a.application), "raw-values", nullptr);
    EXPECT_EQ(cell_text(2), "0x0001 0x86A0");
    EXPECT_EQ(tooltip(2), "1000 kWh");
    g_action_group_activate_action(G_ACTION_GROUP(a.application), "raw-values", nullptr);

    // On coils, a BCD point cannot stand.
    PollDefinition coils = poll_of(1, 1, 0, 8);
    store_poll_definition(coils);
    open_point_dialog(dialog, 1);
    gtk_drop_down_set_selected(dialog.type, 11);  // BCD
    EXPECT_STRNE(gtk_label_get_text(dialog.reason), "");
    EXPECT_FALSE(apply_point_dialog(dialog));
    gtk_widget_set_visible(GTK_WIDGET(dialog.window), FALSE);
}
