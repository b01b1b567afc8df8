#pragma once
// A link: the settings a worker polls with, the single pending write, the
// worker's life and the link's statistics. One LinkState is one link; the
// user-interface thread and the worker share it, and the worker holds it
// (shared_ptr) for as long as it runs.
//
// Records travel whole under a small lock of their own, so no side ever sees
// a mixture of old and new fields:
//   - the poll definitions and ConnectionSettings under settings_lock (a
//     replaced device text is never freed under the worker's feet); every
//     store counts in changes, so a worker about to wait knows it missed one;
//   - the write request, whether it waits, and the last write result under
//     write_lock; each request has its own sequence number, and a result
//     names the request it belongs to.
// The link flags and the worker counts are atomics. wake_lock guards the
// current worker's guard and orders a stop with the worker's wait on wake.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/link_statistics.hpp"

class CallGuard;

struct PollDefinition {
    uint8_t slave = 245;
    uint8_t fcode = 3;  // always 1..4
    uint16_t address = 0;
    uint8_t length = 20;
    uint32_t scan_rate = 1000;  // milliseconds

    bool operator==(const PollDefinition&) const = default;
};

// How frames are put on a serial line, and over TCP.
enum class SerialFraming : uint8_t { rtu, ascii };
enum class TcpFraming : uint8_t { mbap, rtu };  // "Modbus TCP", "RTU over TCP"

struct ConnectionSettings {
    std::string device;  // serial device name, or over TCP a host name, IPv4 or IPv6 text
    uint32_t baud_or_port = 19200;
    uint32_t response_timeout_ms = 1000;
    char parity = 'N';
    uint8_t data_bits = 8;
    uint8_t stop_bits = 1;
    bool use_tcp = false;
    // The worker keeps its connection between cycles while the other
    // fields stay as they were when it was opened.
    bool keep_open = false;
    SerialFraming serial_framing = SerialFraming::rtu;
    TcpFraming tcp_framing = TcpFraming::mbap;

    bool operator==(const ConnectionSettings&) const = default;
};

// One definition the link polls, under its key. A definition changed into
// another block gets a new key from its owner, so nothing read for the old
// block is ever shown as the new one's: every report of a poll carries the
// key it was read for. Key 0 is never a definition's; it stands for the
// link as a whole.
struct PollEntry {
    uint16_t key = 1;
    PollDefinition poll;
    // The definition's own figures beside the link's, or none. The worker
    // holds them while it reads, so a definition dropped meanwhile leaves
    // them to the worker until it is done.
    std::shared_ptr<LinkStatistics> statistics;
};

inline constexpr size_t max_poll_definitions = 64;

// The most registers one write may carry (function 16).
inline constexpr unsigned max_write_registers = 123;

// One write the user sent; the sequence number tells it from every other.
// A fixed-size record, so it is copied whole under write_lock.
struct WriteRequest {
    uint32_t sequence = 0;  // 0: no write was ever sent
    uint8_t slave = 1;
    uint8_t fcode = 6;  // 5, 6, 15, 16 or 22
    uint16_t address = 0;
    uint16_t value = 0;
    uint16_t count = 1;
    // A "10" write of width registers, repeated count times: a 32- or
    // 64-bit value count times, or a block such as a string once. A width
    // of 1 writes value count times. More than max_write_registers in all
    // ends as failed, "Too many data", with nothing sent.
    std::array<uint16_t, max_write_registers> words{};
    uint8_t width = 1;
    // Function 22, Mask Write Register, of the register at address: the
    // device keeps the bits set in and_mask, and where and_mask is 0 takes
    // the bit of or_mask (bit_write_request fills both for one bit).
    uint16_t and_mask = 0xFFFF;
    uint16_t or_mask = 0;
};

// What became of the write with that sequence number.
struct WriteResult {
    uint32_t sequence = 0;
    bool failed = false;
    int32_t error = 0;  // with failed: 0 means the link was not connected
    // With failed: the request went out, but the link was cut off before
    // the device answered, so the write may have been carried out.
    bool unanswered = false;
    uint8_t exception = 0;  // with failed: the device's exception code, if it sent one
};

inline constexpr unsigned max_values = 255;

// The values of one poll, with the block they were read for.
struct PublishedValues {
    PollDefinition block;
    uint32_t value_count = 0;
    bool live = false;  // a good reply of the newest round
    std::array<uint16_t, max_values> values{};
    uint16_t key = 0;  // the definition's
};

struct LinkState {
    // Settings, copied whole by the worker at each cycle start.
    std::mutex settings_lock;
    std::vector<PollEntry> polls{PollEntry{}};
    ConnectionSettings connection;
    std::atomic<uint64_t> changes{0};

    // The newest write, whether the worker has yet to take it, and the
    // result of the last write that ended.
    std::mutex write_lock;
    WriteRequest write;
    bool write_waiting = false;
    WriteResult write_result;

    // Link control.
    std::atomic<bool> running{false};
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> disconnect_notice{false};
    std::mutex wake_lock;
    std::condition_variable wake;
    std::shared_ptr<CallGuard> current_guard;  // under wake_lock

    // The worker's life: the one that cycles holds lifetime_lock.
    std::mutex lifetime_lock;
    std::atomic<int> threads{0};
    std::atomic<int> cycling{0};
    std::atomic<int> peak{0};
    std::atomic<uint32_t> runs{0};  // workers started so far

    LinkStatistics statistics;
};

std::vector<PollEntry> copy_poll_entries(LinkState& link);
// At most max_poll_definitions are kept; keys are their owner's to choose.
void store_poll_entries(LinkState& link, std::vector<PollEntry> entries);
// One definition only, under key 1: the link as a single block's poller.
PollDefinition copy_poll_definition(LinkState& link);
void store_poll_definition(LinkState& link, const PollDefinition& poll);
ConnectionSettings copy_connection_settings(LinkState& link);
void store_connection_settings(LinkState& link, const ConnectionSettings& settings);

// The fields that name a block: another slave, function, address or length
// is another block (the scan rate is not).
bool same_block(const PollDefinition& a, const PollDefinition& b);

// A mask write that sets (on) or clears bit (0, the lowest, to 15) of the
// register at address and leaves its other bits as the device has them.
WriteRequest bit_write_request(uint8_t slave, uint16_t address, unsigned bit, bool on);

// UI side of a write. Stores the request under a new sequence number and
// returns it; it waits for the worker, or, when the link is not running,
// ends at once as failed with "not connected".
uint32_t hand_over_write(LinkState& link, WriteRequest request, bool running);
// Takes back the write with that sequence if the worker has not taken it;
// false if it is already under way or ended.
bool withdraw_write(LinkState& link, uint32_t sequence);
// Disconnect: a write still waiting ends as failed, "not connected"; true
// if there was one (its result is then to be reported).
bool fail_waiting_write(LinkState& link);
WriteResult last_write_result(LinkState& link);
WriteRequest copy_write_request(LinkState& link);
// Worker side: takes the waiting write for carrying out, unless guard is
// cancelled (a worker no longer current takes none); then publishes what
// became of it.
std::optional<WriteRequest> take_waiting_write(LinkState& link, const CallGuard& guard);
void publish_write_result(LinkState& link, const WriteResult& result);

// Wakes a waiting worker (wake-one); the caller has stored its change first.
// The signal is given under wake_lock, so a worker that checked changes
// under that lock before its wait cannot miss it.
void signal_wake(LinkState& link);

// Exit path: sets stop_requested and cancels the current worker under
// wake_lock, then signals wake. The worker reports nothing from then on; it
// is not waited for, since it may sit in a connect for a whole time-out.
void request_stop(LinkState& link);
