#pragma once
// Scan Bus: which unit ids answer on the link's line, at which serial
// setting, and what they tell of themselves.
//
// A scan has the line to itself. start_bus_scan cancels the link's worker,
// and the scan's thread takes the link's lifetime lock, which a worker holds
// while it cycles, before it opens its own line: polling pauses, and never
// are two connections open or two requests in flight. When the scan ends
// its owner starts a worker again if the link is still meant to run. The
// scan's frames go to the link's reports, as a worker's do; what it finds
// goes to ScanReports. A cancel of its guard ends it within one time-out.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/call_guard.hpp"
#include "link/link_reports.hpp"
#include "link/link_state.hpp"

// The request each unit id is asked: a read of function 1 to 4.
struct ScanProbe {
    uint8_t fcode = 3;
    uint16_t address = 0;
    uint16_t count = 1;
};

struct ScanPlan {
    ConnectionSettings settings;  // the link's; the time-out below replaces its own
    uint8_t first_unit = 1;
    uint8_t last_unit = 247;
    ScanProbe probe;
    uint32_t timeout_ms = 100;
    // Serial only: every rate of baud_rates, fastest first, each with parity
    // None, Even and Odd, until one answers; then the ids at that setting.
    bool every_serial_setting = false;
    std::vector<uint32_t> baud_rates;
};

inline constexpr uint32_t least_scan_timeout_ms = 10;

enum class ScanAnswer : uint8_t {
    reply,      // a normal reply
    exception,  // an exception reply: a device is there
    gateway,    // 0x0A or 0x0B: a gateway answered that nothing is behind it
};

struct ScanRow {
    uint8_t unit = 0;
    ScanAnswer answer = ScanAnswer::reply;
    uint8_t exception = 0;  // the exception code, but for reply
    bool serial = false;
    uint32_t baud = 0;
    char parity = 'N';
    double response_ms = 0;
    std::string identification;  // empty when the unit told nothing
};

// A device answered at that id (a gateway's word that none did is no find).
bool is_found(const ScanRow& row);

struct ScanProgress {
    uint32_t done = 0;   // probes made
    uint32_t total = 0;  // probes planned; falls once a serial setting answered
    uint32_t found = 0;
    std::chrono::milliseconds elapsed{0};
    std::chrono::milliseconds left{0};  // estimated
    uint32_t baud = 0;  // serial: the setting being tried
    char parity = 'N';
    // The id being asked, counted from 1 within the range, and the setting
    // it is asked at, counted from 1 among the settings to try.
    uint32_t position = 0;
    uint32_t setting = 1;
    uint32_t settings = 1;
};

struct ScanEnd {
    bool cancelled = false;
    int error = 0;  // errno when the line could not be opened; 0 otherwise
};

// Called on the scan's thread, one at a time; nothing of a cancelled scan
// but scan_ended, which always comes last.
class ScanReports {
public:
    virtual ~ScanReports() = default;
    // Before each probe, once the scan has the line, and after it.
    virtual void probe_started(const ScanProgress&) {}
    virtual void probe_done(const ScanProgress& progress) = 0;
    virtual void unit_found(const ScanRow& row) = 0;
    virtual void scan_ended(const ScanEnd& end) = 0;
};

// A running scan: its guard, and whether its thread has let go of the line.
struct ScanControl {
    CallGuard guard;
    std::atomic<bool> finished{false};
};

// Any thread, holding nothing: cancels the link's worker and starts the scan
// on a thread of its own. Null if the thread could not be started.
std::shared_ptr<ScanControl> start_bus_scan(std::shared_ptr<LinkState> link, std::shared_ptr<LinkReports> frames,
                                            std::shared_ptr<ScanReports> reports, ScanPlan plan);

// Holding the line, before a sweep: a write the user sent before the scan
// took the line goes out on the link's settings, rather than waiting
// through the whole scan.
void carry_out_waiting_write(LinkState& link, LinkReports& frames, const ConnectionSettings& settings,
                             CallGuard& guard);

// After scan_ended, on the thread that owns the link: polling resumes if
// the link is still meant to run. False if a worker could not be started.
bool resume_polling(const std::shared_ptr<LinkState>& link, std::shared_ptr<LinkReports> reports);

// The sweep itself, on the calling thread, which must have the line to
// itself (start_bus_scan runs it under the lifetime lock).
ScanEnd run_bus_scan(LinkReports& frames, ScanReports& reports, const ScanPlan& plan, CallGuard& guard);
