#include "support/scripted_tcp_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <list>

#include "support/raw_tcp_server.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr size_t header_size = 7;  // transaction, protocol, length, unit
constexpr milliseconds longest_wait{20};

struct Connection {
    int fd;
    size_t id;
    Bytes received;
    Clock::time_point last_activity;
    Clock::time_point last_due;  // of the newest frame scheduled on it
};

struct Pending {
    Clock::time_point due;
    size_t connection;
    Bytes bytes;
};

// The header of a reply to request whose unit id and protocol data unit are pdu.
Bytes framed(const Bytes& request, const Bytes& pdu)
{
    Bytes reply(6 + pdu.size());
    reply[0] = request[0];
    reply[1] = request[1];
    reply[4] = uint8_t(pdu.size() >> 8);
    reply[5] = uint8_t(pdu.size());
    std::copy(pdu.begin(), pdu.end(), reply.begin() + 6);
    return reply;
}

}  // namespace

std::unique_ptr<ScriptedTcpServer> ScriptedTcpServer::start(Script script, int idle_close_ms)
{
    std::unique_ptr<ScriptedTcpServer> server(new ScriptedTcpServer);
    server->script_ = std::move(script);
    server->idle_close_ms_ = idle_close_ms;
    server->listen_socket_ = listen_on_loopback(8, server->port_);
    if (server->listen_socket_ < 0)
        return nullptr;
    server->thread_ = std::thread([s = server.get()] { s->serve(); });
    return server;
}

ScriptedTcpServer::~ScriptedTcpServer()
{
    stop();
}

void ScriptedTcpServer::stop()
{
    stopping_.store(true);
    if (thread_.joinable())
        thread_.join();
    if (listen_socket_ >= 0) {
        close(listen_socket_);
        listen_socket_ = -1;
    }
}

void ScriptedTcpServer::serve()
{
    std::list<Connection> connections;
    std::vector<Pending> pending;
    size_t serial = 0;
    auto has_pending = [&](size_t id) {
        return std::any_of(pending.begin(), pending.end(), [&](const Pending& p) { return p.connection == id; });
    };
    while (!stopping_.load()) {
        auto now = Clock::now();
        for (auto p = pending.begin(); p != pending.end();) {
            if (p->due > now) {
                ++p;
                continue;
            }
            for (Connection& c : connections)
                if (c.id == p->connection) {
                    send(c.fd, p->bytes.data(), p->bytes.size(), MSG_NOSIGNAL);
                    c.last_activity = now;
                }
            p = pending.erase(p);
        }
        Clock::time_point wake = now + longest_wait;
        for (auto c = connections.begin(); c != connections.end();) {
            auto idle_until = c->last_activity + milliseconds(idle_close_ms_);
            if (idle_close_ms_ > 0 && !has_pending(c->id) && idle_until <= now) {
                close(c->fd);
                idle_closes_.fetch_add(1);
                c = connections.erase(c);
                continue;
            }
            if (idle_close_ms_ > 0)
                wake = std::min(wake, idle_until);
            ++c;
        }
        for (const Pending& p : pending)
            wake = std::min(wake, p.due);

        NewConnections admission = new_connections_.load();
        if (admission == NewConnections::refuse && listen_socket_ >= 0) {
            close(listen_socket_);
            listen_socket_ = -1;
        }
        std::vector<pollfd> fds{{admission == NewConnections::accept ? listen_socket_ : -1, POLLIN, 0}};
        for (const Connection& c : connections)
            fds.push_back({c.fd, POLLIN, 0});
        auto wait = std::chrono::duration_cast<milliseconds>(wake - now).count();
        if (poll(fds.data(), fds.size(), int(std::max<long long>(wait, 0) + 1)) <= 0)
            continue;
        now = Clock::now();
        if (fds[0].revents & POLLIN) {
            int client = accept4(listen_socket_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                connections.push_back({client, connections_.fetch_add(1) + 1, {}, now, now});
        }
        size_t index = 1;
        for (auto c = connections.begin(); c != connections.end() && index < fds.size(); ++index) {
            if (!(fds[index].revents & (POLLIN | POLLHUP | POLLERR))) {
                ++c;
                continue;
            }
            uint8_t chunk[600];
            ssize_t got = recv(c->fd, chunk, sizeof chunk, 0);
            if (got <= 0) {
                close(c->fd);
                c = connections.erase(c);
                continue;
            }
            c->last_activity = now;
            c->received.insert(c->received.end(), chunk, chunk + got);
            Bytes& in = c->received;
            while (in.size() >= header_size && in.size() >= 6 + size_t(in[4] << 8 | in[5])) {
                size_t size = 6 + size_t(in[4] << 8 | in[5]);
                Request request{Bytes(in.begin(), in.begin() + long(size)), ++serial, c->id};
                in.erase(in.begin(), in.begin() + long(size));
                requests_.fetch_add(1);
                for (Send& frame : script_(request)) {
                    auto due = std::max(now + milliseconds(frame.after_ms), c->last_due);
                    c->last_due = due;
                    pending.push_back({due, c->id, std::move(frame.bytes)});
                }
            }
            ++c;
        }
    }
    for (Connection& c : connections)
        close(c.fd);
}

Bytes read_reply(const Bytes& request, uint16_t value)
{
    uint8_t fcode = request[7];
    unsigned count = unsigned(request[10]) << 8 | request[11];
    Bytes pdu{request[6], fcode};
    if (fcode <= 2) {
        Bytes packed((count + 7) / 8, 0);
        for (unsigned i = 0; i < count && (value & 1); ++i)
            packed[i / 8] = uint8_t(packed[i / 8] | 1u << (i % 8));
        pdu.push_back(uint8_t(packed.size()));
        pdu.insert(pdu.end(), packed.begin(), packed.end());
    } else {
        pdu.push_back(uint8_t(2 * count));
        for (unsigned i = 0; i < count; ++i) {
            pdu.push_back(uint8_t(value >> 8));
            pdu.push_back(uint8_t(value));
        }
    }
    return framed(request, pdu);
}

Bytes write_echo(const Bytes& request)
{
    return framed(request, Bytes(request.begin() + 6, request.begin() + 12));
}

Bytes exception_reply(const Bytes& request, uint8_t code)
{
    return framed(request, Bytes{request[6], uint8_t(request[7] | 0x80), code});
}
