#pragma once
// The one record shared by the user-interface thread and the worker.
//
// Records travel whole under a small lock of their own, so no side ever sees
// a mixture of old and new fields:
//   - PollDefinition and ConnectionSettings under settings_lock (a replaced
//     device text is never freed under the worker's feet);
//   - the write request, whether it waits, and the last write result under
//     write_lock; each request has its own sequence number, and a result
//     names the request it belongs to;
//   - the published values, with the block they were read for, under
//     values_lock.
// The link flags are atomics. wake_lock guards no field: it exists only for
// the timed wait on wake.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

class CallGuard;
struct MainWindow;
struct WriteDialog;
typedef struct _GtkButton GtkButton;
typedef struct _GtkLabel GtkLabel;

struct PollDefinition {
    uint8_t slave = 245;
    uint8_t fcode = 3;  // always 1..4
    uint16_t address = 0;
    uint8_t length = 20;
    uint32_t scan_rate = 1000;  // milliseconds

    bool operator==(const PollDefinition&) const = default;
};

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

    bool operator==(const ConnectionSettings&) const = default;
};

// One write the user sent; the sequence number tells it from every other.
struct WriteRequest {
    uint32_t sequence = 0;  // 0: no write was ever sent
    uint8_t slave = 1;
    uint8_t fcode = 6;  // 5, 6, 15 or 16
    uint16_t address = 0;
    uint16_t value = 0;
    uint16_t count = 1;
    // A 32- or 64-bit value: its registers as written, which a "10" write
    // repeats count times. A width of 1 writes value alone.
    std::array<uint16_t, 4> words{};
    uint8_t width = 1;
};

// What became of the write with that sequence number.
struct WriteResult {
    uint32_t sequence = 0;
    bool failed = false;
    int32_t error = 0;  // with failed: 0 means the link was not connected
};

inline constexpr unsigned max_values = 255;

// The values the grid shows, with the block they were read for.
struct PublishedValues {
    PollDefinition block;
    uint32_t value_count = 0;
    bool live = false;  // a good reply of the newest cycle
    std::array<uint16_t, max_values> values{};
};

struct LinkState {
    // Settings, copied whole by the worker at each cycle start.
    std::mutex settings_lock;
    PollDefinition poll;
    ConnectionSettings connection;

    // The newest write, whether the worker has yet to take it, and the
    // result of the last write that ended.
    std::mutex write_lock;
    WriteRequest write;
    bool write_waiting = false;
    WriteResult write_result;

    // Results shown by the grid.
    std::mutex values_lock;
    PublishedValues published;

    // Link control.
    std::atomic<bool> running{false};
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> disconnect_notice{false};
    std::atomic<int32_t> last_errno{0};
    // The resolver's code (EAI_*) of the last host name that did not resolve.
    std::atomic<int32_t> last_resolve_error{0};
    std::mutex wake_lock;
    std::condition_variable wake;

    // References used by the UI callbacks; only the UI thread touches them.
    MainWindow* main_window = nullptr;
    WriteDialog* write_dialog = nullptr;
    GtkButton* connect_button = nullptr;
    GtkLabel* connect_label = nullptr;
};

LinkState& link_state();

// Restores every field to its initial value; for tests, never while a worker runs.
void reset_link_state();

PollDefinition copy_poll_definition();
void store_poll_definition(const PollDefinition& poll);
ConnectionSettings copy_connection_settings();
void store_connection_settings(const ConnectionSettings& settings);

// The fields that name a block: another slave, function, address or length
// is another block (the scan rate is not).
bool same_block(const PollDefinition& a, const PollDefinition& b);

// UI side of a write. Stores the request under a new sequence number and
// returns it; it waits for the worker, or, when the link is not running,
// ends at once as failed with "not connected".
uint32_t hand_over_write(WriteRequest request, bool running);
// Takes back the write with that sequence if the worker has not taken it;
// false if it is already under way or ended.
bool withdraw_write(uint32_t sequence);
// Disconnect: a write still waiting ends as failed, "not connected"; true
// if there was one (its result is then to be reported).
bool fail_waiting_write();
WriteResult last_write_result();
WriteRequest copy_write_request();
// Worker side: takes the waiting write for carrying out, unless guard is
// cancelled (a worker no longer current takes none); then publishes what
// became of it.
std::optional<WriteRequest> take_waiting_write(const CallGuard& guard);
void publish_write_result(const WriteResult& result);

// Worker side of the values. count is clamped to max_values.
void publish_values(const PollDefinition& block, const uint16_t* values, unsigned count, bool live);
// The values stay, but no longer come from the newest cycle.
void mark_values_stale();
void clear_values();
// The published values if they were read for the block of current; none
// (value_count 0) for any other block.
PublishedValues copy_values_for(const PollDefinition& current);

// Wakes a waiting worker (wake-one); the caller has stored its change first.
void signal_wake();

// Exit path: sets stop_requested under wake_lock, then signals wake.
void request_stop();
