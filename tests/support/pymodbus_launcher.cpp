#include "support/pymodbus_launcher.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

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

// Whether an ASCII read of one register, sent on device, gets a whole line
// back: the server has the other end open and reads it.
bool answers_ascii(const std::string& device)
{
    int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    termios settings;
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    const char request[] = ":010300000001FB\r\n";
    bool answered = write(fd, request, std::strlen(request)) == ssize_t(std::strlen(request));
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (answered && line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&readable, 1, int(left.count())) <= 0) {
            answered = false;
            break;
        }
        char chunk[64];
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got > 0)
            line.append(chunk, size_t(got));
    }
    close(fd);
    return answered;
}

bool exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool exited(pid_t pid)
{
    return waitpid(pid, nullptr, WNOHANG) == pid;
}

pid_t spawn_quietly(const char* program, char* argv[])
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    int failed = posix_spawn(&pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

void end_process(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

}  // namespace

bool PymodbusServer::start_socat()
{
    char pattern[] = "/tmp/brenvaldor-pymodbus-XXXXXX";
    if (!mkdtemp(pattern))
        return false;
    folder_ = pattern;
    client_device_ = folder_ + "/client";
    server_device_ = folder_ + "/server";
    std::string a = "pty,raw,echo=0,link=" + client_device_;
    std::string b = "pty,raw,echo=0,link=" + server_device_;
    char* argv[] = {const_cast<char*>("socat"), a.data(), b.data(), nullptr};
    socat_pid_ = spawn_quietly("/usr/bin/socat", argv);
    if (socat_pid_ <= 0)
        return false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!(exists(client_device_) && exists(server_device_))) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        usleep(10000);
    }
    return true;
}

std::unique_ptr<PymodbusServer> PymodbusServer::start(Mode mode, bool log_requests, int holding_base)
{
    std::unique_ptr<PymodbusServer> server(new PymodbusServer);
    std::string target;
    const char* mode_name = "tcp";
    if (mode == Mode::ascii_serial) {
        if (!server->start_socat())
            return nullptr;
        target = server->server_device_;
        mode_name = "serial-ascii";
    } else {
        server->port_ = free_port();
        if (!server->port_)
            return nullptr;
        target = std::to_string(server->port_);
        mode_name = mode == Mode::tcp ? "tcp" : mode == Mode::rtu_over_tcp ? "tcp-rtu" : "tcp-units";
    }
    std::string script = BRENVALDOR_SOURCE_DIR "/tests/support/pymodbus_server.py";
    std::string mode_text = mode_name;
    if (log_requests) {
        char pattern[] = "/tmp/brenvaldor-requests-XXXXXX";
        int fd = mkstemp(pattern);
        if (fd < 0)
            return nullptr;
        close(fd);
        server->log_path_ = pattern;
    }
    std::string base_text = std::to_string(holding_base);
    std::string no_log;
    char* argv[] = {const_cast<char*>(python), script.data(), mode_text.data(), target.data(),
                    log_requests ? server->log_path_.data() : no_log.data(), base_text.data(), nullptr};
    server->pid_ = spawn_quietly(python, argv);
    if (server->pid_ <= 0)
        return nullptr;
    auto ready = [&] {
        return mode == Mode::ascii_serial ? answers_ascii(server->client_device_) : accepts(server->port_);
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!ready()) {
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

std::vector<PymodbusServer::LoggedRead> PymodbusServer::requests_logged() const
{
    std::vector<LoggedRead> reads;
    std::ifstream log(log_path_);
    LoggedRead read{};
    while (log >> read.seconds >> read.function >> read.address >> read.count)
        reads.push_back(read);
    return reads;
}

void PymodbusServer::stop()
{
    end_process(pid_);
    end_process(socat_pid_);
    if (!log_path_.empty())
        unlink(std::exchange(log_path_, {}).c_str());
    if (!folder_.empty()) {
        unlink(client_device_.c_str());
        unlink(server_device_.c_str());
        rmdir(folder_.c_str());
        folder_.clear();
    }
}
