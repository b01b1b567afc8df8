// The client against a Modbus implementation nobody here wrote: Debian's
// python3-pymodbus TCP server.

#include <gtest/gtest.h>

#include "link_fixture.hpp"
#include "support/pymodbus_launcher.hpp"

namespace {

using namespace link_test;
using Strings = std::vector<std::string>;
using Values = std::vector<uint16_t>;

class PymodbusLink : public LinkTest {};

TEST_F(PymodbusLink, ServerIsReadAndWritten)
{
    auto server = PymodbusServer::start();
    ASSERT_TRUE(server) << "python3-pymodbus server did not start";
    ConnectionSettings settings = tcp_settings(server->port());

    run_cycle(poll_of(1, 3, 10, 3), settings);
    EXPECT_EQ(shown_values(), (Values{1010, 1011, 1012}));
    EXPECT_EQ(logged_frames(), (Strings{"TX: 01 03 00 0A 00 03", "RX: 01 03 06 03 F2 03 F3 03 F4"}));
    EXPECT_EQ(status_text(), " ");

    run_cycle(poll_of(1, 1, 0, 10), settings);
    EXPECT_EQ(shown_values(), (Values{0, 1, 0, 1, 0, 1, 0, 1, 0, 1}));
    run_cycle(poll_of(1, 2, 0, 4), settings);
    EXPECT_EQ(shown_values(), (Values{1, 0, 0, 1}));
    run_cycle(poll_of(1, 4, 0, 2), settings);
    EXPECT_EQ(shown_values(), (Values{2000, 2001}));

    // Longer than one request may carry: two requests, one block.
    forget_frames();
    run_cycle(poll_of(1, 3, 100, 240), settings);
    Values shown = shown_values();
    ASSERT_EQ(shown.size(), 240u);
    for (uint16_t i = 0; i < 240; ++i)
        ASSERT_EQ(shown[i], 1100 + i) << i;
    EXPECT_TRUE(published_values().live);
    EXPECT_EQ(logged_frames().size(), 4u);
    EXPECT_EQ(logged_frames()[2], "TX: 01 03 00 E1 00 73");

    request_write(16, 20, 258, 3);
    run_cycle(poll_of(1, 3, 19, 5), settings);
    EXPECT_FALSE(write_waiting());
    EXPECT_FALSE(last_write_result().failed);
    EXPECT_EQ(shown_values(), (Values{1019, 258, 258, 258, 1023}));
}

}  // namespace
