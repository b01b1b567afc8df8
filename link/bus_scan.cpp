#include "link/bus_scan.hpp"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

#include "link/device_identification.hpp"
#include "link/kept_link.hpp"
#include "link/open_link.hpp"
#include "link/reply_check.hpp"
#include "link/serial_line.hpp"
#include "link/worker.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint8_t exception_mark = 0x80;
constexpr uint8_t gateway_path_unavailable = 0x0A;
constexpr uint8_t gateway_target_failed = 0x0B;
constexpr uint8_t highest_serial_unit = 247;
constexpr char parities[] = {'N', 'E', 'O'};
// A unit that keeps saying "more follows" is not followed for ever.
constexpr int most_identification_asks = 8;

struct Sweep {
    LinkReports& frames;
    ScanReports& reports;
    const ScanPlan& plan;
    CallGuard& guard;
    Clock::time_point started = Clock::now();
    ScanProgress progress;
};

int fail(int error)
{
    errno = error;
    return -1;
}

template <typename Tell>
void tell(Sweep& sweep, Tell&& what)
{
    sweep.guard.while_current(what);
}

void log_frame(Sweep& sweep, const uint8_t* bytes, size_t size, LogDirection direction)
{
    tell(sweep, [&] { sweep.frames.frame_logged(bytes, size, direction); });
}

// The settings to try in turn: the link's own, or every serial setting.
std::vector<ConnectionSettings> settings_to_try(const ScanPlan& plan)
{
    ConnectionSettings base = plan.settings;
    base.response_timeout_ms = std::max(plan.timeout_ms, least_scan_timeout_ms);
    if (base.use_tcp || !plan.every_serial_setting || plan.baud_rates.empty())
        return {base};
    std::vector<uint32_t> rates = plan.baud_rates;
    std::sort(rates.rbegin(), rates.rend());
    std::vector<ConnectionSettings> tries;
    for (uint32_t rate : rates)
        for (char parity : parities) {
            tries.push_back(base);
            tries.back().baud_or_port = rate;
            tries.back().parity = parity;
        }
    return tries;
}

uint8_t last_unit(const ScanPlan& plan)
{
    if (plan.settings.use_tcp)
        return plan.last_unit;
    return std::min(plan.last_unit, highest_serial_unit);
}

uint32_t unit_count(const ScanPlan& plan)
{
    return plan.first_unit > last_unit(plan) ? 0 : uint32_t(last_unit(plan) - plan.first_unit + 1);
}

// One request and its reply, every frame logged as it went or came.
int ask(Sweep& sweep, Wire& wire, const Frame& request, ReplyFrame& reply)
{
    log_frame(sweep, request.bytes.data(), request.size, LogDirection::tx);
    if (wire.transport->send(wire, request) == -1)
        return sweep.guard.cancelled() ? fail(ECANCELED) : -1;
    auto first_byte = Clock::now() + milliseconds(wire.response_timeout_ms);
    for (;;) {
        reply = ReplyFrame{};
        if (wire.transport->receive(wire, request, reply, first_byte) == -1)
            break;
        log_frame(sweep, reply.bytes.data(), reply.size, LogDirection::rx);
        if (!reply.stale)
            return 0;
    }
    int error = sweep.guard.cancelled() ? ECANCELED : errno;
    // A reply cut short or garbled must not run into the next unit's. After
    // silence, the usual: the silent interval before the next request is
    // the whole wait, which a sweep of silent ids pays at every id.
    bool silence = error == ETIMEDOUT && wire.input.size == 0;
    if (!wire.settings.use_tcp && error != ECANCELED && !silence)
        let_line_settle(wire, std::max(first_byte, Clock::now() + line_time(wire.settings, 8)));
    return fail(error);
}

// The row of a unit that answered the probe, if one did; else false with errno.
bool probe_unit(Sweep& sweep, Wire& wire, uint8_t unit, ScanRow& row)
{
    const ScanProbe& probe = sweep.plan.probe;
    Frame request = poll_request_frame(unit, probe.fcode, probe.address, uint8_t(std::min<uint16_t>(probe.count, 125)));
    ReplyFrame reply;
    auto sent = Clock::now();
    if (ask(sweep, wire, request, reply) == -1)
        return false;
    row.response_ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    row.unit = unit;
    ReplyCheck check = check_reply(request.bytes.data(), request.size, reply.bytes.data(), reply.size);
    if (check.error == 0) {
        row.answer = ScanAnswer::reply;
        return true;
    }
    if (reply.size != 3 || reply.bytes[0] != unit || reply.bytes[1] != (probe.fcode | exception_mark))
        return fail(EMBBADDATA) == 0;  // a bad reply finds nothing
    row.exception = reply.bytes[2];
    bool gateway = row.exception == gateway_path_unavailable || row.exception == gateway_target_failed;
    row.answer = gateway ? ScanAnswer::gateway : ScanAnswer::exception;
    return true;
}

void add_objects(std::vector<std::pair<uint8_t, std::string>>& objects, const IdentificationReply& reply)
{
    for (const auto& object : reply.objects)
        if (std::none_of(objects.begin(), objects.end(), [&](const auto& o) { return o.first == object.first; }))
            objects.push_back(object);
}

// Whether a failed probe leaves the line unfit for the next one: over TCP
// anything but silence may leave the stream out of step; a serial port
// stays open unless the device itself is gone.
bool line_gone(const ConnectionSettings& settings, int error)
{
    return settings.use_tcp ? error != ETIMEDOUT : is_device_error(error);
}

// The line at one setting, as it stands.
struct ScanLine {
    OpenResult open;
    const ConnectionSettings& settings;
};

// Opens the line anew; -1 with errno when it cannot be had.
int reopen(Sweep& sweep, ScanLine& line)
{
    line.open = OpenResult{};  // the old one closes first
    line.open = open_link(line.settings, sweep.guard);
    return line.open.outcome == OpenOutcome::opened ? 0 : fail(line.open.error ? line.open.error : EIO);
}

// A server that does not know a request may take it for a shorter one and
// read the rest of the stream out of step, answering nothing more: over TCP
// the connection is opened anew after an identification request failed.
// Should that fail, the next probe finds the line gone.
void renew_if_tcp(Sweep& sweep, ScanLine& line)
{
    if (line.settings.use_tcp && !sweep.guard.cancelled())
        reopen(sweep, line);
}

// The basic objects, then the regular ones where the unit offers them.
std::vector<std::pair<uint8_t, std::string>> read_identification(Sweep& sweep, Wire& wire, uint8_t unit,
                                                                  bool& failed)
{
    std::vector<std::pair<uint8_t, std::string>> objects;
    uint8_t code = basic_objects;
    uint8_t next = 0;
    for (int asks = 0; asks < most_identification_asks; ++asks) {
        Frame request = identification_request(unit, code, next);
        ReplyFrame reply;
        if (ask(sweep, wire, request, reply) == -1) {
            failed = true;
            break;
        }
        IdentificationReply told = parse_identification(request, reply.bytes.data(), reply.size);
        if (!told.good)
            break;
        add_objects(objects, told);
        if (told.more) {
            next = told.next_object;
        } else if (code == basic_objects && offers_regular(told.conformity)) {
            code = regular_objects;
            next = 0;
        } else {
            break;
        }
    }
    return objects;
}

std::string identify(Sweep& sweep, ScanLine& line, uint8_t unit)
{
    bool failed = false;
    auto objects = read_identification(sweep, line.open.wire, unit, failed);
    if (failed)
        renew_if_tcp(sweep, line);
    if (!objects.empty() || sweep.guard.cancelled())
        return identification_text(objects);
    Frame request = server_id_request(unit);
    ReplyFrame reply;
    if (ask(sweep, line.open.wire, request, reply) == -1) {
        renew_if_tcp(sweep, line);
        return {};
    }
    return parse_server_id(request, reply.bytes.data(), reply.size).text;
}

void count_probe(Sweep& sweep)
{
    ScanProgress& progress = sweep.progress;
    ++progress.done;
    progress.elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - sweep.started);
    uint32_t to_go = progress.total > progress.done ? progress.total - progress.done : 0;
    progress.left = progress.elapsed * to_go / progress.done;
    tell(sweep, [&] { sweep.reports.probe_done(progress); });
}

// Every unit id at settings. The count of devices found there, or -1 with
// errno when the line failed or the scan was cancelled.
int sweep_units(Sweep& sweep, const ConnectionSettings& settings)
{
    ScanLine line{open_link(settings, sweep.guard), settings};
    if (line.open.outcome != OpenOutcome::opened)
        return fail(sweep.guard.cancelled() ? ECANCELED : (line.open.error ? line.open.error : EIO));
    int found = 0;
    uint32_t setting_end = sweep.progress.done + unit_count(sweep.plan);
    for (unsigned unit = sweep.plan.first_unit; unit <= last_unit(sweep.plan); ++unit) {
        ScanRow row;
        row.serial = !settings.use_tcp;
        row.baud = settings.baud_or_port;
        row.parity = settings.parity;
        bool answered = probe_unit(sweep, line.open.wire, uint8_t(unit), row);
        // A line lost, e.g. to a server that dropped the connection after
        // the last unit's identification, is no silence of this unit: it is
        // asked again on a new one.
        if (!answered && !sweep.guard.cancelled() && line_gone(settings, errno)) {
            if (reopen(sweep, line) == -1)
                return sweep.guard.cancelled() ? fail(ECANCELED) : -1;
            answered = probe_unit(sweep, line.open.wire, uint8_t(unit), row);
        }
        if (sweep.guard.cancelled())
            return fail(ECANCELED);
        if (answered && is_found(row)) {
            row.identification = identify(sweep, line, row.unit);
            ++found;
            ++sweep.progress.found;
            // No further setting is tried: the plan ends with this one.
            sweep.progress.total = std::min(sweep.progress.total, setting_end);
        }
        if (answered)
            tell(sweep, [&] { sweep.reports.unit_found(row); });
        count_probe(sweep);
    }
    return found;
}

}  // namespace

bool is_found(const ScanRow& row)
{
    return row.answer != ScanAnswer::gateway;
}

ScanEnd run_bus_scan(LinkReports& frames, ScanReports& reports, const ScanPlan& plan, CallGuard& guard)
{
    Sweep sweep{frames, reports, plan, guard, Clock::now(), ScanProgress{}};
    std::vector<ConnectionSettings> tries = settings_to_try(plan);
    uint32_t units = unit_count(plan);
    sweep.progress.total = units * uint32_t(tries.size());
    ScanEnd end;
    for (size_t i = 0; i < tries.size() && units > 0; ++i) {
        sweep.progress.baud = tries[i].baud_or_port;
        sweep.progress.parity = tries[i].parity;
        int found = sweep_units(sweep, tries[i]);
        if (found == -1) {
            end.cancelled = guard.cancelled();
            end.error = end.cancelled ? 0 : errno;
            return end;
        }
        if (found > 0)
            break;  // the setting that answered
    }
    return end;
}

bool resume_polling(const std::shared_ptr<LinkState>& link, std::shared_ptr<LinkReports> reports)
{
    if (!link->running.load(std::memory_order_acquire))
        return true;
    return start_worker(link, std::move(reports));
}

std::shared_ptr<ScanControl> start_bus_scan(std::shared_ptr<LinkState> link, std::shared_ptr<LinkReports> frames,
                                            std::shared_ptr<ScanReports> reports, ScanPlan plan)
{
    auto control = std::make_shared<ScanControl>();
    cancel_worker(*link);
    auto scan = [link, frames, reports, control, plan = std::move(plan)] {
        ScanEnd end;
        {
            // Held by a worker while it cycles: the cancelled one lets go
            // at its next check, and none starts cycling until the scan is done.
            std::lock_guard line_is_ours(link->lifetime_lock);
            end = run_bus_scan(*frames, *reports, plan, control->guard);
        }
        end.cancelled = end.cancelled || control->guard.cancelled();
        reports->scan_ended(end);
        control->finished.store(true, std::memory_order_release);
    };
    try {
        std::thread(std::move(scan)).detach();
    } catch (const std::system_error&) {
        return nullptr;
    }
    return control;
}
