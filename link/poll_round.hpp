#pragma once
// One round of the worker, without its wait: take the link (open it, or the
// one kept from the round before), then for each definition of the round
// carry out a waiting write first and read the definition's block, report
// it, and at the end close the link or keep it for the next round.

#include <vector>

#include "link/kept_link.hpp"
#include "link/poll_schedule.hpp"
#include "link/worker_context.hpp"

// Runs on the worker thread with the copies taken at the round start, in
// the order given. Everything is reported through worker.reports, and only
// while the guard is not cancelled. A failure of one definition (an
// exception or a reply that disagrees with its request) marks only its own
// values; a failure of the link (no connection, a time-out, a reset) marks
// every definition's and ends the round. Each definition served is marked
// in schedule as it ends.
void run_poll_round(WorkerContext& worker, const std::vector<PollEntry>& round, const ConnectionSettings& settings,
                    KeptLink& kept, PollSchedule& schedule);
