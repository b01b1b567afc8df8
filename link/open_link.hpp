#pragma once
// The opening of a line from a copy of ConnectionSettings: a TCP
// connection, or a serial port.

#include <sys/socket.h>

#include <chrono>
#include <string>

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

// What a TCP opening made of the server text and port: a numeric IPv4 or
// IPv6 text (with its scope) as the address to connect to, or the word that
// it is a host name. A poller that opens a line at every cycle keeps one, so
// a numeric text is parsed once for as long as it stays, while a name is
// still looked up at every opening.
struct ServerAddress {
    std::string text;  // what was read, with port
    uint32_t port = 0;
    bool read = false;
    bool numeric = false;  // address holds it; else a name to look up
    sockaddr_storage address{};
    socklen_t length = 0;
};

// Over TCP the server text is resolved first (a name on a thread of its own
// that a cancel abandons) and its addresses are tried in turn, all within
// one response time-out; the connect itself watches guard, so a cancel ends
// it at once, and a failure that runs out of time says so (ETIMEDOUT). A
// serial port is opened and configured by the library. The wire's waits
// watch guard. known, when given, is what an earlier opening read of the
// server text: reused while the settings name the same, else read anew.
OpenResult open_link(const ConnectionSettings& settings, CallGuard& guard, ServerAddress* known = nullptr);
