#pragma once
// A Modbus TCP peer on 127.0.0.1 that answers each request with exactly the
// bytes a test chooses: replies whose header disagrees with the request,
// late replies, or replies trickling in one byte at a time.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A socket listening on an ephemeral loopback port, which port receives;
// -1 on failure.
int listen_on_loopback(int backlog, int& port);

class RawTcpServer {
public:
    struct Reply {
        Bytes bytes;  // the whole reply, TCP header included
        int delay_ms = 0;     // before the first byte
        int byte_gap_ms = 0;  // between two bytes
    };
    // Called on the server's thread with the whole request, header included.
    using Responder = std::function<Reply(const Bytes& request)>;

    static std::unique_ptr<RawTcpServer> start(Responder responder);
    ~RawTcpServer();

    int port() const { return port_; }
    size_t request_count() const { return requests_.load(); }
    void stop();

private:
    RawTcpServer() = default;
    void serve();
    void serve_client(int client);
    bool pause(int ms);
    void send_reply(int client, const Reply& reply);

    Responder responder_;
    int listen_socket_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> requests_{0};
    std::thread thread_;
};

// The good reply to a read request (function 1 to 4, header included), the
// item at address a holding value_of(a); for coils and inputs bit 0 counts.
Bytes good_read_reply(const Bytes& request, uint16_t (*value_of)(uint16_t address));

// A listening socket whose queue of connections is full and never taken:
// a connect to it hangs until the client gives up.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    int port() const { return port_; }
    // Whether a connect to this listener is under way on this machine right
    // now (a socket in SYN-SENT towards its port): a client is inside it.
    bool connect_pending() const;

private:
    int listen_socket_ = -1;
    int filler_ = -1;
    int port_ = 0;
};
