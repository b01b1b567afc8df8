#include "link/poll_round.hpp"

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

// Records into the link's figures and the definition's own.
template <typename Record>
void count(WorkerContext& worker, const PollEntry& entry, Record&& record)
{
    tell(worker, [&] {
        record(worker.link.statistics);
        if (entry.statistics)
            record(*entry.statistics);
    });
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

// Zeros for the whole block; a reply that disagrees with the request names
// itself like a time-out, any other failure is "no response".
void publish_failed_read(WorkerContext& worker, const PollEntry& entry, int error)
{
    if (error == ETIMEDOUT || error == EMBBADDATA)
        say(worker, {StatusKind::link_error, error}, entry.key);
    else
        say(worker, {StatusKind::no_response, 0}, entry.key);
    static constexpr uint16_t zeros[max_values] = {};
    tell(worker, [&] { publish(worker, entry, zeros, entry.poll.length, false); });
    chart_failed_poll(worker, entry);
}

// The Logger shows the reply as it arrived. A good reply clears what the
// status line says of the link and of this definition.
void publish_read(WorkerContext& worker, const PollEntry& entry, const Reply& reply)
{
    const PollDefinition& poll = entry.poll;
    uint16_t values[max_values];
    unsigned count = poll.length;
    if (poll.fcode == 1 || poll.fcode == 2)
        unpack_bits(reply.frame(), count, values);
    else
        unpack_registers(reply.frame(), count, values);
    tell(worker, [&] {
        worker.reports.poll_ended(PollOutcome{poll, now_utc_ms(), worker.run, true, values, count, entry.key});
        worker.reports.status_changed({StatusKind::cleared, 0, entry.key});
        worker.reports.frame_logged(reply.frame(), reply.check.frame_size, LogDirection::rx);
        publish(worker, entry, values, count, true);
    });
}

// The errno of a failed read, which is then published; 0 for a good one.
// A block larger than one request may ask for is logged as asked, but it
// never goes out, so the figures do not count it.
int read_block(WorkerContext& worker, LinkChannel& channel, const PollEntry& entry)
{
    const PollDefinition& poll = entry.poll;
    Frame request = poll_request_frame(poll.slave, poll.fcode, poll.address, poll.length);
    tell(worker, [&] { worker.reports.frame_logged(request.bytes.data(), request.size, LogDirection::tx); });
    if (too_large(request)) {
        publish_failed_read(worker, entry, EMBMDATA);
        return EMBMDATA;
    }
    count(worker, entry, [](LinkStatistics& s) { record_request_sent(s); });
    auto sent = std::chrono::steady_clock::now();
    Reply reply;
    if (exchange(channel, request, reply) == -1) {
        int error = errno;
        if (error != ECANCELED)
            count(worker, entry, [&](LinkStatistics& s) { record_failed_poll(s, error); });
        publish_failed_read(worker, entry, error);
        return error;
    }
    auto took = std::chrono::steady_clock::now() - sent;
    count(worker, entry, [&](LinkStatistics& s) { record_good(s, took); });
    publish_read(worker, entry, reply);
    return 0;
}

// A failure that leaves the line fit for the round's other definitions.
bool is_definition_failure(int error)
{
    return is_exception_response(error) || error == EMBBADDATA || error == EMBBADCRC || error == EMBMDATA ||
           error == EMBBADSLAVE || error == EMBUNKEXC;
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
    if (!can_address(channel, entry.poll.slave)) {
        // 248 to 254 on a serial line: nothing is sent, the refusal is told.
        trouble = WriteTrouble{true, errno};
        show_values_stale(worker, entry.key);
        chart_failed_poll(worker, entry);
        return 0;
    }
    return read_block(worker, channel, entry);
}

// The rest of a round the link failed in: the others' values are older.
void end_round_early(WorkerContext& worker, const std::vector<PollEntry>& round, size_t failed_at)
{
    show_values_stale(worker, 0);
    for (size_t i = failed_at + 1; i < round.size(); ++i)
        chart_failed_poll(worker, round[i]);
}

}  // namespace

void run_poll_round(WorkerContext& worker, const std::vector<PollEntry>& round, const ConnectionSettings& settings,
                    KeptLink& kept, PollSchedule& schedule)
{
    OpenResult opened = kept.take(settings, worker.guard);
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
    LinkChannel channel{opened.wire, worker};

    WriteTrouble trouble;
    int read_failure = 0;  // the last read's that failed, an exception's only if no other
    for (size_t i = 0; i < round.size() && !worker.guard.cancelled(); ++i) {
        // A waiting write goes before the next read.
        if (std::optional<WriteRequest> write = take_waiting_write(worker.link, worker.guard))
            trouble = carry_out_write(worker, channel, *write);
        int error = poll_definition(worker, channel, round[i], settings, trouble);
        mark_served(schedule, round[i].key, ScheduleClock::now());
        if (error && error != EMBMDATA && (!read_failure || !is_exception_response(error)))
            read_failure = error;
        if (error && !is_definition_failure(error)) {
            end_round_early(worker, round, i);
            break;
        }
    }
    if (round.empty())  // a write with no definition to read after it
        if (std::optional<WriteRequest> write = take_waiting_write(worker.link, worker.guard))
            trouble = carry_out_write(worker, channel, *write);
    // Kept after an exception response only; the marks are not told after
    // a failed read, whose own status says more.
    bool kept_fit = !read_failure || is_exception_response(read_failure);
    kept.give_back(std::move(opened), settings, kept_fit ? trouble.error : read_failure);
    if (!read_failure && trouble.marked)
        report_trouble(worker, trouble.error);
}
