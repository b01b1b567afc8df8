#include "link/poll_cycle.hpp"

#include <cerrno>
#include <chrono>
#include <utility>

#include "chart/chart_recorder.hpp"
#include "link/frames.hpp"
#include "link/link_statistics.hpp"
#include "link/modbus_exchange.hpp"
#include "link/pending_write.hpp"
#include "link/ui_callbacks.hpp"
#include "logger/frame_text.hpp"

namespace {

constexpr uint8_t broadcast_id = 255;

void say(CallGuard& guard, StatusKind kind)
{
    guard.while_current([&] { post_status(kind); });
}

// The library's error text for error in the status line.
void say_error(CallGuard& guard, int error)
{
    guard.while_current([&] {
        link_state().last_errno.store(error, std::memory_order_release);
        post_status(StatusKind::link_error);
    });
}

// The trouble of the write or the unit selection, told after the read.
void report_trouble(CallGuard& guard, int error)
{
    guard.while_current([&] {
        link_state().last_errno.store(error, std::memory_order_release);
        post_link_error_or_notice();
    });
}

// Nothing of this cycle reached the grid, so what it shows is older.
void show_values_stale(CallGuard& guard)
{
    guard.while_current([] {
        mark_values_stale();
        post_refresh_values();
    });
}

// Failures A and B: nothing was opened, so nothing is read.
void report_open_failure(const OpenResult& opened, CallGuard& guard)
{
    record_connect_failure();
    if (opened.outcome == OpenOutcome::connect_failed) {
        // A refused connect names its cause, even right after a Disconnect.
        say_error(guard, opened.error);
        fail_waiting_write(opened.error, guard);
    } else if (opened.outcome == OpenOutcome::unresolved) {
        // So does a name that does not resolve, in the resolver's words.
        guard.while_current([&] {
            link_state().last_resolve_error.store(opened.error, std::memory_order_release);
            post_status(StatusKind::resolve_error);
        });
        fail_waiting_write(0, guard);
    } else {
        if (opened.outcome == OpenOutcome::no_device)
            say(guard, StatusKind::no_device);
        fail_waiting_write(0, guard);
        report_trouble(guard, opened.error);
    }
    show_values_stale(guard);
}

void publish(const PollDefinition& poll, const uint16_t* values, unsigned count, bool live)
{
    publish_values(poll, values, count, live);
    post_refresh_values();
}

// Zeros for the whole block; a reply that disagrees with the request names
// itself like a time-out, any other failure is "no response".
void publish_failed_read(CallGuard& guard, const PollDefinition& poll, int error)
{
    if (error == ETIMEDOUT || error == EMBBADDATA)
        say_error(guard, error);
    else
        say(guard, StatusKind::no_response);
    static constexpr uint16_t zeros[max_values] = {};
    guard.while_current([&] { publish(poll, zeros, poll.length, false); });
}

// The Logger shows the reply as it arrived.
void publish_read(CallGuard& guard, const PollDefinition& poll, const Reply& reply, ChartPoll& chart)
{
    uint16_t values[max_values];
    unsigned count = poll.length;
    if (poll.fcode == 1 || poll.fcode == 2)
        unpack_bits(reply.frame(), count, values);
    else
        unpack_registers(reply.frame(), count, values);
    guard.while_current([&] {
        chart.read(values, count);
        post_status(StatusKind::cleared);
        log_frame(reply.frame(), reply.check.frame_size, LogDirection::rx);
        publish(poll, values, count, true);
    });
}

// The errno of a failed read, which is then published; 0 for a good one.
int read_block(LinkChannel& link, const PollDefinition& poll, ChartPoll& chart)
{
    Frame request = poll_request_frame(poll.slave, poll.fcode, poll.address, poll.length);
    link.guard.while_current([&] { log_frame(request.bytes.data(), request.size, LogDirection::tx); });
    record_request_sent();
    auto sent = std::chrono::steady_clock::now();
    Reply reply;
    if (exchange(link, request, reply) == -1) {
        int error = errno;
        if (error != ECANCELED)
            record_failed_poll(error);
        publish_failed_read(link.guard, poll, error);
        return error;
    }
    record_good(std::chrono::steady_clock::now() - sent);
    publish_read(link.guard, poll, reply, chart);
    return 0;
}

}  // namespace

void run_poll_cycle(const PollDefinition& poll, const ConnectionSettings& settings, CallGuard& guard,
                    KeptLink& kept)
{
    ChartPoll chart(poll);  // a gap in the chart unless the read succeeds
    OpenResult opened = kept.take(settings, guard);
    if (opened.outcome != OpenOutcome::opened)
        return report_open_failure(opened, guard);
    LinkChannel link{opened.context.get(), guard, settings, opened.response_timeout_ms};

    WriteTrouble trouble;
    if (std::optional<WriteRequest> write = take_waiting_write(guard))
        trouble = carry_out_write(link, *write);

    if (poll.slave == broadcast_id && !settings.use_tcp) {
        say(guard, StatusKind::rtu_id_refused);
        show_values_stale(guard);
    } else if (!can_address(link, poll.slave)) {
        // 248 to 254 on a serial line: nothing is sent, the refusal is told.
        trouble = WriteTrouble{true, errno};
        show_values_stale(guard);
    } else if (int error = read_block(link, poll, chart)) {
        // Kept only after an exception response; the marks are not told here.
        kept.give_back(std::move(opened), settings, is_exception_response(error) ? trouble.error : error);
        return;
    }
    kept.give_back(std::move(opened), settings, trouble.error);
    if (trouble.marked)
        report_trouble(guard, trouble.error);
}

void run_poll_cycle(const PollDefinition& poll, const ConnectionSettings& settings, CallGuard& guard)
{
    KeptLink for_this_cycle;  // closed as the cycle ends
    run_poll_cycle(poll, settings, guard, for_this_cycle);
}
