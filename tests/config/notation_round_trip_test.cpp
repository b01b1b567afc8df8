// A set-up saved while the user reads addresses in one notation and loaded
// while they read them in another polls the same registers: the file keeps
// protocol addresses, whatever the windows show.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/application.hpp"
#include "config/config_dialogs.hpp"
#include "files/whole_file.hpp"
#include "setup/set_up_model.hpp"
#include "support/app_link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/temp_folder.hpp"

using namespace app_test;

namespace {

class SetUpUnderNotations : public AppLinkTest {};

}  // namespace

// given input registers 20 to 23 polled, 21 labelled and 22 charted, saved
// in Modicon's notation, expect protocol addresses in the file and, loaded
// in hexadecimal, the values of input registers 20 to 23 (not of the
// holding registers there)
TEST_F(SetUpUnderNotations, SavedInModiconAndLoadedInHexadecimalPollsTheSameRegisters)
{
    App& a = app();
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    for (uint16_t i = 0; i < 4; ++i) {
        server->set_input_register(uint16_t(20 + i), uint16_t(0x100 + i));
        server->set_holding(uint16_t(20 + i), uint16_t(0x200 + i));
    }
    ASSERT_TRUE(set_address_notation(a.preferences, AddressNotation::modicon));
    const PollDefinition saved = poll_of(1, 4, 20, 4, 50);
    store_poll_definition(saved);
    DefinitionSetUp& definition = *a.tabs.tab->definition;
    ASSERT_TRUE(set_definition_label(a.set_up, definition, 21, "Flow"));
    ASSERT_TRUE(set_charted(a.set_up, definition, 22, true));
    TempFolder folder;
    std::string path = folder.file("plant.dat");
    ASSERT_TRUE(save_configuration_file(a.set_up_files, path.c_str()));
    std::string text;
    ASSERT_TRUE(read_whole_file(path.c_str(), text));
    EXPECT_NE(text.find(" address=20 "), std::string::npos) << text;
    EXPECT_NE(text.find("LABEL 21 "), std::string::npos) << text;
    EXPECT_NE(text.find("CHART 22"), std::string::npos) << text;
    EXPECT_EQ(text.find("3002"), std::string::npos) << text;

    ASSERT_TRUE(set_address_notation(a.preferences, AddressNotation::hexadecimal));
    store_poll_definition(poll_of(1, 3, 0, 2, 50));
    ASSERT_TRUE(load_configuration_file(a.set_up_files, path.c_str()));
    EXPECT_EQ(copy_poll_definition(), saved);
    connect_with(saved, tcp_settings(server->port()));
    ASSERT_TRUE(run_until([] { return published_values().live; }, 5000));
    EXPECT_EQ(shown_values(), (std::vector<uint16_t>{0x100, 0x101, 0x102, 0x103}));
    set_address_notation(a.preferences, AddressNotation::protocol);
}
