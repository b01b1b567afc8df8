#pragma once
// Shared by tests of what reaches the windows from a worker: the built user
// interface with the app's link reset, one cycle run as the worker runs it
// and handed over as the worker's reports are, and the status line and the
// Logger's lines as the user sees them.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "link/call_guard.hpp"
#include "link/poll_round.hpp"
#include "logger/log_history.hpp"
#include "support/gtk_test_env.hpp"

namespace app_test {

inline std::string status_text() { return gtk_label_get_text(app().main_window.status_line); }

// The Logger's lines without their time of day: "TX: 01 03 ..." and so on.
inline std::vector<std::string> logged_frames()
{
    std::vector<std::string> lines;
    const LogHistory& history = app().logger.history;
    for (unsigned i = 0; i < history.count; ++i) {
        const std::string& line = log_line_at(history, i).text;
        lines.push_back(line.size() > 9 ? line.substr(9, line.size() - 10) : line);
    }
    return lines;
}

// The values the worker reported last for the shown tab, whatever their block.
inline PublishedValues published_values()
{
    UiReports& reports = app_reports();
    std::lock_guard lock(reports.shown->lock);
    for (const PublishedValues& values : reports.shown->published)
        if (values.key == app().tabs.tab->definition->key)
            return values;
    return PublishedValues{};
}

inline std::vector<uint16_t> shown_values()
{
    PublishedValues published = published_values();
    return std::vector<uint16_t>(published.values.begin(), published.values.begin() + published.value_count);
}

inline bool write_waiting()
{
    std::lock_guard lock(app_link().write_lock);
    return app_link().write_waiting;
}

inline ConnectionSettings tcp_settings(int port, uint32_t timeout_ms = 1000)
{
    return {.device = "127.0.0.1", .baud_or_port = uint32_t(port), .response_timeout_ms = timeout_ms, .use_tcp = true};
}

inline PollDefinition poll_of(uint8_t slave, uint8_t fcode, uint16_t address, uint8_t length,
                              uint32_t scan_rate = 1000)
{
    return PollDefinition{slave, fcode, address, length, scan_rate};
}

// What Connect does once the settings are stored.
inline void connect_with(const PollDefinition& poll, const ConnectionSettings& settings)
{
    store_poll_definition(poll);
    store_connection_settings(settings);
    signal_wake();
    app_link().running.store(true);
    ASSERT_TRUE(start_worker());
}

// One round of poll under the shown tab's key on the test's thread, as the
// worker runs it, then the posted callbacks.
inline void run_cycle(const PollDefinition& poll, const ConnectionSettings& settings)
{
    CallGuard guard;
    WorkerContext worker{app_link(), app_reports(), guard, 1};
    KeptLink for_this_round;
    PollSchedule schedule;
    run_poll_round(worker, {PollEntry{app().tabs.tab->definition->key, poll, nullptr}}, settings, for_this_round,
                   schedule);
    drain_main_loop();
}

class AppLinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DISPLAY();
        activate_app();
        reset_app_link();
        drain_main_loop();
        clear_log_history(app().logger.history);
    }

    void TearDown() override
    {
        app_link().running.store(false);
        signal_wake();
        EXPECT_TRUE(run_until([] { return worker_threads() == 0; }, 5000)) << "a worker did not end";
        drain_main_loop();
    }
};

}  // namespace app_test
