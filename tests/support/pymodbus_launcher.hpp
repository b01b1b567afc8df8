#pragma once
// Starts Debian's python3-pymodbus TCP server (support/pymodbus_server.py)
// on 127.0.0.1 with a free port and stops it through its process id.
// Its registers: holding i = 1000 + i, input i = 2000 + i, coil i on for odd
// i, discrete input i on for i divisible by 3.

#include <memory>
#include <sys/types.h>

class PymodbusServer {
public:
    // Null if python3-pymodbus is missing or the server did not accept
    // connections within a few seconds.
    static std::unique_ptr<PymodbusServer> start();
    ~PymodbusServer();

    int port() const { return port_; }
    void stop();

private:
    PymodbusServer() = default;
    pid_t pid_ = -1;
    int port_ = 0;
};
