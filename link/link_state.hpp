#pragma once
// The one record shared by the user-interface thread and the worker.
//
// Publication order: whoever hands data to the other thread stores the data
// fields first (relaxed is enough) and the flag or count last with release;
// the reader loads the flag or count with acquire and only then the data.
//   - WriteRequest fields, then write_failed, then write_done (cleared).
//   - values[], then value_count, then refresh_values is posted.
//   - write_errno and write_failed, then write_done (set), then report_write.
// PollDefinition and ConnectionSettings travel as whole records under
// settings_lock, so a cycle never sees a mixture of old and new fields and a
// replaced device text is never freed under the worker's feet. wake_lock
// guards no field: it exists only for the timed wait on wake.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

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
    std::string device;  // serial device name, or the IPv4 text over TCP
    uint32_t baud_or_port = 19200;
    uint32_t response_timeout_ms = 1000;
    char parity = 'N';
    uint8_t data_bits = 8;
    uint8_t stop_bits = 1;
    bool use_tcp = false;

    bool operator==(const ConnectionSettings&) const = default;
};

// The single pending write; every field is written by the UI thread before
// write_done is cleared, and read by the worker after it saw write_done false.
struct WriteRequest {
    std::atomic<uint8_t> slave{1};
    std::atomic<uint8_t> fcode{6};  // 5, 6, 15 or 16
    std::atomic<uint16_t> address{0};
    std::atomic<uint16_t> value{0};
    std::atomic<uint16_t> count{1};
    // A 32- or 64-bit value: its registers as written, which a "10" write
    // repeats count times. A width of 1 writes value alone.
    std::array<std::atomic<uint16_t>, 4> words{};
    std::atomic<uint8_t> width{1};
};

inline constexpr unsigned max_values = 255;

struct LinkState {
    // Settings, copied whole by the worker at each cycle start.
    std::mutex settings_lock;
    PollDefinition poll;
    ConnectionSettings connection;

    // The pending write and its status.
    WriteRequest write;
    std::atomic<bool> write_done{true};
    std::atomic<bool> write_failed{false};
    std::atomic<bool> write_cancelled{false};
    std::atomic<int32_t> write_errno{0};

    // Results shown by the grid.
    std::array<std::atomic<uint16_t>, max_values> values{};
    std::atomic<uint32_t> value_count{0};

    // Link control.
    std::atomic<bool> running{false};
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> disconnect_notice{false};
    std::atomic<int32_t> last_errno{0};
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

// Wakes a waiting worker (wake-one); the caller has stored its change first.
void signal_wake();

// Exit path: sets stop_requested under wake_lock, then signals wake.
void request_stop();
