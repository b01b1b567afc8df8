#pragma once
// One poll cycle of the worker, without its wait: open the link, carry out
// a pending write, read the block, publish it, close the link.

#include "link/call_guard.hpp"
#include "link/link_state.hpp"

// Runs on the worker thread with the copies taken at the cycle start. Every
// UI effect is posted, and only while guard is not cancelled: a worker that
// no longer speaks for the link publishes nothing. The caller then waits
// poll.scan_rate on wake.
void run_poll_cycle(const PollDefinition& poll, const ConnectionSettings& settings, CallGuard& guard);
