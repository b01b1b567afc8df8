#include "link/bus_scan.hpp"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

#include "link/device_identification.hpp"
#include "link/kept_link.hpp"
#include "link/modbus_exchange.hpp"
#include "link/open_link.hpp"
#include "link/pending_write.hpp"
#include "link/reply_check.hpp"
#include "link/worker.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

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

// One request and its reply through the engine's one exchange, which logs
// every frame; after plain silence the next unit is asked after the silent
// interval only, since every reply's unit id is checked.
int ask(Sweep& sweep, LinkChannel& line, const Frame& request, Reply& reply)
{
    if (exchange(line, request, reply) == -1)
        return sweep.guard.cancelled() ? fail(ECANCELED) : -1;
    return 0;
}

// The row of a unit that answered the probe, if one did; else false with errno.
bool probe_unit(Sweep& sweep, LinkChannel& line, uint8_t unit, ScanRow& row)
{
    const ScanProbe& probe = sweep.plan.probe;
    Frame request = poll_request_frame(unit, probe.fcode, probe.address, uint8_t(std::min<uint16_t>(probe.count, 125)));
    Reply reply;
    auto sent = Clock::now();
    if (ask(sweep, line, request, reply) == -1 && reply.exception_code() == 0)
        return false;  // silence or a bad reply finds nothing
    row.response_ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    row.unit = unit;
    row.exception = reply.exception_code();
    bool gateway = row.exception == gateway_path_unavailable || row.exception == gateway_target_failed;
    row.answer = row.exception == 0 ? ScanAnswer::reply : gateway ? ScanAnswer::gateway : ScanAnswer::exception;
    return true;
}

void add_objects(std::vector<std::pair<uint8_t, std::string>>& objects, const IdentificationReply& reply)
{
    for (const auto& object : reply.objects)
        if (std::none_of(objects.begin(), objects.end(), [&](const auto& o) { return o.first == object.first; }))
            objects.push_back(object);
}

// Whether a failed probe leaves the line unfit for the next one: over TCP
// anything but silence or a whole reply; a serial port stays open unless
// the device itself is gone.
bool line_gone(const ConnectionSettings& settings, int error)
{
    if (settings.use_tcp)
        return error != ETIMEDOUT && !is_reply_failure(error);
    return is_device_error(error);
}

// A server that does not know a request may take it for a shorter one and
// read the rest of the stream out of step, answering nothing more: over TCP
// the connection is closed after an identification request failed, and the
// next request opens it anew.
void renew_if_tcp(Sweep& sweep, LinkChannel& line)
{
    if (line.settings.use_tcp && !sweep.guard.cancelled())
        line.wire.close_line();
}

// The basic objects, then the regular ones where the unit offers them.
std::vector<std::pair<uint8_t, std::string>> read_identification(Sweep& sweep, LinkChannel& line, uint8_t unit,
                                                                  bool& failed)
{
    std::vector<std::pair<uint8_t, std::string>> objects;
    uint8_t code = basic_objects;
    uint8_t next = 0;
    for (int asks = 0; asks < most_identification_asks; ++asks) {
        Frame request = identification_request(unit, code, next);
        Reply reply;
        if (ask(sweep, line, request, reply) == -1 && reply.exception_code() == 0) {
            failed = true;
            break;
        }
        IdentificationReply told = parse_identification(request, reply.frame(), reply.received.size);
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

std::string identify(Sweep& sweep, LinkChannel& line, uint8_t unit)
{
    bool failed = false;
    auto objects = read_identification(sweep, line, unit, failed);
    if (failed)
        renew_if_tcp(sweep, line);
    if (!objects.empty() || sweep.guard.cancelled())
        return identification_text(objects);
    Frame request = server_id_request(unit);
    Reply reply;
    if (ask(sweep, line, request, reply) == -1 && reply.exception_code() == 0) {
        renew_if_tcp(sweep, line);
        return {};
    }
    return parse_server_id(request, reply.frame(), reply.received.size).text;
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
    OpenResult opened = open_link(settings, sweep.guard);
    if (opened.outcome != OpenOutcome::opened)
        return fail(sweep.guard.cancelled() ? ECANCELED : (opened.error ? opened.error : EIO));
    opened.wire.passed_over = log_passed_over(sweep.frames, sweep.guard);
    // The line at this setting as it stands; a closed one is opened anew by
    // the next exchange.
    LinkChannel line{opened.wire, settings, sweep.frames, sweep.guard};
    line.quick_after_silence = true;
    int found = 0;
    uint32_t setting_end = sweep.progress.done + unit_count(sweep.plan);
    for (unsigned unit = sweep.plan.first_unit; unit <= last_unit(sweep.plan); ++unit) {
        sweep.progress.position = unit - sweep.plan.first_unit + 1;
        tell(sweep, [&] { sweep.reports.probe_started(sweep.progress); });
        ScanRow row;
        row.serial = !settings.use_tcp;
        row.baud = settings.baud_or_port;
        row.parity = settings.parity;
        bool answered = probe_unit(sweep, line, uint8_t(unit), row);
        // A line lost, e.g. to a server that dropped the connection after
        // the last unit's identification, is no silence of this unit: it is
        // asked again on a new one, which the exchange opens.
        if (!answered && !sweep.guard.cancelled() && line_gone(settings, errno)) {
            line.wire.close_line();
            answered = probe_unit(sweep, line, uint8_t(unit), row);
            if (!answered && !sweep.guard.cancelled() && line_gone(settings, errno))
                return -1;  // the line cannot be had again: the scan ends saying why
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
        sweep.progress.setting = uint32_t(i + 1);
        sweep.progress.settings = uint32_t(tries.size());
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

void carry_out_waiting_write(LinkState& link, LinkReports& frames, const ConnectionSettings& settings,
                             CallGuard& guard)
{
    {
        std::lock_guard lock(link.write_lock);
        if (!link.write_waiting)
            return;
    }
    WorkerContext worker{link, frames, guard, 0};
    OpenResult opened = open_link(settings, guard);
    if (opened.outcome != OpenOutcome::opened) {
        fail_waiting_write(worker, opened.outcome == OpenOutcome::connect_failed ? opened.error : 0);
        return;
    }
    opened.wire.passed_over = log_passed_over(frames, guard);
    LinkChannel channel{opened.wire, settings, frames, guard, &link.statistics};
    if (std::optional<WriteRequest> write = take_waiting_write(link, guard))
        carry_out_write(worker, channel, *write);
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
            carry_out_waiting_write(*link, *frames, plan.settings, control->guard);
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
