#pragma once
// The opening of a line from a copy of ConnectionSettings: a TCP
// connection, or a serial port.

#include <chrono>

#include "link/call_guard.hpp"
#include "link/link_state.hpp"
#include "link/wire.hpp"

enum class OpenOutcome {
    opened,
    no_device,       // serial with an empty device name
    no_context,      // nothing to connect to (an empty server text)
    unresolved,      // the server's host name did not resolve
    connect_failed,  // the connect or the port's opening failed
};

struct OpenResult {
    OpenOutcome outcome = OpenOutcome::no_context;
    int error = 0;  // errno of the failure; the resolver's code when unresolved
    Wire wire;
    std::chrono::nanoseconds connect_time{0};  // how long the connect took, when opened
};

// Over TCP the server text is resolved first (a name on a thread of its own
// that a cancel abandons) and its addresses are tried in turn, all within
// one response time-out; the connect itself watches guard, so a cancel ends
// it at once, and a failure that runs out of time says so (ETIMEDOUT). A
// serial port is opened and configured by the library. The wire's waits
// watch guard.
OpenResult open_link(const ConnectionSettings& settings, CallGuard& guard);
