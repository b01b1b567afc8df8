#include "support/raw_tcp_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

constexpr int poll_interval_us = 20000;
constexpr size_t header_size = 7;  // transaction, protocol, length, unit

bool readable(int socket, int timeout_us)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval tv{0, timeout_us};
    return select(socket + 1, &set, nullptr, nullptr, &tv) > 0;
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}


}  // namespace

int listen_on_loopback(int backlog, int& port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

std::unique_ptr<RawTcpServer> RawTcpServer::start(Responder responder)
{
    std::unique_ptr<RawTcpServer> server(new RawTcpServer);
    server->responder_ = std::move(responder);
    server->listen_socket_ = listen_on_loopback(8, server->port_);
    if (server->listen_socket_ < 0)
        return nullptr;
    server->thread_ = std::thread([s = server.get()] { s->serve(); });
    return server;
}

RawTcpServer::~RawTcpServer()
{
    stop();
}

void RawTcpServer::stop()
{
    stopping_.store(true);
    if (thread_.joinable())
        thread_.join();
    if (listen_socket_ >= 0) {
        close(listen_socket_);
        listen_socket_ = -1;
    }
}

void RawTcpServer::serve()
{
    while (!stopping_.load()) {
        if (!readable(listen_socket_, poll_interval_us))
            continue;
        int client = accept(listen_socket_, nullptr, nullptr);
        if (client < 0)
            continue;
        serve_client(client);
        close(client);
    }
}

// False when the server is stopping.
bool RawTcpServer::pause(int ms)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until)
        if (stopping_.load())
            return false;
        else
            usleep(2000);
    return !stopping_.load();
}

void RawTcpServer::send_reply(int client, const Reply& reply)
{
    if (!pause(reply.delay_ms))
        return;
    if (reply.byte_gap_ms == 0) {
        send(client, reply.bytes.data(), reply.bytes.size(), MSG_NOSIGNAL);
        return;
    }
    for (uint8_t byte : reply.bytes)
        if (send(client, &byte, 1, MSG_NOSIGNAL) != 1 || !pause(reply.byte_gap_ms))
            return;  // the client has gone
}

void RawTcpServer::serve_client(int client)
{
    Bytes request;
    while (!stopping_.load()) {
        if (!readable(client, poll_interval_us))
            continue;
        uint8_t chunk[300];
        ssize_t got = recv(client, chunk, sizeof chunk, 0);
        if (got <= 0)
            return;  // the client closed the connection
        request.insert(request.end(), chunk, chunk + got);
        if (request.size() < header_size || request.size() < 6 + size_t(request[4] << 8 | request[5]))
            continue;
        requests_.fetch_add(1);
        send_reply(client, responder_(request));
        request.clear();
    }
}

Bytes good_read_reply(const Bytes& request, uint16_t (*value_of)(uint16_t address))
{
    uint8_t fcode = request[7];
    unsigned address = unsigned(request[8]) << 8 | request[9];
    unsigned count = unsigned(request[10]) << 8 | request[11];
    Bytes pdu{request[6], fcode};
    if (fcode <= 2) {
        Bytes packed((count + 7) / 8, 0);
        for (unsigned i = 0; i < count; ++i)
            if (value_of(uint16_t(address + i)) & 1)
                packed[i / 8] = uint8_t(packed[i / 8] | 1u << (i % 8));
        pdu.push_back(uint8_t(packed.size()));
        pdu.insert(pdu.end(), packed.begin(), packed.end());
    } else {
        pdu.push_back(uint8_t(2 * count));
        for (unsigned i = 0; i < count; ++i) {
            uint16_t value = value_of(uint16_t(address + i));
            pdu.push_back(uint8_t(value >> 8));
            pdu.push_back(uint8_t(value));
        }
    }
    Bytes reply{request[0], request[1], 0, 0, uint8_t(pdu.size() >> 8), uint8_t(pdu.size())};
    reply.insert(reply.end(), pdu.begin(), pdu.end());
    return reply;
}

StalledListener::StalledListener()
{
    listen_socket_ = listen_on_loopback(0, port_);
    if (listen_socket_ < 0)
        return;
    // With a backlog of 0 the one connection never taken fills the queue;
    // the SYN of every later connect is dropped.
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(port_);
    if (filler_ >= 0)
        connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

StalledListener::~StalledListener()
{
    if (filler_ >= 0)
        close(filler_);
    if (listen_socket_ >= 0)
        close(listen_socket_);
}

bool StalledListener::connect_pending() const
{
    constexpr unsigned syn_sent = 2;  // the kernel's TCP_SYN_SENT
    FILE* table = std::fopen("/proc/net/tcp", "r");
    if (!table)
        return false;
    char line[512];
    bool pending = false;
    bool titles = std::fgets(line, sizeof line, table) != nullptr;
    while (titles && !pending && std::fgets(line, sizeof line, table)) {
        unsigned remote_port = 0;
        unsigned state = 0;
        if (std::sscanf(line, " %*u: %*x:%*x %*x:%x %x", &remote_port, &state) == 2)
            pending = remote_port == unsigned(port_) && state == syn_sent;
    }
    std::fclose(table);
    return pending;
}
