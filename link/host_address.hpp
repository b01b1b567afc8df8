#pragma once
// The server text of the "IP" entry turned into the addresses to try: a
// dotted IPv4 address, an IPv6 address or a host name. An IPv6 scope is
// written after '%', as an interface name or number ("fe80::1%eth0",
// "fe80::1%2"), and travels with the address to the connect; a link-local
// address without one is not given a guessed interface.

#include <cstdint>
#include <string>
#include <vector>

struct HostAddresses {
    int resolve_error = 0;             // the resolver's code (EAI_*); 0 when resolved
    std::vector<std::string> numeric;  // numeric texts in the resolver's order, each once
};

// Asks the system's resolver (hosts file, DNS, ...) anew at every call, so a
// changed entry is followed. It can block for seconds: worker thread only.
HostAddresses resolve_host(const std::string& host, uint32_t port);

// The resolver's own words for a resolve_error ("Name or service not known").
const char* resolve_error_text(int resolve_error);
