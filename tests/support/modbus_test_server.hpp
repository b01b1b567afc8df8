#pragma once
// A real Modbus TCP server on 127.0.0.1 (or ::1), run by libmodbus in a
// thread of the test, with every table covering the whole address range.
// It serves one connection at a time and counts them.

#include <modbus.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct ServerRequest {
    uint8_t unit;
    uint8_t function;
    uint16_t address;
};

class ModbusTestServer {
public:
    enum class Behaviour {
        answer,     // reply as the tables say
        silent,     // read the request, never answer (the client times out)
        exception,  // answer with exception 02, illegal data address
    };

    // Listens on host at port (0: an ephemeral one); null if the socket
    // could not be made.
    static std::unique_ptr<ModbusTestServer> start_tcp(const char* host = "127.0.0.1", int port = 0);
    ~ModbusTestServer();

    int port() const { return port_; }
    void stop();
    void set_behaviour(Behaviour behaviour) { behaviour_.store(behaviour); }
    // Every reply waits this long after its request was read.
    void set_reply_delay(std::chrono::milliseconds delay) { reply_delay_ms_.store(int(delay.count())); }

    void set_holding(uint16_t address, uint16_t value);
    uint16_t holding(uint16_t address);
    void set_input_register(uint16_t address, uint16_t value);
    void set_coil(uint16_t address, bool on);
    bool coil(uint16_t address);
    void set_discrete_input(uint16_t address, bool on);

    std::vector<ServerRequest> requests();
    size_t request_count();
    // Connections accepted, and those of them the client has closed.
    size_t connection_count() const { return connections_.load(); }
    size_t closed_count() const { return closed_.load(); }
    // Times a client connected while another one's connection was still open.
    size_t overlap_count() const { return overlaps_.load(); }

private:
    ModbusTestServer() = default;
    void serve();
    void serve_client(int client);
    bool overlapped(int client);

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    int listen_socket_ = -1;
    int port_ = 0;
    std::mutex lock_;  // guards map_ and requests_
    std::vector<ServerRequest> requests_;
    std::atomic<Behaviour> behaviour_{Behaviour::answer};
    std::atomic<int> reply_delay_ms_{0};
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> connections_{0};
    std::atomic<size_t> closed_{0};
    std::atomic<size_t> overlaps_{0};
    std::thread thread_;
};
