#include "support/pymodbus_launcher.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace {

// Debian's interpreter: the one on the PATH may lack pymodbus.
constexpr const char* python = "/usr/bin/python3";

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port the kernel just handed out and nobody holds.
int free_port()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

bool accepts(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address = loopback(port);
    bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

bool exited(pid_t pid)
{
    return waitpid(pid, nullptr, WNOHANG) == pid;
}

}  // namespace

std::unique_ptr<PymodbusServer> PymodbusServer::start()
{
    std::unique_ptr<PymodbusServer> server(new PymodbusServer);
    server->port_ = free_port();
    if (!server->port_)
        return nullptr;
    std::string script = BRENVALDOR_SOURCE_DIR "/tests/support/pymodbus_server.py";
    std::string port = std::to_string(server->port_);
    char* argv[] = {const_cast<char*>(python), script.data(), port.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    int failed = posix_spawn(&server->pid_, python, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        server->pid_ = -1;
        return nullptr;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!accepts(server->port_)) {
        if (exited(server->pid_)) {
            server->pid_ = -1;
            return nullptr;
        }
        if (std::chrono::steady_clock::now() > deadline)
            return nullptr;
        usleep(20000);
    }
    return server;
}

PymodbusServer::~PymodbusServer()
{
    stop();
}

void PymodbusServer::stop()
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
