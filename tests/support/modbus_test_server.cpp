#include "support/modbus_test_server.hpp"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

namespace {

constexpr int poll_interval_us = 20000;

bool readable(int socket, int timeout_us)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval tv{0, timeout_us};
    return select(socket + 1, &set, nullptr, nullptr, &tv) > 0;
}

}  // namespace

std::unique_ptr<ModbusTestServer> ModbusTestServer::start_tcp(const char* host, int port)
{
    std::unique_ptr<ModbusTestServer> server(new ModbusTestServer);
    server->ctx_ = modbus_new_tcp_pi(host, std::to_string(port).c_str());
    if (!server->ctx_)
        return nullptr;
    server->map_ = modbus_mapping_new(65536, 65536, 65536, 65536);
    if (!server->map_)
        return nullptr;
    server->listen_socket_ = modbus_tcp_pi_listen(server->ctx_, 8);
    if (server->listen_socket_ < 0)
        return nullptr;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    getsockname(server->listen_socket_, reinterpret_cast<sockaddr*>(&address), &length);
    server->port_ = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                                        : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    server->thread_ = std::thread([s = server.get()] { s->serve(); });
    return server;
}

ModbusTestServer::~ModbusTestServer()
{
    stop();
    if (map_)
        modbus_mapping_free(map_);
    if (ctx_)
        modbus_free(ctx_);
}

void ModbusTestServer::stop()
{
    stopping_.store(true);
    if (thread_.joinable())
        thread_.join();
    if (listen_socket_ >= 0) {
        close(listen_socket_);
        listen_socket_ = -1;
    }
}

void ModbusTestServer::serve()
{
    while (!stopping_.load()) {
        if (!readable(listen_socket_, poll_interval_us))
            continue;
        int client = accept(listen_socket_, nullptr, nullptr);
        if (client < 0)
            continue;
        connections_.fetch_add(1);
        serve_client(client);
        close(client);
        closed_.fetch_add(1);
    }
}

// A connection waiting to be accepted while client is still open. The
// client's close reaches this side before a connect it makes afterwards.
bool ModbusTestServer::overlapped(int client)
{
    if (!readable(listen_socket_, 0))
        return false;
    char byte;
    ssize_t peeked = recv(client, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return peeked > 0 || (peeked < 0 && errno == EAGAIN);
}

void ModbusTestServer::serve_client(int client)
{
    modbus_set_socket(ctx_, client);
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    int header = modbus_get_header_length(ctx_);
    bool counted = false;
    while (!stopping_.load()) {
        if (!counted && overlapped(client)) {
            counted = true;
            overlaps_.fetch_add(1);
        }
        if (!readable(client, poll_interval_us))
            continue;
        int length = modbus_receive(ctx_, query);
        if (length == 0)
            continue;
        if (length < 0)
            return;  // the client closed the connection
        uint16_t address = static_cast<uint16_t>(query[header + 1] << 8 | query[header + 2]);
        {
            std::lock_guard guard(lock_);
            requests_.push_back(ServerRequest{query[header - 1], query[header], address});
        }
        for (int waited = 0; waited < reply_delay_ms_.load() && !stopping_.load(); waited += 5)
            usleep(5000);
        std::lock_guard guard(lock_);
        switch (behaviour_.load()) {
        case Behaviour::answer:
            modbus_reply(ctx_, query, length, map_);
            break;
        case Behaviour::silent:
            break;
        case Behaviour::exception:
            modbus_reply_exception(ctx_, query, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
            break;
        }
    }
}

void ModbusTestServer::set_holding(uint16_t address, uint16_t value)
{
    std::lock_guard guard(lock_);
    map_->tab_registers[address] = value;
}

uint16_t ModbusTestServer::holding(uint16_t address)
{
    std::lock_guard guard(lock_);
    return map_->tab_registers[address];
}

void ModbusTestServer::set_input_register(uint16_t address, uint16_t value)
{
    std::lock_guard guard(lock_);
    map_->tab_input_registers[address] = value;
}

void ModbusTestServer::set_coil(uint16_t address, bool on)
{
    std::lock_guard guard(lock_);
    map_->tab_bits[address] = on ? 1 : 0;
}

bool ModbusTestServer::coil(uint16_t address)
{
    std::lock_guard guard(lock_);
    return map_->tab_bits[address] != 0;
}

void ModbusTestServer::set_discrete_input(uint16_t address, bool on)
{
    std::lock_guard guard(lock_);
    map_->tab_input_bits[address] = on ? 1 : 0;
}

std::vector<ServerRequest> ModbusTestServer::requests()
{
    std::lock_guard guard(lock_);
    return requests_;
}

size_t ModbusTestServer::request_count()
{
    std::lock_guard guard(lock_);
    return requests_.size();
}
