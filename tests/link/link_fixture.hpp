#pragma once
// Shared by the link tests: a built user interface, a fresh LinkState, the
// status line and the Logger's lines as the user would see them, and the
// end of every worker a test started.

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/application.hpp"
#include "connection/connection_dialog.hpp"
#include "link/call_guard.hpp"
#include "link/connect.hpp"
#include "link/link_state.hpp"
#include "link/poll_cycle.hpp"
#include "link/worker.hpp"
#include "logger/log_history.hpp"
#include "support/gtk_test_env.hpp"

namespace link_test {

inline std::string status_text() { return gtk_label_get_text(app().main_window.status_line); }
inline bool status_is_error() { return gtk_widget_has_css_class(GTK_WIDGET(app().main_window.status_line), "error"); }

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

// The values as the worker last published them, whatever their block.
inline PublishedValues published_values()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.values_lock);
    return s.published;
}

inline std::vector<uint16_t> shown_values()
{
    PublishedValues published = published_values();
    return std::vector<uint16_t>(published.values.begin(), published.values.begin() + published.value_count);
}

inline bool write_waiting()
{
    LinkState& s = link_state();
    std::lock_guard lock(s.write_lock);
    return s.write_waiting;
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

// What the Write dialog's Send does while connected; the write's sequence.
inline uint32_t request_write(uint8_t fcode, uint16_t address, uint16_t value, uint16_t count, uint8_t slave = 1,
                              uint8_t width = 1)
{
    WriteRequest request;
    request.words.fill(value);
    request.width = width;
    request.slave = slave;
    request.fcode = fcode;
    request.address = address;
    request.value = value;
    request.count = count;
    return hand_over_write(request, true);
}

// What Connect does once the settings are stored.
inline void connect_with(const PollDefinition& poll, const ConnectionSettings& settings)
{
    store_poll_definition(poll);
    store_connection_settings(settings);
    signal_wake();
    link_state().running.store(true);
    ASSERT_TRUE(start_worker());
}

// What the user does in the Connection dialog for TCP, then Ok.
inline void connect_by_dialog(int port, int timeout_ms = 1000, const char* ip = "127.0.0.1")
{
    ConnectionDialog& dialog = app().connection;
    gtk_check_button_set_active(dialog.tcp_choice, TRUE);
    gtk_editable_set_text(GTK_EDITABLE(dialog.ip_entry), ip);
    gtk_editable_set_text(GTK_EDITABLE(dialog.port_entry), std::to_string(port).c_str());
    gtk_spin_button_set_value(dialog.timeout_spin, timeout_ms);
    connect_link(dialog);
}

// One cycle on the test's thread, as the worker runs it, then the posted
// callbacks.
inline void run_cycle(const PollDefinition& poll, const ConnectionSettings& settings)
{
    CallGuard guard;
    run_poll_cycle(poll, settings, guard);
    drain_main_loop();
}

inline double elapsed_ms(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

class LinkTest : public testing::Test {
protected:
    void SetUp() override
    {
        REQUIRE_DISPLAY();
        activate_app();
        reset_link_state();
        drain_main_loop();
        clear_log_history(app().logger.history);
    }

    void TearDown() override
    {
        link_state().running.store(false);
        signal_wake();
        EXPECT_TRUE(run_until([] { return worker_threads() == 0; }, 5000)) << "a worker did not end";
        drain_main_loop();
    }
};

}  // namespace link_test
