#pragma once
// Starts Debian's python3-pymodbus server (support/pymodbus_server.py) and
// stops it through its process id: Modbus TCP or RTU frames over TCP on
// 127.0.0.1 with a free port, or Modbus ASCII on one end of a socat pty
// pair whose other end the client opens.
// Its registers: holding i = holding_base + i, input i = 2000 + i, coil i on for odd
// i, discrete input i on for i divisible by 3.

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

class PymodbusServer {
public:
    // tcp_units: Modbus TCP serving only unit ids 1, 17 and 200, each with
    // a device identification; other ids get no answer.
    enum class Mode { tcp, rtu_over_tcp, ascii_serial, tcp_units };

    // Null if python3-pymodbus or socat is missing, or the server did not
    // answer within a few seconds. With a request log, every read the
    // server serves is noted there (see requests_logged).
    static std::unique_ptr<PymodbusServer> start(Mode mode = Mode::tcp, bool log_requests = false,
                                                 int holding_base = 1000);
    ~PymodbusServer();

    int port() const { return port_; }
    // ascii_serial: the device the client opens.
    const std::string& client_device() const { return client_device_; }
    void stop();

    // The reads served so far, in order, with the server's time in seconds.
    struct LoggedRead {
        double seconds;
        int function;
        int address;
        int count;
    };
    std::vector<LoggedRead> requests_logged() const;

private:
    PymodbusServer() = default;
    bool start_socat();
    pid_t pid_ = -1;
    int port_ = 0;
    pid_t socat_pid_ = -1;
    std::string folder_;
    std::string client_device_;
    std::string server_device_;
    std::string log_path_;
};
