#include "support/rtu_test_server.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace {

constexpr int poll_interval_us = 20000;

bool exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool readable(int fd, int timeout_us)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{0, timeout_us};
    return select(fd + 1, &set, nullptr, nullptr, &tv) > 0;
}

}  // namespace

std::unique_ptr<RtuTestServer> RtuTestServer::start(int unit_id)
{
    std::unique_ptr<RtuTestServer> server(new RtuTestServer);
    if (!server->start_socat())
        return nullptr;
    server->ctx_ = modbus_new_rtu(server->server_device_.c_str(), 19200, 'N', 8, 1);
    if (!server->ctx_)
        return nullptr;
    modbus_set_slave(server->ctx_, unit_id);
    server->map_ = modbus_mapping_new(65536, 65536, 65536, 65536);
    if (!server->map_ || modbus_connect(server->ctx_) == -1)
        return nullptr;
    server->thread_ = std::thread([s = server.get()] { s->serve(); });
    return server;
}

bool RtuTestServer::start_socat()
{
    char pattern[] = "/tmp/brenvaldor-pty-XXXXXX";
    if (!mkdtemp(pattern))
        return false;
    folder_ = pattern;
    client_device_ = folder_ + "/a";
    server_device_ = folder_ + "/b";
    std::string a = "pty,raw,echo=0,link=" + client_device_;
    std::string b = "pty,raw,echo=0,link=" + server_device_;
    char* argv[] = {const_cast<char*>("socat"), a.data(), b.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    int failed = posix_spawn(&socat_pid_, "/usr/bin/socat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) {
        socat_pid_ = -1;
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!(exists(client_device_) && exists(server_device_))) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        usleep(10000);
    }
    return true;
}

RtuTestServer::~RtuTestServer()
{
    stop();
    if (map_)
        modbus_mapping_free(map_);
    if (ctx_)
        modbus_free(ctx_);
}

void RtuTestServer::stop()
{
    stopping_.store(true);
    if (thread_.joinable())
        thread_.join();
    if (ctx_)
        modbus_close(ctx_);
    if (socat_pid_ > 0) {
        kill(socat_pid_, SIGTERM);
        waitpid(socat_pid_, nullptr, 0);
        socat_pid_ = -1;
    }
    if (!folder_.empty()) {
        unlink(client_device_.c_str());
        unlink(server_device_.c_str());
        rmdir(folder_.c_str());
        folder_.clear();
    }
}

void RtuTestServer::serve()
{
    uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
    int fd = modbus_get_socket(ctx_);
    while (!stopping_.load()) {
        if (!readable(fd, poll_interval_us))
            continue;
        int length = modbus_receive(ctx_, query);
        if (length <= 0)
            continue;  // a frame for another unit, or a damaged one
        requests_.fetch_add(1);
        if (late_replies_.load() > 0) {
            late_replies_.fetch_sub(1);
            usleep(static_cast<useconds_t>(late_delay_ms_.load()) * 1000);
        }
        std::lock_guard guard(lock_);
        modbus_reply(ctx_, query, length, map_);
    }
}

void RtuTestServer::set_holding(uint16_t address, uint16_t value)
{
    std::lock_guard guard(lock_);
    map_->tab_registers[address] = value;
}

uint16_t RtuTestServer::holding(uint16_t address)
{
    std::lock_guard guard(lock_);
    return map_->tab_registers[address];
}

void RtuTestServer::set_coil(uint16_t address, bool on)
{
    std::lock_guard guard(lock_);
    map_->tab_bits[address] = on ? 1 : 0;
}
