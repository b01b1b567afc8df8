#pragma once
// A Modbus TCP peer on 127.0.0.1 whose test decides, for each request, which
// frames go back and when: a reply sent twice, the late echo of an earlier
// write, an exception response, the reply of an earlier read landing on a
// later request. Each connection answers in order, like a device that takes
// one request at a time: no frame overtakes one scheduled before it on the
// same connection, even when the later one is due sooner. It can also close
// connections that stay idle, as many gateways and devices do.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "support/raw_tcp_server.hpp"  // Bytes

class ScriptedTcpServer {
public:
    struct Request {
        Bytes bytes;        // the whole request, header included
        size_t serial;      // 1 for the first request the server heard
        size_t connection;  // 1 for the first connection it accepted
    };
    struct Send {
        Bytes bytes;   // a whole frame, header included
        int after_ms;  // counted from the request's arrival
    };
    // Called on the server's thread; what it returns goes out on the
    // request's connection.
    using Script = std::function<std::vector<Send>(const Request& request)>;

    // idle_close_ms > 0: a connection on which nothing came or went for that
    // long is closed by the server.
    static std::unique_ptr<ScriptedTcpServer> start(Script script, int idle_close_ms = 0);
    ~ScriptedTcpServer();

    int port() const { return port_; }
    void stop();
    // From now on (any thread, the script's too): new connections are
    // refused (the port is closed), or left unaccepted, so that once the
    // backlog is full a connect hangs until its client gives up.
    void refuse_connections() { new_connections_.store(NewConnections::refuse); }
    void stall_connections() { new_connections_.store(NewConnections::stall); }
    size_t request_count() const { return requests_.load(); }
    size_t connection_count() const { return connections_.load(); }
    // Connections the server closed for being idle.
    size_t idle_closes() const { return idle_closes_.load(); }

private:
    ScriptedTcpServer() = default;
    void serve();

    Script script_;
    int idle_close_ms_ = 0;
    int listen_socket_ = -1;
    int port_ = 0;
    enum class NewConnections { accept, stall, refuse };
    std::atomic<NewConnections> new_connections_{NewConnections::accept};
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> requests_{0};
    std::atomic<size_t> connections_{0};
    std::atomic<size_t> idle_closes_{0};
    std::thread thread_;
};

// Frames built from a request (header included) with its transaction id.
// A read's good reply with every item holding value (bit 0 for coils and inputs).
Bytes read_reply(const Bytes& request, uint16_t value);
// A write's good reply: unit, function, address, and value or quantity.
Bytes write_echo(const Bytes& request);
Bytes exception_reply(const Bytes& request, uint8_t code);
