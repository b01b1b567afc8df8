#pragma once
// A connection to a device, owned by the worker: a TCP socket, or a serial
// port that the library has opened and configured, with the transport that
// frames requests and replies on it. One transport per kind of line (Modbus
// TCP, RTU, ASCII, RTU over TCP); the request building and the reply check
// above them are shared (link/modbus_exchange.hpp).

#include <modbus.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "link/call_guard.hpp"
#include "link/frames.hpp"
#include "link/link_state.hpp"

using WireClock = std::chrono::steady_clock;

// One reply as it came off the line: unit id and protocol data unit.
struct ReplyFrame {
    std::array<uint8_t, MODBUS_MAX_ADU_LENGTH> bytes{};
    size_t size = 0;
    bool stale = false;  // the answer to an earlier request (TCP transaction id)
};

struct Wire;

// What one kind of line does.
struct Transport {
    // Frames request and puts it on the line; over a serial line only after
    // the silent interval, and returns when the frame has left. -1 with errno.
    int (*send)(Wire& wire, const Frame& request);
    // Takes one frame off the line: its first byte before first_byte, the
    // rest within the time its bytes take and a gap. -1 with errno:
    // ETIMEDOUT, ECANCELED, EMBBADCRC (checksum, LRC or hex), EMBBADDATA (no
    // reply of any request), or the system's error.
    int (*receive)(Wire& wire, const Frame& request, ReplyFrame& reply, WireClock::time_point first_byte);
};

// Bytes read off the line but not yet taken as a frame.
struct LineInput {
    std::array<uint8_t, 2 * MODBUS_MAX_ADU_LENGTH + 8> bytes{};
    size_t size = 0;
};

// Closes its line on every path out; moves, never copies.
struct Wire {
    Wire() = default;
    Wire(Wire&& other) noexcept { *this = static_cast<Wire&&>(other); }
    Wire& operator=(Wire&& other) noexcept;
    Wire(const Wire&) = delete;
    Wire& operator=(const Wire&) = delete;
    ~Wire() { close_line(); }
    explicit operator bool() const { return fd >= 0; }
    void close_line();

    const Transport* transport = nullptr;
    int fd = -1;
    modbus_t* serial = nullptr;  // the library's context that opened the serial port
    CallGuard* guard = nullptr;  // ends the waits on cancel
    bool watched = false;        // the guard shuts fd down on cancel (TCP)
    ConnectionSettings settings;
    int response_timeout_ms = 0;   // in force: the library's default for a setting of 0
    uint16_t transaction = 0;      // the transaction id of the last request (TCP)
    WireClock::time_point quiet_since{};  // serial: the end of the last byte sent or seen
    LineInput input;
};

// The library's response time-out when none is set.
inline constexpr int default_response_timeout_ms = 500;

// The time count bytes take on the line of settings (0 over TCP).
std::chrono::microseconds line_time(const ConnectionSettings& settings, size_t count);

// The Modbus TCP, RTU over TCP, RTU and ASCII tables.
extern const Transport tcp_transport;
extern const Transport rtu_over_tcp_transport;
extern const Transport rtu_transport;
extern const Transport ascii_transport;

// Whether a kept TCP connection is still open at the far end: nothing
// needs to be sent to tell a peer that closed it.
bool peer_still_there(Wire& wire);

// Reads what fd has into wire.input; 0 when something came, -1 with errno
// (ECONNRESET when the peer closed). Waits until deadline first.
int read_some(Wire& wire, WireClock::time_point deadline);
// Drops the first count bytes of wire.input.
void consume_input(Wire& wire, size_t count);
