// The wire on a serial line against a device of the tests' own on a pty
// (support/pty_device.hpp), which plays the line's timing, counts the opens
// of its node and notes how long the line was quiet before each request.

#include <gtest/gtest.h>
#include <modbus.h>

#include <algorithm>

#include "link/link_statistics.hpp"
#include "link_fixture.hpp"
#include "support/pty_device.hpp"

namespace {

using namespace link_test;
using Values = std::vector<uint16_t>;
using Answer = PtyDevice::Answer;

double ms_between(PtyDevice::Clock::time_point from, PtyDevice::Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

class WireSerial : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        device = PtyDevice::start(1);
        ASSERT_TRUE(device);
        serial.device = device->client_device();
        serial.baud_or_port = 19200;
        serial.response_timeout_ms = 200;
    }

    bool shows(const Values& values) { return shown_values() == values && status_text() == " "; }

    std::unique_ptr<PtyDevice> device;
    ConnectionSettings serial;
};

// The device as the link reaches it with RTU framing: a read, a write, and
// a damaged CRC that is counted as a bad reply.
TEST_F(WireSerial, DeviceIsReadWrittenAndItsBadCrcIsABadReply)
{
    device->set_holding(3, 33);
    request_write(6, 4, 44, 1);
    run_cycle(poll_of(1, 3, 3, 2), serial);
    EXPECT_FALSE(last_write_result().failed);
    EXPECT_TRUE(shows({33, 44}));
    EXPECT_EQ(device->holding(4), 44);

    device->answer_next({Answer::bad_check});
    run_cycle(poll_of(1, 3, 3, 2), serial);
    EXPECT_EQ(take_snapshot(link().statistics).bad_replies, 1u);
    EXPECT_FALSE(published_values().live);
    EXPECT_TRUE(status_is_error());
}

// Given keep open on and a device that stays silent, then damages its CRC,
// then answers another function, expect the port opened once for all the
// cycles; and once more for units 248 to 254, which this line cannot reach.
TEST_F(WireSerial, KeptPortStaysOpenThroughFailedReplies)
{
    device->set_holding(0, 9);
    device->answer_next({Answer::silent, Answer::bad_check, Answer::bad_reply});
    serial.keep_open = true;
    connect_with(poll_of(1, 3, 0, 1, 20), serial);
    ASSERT_TRUE(run_until([&] { return device->request_count() >= 5 && shows({9}); }, 6000));
    EXPECT_EQ(device->opens(), 1);
    EXPECT_EQ(device->closes(), 0);

    store_poll_definition(poll_of(250, 3, 0, 1, 20));
    signal_wake();
    size_t polls = recorder().polls().size();
    ASSERT_TRUE(run_until([&] { return recorder().polls().size() >= polls + 5; }, 5000));
    EXPECT_EQ(device->opens(), 1);
    EXPECT_EQ(device->closes(), 0);
}

// Given a silent device, a 500 ms time-out and a scan rate of 0, expect a
// cycle to last one time-out and the settle interval after it (half a
// time-out, in which a late reply would be passed over), not two time-outs.
TEST_F(WireSerial, SilentDeviceCostsOneTimeOutACycle)
{
    device->set_answer(Answer::silent);
    serial.response_timeout_ms = 500;
    connect_with(poll_of(1, 3, 0, 1, 0), serial);
    ASSERT_TRUE(run_until([&] { return device->request_count() >= 4; }, 10000));
    std::vector<PtyDevice::Heard> heard = device->heard();
    for (size_t i = 1; i < 4; ++i) {
        double cycle = ms_between(heard[i - 1].began, heard[i].began);
        EXPECT_GE(cycle, 740.0);
        EXPECT_LT(cycle, 950.0);
    }
}

// Given replies at once and a scan rate of 0, expect the line quiet for 3.5
// characters after each reply before the next request: 11 bits a character
// with parity, 10 without, and 1.75 ms at any rate above 19200 baud.
TEST_F(WireSerial, RequestWaitsThreeAndAHalfCharactersAfterAReply)
{
    struct Case {
        uint32_t baud;
        char parity;
        double least_ms;
    };
    serial.keep_open = true;
    connect_with(poll_of(1, 3, 0, 1, 0), serial);
    for (Case c : {Case{19200, 'N', 3.5 * 10 * 1000 / 19200}, {9600, 'E', 3.5 * 11 * 1000 / 9600},
                   {115200, 'N', 1.75}}) {
        SCOPED_TRACE(c.baud);
        device->set_character(c.parity, 8, 1);
        serial.baud_or_port = c.baud;
        serial.parity = c.parity;
        store_connection_settings(serial);
        signal_wake();
        // The quiet times of requests whose reply before came at this rate too.
        auto quiet_times = [&] {
            std::vector<PtyDevice::Heard> heard = device->heard();
            std::vector<double> quiet;
            for (size_t i = 1; i < heard.size(); ++i)
                if (heard[i].baud == c.baud && heard[i - 1].baud == c.baud && heard[i].after_reply)
                    quiet.push_back(heard[i].quiet_ms);
            return quiet;
        };
        ASSERT_TRUE(run_until([&] { return quiet_times().size() >= 10; }, 5000));
        std::vector<double> quiet = quiet_times();
        EXPECT_GE(*std::min_element(quiet.begin(), quiet.end()), c.least_ms);
    }
}

// Given a write of 123 registers (255 bytes, 2.1 s on the line at 1200 baud)
// with a time-out of 1000 ms, and a device that answers as soon as the last
// byte has come, expect the write to succeed: its time-out counts from the
// end of the request on the line. A pty drains at once, so that end is the
// one the rate and the frame's length give.
TEST_F(WireSerial, TimeOutCountsFromTheEndOfALongRequestOnTheLine)
{
    serial.baud_or_port = 1200;
    serial.response_timeout_ms = 1000;
    request_write(16, 0, 0x4321, 123);
    run_cycle(poll_of(1, 3, 121, 2), serial);
    EXPECT_FALSE(last_write_result().failed) << modbus_strerror(last_write_result().error);
    EXPECT_EQ(device->holding(122), 0x4321);
    EXPECT_EQ(shown_values(), (Values{0x4321, 0x4321}));
}

}  // namespace
