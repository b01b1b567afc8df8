#include "link/poll_cycle.hpp"

#include <cerrno>
#include <chrono>

#include "link/frames.hpp"
#include "link/link_statistics.hpp"
#include "link/modbus_context.hpp"
#include "link/pending_write.hpp"
#include "link/ui_callbacks.hpp"
#include "logger/frame_text.hpp"

namespace {

constexpr uint8_t broadcast_id = 255;

void log_whole(const Frame& frame, LogDirection direction)
{
    log_frame(frame.bytes.data(), frame.size, direction);
}

// The trouble of the write or the slave selection, told after the read.
void report_trouble(int error)
{
    link_state().last_errno.store(error, std::memory_order_release);
    post_link_error_or_notice();
}

// Failures A and B: nothing was opened, so nothing is read.
void report_open_failure(const OpenResult& opened)
{
    LinkState& s = link_state();
    record_connect_failure();
    if (opened.outcome == OpenOutcome::connect_failed) {
        // A refused connect names its cause, even right after a Disconnect.
        s.last_errno.store(opened.error, std::memory_order_release);
        post_status(StatusKind::link_error);
        fail_pending_write(opened.error);
        return;
    }
    if (opened.outcome == OpenOutcome::no_device)
        post_status(StatusKind::no_device);
    fail_pending_write(0);
    report_trouble(opened.error);
}

int read_block(modbus_t* context, const PollDefinition& poll, CycleBuffers& buffers)
{
    switch (poll.fcode) {
    case 1:
        return modbus_read_bits(context, poll.address, poll.length, buffers.bits.data());
    case 2:
        return modbus_read_input_bits(context, poll.address, poll.length, buffers.bits.data());
    case 4:
        return modbus_read_input_registers(context, poll.address, poll.length, buffers.registers.data());
    default:
        return modbus_read_registers(context, poll.address, poll.length, buffers.registers.data());
    }
}

void publish_values(const uint16_t* source, const uint8_t* bits, unsigned count)
{
    LinkState& s = link_state();
    for (unsigned i = 0; i < count; ++i)
        s.values[i].store(bits ? uint16_t(bits[i] ? 1 : 0) : source[i], std::memory_order_relaxed);
    s.value_count.store(count, std::memory_order_release);
    post_refresh_values();
}

void publish_failed_read(const PollDefinition& poll, int error)
{
    if (error == ETIMEDOUT) {
        link_state().last_errno.store(error, std::memory_order_release);
        post_status(StatusKind::link_error);
    } else {
        post_status(StatusKind::no_response);
    }
    static constexpr uint16_t zeros[max_values] = {};
    publish_values(zeros, nullptr, poll.length);
}

void publish_read(const PollDefinition& poll, int returned, const CycleBuffers& buffers)
{
    unsigned count = returned > int(max_values) ? max_values : unsigned(returned);
    post_status(StatusKind::cleared);
    bool bits = poll.fcode == 1 || poll.fcode == 2;
    if (bits) {
        log_whole(bit_response_frame(poll.slave, poll.fcode, buffers.bits.data(), count), LogDirection::rx);
        publish_values(nullptr, buffers.bits.data(), count);
    } else {
        log_whole(register_response_frame(poll.slave, poll.fcode, buffers.registers.data(), count),
                  LogDirection::rx);
        publish_values(buffers.registers.data(), nullptr, count);
    }
}

}  // namespace

void run_poll_cycle(const PollDefinition& poll, const ConnectionSettings& settings, CycleBuffers& buffers)
{
    OpenResult opened = open_modbus(settings);
    if (opened.outcome != OpenOutcome::opened)
        return report_open_failure(opened);
    ModbusContext& context = opened.context;

    WriteTrouble trouble;
    if (write_pending())
        trouble = carry_out_pending_write(context.get(), buffers);

    if (poll.slave == broadcast_id && !settings.use_tcp) {
        post_status(StatusKind::rtu_id_refused);
        context.reset();
        if (trouble.marked)
            report_trouble(trouble.error);
        return;
    }
    // The library refuses ids above 247 on a serial line; the read goes on.
    if (modbus_set_slave(context.get(), poll.slave) == -1)
        trouble = WriteTrouble{true, errno};

    log_whole(poll_request_frame(poll.slave, poll.fcode, poll.address, poll.length), LogDirection::tx);
    record_request_sent();
    auto sent = std::chrono::steady_clock::now();
    int returned = read_block(context.get(), poll, buffers);
    if (returned == -1) {
        int error = errno;
        record_failed_poll(error);
        publish_failed_read(poll, error);
        return;  // the owner closes and frees; the marks are not told here
    }
    record_good(std::chrono::steady_clock::now() - sent);
    publish_read(poll, returned, buffers);
    context.reset();
    if (trouble.marked)
        report_trouble(trouble.error);
}
