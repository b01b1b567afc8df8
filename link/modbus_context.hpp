#pragma once
// A libmodbus context owned by the worker for one cycle, and the opening of
// the connection from a copy of ConnectionSettings.

#include <modbus.h>

#include <chrono>
#include <utility>

#include "link/call_guard.hpp"
#include "link/link_state.hpp"

// Closes and frees its context when reset or destroyed, so no path out of a
// cycle leaves a connection or a context behind. A socket handed to a guard
// is taken back from it before it is closed.
class ModbusContext {
public:
    ModbusContext() = default;
    explicit ModbusContext(modbus_t* context) : context_(context) {}
    ModbusContext(ModbusContext&& other) noexcept
        : context_(other.release()), guard_(std::exchange(other.guard_, nullptr))
    {
    }
    ModbusContext& operator=(ModbusContext&& other) noexcept;
    ModbusContext(const ModbusContext&) = delete;
    ModbusContext& operator=(const ModbusContext&) = delete;
    ~ModbusContext() { reset(); }

    modbus_t* get() const { return context_; }
    explicit operator bool() const { return context_ != nullptr; }
    // modbus_close, then modbus_free.
    void reset();
    // The connected socket is shut down when guard is cancelled.
    void watch_with(CallGuard& guard);

private:
    modbus_t* release();
    modbus_t* context_ = nullptr;
    CallGuard* guard_ = nullptr;
};

enum class OpenOutcome {
    opened,
    no_device,       // serial with an empty device name (failure A)
    no_context,      // the library made no context (failure A)
    unresolved,      // the server's host name did not resolve
    connect_failed,  // modbus_connect returned -1 (failure B)
};

struct OpenResult {
    OpenOutcome outcome = OpenOutcome::no_context;
    int error = 0;  // errno of the failure; the resolver's code when unresolved
    ModbusContext context;
    int response_timeout_ms = 0;  // in force: the library's default for a setting of 0
    std::chrono::nanoseconds connect_time{0};  // how long the connect took, when opened
};

// Makes the context, sets the response time-out, switches the byte time-out
// and debug off, connects and flushes; a TCP socket is then watched by
// guard. Over TCP the server text is resolved first and each of its
// addresses tried in turn; the last one's failure is told. On failure the
// context is already closed and freed.
OpenResult open_modbus(const ConnectionSettings& settings, CallGuard& guard);
