#pragma once
// The texts of the link statistics: the one-line summary under the grid and
// the full report (one figure per line) for its tooltip and the clipboard.

#include <string>

#include "link/link_statistics.hpp"

// "Polls 1234 · Good 1230 · Time-outs 3 · Exceptions 1 · Response 2.9 ms
// (p99 12.4, max 30.1)"; bad replies and other failures only when there are
// some, the response part only once a response was timed.
std::string statistics_summary(const StatisticsSnapshot& stats);

// Every counter, each exception code seen with the library's text for it,
// and the response and connect times.
std::string statistics_report(const StatisticsSnapshot& stats);

// Milliseconds with a precision that suits their size: "0.085", "2.9", "130".
std::string format_ms(double ns);
