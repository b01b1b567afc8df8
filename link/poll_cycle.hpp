#pragma once
// One poll cycle of the worker, without its wait: take the link (open it, or
// the one kept from the cycle before), carry out a pending write, read the
// block, publish it, and close the link or keep it for the next cycle.

#include "link/call_guard.hpp"
#include "link/kept_link.hpp"
#include "link/link_state.hpp"

// Runs on the worker thread with the copies taken at the cycle start. Every
// UI effect is posted, and only while guard is not cancelled: a worker that
// no longer speaks for the link publishes nothing. The caller then waits
// poll.scan_rate on wake.
void run_poll_cycle(const PollDefinition& poll, const ConnectionSettings& settings, CallGuard& guard,
                    KeptLink& link);
// The same with a connection of its own, closed at the end of the cycle.
void run_poll_cycle(const PollDefinition& poll, const ConnectionSettings& settings, CallGuard& guard);
