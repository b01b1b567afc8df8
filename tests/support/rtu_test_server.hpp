#pragma once
// A real Modbus RTU server (libmodbus, in a thread of the test) on one end
// of a socat pty pair; the client opens the other end, client_device().

#include <modbus.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

class RtuTestServer {
public:
    // Starts socat and the server answering unit unit_id; null if socat or
    // the links did not come up.
    static std::unique_ptr<RtuTestServer> start(int unit_id = 1);
    ~RtuTestServer();

    const std::string& client_device() const { return client_device_; }
    // Ends the server thread and the socat process this server started.
    void stop();

    void set_holding(uint16_t address, uint16_t value);
    uint16_t holding(uint16_t address);
    void set_coil(uint16_t address, bool on);
    size_t request_count() const { return requests_.load(); }
    // The next count replies come ms late (a device slower than the link's
    // time-out); later ones come at once.
    void delay_next_replies(int count, int ms)
    {
        late_delay_ms_.store(ms);
        late_replies_.store(count);
    }

private:
    RtuTestServer() = default;
    bool start_socat();
    void serve();

    std::string folder_;
    std::string client_device_;
    std::string server_device_;
    pid_t socat_pid_ = -1;
    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    std::mutex lock_;  // guards map_
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> requests_{0};
    std::atomic<int> late_replies_{0};
    std::atomic<int> late_delay_ms_{0};
    std::thread thread_;
};
