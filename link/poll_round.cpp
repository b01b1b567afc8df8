#include "link/poll_round.hpp"

#include <modbus.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "link/frames.hpp"
#include "link/link_statistics.hpp"
#include "link/modbus_exchange.hpp"
#include "link/pending_write.hpp"

namespace {

constexpr uint8_t broadcast_id = 255;

int64_t now_utc_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void say(WorkerContext& worker, LinkStatus status, uint16_t key = 0)
{
    status.definition = key;
    tell(worker, [&] { worker.reports.status_changed(status); });
}

// The figures a request is counted in: the link's and the definition's own,
// each only while no reset came since the request went out, so that the
// figures after a reset or a Connect hold nothing of an earlier request.
struct RequestFigures {
    WorkerContext& worker;
    LinkStatistics* own;
    uint64_t link_resets;
    uint64_t own_resets;

    template <typename Record>
    void record(Record&& what)
    {
        tell(worker, [&] {
            if (worker.link.statistics.resets.load(std::memory_order_acquire) == link_resets)
                what(worker.link.statistics);
            if (own && own->resets.load(std::memory_order_acquire) == own_resets)
                what(*own);
        });
    }
};

RequestFigures count_request(WorkerContext& worker, const PollEntry& entry)
{
    LinkStatistics* own = entry.statistics.get();
    RequestFigures figures{worker, own, worker.link.statistics.resets.load(std::memory_order_acquire),
                           own ? own->resets.load(std::memory_order_acquire) : 0};
    figures.record([](LinkStatistics& s) { record_request_sent(s); });
    return figures;
}

// The trouble of the write or the unit selection, told after the reads; a
// Disconnect that no round has told yet is told instead.
void report_trouble(WorkerContext& worker, int error)
{
    if (worker.link.disconnect_notice.exchange(false))
        say(worker, {StatusKind::not_connected, 0});
    else
        say(worker, {StatusKind::link_error, error});
}

// Nothing of this round reached the values (key 0: of any definition).
void show_values_stale(WorkerContext& worker, uint16_t key)
{
    tell(worker, [&] { worker.reports.values_stale(key); });
}

// A gap in the chart: the poll failed or was never sent.
void chart_failed_poll(WorkerContext& worker, const PollEntry& entry)
{
    tell(worker, [&] { worker.reports.poll_ended(PollOutcome{entry.poll, now_utc_ms(), worker.run, false, nullptr, 0, entry.key}); });
}

// Nothing was opened, so nothing is read.
void report_open_failure(WorkerContext& worker, const OpenResult& opened)
{
    tell(worker, [&] { record_connect_failure(worker.link.statistics); });
    if (opened.outcome == OpenOutcome::connect_failed) {
        // A refused connect names its cause, even right after a Disconnect.
        say(worker, {StatusKind::link_error, opened.error});
        fail_waiting_write(worker, opened.error);
    } else if (opened.outcome == OpenOutcome::unresolved) {
        // So does a name that does not resolve, in the resolver's words.
        say(worker, {StatusKind::resolve_error, opened.error});
        fail_waiting_write(worker, 0);
    } else {
        if (opened.outcome == OpenOutcome::no_device)
            say(worker, {StatusKind::no_device, 0});
        fail_waiting_write(worker, 0);
        report_trouble(worker, opened.error);
    }
    show_values_stale(worker, 0);
}

void publish(WorkerContext& worker, const PollEntry& entry, const uint16_t* values, unsigned count, bool live)
{
    PublishedValues published{entry.poll};
    published.key = entry.key;
    published.value_count = count > max_values ? max_values : count;
    published.live = live;
    std::copy(values, values + published.value_count, published.values.begin());
    worker.reports.values_read(published);
}

// What the status line says of a failed read: the device's exception by
// its code, the library's text for a time-out or a reply that disagrees,
// else (a damaged reply among them) "no response".
LinkStatus failed_read_status(int error, uint8_t exception)
{
    if (exception)
        return {StatusKind::exception, exception};
    if (error == ETIMEDOUT || error == EMBBADDATA)
        return {StatusKind::link_error, error};
    return {StatusKind::no_response, 0};
}

// Zeros for the whole block.
void publish_failed_read(WorkerContext& worker, const PollEntry& entry, int error, uint8_t exception)
{
    say(worker, failed_read_status(error, exception), entry.key);
    static constexpr uint16_t zeros[max_values] = {};
    tell(worker, [&] { publish(worker, entry, zeros, entry.poll.length, false); });
    chart_failed_poll(worker, entry);
}

// A good read clears what the status line says of this definition.
void publish_read(WorkerContext& worker, const PollEntry& entry, const uint16_t* values)
{
    const PollDefinition& poll = entry.poll;
    tell(worker, [&] {
        worker.reports.poll_ended(PollOutcome{poll, now_utc_ms(), worker.run, true, values, poll.length, entry.key});
        worker.reports.status_changed({StatusKind::cleared, 0, entry.key});
        publish(worker, entry, values, poll.length, true);
    });
}

// The most items one read request may ask for.
unsigned items_per_request(uint8_t fcode)
{
    return fcode <= 2 ? MODBUS_MAX_READ_BITS : MODBUS_MAX_READ_REGISTERS;
}

// One request of a block: count items from offset into values. The errno
// of its failure, 0 when good; exception: the device's code, if it sent one.
int read_part(WorkerContext& worker, LinkChannel& channel, const PollEntry& entry, unsigned offset, unsigned count,
              uint16_t* values, uint8_t& exception)
{
    const PollDefinition& poll = entry.poll;
    Frame request = poll_request_frame(poll.slave, poll.fcode, uint16_t(poll.address + offset), uint8_t(count));
    RequestFigures figures = count_request(worker, entry);
    auto sent = std::chrono::steady_clock::now();
    Reply reply;
    if (exchange(channel, request, reply) == -1) {
        int error = errno;
        exception = reply.exception_code();
        if (error != ECANCELED)
            figures.record([&](LinkStatistics& s) {
                exception ? record_exception(s, exception) : record_failed_poll(s, error);
            });
        return error;
    }
    auto took = std::chrono::steady_clock::now() - sent;
    figures.record([&](LinkStatistics& s) { record_good(s, took); });
    if (poll.fcode == 1 || poll.fcode == 2)
        unpack_bits(reply.frame(), count, values + offset);
    else
        unpack_registers(reply.frame(), count, values + offset);
    return 0;
}

// A block larger than one request may carry is read in as many requests as
// it needs, one after the other, and shown as one block only when all are
// good. The errno of a failed read, which is then published; 0 when good.
int read_block(WorkerContext& worker, LinkChannel& channel, const PollEntry& entry)
{
    const PollDefinition& poll = entry.poll;
    uint16_t values[max_values] = {};
    unsigned step = items_per_request(poll.fcode);
    for (unsigned offset = 0; offset < poll.length; offset += step) {
        uint8_t exception = 0;
        unsigned count = std::min(step, unsigned(poll.length) - offset);
        if (int error = read_part(worker, channel, entry, offset, count, values, exception)) {
            publish_failed_read(worker, entry, error, exception);
            return error;
        }
    }
    publish_read(worker, entry, values);
    return 0;
}

// One definition of the round: the errno of its failed read, else 0.
// trouble collects what the write or the unit selection went through.
int poll_definition(WorkerContext& worker, LinkChannel& channel, const PollEntry& entry,
                    const ConnectionSettings& settings, WriteTrouble& trouble)
{
    if (entry.poll.slave == broadcast_id && !settings.use_tcp) {
        say(worker, {StatusKind::rtu_id_refused, 0}, entry.key);
        show_values_stale(worker, entry.key);
        chart_failed_poll(worker, entry);
        return 0;
    }
    if (!can_address(settings, entry.poll.slave)) {
        // 248 to 254 on a serial line: nothing is sent, the refusal is told.
        trouble = WriteTrouble{true, errno};
        show_values_stale(worker, entry.key);
        chart_failed_poll(worker, entry);
        return 0;
    }
    return read_block(worker, channel, entry);
}

// A failure that leaves the line fit for the round's other definitions:
// the device answered, or one unit kept silent (a time-out is that unit's).
bool leaves_line_fit(int error)
{
    return is_reply_failure(error) || error == ETIMEDOUT || error == EMBMDATA;
}

// The rest of a round the line failed in: the others' values are older.
void end_round_early(WorkerContext& worker, const std::vector<PollEntry>& round, size_t failed_at)
{
    show_values_stale(worker, 0);
    for (size_t i = failed_at + 1; i < round.size(); ++i)
        chart_failed_poll(worker, round[i]);
}

// A definition of a unit that timed out earlier in this round is not asked
// again: its values are older, and it says why. It keeps its place in the
// order, so it goes first in the next round: a unit slow on one block only
// still has its other blocks read.
void pass_over_silent_unit(WorkerContext& worker, const PollEntry& entry)
{
    say(worker, {StatusKind::link_error, ETIMEDOUT}, entry.key);
    show_values_stale(worker, entry.key);
    chart_failed_poll(worker, entry);
}

// The definitions served before a write read again as soon as the round
// is done, so that every block shows what the write did.
void make_due_before(PollSchedule& schedule, const std::vector<PollEntry>& round, size_t written_at)
{
    for (size_t i = 0; i < written_at && i < round.size(); ++i)
        make_due(schedule, round[i].key);
}

}  // namespace

void run_poll_round(WorkerContext& worker, const std::vector<PollEntry>& round, const ConnectionSettings& settings,
                    KeptLink& kept, PollSchedule& schedule)
{
    OpenResult opened = kept.take(settings, worker.guard, log_passed_over(worker.reports, worker.guard));
    if (opened.outcome != OpenOutcome::opened) {
        report_open_failure(worker, opened);
        for (const PollEntry& entry : round) {
            chart_failed_poll(worker, entry);
            mark_served(schedule, entry.key, ScheduleClock::now());
        }
        return;
    }
    if (opened.connect_time.count() > 0)
        tell(worker, [&] { record_connect(worker.link.statistics, opened.connect_time); });
    LinkChannel channel{opened.wire, settings, worker.reports, worker.guard, &worker.link.statistics};

    WriteTrouble trouble;
    int read_failure = 0;  // the last read's that failed, an exception's only if no other
    std::vector<uint8_t> silent_units;
    size_t written_at = 0;
    for (size_t i = 0; i < round.size() && !worker.guard.cancelled(); ++i) {
        // A waiting write goes before the next read.
        if (std::optional<WriteRequest> write = take_waiting_write(worker.link, worker.guard)) {
            trouble = carry_out_write(worker, channel, *write);
            written_at = i;
        }
        const PollEntry& entry = round[i];
        bool silent = std::find(silent_units.begin(), silent_units.end(), entry.poll.slave) != silent_units.end();
        int error = 0;
        if (silent)
            pass_over_silent_unit(worker, entry);
        else
            error = poll_definition(worker, channel, entry, settings, trouble);
        if (silent)
            mark_passed_over(schedule, entry.key, ScheduleClock::now());
        else
            mark_served(schedule, entry.key, ScheduleClock::now());
        if (error && error != EMBMDATA && (!read_failure || !is_exception_response(error)))
            read_failure = error;
        if (error == ETIMEDOUT)
            silent_units.push_back(entry.poll.slave);
        if (error && !leaves_line_fit(error)) {
            end_round_early(worker, round, i);
            break;
        }
    }
    if (round.empty())  // a write with no definition to read after it
        if (std::optional<WriteRequest> write = take_waiting_write(worker.link, worker.guard))
            trouble = carry_out_write(worker, channel, *write);
    make_due_before(schedule, round, written_at);
    // Kept after an exception response only; the marks are not told after
    // a failed read, whose own status says more.
    bool kept_fit = !read_failure || is_exception_response(read_failure);
    kept.give_back(std::move(opened), settings, kept_fit ? trouble.error : read_failure);
    if (!read_failure && trouble.marked)
        report_trouble(worker, trouble.error);
}
