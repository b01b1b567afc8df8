#pragma once
// What one worker works with: its link, where it reports, its guard and its
// number.

#include <cstdint>

#include "link/call_guard.hpp"
#include "link/link_reports.hpp"
#include "link/link_state.hpp"

struct WorkerContext {
    LinkState& link;
    LinkReports& reports;
    CallGuard& guard;
    uint32_t run = 0;  // tells this worker's polls from an earlier worker's
};

// Runs tell (a report, or a record into the statistics) only while the
// worker speaks for the link: after a Disconnect or a newer Connect nothing
// of it lands, not even in figures that Connect has just reset.
template <typename Tell>
void tell(WorkerContext& worker, Tell&& what)
{
    worker.guard.while_current(what);
}
