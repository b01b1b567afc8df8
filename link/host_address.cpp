#include "link/host_address.hpp"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

}  // namespace

HostAddresses resolve_host(const std::string& host, uint32_t port)
{
    HostAddresses result;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;  // IPv4 and IPv6 alike
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    result.resolve_error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (result.resolve_error != 0)
        return result;
    std::unique_ptr<addrinfo, AddrInfoFree> list(found);
    for (const addrinfo* entry = list.get(); entry; entry = entry->ai_next) {
        // The numeric text keeps an IPv6 scope ("%eth0").
        char text[NI_MAXHOST];
        if (getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
            continue;
        if (std::find(result.numeric.begin(), result.numeric.end(), text) == result.numeric.end())
            result.numeric.emplace_back(text);
    }
    if (result.numeric.empty())
        result.resolve_error = EAI_NONAME;
    return result;
}

const char* resolve_error_text(int resolve_error)
{
    return gai_strerror(resolve_error);
}
