#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "app/application.hpp"
#include "connection/connect.hpp"
#include "connection/connection_dialog.hpp"
#include "connection/dialog_helpers.hpp"
#include "query/query_settings_dialog.hpp"
#include "setup/definition_name.hpp"
#include "setup/set_up_model.hpp"
#include "support/gtk_test_env.hpp"
#include "support/modbus_test_server.hpp"
#include "support/temp_folder.hpp"
#include "tabs/poll_tabs.hpp"

namespace {

std::string shown_title(PollTabs& tabs)
{
    return gtk_label_get_text(tabs.tab->title);
}

std::string message(ConnectionDialog& d)
{
    return gtk_widget_get_visible(GTK_WIDGET(d.message_label)) ? gtk_label_get_text(d.message_label) : "";
}

}  // namespace

// Given a second connection on a serial port (named through a device link),
// expect Ok on the same port refused with the other's name and nothing
// changed; a new connection made in the dialog to take the shown tab, its
// title to name it; Query Settings to move the tab to another connection;
// and "New Connection" at the most a set-up holds to say so.
TEST(ConnectionChoice, RefusesASharedPortAddsANewOneAndMovesTheShownTab)
{
    REQUIRE_DISPLAY();
    App& a = activate_app();
    ConnectionDialog& d = a.connection;
    SetUpModel& model = a.set_up;
    TempFolder folder;
    write_file(folder.file("ttyS7"), "");
    ASSERT_EQ(symlink(folder.file("ttyS7").c_str(), folder.file("by-id").c_str()), 0);
    ConnectionSettings drive_port;
    drive_port.device = folder.file("by-id");
    uint32_t drive = add_connection(model, "Drive", drive_port)->serial;
    std::string plain_title = tab_title(a.tabs.tab->definition->name, a.tabs.tab->definition->poll);
    EXPECT_EQ(shown_title(a.tabs), model.connections[0].name + " \u00b7 " + plain_title);

    open_connection_dialog(d);
    ConnectionSettings first = model.connections[0].settings;
    type_port_name(d, folder.file("ttyS7").c_str());
    click(d.ok_button);
    EXPECT_TRUE(is_visible(d));
    EXPECT_NE(message(d).find("\u201cDrive\u201d"), std::string::npos) << message(d);
    EXPECT_EQ(model.connections[0].settings, first);
    EXPECT_FALSE(any_link_running(a.links));

    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    gtk_drop_down_set_selected(d.connection_selector, 2);  // after the two: "New Connection"
    EXPECT_EQ(message(d), "");
    gtk_editable_set_text(GTK_EDITABLE(d.name_entry), "Meter \"east\"");
    gtk_check_button_set_active(d.tcp_choice, TRUE);
    gtk_editable_set_text(GTK_EDITABLE(d.ip_entry), "127.0.0.1");
    gtk_editable_set_text(GTK_EDITABLE(d.port_entry), std::to_string(server->port()).c_str());
    click(d.ok_button);
    EXPECT_FALSE(is_visible(d));
    ASSERT_EQ(model.connections.size(), 3u);
    const ConnectionSetUp& meter = model.connections[2];
    EXPECT_EQ(a.tabs.tab->definition->connection, meter.serial);
    EXPECT_EQ(meter.settings.baud_or_port, uint32_t(server->port()));
    EXPECT_EQ(shown_title(a.tabs), "Meter \"east\" \u00b7 " + plain_title);
    disconnect_link(d);

    QuerySettingsDialog& q = a.query_settings;
    open_query_settings(q);
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(q.connection_dropdown)));
    EXPECT_EQ(gtk_drop_down_get_selected(q.connection_dropdown), 2u);
    gtk_drop_down_set_selected(q.connection_dropdown, 1);
    apply_query_settings(q);
    EXPECT_EQ(a.tabs.tab->definition->connection, drive);
    EXPECT_EQ(shown_title(a.tabs), "Drive \u00b7 " + plain_title);

    while (add_connection(model, "", ConnectionSettings{})) {
    }
    open_connection_dialog(d);
    gtk_drop_down_set_selected(d.connection_selector, guint(max_connections));
    EXPECT_EQ(message(d), connection_limit_text());
    type_port_name(d, "/dev/ttyS99");
    click(d.ok_button);
    EXPECT_TRUE(is_visible(d));
    EXPECT_EQ(model.connections.size(), max_connections);
}
