// Several connections polled at once. Four local libmodbus TCP servers (in
// child processes), and the real window with four connections, each with
// four tabs of 125 holding registers at scan rate 0 on a kept connection. Measured:
//   - each connection's requests per second, their sum, and the sum beside
//     a bare libmodbus loop of the same read on a kept connection to one
//     server alone (the most one client gets out of this machine);
//   - the same after one server stops answering (SIGSTOP): the others'
//     rates, which should not fall by more than a tenth;
//   - the main loop's lag, stamped every 10 ms by a timer of high priority,
//     over the whole run.
// Targets: every other connection within 10 % of its rate once one server
// is stopped; the main loop's 99th percentile lag under 50 ms.
//
//   ./scripts/headless build/bench/connections_bench
//
// Exit status 0 when the targets are met, 1 when one is missed, 2 when the
// set-up failed.

#include <gtk/gtk.h>
#include <modbus.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/application.hpp"
#include "bench_support.hpp"
#include "connection/connect.hpp"
#include "handover/link_set.hpp"
#include "link/worker.hpp"
#include "tabs/poll_tabs.hpp"
#include "window_polling.hpp"

namespace {

using namespace bench;

constexpr int servers = 4;
constexpr int measure_ms = 3000;
constexpr int settle_ms = 1500;
constexpr double most_loss = 0.10;
constexpr double lag_target_ms = 50;

// Requests per second of a plain read loop on one kept connection.
double bare_loop_rate(int port)
{
    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    if (!ctx || modbus_connect(ctx) != 0) {
        if (ctx)
            modbus_free(ctx);
        return 0;
    }
    uint16_t registers[register_count];
    size_t done = 0;
    gint64 start = g_get_monotonic_time(), end = start + gint64(measure_ms) * 1000;
    while (g_get_monotonic_time() < end)
        done += modbus_read_registers(ctx, 0, register_count, registers) == register_count;
    double seconds = double(g_get_monotonic_time() - start) / 1e6;
    modbus_close(ctx);
    modbus_free(ctx);
    return double(done) / seconds;
}

// The window's set-up: connection i to server i, and over it four tabs of
// register_count registers each, one after the other.
constexpr int tabs_per_connection = 4;

void set_up_connections(const std::array<ServerChild, servers>& children)
{
    App& a = app();
    uint32_t first = a.set_up.connections.front().serial;
    set_connection_settings(a.set_up, first, kept_local_tcp(children[0].port));
    hand_poll_definition(a.tabs, PollDefinition{1, 3, 0, register_count, 0});
    for (int i = 0; i < servers; ++i) {
        uint32_t connection = first;
        if (i > 0) {
            ConnectionSetUp* added = add_connection(a.set_up, "Server " + std::to_string(i + 1),
                                                    kept_local_tcp(children[size_t(i)].port));
            connection = added ? added->serial : first;
        }
        for (int j = i == 0 ? 1 : 0; j < tabs_per_connection; ++j) {
            PollTab* tab = add_poll_tab(a.tabs, PollDefinition{1, 3, uint16_t(j * register_count), register_count, 0});
            if (tab)
                set_definition_connection(a.set_up, *tab->definition, connection);
        }
    }
}

// The requests per second over measure_ms of the running window of each
// of the first asked servers (a stopped one cannot tell; its rate is 0).
std::array<double, servers> window_rates(const std::array<ServerChild, servers>& children, int asked = servers)
{
    std::array<size_t, servers> before{};
    for (int i = 0; i < asked; ++i)
        before[size_t(i)] = children[size_t(i)].request_count();
    gint64 start = g_get_monotonic_time();
    run_loop_for(measure_ms);
    double seconds = double(g_get_monotonic_time() - start) / 1e6;
    std::array<double, servers> rates{};
    for (int i = 0; i < asked; ++i)
        rates[size_t(i)] = double(children[size_t(i)].request_count() - before[size_t(i)]) / seconds;
    return rates;
}

void print_rates(const char* when, const std::array<double, servers>& rates, double bare)
{
    double sum = 0;
    std::printf("%s:", when);
    for (double rate : rates) {
        std::printf(" %.0f", rate);
        sum += rate;
    }
    std::printf(" requests/s; sum %.0f, %.2f of the bare loop\n", sum, bare > 0 ? sum / bare : 0);
}

double percentile(std::vector<gint64> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return double(values[size_t(p * double(values.size() - 1))]) / 1000;
}

bool wait_for_workers(int count)
{
    gint64 deadline = g_get_monotonic_time() + 5'000'000;
    auto cycling = [] {
        int n = 0;
        for (ConnectionLink& link : app().links.links)
            n += active_workers(*link.link);
        return n;
    };
    while (cycling() < count && g_get_monotonic_time() < deadline)
        run_loop_for(20);
    return cycling() >= count;
}

void stop_everything(std::array<ServerChild, servers>& children)
{
    disconnect_link(app().connection);
    run_loop_for(200);
    for (ServerChild& child : children)
        if (child.pid > 0) {
            kill(child.pid, SIGCONT);
            kill(child.pid, SIGKILL);
        }
}

}  // namespace

int main()
{
    setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure as soon as it is known
    std::array<ServerChild, servers> children;
    for (ServerChild& child : children)
        if (!start_server(child)) {
            std::fprintf(stderr, "a server did not start\n");
            return 2;
        }
    double bare = bare_loop_rate(children[0].port);
    std::printf("bare kept loop to one server: %.0f requests/s\n", bare);
    if (!open_bench_window("connections_bench"))
        return 2;
    set_up_connections(children);
    if (app().links.links.size() != servers) {
        std::fprintf(stderr, "the window made %zu links\n", app().links.links.size());
        return 2;
    }
    LagProbe probe;
    g_timeout_add_full(G_PRIORITY_HIGH, probe_interval_ms, on_probe, &probe, nullptr);
    connect_all(app().connection);
    if (!wait_for_workers(servers)) {
        std::fprintf(stderr, "the workers did not start\n");
        stop_everything(children);
        return 2;
    }
    run_loop_for(settle_ms);
    std::array<double, servers> all = window_rates(children);
    print_rates("four connections", all, bare);

    kill(children[servers - 1].pid, SIGSTOP);
    run_loop_for(settle_ms);
    std::array<double, servers> three = window_rates(children, servers - 1);
    print_rates("one server stopped", three, bare);

    bool met = true;
    for (int i = 0; i + 1 < servers; ++i) {
        double kept = all[size_t(i)] > 0 ? three[size_t(i)] / all[size_t(i)] : 0;
        std::printf("connection %d keeps %.0f %% of its rate\n", i + 1, kept * 100);
        met = met && kept >= 1 - most_loss;
    }
    double p99 = percentile(probe.lags_us, 0.99);
    std::printf("main loop lag: p50 %.1f ms, p99 %.1f ms, most %.1f ms (target p99 < %.0f ms)\n",
                percentile(probe.lags_us, 0.5), p99, percentile(probe.lags_us, 1.0), lag_target_ms);
    met = met && p99 < lag_target_ms;
    stop_everything(children);
    std::printf("%s\n", met ? "targets met" : "target missed");
    return met ? 0 : 1;
}
