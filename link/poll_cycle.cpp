#include "link/poll_cycle.hpp"

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

void say(WorkerContext& worker, LinkStatus status)
{
    tell(worker, [&] { worker.reports.status_changed(status); });
}

// The trouble of the write or the unit selection, told after the read; a
// Disconnect that no cycle has told yet is told instead.
void report_trouble(WorkerContext& worker, int error)
{
    if (worker.link.disconnect_notice.exchange(false))
        say(worker, {StatusKind::not_connected, 0});
    else
        say(worker, {StatusKind::link_error, error});
}

// Nothing of this cycle reached the values, so what was shown is older.
void show_values_stale(WorkerContext& worker)
{
    tell(worker, [&] { worker.reports.values_stale(); });
}

// A gap in the chart: the poll of this cycle failed or was never sent.
void chart_failed_poll(WorkerContext& worker, const PollDefinition& poll)
{
    tell(worker, [&] { worker.reports.poll_ended(PollOutcome{poll, now_utc_ms(), worker.run}); });
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
    show_values_stale(worker);
}

void publish(WorkerContext& worker, const PollDefinition& poll, const uint16_t* values, unsigned count, bool live)
{
    PublishedValues published{poll};
    published.value_count = count > max_values ? max_values : count;
    published.live = live;
    std::copy(values, values + published.value_count, published.values.begin());
    worker.reports.values_read(published);
}

// Zeros for the whole block; a reply that disagrees with the request names
// itself like a time-out, any other failure is "no response".
void publish_failed_read(WorkerContext& worker, const PollDefinition& poll, int error)
{
    if (error == ETIMEDOUT || error == EMBBADDATA)
        say(worker, {StatusKind::link_error, error});
    else
        say(worker, {StatusKind::no_response, 0});
    static constexpr uint16_t zeros[max_values] = {};
    tell(worker, [&] { publish(worker, poll, zeros, poll.length, false); });
    chart_failed_poll(worker, poll);
}

// The Logger shows the reply as it arrived.
void publish_read(WorkerContext& worker, const PollDefinition& poll, const Reply& reply)
{
    uint16_t values[max_values];
    unsigned count = poll.length;
    if (poll.fcode == 1 || poll.fcode == 2)
        unpack_bits(reply.frame(), count, values);
    else
        unpack_registers(reply.frame(), count, values);
    tell(worker, [&] {
        worker.reports.poll_ended(PollOutcome{poll, now_utc_ms(), worker.run, true, values, count});
        worker.reports.status_changed({StatusKind::cleared, 0});
        worker.reports.frame_logged(reply.frame(), reply.check.frame_size, LogDirection::rx);
        publish(worker, poll, values, count, true);
    });
}

// The errno of a failed read, which is then published; 0 for a good one.
int read_block(WorkerContext& worker, LinkChannel& channel, const PollDefinition& poll)
{
    Frame request = poll_request_frame(poll.slave, poll.fcode, poll.address, poll.length);
    tell(worker, [&] {
        worker.reports.frame_logged(request.bytes.data(), request.size, LogDirection::tx);
        record_request_sent(worker.link.statistics);
    });
    auto sent = std::chrono::steady_clock::now();
    Reply reply;
    if (exchange(channel, request, reply) == -1) {
        int error = errno;
        if (error != ECANCELED)
            tell(worker, [&] { record_failed_poll(worker.link.statistics, error); });
        publish_failed_read(worker, poll, error);
        return error;
    }
    auto took = std::chrono::steady_clock::now() - sent;
    tell(worker, [&] { record_good(worker.link.statistics, took); });
    publish_read(worker, poll, reply);
    return 0;
}

}  // namespace

void run_poll_cycle(WorkerContext& worker, const PollDefinition& poll, const ConnectionSettings& settings,
                    KeptLink& kept)
{
    OpenResult opened = kept.take(settings, worker.guard);
    if (opened.outcome != OpenOutcome::opened) {
        report_open_failure(worker, opened);
        return chart_failed_poll(worker, poll);
    }
    if (opened.connect_time.count() > 0)
        tell(worker, [&] { record_connect(worker.link.statistics, opened.connect_time); });
    LinkChannel channel{opened.wire, worker};

    WriteTrouble trouble;
    if (std::optional<WriteRequest> write = take_waiting_write(worker.link, worker.guard))
        trouble = carry_out_write(worker, channel, *write);

    if (poll.slave == broadcast_id && !settings.use_tcp) {
        say(worker, {StatusKind::rtu_id_refused, 0});
        show_values_stale(worker);
        chart_failed_poll(worker, poll);
    } else if (!can_address(channel, poll.slave)) {
        // 248 to 254 on a serial line: nothing is sent, the refusal is told.
        trouble = WriteTrouble{true, errno};
        show_values_stale(worker);
        chart_failed_poll(worker, poll);
    } else if (int error = read_block(worker, channel, poll)) {
        // Kept only after an exception response; the marks are not told here.
        kept.give_back(std::move(opened), settings, is_exception_response(error) ? trouble.error : error);
        return;
    }
    kept.give_back(std::move(opened), settings, trouble.error);
    if (trouble.marked)
        report_trouble(worker, trouble.error);
}

void run_poll_cycle(WorkerContext& worker, const PollDefinition& poll, const ConnectionSettings& settings)
{
    KeptLink for_this_cycle;  // closed as the cycle ends
    run_poll_cycle(worker, poll, settings, for_this_cycle);
}
