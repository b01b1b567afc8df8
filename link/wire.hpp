#pragma once
// A connection to a device, owned by the worker or the scan: a TCP socket,
// or a serial port that the library has opened and configured, with the
// transport that frames requests and replies on it. One transport per kind
// of line, each in a file pair of its own:
//
//   Modbus TCP     link/tcp_transport.*           header with transaction id
//   RTU            link/rtu_transport.*           serial line, CRC, silent interval
//   ASCII          link/ascii_transport.*         serial line, ':' ... LRC CR LF
//   RTU over TCP   link/rtu_over_tcp_transport.*  RTU frames through a gateway
//
// The serial line's timing is in link/serial_timing.*; the request building
// and the reply check above the transports are shared
// (link/modbus_exchange.hpp).

#include <modbus.h>

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

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

// Where bytes go that the line carried but no request awaits: noise, a
// reply too late for its request, the rest of a garbled frame. They are
// shown, never taken for a reply.
using PassedOver = std::function<void(const uint8_t* bytes, size_t count)>;

struct Wire;

// What one kind of line does.
struct Transport {
    // Frames request and puts it on the line; over a serial line only after
    // the silent interval, and returns when the frame has left. -1 with errno.
    int (*send)(Wire& wire, const Frame& request);
    // Takes one frame off the line: its first byte before first_byte, the
    // rest as its bytes come (link/wire.hpp, ReplyDeadline). -1 with errno:
    // ETIMEDOUT, ECANCELED, EMBBADCRC (checksum, LRC or hex), EMBBADDATA (no
    // reply of any request), or the system's error.
    int (*receive)(Wire& wire, const Frame& request, ReplyFrame& reply, WireClock::time_point first_byte);
    // After an exchange failed with error: leaves the line so that nothing
    // of the failed exchange can be taken for the next one's reply, or
    // closes it when it cannot (the exchange then opens it anew). quick:
    // after plain silence the usual silent interval is enough.
    void (*recover)(Wire& wire, int error, bool quick);
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
    // Closes the line; what its input held is passed over first.
    void close_line();

    const Transport* transport = nullptr;
    int fd = -1;
    modbus_t* serial = nullptr;  // the library's context that opened the serial port
    CallGuard* guard = nullptr;  // ends the waits on cancel
    bool watched = false;        // the guard shuts fd down on cancel (TCP)
    ConnectionSettings settings;
    int response_timeout_ms = 0;   // in force: the library's default for a setting of 0
    uint16_t transaction = 0;      // the transaction id of the last request (TCP)
    WireClock::time_point quiet_since{};  // the end of the last byte sent or seen
    LineInput input;
    PassedOver passed_over;  // may be empty: then such bytes are dropped unseen
};

// The library's response time-out when none is set.
inline constexpr int default_response_timeout_ms = 500;

// The time count bytes take on the line of settings (0 over TCP).
std::chrono::microseconds line_time(const ConnectionSettings& settings, size_t count);

// When a reply being received must have ended. Before its first byte: the
// response time-out. Then a reply of known length may take the time its
// bytes need on the line and one gap more; a reply whose length only its
// contents tell (functions 17 and 43) may take as long as a slow line
// needs, as long as no byte comes more than a gap after the one before.
struct ReplyDeadline {
    WireClock::time_point first_byte;
    bool started = false;
    WireClock::time_point whole{};
    WireClock::time_point next_byte{};

    WireClock::time_point now_due() const;
    // A read brought bytes; known_size: the whole frame's size on the line
    // (0 while it cannot be told from what came).
    void bytes_came(const Wire& wire, size_t known_size);
};

// Reads what fd has into wire.input; 0 when something came, -1 with errno
// (ECONNRESET when the peer closed). Waits until deadline first.
int read_some(Wire& wire, WireClock::time_point deadline);
// Writes every byte, waiting while the line is full. Never on a closed line.
int write_all(Wire& wire, const uint8_t* bytes, size_t count);
// Drops the first count bytes of wire.input.
void consume_input(Wire& wire, size_t count);
// Shows what wire.input holds as passed over and empties it.
void pass_over_input(Wire& wire);
// Reads whatever the line holds without waiting and passes it over: the
// count of bytes passed over, or -1 with errno when the line failed or the
// peer closed it (ECONNRESET).
int pass_over_pending(Wire& wire);
