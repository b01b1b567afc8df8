#pragma once
// The worker thread: one at a time per link, cycling while the link runs.
//
// Every worker has a call guard of its own. A start cancels the guard of the
// worker before it, and Disconnect cancels the current one: a cancelled
// worker's blocking calls return at once, it takes no write, reports
// nothing and ends at its next check. A worker also holds the link's
// lifetime lock while it cycles, which the next one takes (on its own
// thread) before its first cycle, so two workers never share a serial port.
//
// The worker shares ownership of its link and its reports, so neither is
// destroyed under it, even when the process ends while it is in a call.

#include <memory>

#include "link/link_reports.hpp"
#include "link/link_state.hpp"

// Starts a detached worker that sleeps 1000 ms and then cycles until
// running is false, stop_requested is set or a newer worker is started.
// False if the thread could not be started.
bool start_worker(const std::shared_ptr<LinkState>& link, std::shared_ptr<LinkReports> reports);
// Disconnect and the exit path: the current worker stops speaking for the
// link at once.
void cancel_worker(LinkState& link);
// How many workers are inside their cycling loop right now (after the start
// pause and admission); never more than one.
int active_workers(const LinkState& link);
// The most workers ever seen cycling at once since the last reset (for tests).
int peak_active_workers(const LinkState& link);
void reset_peak_active_workers(LinkState& link);
// How many worker threads exist, sleeping, waiting for admission or cycling
// (for tests that must see every thread end).
int worker_threads(const LinkState& link);
