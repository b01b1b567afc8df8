// Scan Bus against real peers: pymodbus serving a few unit ids, a gateway
// that has nothing behind it, a serial device at one setting only, and a
// silent line that a Stop must leave at once.

#include "link/bus_scan.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/pty_device.hpp"
#include "support/pymodbus_launcher.hpp"
#include "support/scripted_tcp_server.hpp"

using namespace link_test;

namespace {

class ScanRecorder final : public ScanReports {
public:
    void probe_done(const ScanProgress& progress) override
    {
        std::lock_guard hold(lock_);
        progress_ = progress;
    }
    void unit_found(const ScanRow& row) override
    {
        std::lock_guard hold(lock_);
        rows_.push_back(row);
    }
    void scan_ended(const ScanEnd& end) override
    {
        std::lock_guard hold(lock_);
        end_ = end;
        ended_ = true;
    }
    ScanProgress progress() const { return copy(progress_); }
    std::vector<ScanRow> rows() const { return copy(rows_); }
    ScanEnd end() const { return copy(end_); }
    bool ended() const { return copy(ended_); }

private:
    template <typename T>
    T copy(const T& field) const
    {
        std::lock_guard hold(lock_);
        return field;
    }
    mutable std::mutex lock_;
    ScanProgress progress_;
    std::vector<ScanRow> rows_;
    ScanEnd end_;
    bool ended_ = false;
};

class BusScan : public LinkTest {
protected:
    void TearDown() override
    {
        if (control) {
            control->guard.cancel();
            EXPECT_TRUE(run_until([&] { return control->finished.load(); }, 5000));
        }
        LinkTest::TearDown();
    }

    // Runs plan to its end on the scan's own thread.
    void scan(const ScanPlan& plan, int patience_ms = 30000)
    {
        control = start_bus_scan(current().link, current().recorder, reports, plan);
        ASSERT_TRUE(control);
        ASSERT_TRUE(run_until([&] { return reports->ended(); }, patience_ms));
    }

    std::shared_ptr<ScanRecorder> reports = std::make_shared<ScanRecorder>();
    std::shared_ptr<ScanControl> control;
};

size_t count_logged(const std::string& start)
{
    std::vector<std::string> frames = logged_frames();
    return size_t(std::count_if(frames.begin(), frames.end(), [&](const std::string& f) { return f.rfind(start, 0) == 0; }));
}

}  // namespace

// Given pymodbus serving ids 1, 17 and 200 only, expect exactly those, each
// with its identification (basic and regular objects), and every probe in
// the Logger.
TEST_F(BusScan, FindsTheServedUnitsWithTheirIdentification)
{
    auto server = PymodbusServer::start(PymodbusServer::Mode::tcp_units);
    ASSERT_TRUE(server);
    ScanPlan plan;
    plan.settings = tcp_settings(server->port());
    plan.last_unit = 200;
    // Room for a Python server on a busy machine: a unit that answers
    // late would be missed.
    plan.timeout_ms = 80;
    scan(plan);
    std::vector<ScanRow> rows = reports->rows();
    std::vector<int> units;
    for (const ScanRow& row : rows) {
        units.push_back(row.unit);
        EXPECT_EQ(row.answer, ScanAnswer::reply);
        EXPECT_EQ(row.identification, "Brenvaldor Test Works / BTW-17 / 2.4 / Scan Target");
        EXPECT_GT(row.response_ms, 0);
    }
    EXPECT_EQ(units, (std::vector<int>{1, 17, 200}));
    ScanProgress progress = reports->progress();
    EXPECT_EQ(progress.done, 200u);
    EXPECT_EQ(progress.found, 3u);
    EXPECT_FALSE(reports->end().cancelled);
    EXPECT_EQ(count_logged("TX: 11 03 00 00 00 01"), 1u);
    EXPECT_EQ(count_logged("TX: 11 2B 0E 02 00"), 1u);
}

// Given a gateway that answers every id with "target device failed to
// respond", expect each shown and none found.
TEST_F(BusScan, GatewayExceptionsAreShownButNotFound)
{
    auto server = ScriptedTcpServer::start([](const ScriptedTcpServer::Request& request) {
        return std::vector<ScriptedTcpServer::Send>{{exception_reply(request.bytes, 0x0B), 0}};
    });
    ASSERT_TRUE(server);
    ScanPlan plan;
    plan.settings = tcp_settings(server->port());
    plan.last_unit = 5;
    scan(plan);
    std::vector<ScanRow> rows = reports->rows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_TRUE(std::none_of(rows.begin(), rows.end(), is_found));
    EXPECT_EQ(reports->progress().found, 0u);
    EXPECT_EQ(server->request_count(), 5u);  // nothing to identify
}

// Given a device that answers only at 9600 baud, Even parity, expect the
// sweep to stop at that setting, find the unit there, and never try 1200.
TEST_F(BusScan, SerialSweepFindsTheOneSettingThatAnswers)
{
    auto device = PtyDevice::start(9);
    ASSERT_TRUE(device);
    device->set_character('E', 8, 1);
    device->require_line(9600, 'E');
    ScanPlan plan;
    plan.settings.device = device->client_device();
    plan.settings.use_tcp = false;
    plan.last_unit = 10;
    plan.timeout_ms = 100;
    plan.every_serial_setting = true;
    plan.baud_rates = {1200, 9600, 19200};
    scan(plan);
    std::vector<ScanRow> rows = reports->rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].unit, 9);
    EXPECT_EQ(rows[0].baud, 9600u);
    EXPECT_EQ(rows[0].parity, 'E');
    EXPECT_EQ(reports->progress().done, 50u);  // 19200 N, E, O; 9600 N, E
    EXPECT_EQ(reports->progress().total, 50u);
    std::vector<PtyDevice::Heard> heard = device->heard();
    EXPECT_TRUE(std::none_of(heard.begin(), heard.end(), [](const auto& h) { return h.baud == 1200; }));
}

// Given a write the user sent just before Start, expect it carried out
// before the first probe, not left waiting through the whole scan.
TEST_F(BusScan, WriteTakenBeforeStartGoesOutFirst)
{
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    uint32_t sequence = request_write(6, 5, 77, 1);
    ScanPlan plan;
    plan.settings = tcp_settings(server->port());
    plan.last_unit = 1;
    scan(plan);
    EXPECT_EQ(server->holding(5), 77);
    EXPECT_EQ(last_write_result().sequence, sequence);
    EXPECT_FALSE(last_write_result().failed);
    ASSERT_GE(logged_frames().size(), 3u);
    EXPECT_EQ(logged_frames()[0], "TX: 01 06 00 05 00 4D");
    EXPECT_EQ(logged_frames()[2], "TX: 01 03 00 00 00 01");
}

// Given a polling link and then a scan of a silent line, expect polling to
// pause while the scan runs, a Stop to end it within one time-out, and
// polling to resume afterwards, never on two connections at once.
TEST_F(BusScan, StopEndsWithinOneTimeOutAndPollingResumes)
{
    auto server = ModbusTestServer::start_tcp();
    ASSERT_TRUE(server);
    server->set_holding(0, 42);
    ConnectionSettings settings = tcp_settings(server->port(), 1000);
    settings.keep_open = true;
    connect_with(poll_of(1, 3, 0, 1, 50), settings);
    ASSERT_TRUE(run_until([] { return published_values().live; }, 5000));
    server->set_behaviour(ModbusTestServer::Behaviour::silent);
    ScanPlan plan;
    plan.settings = settings;
    plan.timeout_ms = 600;
    control = start_bus_scan(current().link, current().recorder, reports, plan);
    ASSERT_TRUE(control);
    ASSERT_TRUE(run_until([&] { return reports->progress().done >= 2; }, 5000));
    EXPECT_EQ(active_workers(), 0);
    auto stopped = std::chrono::steady_clock::now();
    control->guard.cancel();
    ASSERT_TRUE(run_until([&] { return reports->ended(); }, 2000));
    EXPECT_LT(elapsed_ms(stopped), plan.timeout_ms);
    EXPECT_TRUE(reports->end().cancelled);
    EXPECT_LE(reports->progress().done, 3u);

    server->set_behaviour(ModbusTestServer::Behaviour::answer);
    server->set_holding(0, 43);
    ASSERT_TRUE(resume_polling(current().link, current().recorder));
    EXPECT_TRUE(run_until([] { return published_values().live && shown_values()[0] == 43; }, 5000));
    EXPECT_EQ(server->overlap_count(), 0u);
    EXPECT_EQ(peak_active_workers(), 1);
}

// Given a server that answers every id but, once asked Read Device
// Identification, which it does not know, reads the rest of that
// connection out of step and answers nothing more on it, expect every id
// found: the connection is opened anew after the failed identification.
TEST_F(BusScan, ServerLostInAnUnknownRequestMissesNoUnit)
{
    std::set<size_t> out_of_step;  // the server thread's alone
    auto server = ScriptedTcpServer::start([&out_of_step](const ScriptedTcpServer::Request& request) {
        using Sends = std::vector<ScriptedTcpServer::Send>;
        uint8_t function = request.bytes[7];
        if (out_of_step.count(request.connection) || function == 43) {
            out_of_step.insert(request.connection);
            return Sends{};
        }
        return Sends{{function == 3 ? read_reply(request.bytes, 7) : exception_reply(request.bytes, 1), 0}};
    });
    ASSERT_TRUE(server);
    ScanPlan plan;
    plan.settings = tcp_settings(server->port());
    plan.last_unit = 3;
    scan(plan);
    std::vector<ScanRow> rows = reports->rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].unit, 3);
    EXPECT_EQ(server->connection_count(), 4u);
}

// Given a server that answers unit 1 but not its identification, and then
// refuses the connection the scan opens anew, or leaves it hanging while
// Stop comes: expect the scan to end saying why, or cancelled, and never a
// request on a closed line.
TEST_F(BusScan, LineLostAfterAnIdentificationEndsTheScanCleanly)
{
    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "Stop while the line is opened anew" : "opened anew, refused");
        std::atomic<bool> asked{false};
        auto server = ScriptedTcpServer::start([&asked](const ScriptedTcpServer::Request& request) {
            using Sends = std::vector<ScriptedTcpServer::Send>;
            if (request.bytes[7] == 43)
                asked.store(true);
            bool answers = request.bytes[6] == 1 && request.bytes[7] == 3;
            return answers ? Sends{{read_reply(request.bytes, 7), 0}} : Sends{};
        });
        ASSERT_TRUE(server);
        ScanPlan plan;
        plan.settings = tcp_settings(server->port());
        plan.last_unit = 3;
        plan.timeout_ms = 400;
        reports = std::make_shared<ScanRecorder>();
        control = start_bus_scan(current().link, current().recorder, reports, plan);
        ASSERT_TRUE(control);
        ASSERT_TRUE(run_until([&] { return asked.load(); }, 5000));
        std::vector<int> fillers;
        if (stop) {
            // Connections nobody accepts fill the backlog: the next connect hangs.
            server->stall_connections();
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(uint16_t(server->port()));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            for (int i = 0; i < 16; ++i) {
                fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
                connect(fillers.back(), reinterpret_cast<sockaddr*>(&address), sizeof address);
            }
            run_for(600);  // the identification's time-out, then into the new connect
            control->guard.cancel();
        } else {
            server->refuse_connections();
        }
        ASSERT_TRUE(run_until([&] { return reports->ended(); }, 5000));
        for (int filler : fillers)
            close(filler);
        EXPECT_EQ(reports->end().cancelled, stop);
        EXPECT_EQ(reports->end().error, stop ? 0 : ECONNREFUSED);
        // A row that was still being identified when Stop came is not told.
        ASSERT_EQ(reports->rows().size(), stop ? 0u : 1u);
        ASSERT_TRUE(run_until([&] { return control->finished.load(); }, 2000));
        control.reset();
    }
}
