// "Keep connection open" against real servers: the TCP server counts the
// connections it accepts and closes, the serial line counts its openings.

#include "link/kept_link.hpp"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <modbus.h>
#include <netdb.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "link/host_address.hpp"
#include "link_fixture.hpp"
#include "support/modbus_test_server.hpp"
#include "support/rtu_test_server.hpp"

namespace {

// The resolver's calls in this test program; the system's resolver answers
// them (below).
std::atomic<int> resolver_calls{0};

}  // namespace

extern "C" int getaddrinfo(const char* host, const char* service, const addrinfo* hints, addrinfo** found)
{
    using Resolver = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto system_resolver = reinterpret_cast<Resolver>(dlsym(RTLD_NEXT, "getaddrinfo"));
    resolver_calls.fetch_add(1);
    return system_resolver(host, service, hints, found);
}

namespace {

using namespace link_test;
using Values = std::vector<uint16_t>;

ConnectionSettings kept(ConnectionSettings settings)
{
    settings.keep_open = true;
    return settings;
}

bool shows(const Values& values)
{
    return shown_values() == values && status_text() == " ";
}

// Counts how often any process opens a device node (inotify; an open and
// its close alternate, so no two events are merged).
class OpenCounter {
public:
    explicit OpenCounter(const std::string& path) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        char* real = realpath(path.c_str(), nullptr);
        watching_ = real && inotify_add_watch(fd_, real, IN_OPEN | IN_CLOSE) >= 0;
        free(real);
    }
    ~OpenCounter() { close(fd_); }
    bool watching() const { return watching_; }

    int opens() { return take_events(), opens_; }
    int closes() { return take_events(), closes_; }

private:
    void take_events()
    {
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = read(fd_, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + got;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                opens_ += (event->mask & IN_OPEN) ? 1 : 0;
                closes_ += (event->mask & IN_CLOSE) ? 1 : 0;
                at += sizeof(inotify_event) + event->len;
            }
    }

    int fd_;
    bool watching_ = false;
    int opens_ = 0;
    int closes_ = 0;
};

class KeptLinkTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        server = ModbusTestServer::start_tcp();
        ASSERT_TRUE(server);
    }

    std::unique_ptr<ModbusTestServer> server;
};

// Without a server of its own.
class KeptLinkElsewhere : public LinkTest {};

TEST(HostAddress, ResolvesNamesAndBothFamiliesKeepingTheScope)
{
    struct Case {
        const char* text;
        const char* first;  // null: it must not resolve
    };
    for (Case c : {Case{"127.0.0.1", "127.0.0.1"}, {"localhost", "127.0.0.1"}, {"::1", "::1"},
                   {"fe80::1%lo", "fe80::1%lo"}, {"fe80::1%1", "fe80::1%lo"}, {"fe80::1%no-such-if", nullptr},
                   {"no-such-host.invalid", nullptr}}) {
        SCOPED_TRACE(c.text);
        HostAddresses host = resolve_host(c.text, 502);
        if (!c.first) {
            EXPECT_NE(host.resolve_error, 0);
            EXPECT_TRUE(host.numeric.empty());
            continue;
        }
        EXPECT_EQ(host.resolve_error, 0);
        ASSERT_FALSE(host.numeric.empty());
        EXPECT_EQ(host.numeric.front(), c.first);
    }
    EXPECT_STREQ(resolve_error_text(resolve_host("no-such-host.invalid", 502).resolve_error),
                 "Name or service not known");
}

// Over TCP only an exception response leaves the stream in step; a serial
// port is closed only when the device itself fails.
TEST(KeepPolicy, TcpKeepsOnlyAfterAnExceptionSerialUntilTheDeviceFails)
{
    ConnectionSettings tcp = kept({});
    tcp.use_tcp = true;
    ConnectionSettings serial = kept({});
    struct Case {
        int failure;
        bool keep_tcp;
        bool keep_serial;
    };
    for (Case c : {Case{0, true, true}, {EMBXILFUN, true, true}, {EMBXGTAR, true, true}, {EMBBADEXC, true, true},
                   {ETIMEDOUT, false, true}, {ECONNRESET, false, true}, {EMBBADDATA, false, true},
                   {EMBBADCRC, false, true}, {EMBMDATA, false, true}, {EINVAL, false, true}, {EIO, false, false},
                   {ENXIO, false, false}, {EBADF, false, false}}) {
        SCOPED_TRACE(c.failure);
        EXPECT_EQ(keep_after_cycle(tcp, c.failure), c.keep_tcp);
        EXPECT_EQ(keep_after_cycle(serial, c.failure), c.keep_serial);
        EXPECT_FALSE(keep_after_cycle(ConnectionSettings{}, c.failure));
    }
}

// Given the box on, expect fifty cycles and a write over one connection,
// and Disconnect to close it.
TEST_F(KeptLinkTest, OneConnectionCarriesTheCyclesAndAWriteUntilDisconnect)
{
    server->set_holding(0, 7);
    connect_with(poll_of(1, 3, 0, 2, 2), kept(tcp_settings(server->port())));
    ASSERT_TRUE(run_until([&] { return server->request_count() >= 50; }, 5000));
    EXPECT_TRUE(shows({7, 0}));
    uint32_t write = request_write(6, 1, 4242, 1);
    signal_wake();
    ASSERT_TRUE(run_until([&] { return shows({7, 4242}); }, 3000));
    EXPECT_EQ(last_write_result().sequence, write);
    EXPECT_FALSE(last_write_result().failed);
    EXPECT_EQ(server->connection_count(), 1u);
    EXPECT_EQ(server->closed_count(), 0u);

    disconnect();
    EXPECT_TRUE(run_until([&] { return server->closed_count() == 1; }, 2000));
    EXPECT_EQ(server->connection_count(), 1u);
}

// Given a kept connection whose device falls silent, expect Disconnect to
// end the read stuck on it at once and to close it.
TEST_F(KeptLinkTest, DisconnectEndsAReadStuckOnAKeptConnection)
{
    connect_with(poll_of(1, 3, 0, 2, 5), kept(tcp_settings(server->port(), 9000)));
    ASSERT_TRUE(run_until([&] { return server->request_count() >= 5; }, 3000));
    server->set_behaviour(ModbusTestServer::Behaviour::silent);
    // A request already answered may still come in; the read is stuck once
    // the count stands still.
    ASSERT_TRUE(run_until(
        [&] {
            size_t before = server->request_count();
            run_for(100);
            return server->request_count() == before;
        },
        3000));
    disconnect();
    auto disconnected = std::chrono::steady_clock::now();
    ASSERT_TRUE(run_until([] { return worker_threads() == 0; }, 3000));
    EXPECT_LE(elapsed_ms(disconnected), 250.0);
    EXPECT_TRUE(run_until([&] { return server->closed_count() == 1; }, 1000));
    EXPECT_EQ(server->connection_count(), 1u);
    EXPECT_EQ(status_text(), "Not connected");
}

// Given exception responses, then silence, then answers, expect the link
// kept, then dropped after every time-out, then kept again.
TEST_F(KeptLinkTest, ExceptionsKeepTheLinkTimeOutsDropIt)
{
    server->set_behaviour(ModbusTestServer::Behaviour::exception);
    connect_with(poll_of(1, 3, 0, 2, 2), kept(tcp_settings(server->port(), 50)));
    ASSERT_TRUE(run_until([&] { return server->request_count() >= 10; }, 5000));
    EXPECT_EQ(server->connection_count(), 1u);
    EXPECT_EQ(status_text(), "Exception 02: Illegal data address");

    server->set_behaviour(ModbusTestServer::Behaviour::silent);
    ASSERT_TRUE(run_until([&] { return server->connection_count() >= 4; }, 3000));
    EXPECT_EQ(status_text(), modbus_strerror(ETIMEDOUT));
    EXPECT_EQ(shown_values(), (Values{0, 0}));

    server->set_behaviour(ModbusTestServer::Behaviour::answer);
    server->set_holding(0, 3);
    ASSERT_TRUE(run_until([&] { return shows({3, 0}); }, 2000));
    size_t connections = server->connection_count();
    size_t requests = server->request_count();
    ASSERT_TRUE(run_until([&] { return server->request_count() >= requests + 10; }, 2000));
    EXPECT_EQ(server->connection_count(), connections);
}

// Given replies later than the time-out, expect each time-out to close the
// connection and no late answer ever shown, in the Logger or the grid.
TEST_F(KeptLinkTest, TimeOutDropsTheLinkAndItsLateAnswerIsNeverShown)
{
    server->set_holding(0, 111);  // only ever in a late answer
    server->set_reply_delay(std::chrono::milliseconds(150));
    connect_with(poll_of(1, 3, 0, 1, 5), kept(tcp_settings(server->port(), 50)));
    ASSERT_TRUE(run_until([] { return status_text() == modbus_strerror(ETIMEDOUT); }, 3000));
    ASSERT_TRUE(run_until([&] { return server->connection_count() >= 3; }, 2000));

    server->set_holding(0, 222);
    server->set_reply_delay(std::chrono::milliseconds(0));
    ASSERT_TRUE(run_until([&] { return shows({222}); }, 3000));
    for (const std::string& line : logged_frames())
        EXPECT_EQ(line.find("00 6F"), std::string::npos) << line;
}

// Given Ok with another port, expect the old connection closed and one new
// connection to the new port.
TEST_F(KeptLinkTest, OkWithAnotherPortMovesTheLink)
{
    auto other = ModbusTestServer::start_tcp();
    ASSERT_TRUE(other);
    server->set_holding(0, 1);
    other->set_holding(0, 2);
    store_poll_definition(poll_of(1, 3, 0, 1, 5));
    connect_to(server->port(), 1000, "127.0.0.1", true);
    ASSERT_TRUE(run_until([&] { return shows({1}); }, 3000));

    connect_to(other->port(), 1000, "127.0.0.1", true);
    ASSERT_TRUE(run_until([&] { return shows({2}) && server->closed_count() == 1; }, 2000));
    size_t requests = other->request_count();
    ASSERT_TRUE(run_until([&] { return other->request_count() >= requests + 10; }, 2000));
    EXPECT_EQ(server->connection_count(), 1u);
    EXPECT_EQ(other->connection_count(), 1u);
}

// Given the server gone and back on the same port, expect the failure shown,
// then polling on a new connection without any action of the user.
TEST_F(KeptLinkTest, ServerRestartIsShownThenPollingResumes)
{
    int port = server->port();
    server->set_holding(0, 5);
    connect_with(poll_of(1, 3, 0, 1, 5), kept(tcp_settings(port, 200)));
    ASSERT_TRUE(run_until([&] { return shows({5}); }, 3000));

    server.reset();
    ASSERT_TRUE(run_until([] { return status_is_error(); }, 2000));
    server = ModbusTestServer::start_tcp("127.0.0.1", port);
    ASSERT_TRUE(server);
    server->set_holding(0, 6);
    ASSERT_TRUE(run_until([&] { return shows({6}); }, 3000));
    size_t requests = server->request_count();
    ASSERT_TRUE(run_until([&] { return server->request_count() >= requests + 10; }, 2000));
    EXPECT_EQ(server->connection_count(), 1u);
}

// Given the box on, expect a serial port opened once across the cycles and
// closed by Disconnect.
TEST_F(KeptLinkElsewhere, SerialPortStaysOpenAcrossCycles)
{
    auto line = RtuTestServer::start(1);
    ASSERT_TRUE(line);
    OpenCounter opens(line->client_device());
    ASSERT_TRUE(opens.watching());
    line->set_holding(0, 9);
    ConnectionSettings serial{.device = line->client_device(), .response_timeout_ms = 500, .keep_open = true};
    connect_with(poll_of(1, 3, 0, 1, 5), serial);
    ASSERT_TRUE(run_until([&] { return line->request_count() >= 10; }, 5000));
    EXPECT_TRUE(shows({9}));
    EXPECT_EQ(opens.opens(), 1);
    EXPECT_EQ(opens.closes(), 0);
    disconnect();
    EXPECT_TRUE(run_until([&] { return opens.closes() == 1; }, 1000));
    EXPECT_EQ(opens.opens(), 1);
}

// Given a name, expect it resolved and polled; given a name that does not
// resolve, expect the resolver's reason, and no worker stuck in it.
TEST_F(KeptLinkTest, HostNamesResolveOrSayWhyNot)
{
    server->set_holding(0, 11);
    ConnectionSettings by_name = kept(tcp_settings(server->port()));
    by_name.device = "localhost";
    connect_with(poll_of(1, 3, 0, 1, 5), by_name);
    ASSERT_TRUE(run_until([&] { return shows({11}); }, 3000));

    by_name.device = "no-such-host.invalid";
    store_connection_settings(by_name);
    signal_wake();
    ASSERT_TRUE(run_until([] { return status_text() == "Name or service not known"; }, 2000));
    EXPECT_TRUE(status_is_error());
    EXPECT_TRUE(run_until([&] { return server->closed_count() == 1; }, 1000));
    disconnect();
    EXPECT_TRUE(run_until([] { return worker_threads() == 0; }, 1000));
}

// Given a new connection at every cycle, expect a numeric address read
// once for all of them, and a name looked up again at every connect.
TEST_F(KeptLinkTest, NumericAddressIsReadOncePerSettingsANameAtEveryConnect)
{
    int calls_before = resolver_calls.load();
    connect_with(poll_of(1, 3, 0, 1, 5), tcp_settings(server->port()));
    ASSERT_TRUE(run_until([&] { return server->connection_count() >= 20; }, 5000));
    EXPECT_EQ(resolver_calls.load() - calls_before, 1);

    ConnectionSettings by_name = tcp_settings(server->port());
    by_name.device = "localhost";
    store_connection_settings(by_name);
    signal_wake();
    ASSERT_TRUE(run_until([&] { return resolver_calls.load() > calls_before + 1; }, 3000));
    size_t connections = server->connection_count();
    int calls = resolver_calls.load();
    ASSERT_TRUE(run_until([&] { return server->connection_count() >= connections + 10; }, 5000));
    disconnect();
    ASSERT_TRUE(run_until([] { return worker_threads() == 0; }, 3000));
    EXPECT_GE(size_t(resolver_calls.load() - calls), server->connection_count() - connections - 1);
}

TEST_F(KeptLinkElsewhere, Ipv6LoopbackConnectsAndPolls)
{
    auto server = ModbusTestServer::start_tcp("::1");
    if (!server)
        GTEST_SKIP() << "this machine has no IPv6 loopback (::1) to listen on";
    server->set_holding(0, 12);
    ConnectionSettings v6 = kept(tcp_settings(server->port()));
    v6.device = "::1";
    connect_with(poll_of(1, 3, 0, 1, 5), v6);
    ASSERT_TRUE(run_until([&] { return shows({12}); }, 3000));
    EXPECT_EQ(server->connection_count(), 1u);
}

}  // namespace
