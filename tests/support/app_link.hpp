#pragma once
// The application's link, its worker's reports and the values they carry,
// for tests that drive the real windows: the engine's calls on the app's own
// records, and what a worker would report, handed over as it would be.

#include "app/application.hpp"
#include "connection/connect.hpp"
#include "link/worker.hpp"
#include "table/register_grid.hpp"
#include "tabs/poll_tabs.hpp"
#include "handover/shown_values.hpp"

inline LinkState& app_link() { return *app().link; }
inline UiReports& app_reports() { return *app().reports; }

// The main window's definition, handed to the link as Query Settings does.
inline void store_poll_definition(const PollDefinition& poll) { hand_poll_definition(app().tabs, poll); }
inline PollDefinition copy_poll_definition() { return copy_poll_definition(app_link()); }
// The settings the link polls with, and the set-up keeps, as Connect stores them.
inline void store_connection_settings(const ConnectionSettings& settings)
{
    app().set_up.connections.front().settings = settings;
    store_connection_settings(app_link(), settings);
}
inline ConnectionSettings copy_connection_settings() { return copy_connection_settings(app_link()); }
inline void signal_wake() { signal_wake(app_link()); }
inline WriteResult last_write_result() { return last_write_result(app_link()); }
inline WriteRequest copy_write_request() { return copy_write_request(app_link()); }
inline uint32_t hand_over_write(const WriteRequest& request, bool running)
{
    return hand_over_write(app_link(), request, running);
}
inline bool start_worker() { return start_worker(app().link, app().reports); }
inline int worker_threads() { return worker_threads(app_link()); }
inline int active_workers() { return active_workers(app_link()); }
inline int peak_active_workers() { return peak_active_workers(app_link()); }
inline void reset_peak_active_workers() { reset_peak_active_workers(app_link()); }
inline void disconnect_link() { disconnect_link(app().connection); }
inline LinkStatistics& link_statistics() { return app_link().statistics; }

// Values as a worker reports them for the shown tab: stored, then marked
// for the grid.
inline void publish_values(const PollDefinition& block, const uint16_t* values, unsigned count, bool live)
{
    PublishedValues published{block};
    published.key = app().tabs.tab->definition->key;
    published.value_count = count > max_values ? max_values : count;
    published.live = live;
    std::copy(values, values + published.value_count, published.values.begin());
    app_reports().values_read(published);
}
inline PublishedValues copy_values_for(const PollDefinition& current)
{
    return copy_values_for(app_reports().shown, app().tabs.tab->definition->key, current);
}
inline void clear_values() { clear_values(app_reports().shown); }

// The link as it was at start: settings, write, flags and figures.
inline void reset_app_link()
{
    LinkState& link = app_link();
    store_poll_definition(PollDefinition{});
    store_connection_settings(ConnectionSettings{});
    {
        std::lock_guard lock(link.write_lock);
        link.write = WriteRequest{};
        link.write_waiting = false;
        link.write_result = WriteResult{};
    }
    link.running = false;
    link.stop_requested = false;
    link.disconnect_notice = false;
    reset_statistics(link.statistics);
    clear_values();
}
