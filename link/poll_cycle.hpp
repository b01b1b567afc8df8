#pragma once
// One poll cycle of the worker, without its wait: take the link (open it, or
// the one kept from the cycle before), carry out a pending write, read the
// block, report it, and close the link or keep it for the next cycle.

#include "link/kept_link.hpp"
#include "link/worker_context.hpp"

// Runs on the worker thread with the copies taken at the cycle start.
// Everything is reported through worker.reports, and only while the guard is
// not cancelled: a worker that no longer speaks for the link tells nothing
// more. The caller then waits poll.scan_rate on wake.
void run_poll_cycle(WorkerContext& worker, const PollDefinition& poll, const ConnectionSettings& settings,
                    KeptLink& kept);
// The same with a connection of its own, closed at the end of the cycle.
void run_poll_cycle(WorkerContext& worker, const PollDefinition& poll, const ConnectionSettings& settings);
