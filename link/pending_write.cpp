#include "link/pending_write.hpp"

#include <cerrno>
#include <chrono>
#include <thread>

#include "link/frames.hpp"
#include "link/link_statistics.hpp"
#include "link/ui_post.hpp"
#include "link/write_dialog.hpp"
#include "logger/frame_text.hpp"

namespace {

// Lets a slow device settle between the write and the poll read.
constexpr std::chrono::milliseconds pause_after_write{50};

void log_if_framed(const Frame& frame, LogDirection direction)
{
    if (frame.size)
        log_frame(frame.bytes.data(), frame.size, direction);
}

// A 32- or 64-bit value goes out as its registers, count times over, in one
// request; the request then carries every register.
void take_wide_value(const WriteRequest& w, WriteFrameRequest& request, CycleBuffers& buffers)
{
    unsigned width = w.width.load(std::memory_order_relaxed);
    if (request.fcode != 16 || width < 2 || width > w.words.size())
        return;
    request.n = static_cast<uint16_t>(request.n * width);
    for (unsigned i = 0; i < request.n && i < buffers.registers.size(); ++i)
        buffers.registers[i] = w.words[i % width].load(std::memory_order_relaxed);
    request.registers = buffers.registers.data();
}

WriteFrameRequest copy_write_request(CycleBuffers& buffers)
{
    const WriteRequest& w = link_state().write;
    WriteFrameRequest request{w.slave.load(std::memory_order_relaxed), w.fcode.load(std::memory_order_relaxed),
                              w.address.load(std::memory_order_relaxed), w.value.load(std::memory_order_relaxed),
                              1};
    if (request.fcode == 15 || request.fcode == 16)
        request.n = clamp_write_count(w.count.load(std::memory_order_relaxed));
    take_wide_value(w, request, buffers);
    return request;
}

// The library call of the write; -1 and errno like the library. A register
// write of more than the library's 123 is refused by the library itself
// before anything is sent (errno EMBMDATA, "Too many data").
int call_write(modbus_t* context, const WriteFrameRequest& request, CycleBuffers& buffers)
{
    switch (request.fcode) {
    case 5:
        return modbus_write_bit(context, request.address, request.value & 1);
    case 6:
        return modbus_write_register(context, request.address, request.value);
    case 15:
        buffers.bits.fill(0);
        for (uint16_t i = 0; i < request.n; ++i)
            buffers.bits[i] = static_cast<uint8_t>(request.value & 1);
        return modbus_write_bits(context, request.address, request.n, buffers.bits.data());
    case 16:
        if (request.n > buffers.registers.size()) {
            errno = EMBMDATA;  // far beyond what one request holds
            return -1;
        }
        for (uint16_t i = 0; i < request.n && !request.registers; ++i)
            buffers.registers[i] = request.value;
        return modbus_write_registers(context, request.address, request.n, buffers.registers.data());
    default:
        errno = EINVAL;
        return -1;
    }
}

// Returns the write's error code, 0 on success.
int send_write(modbus_t* context, const WriteFrameRequest& request, CycleBuffers& buffers)
{
    log_if_framed(write_request_frame(request), LogDirection::tx);
    int returned = call_write(context, request, buffers);
    record_write(returned == -1);
    if (returned == -1)
        return errno ? errno : EINVAL;  // 0 would read as "Not connected"
    log_if_framed(write_response_frame(request), LogDirection::rx);
    return 0;
}

void publish_write_result(int error)
{
    LinkState& s = link_state();
    s.write_errno.store(error, std::memory_order_relaxed);
    s.write_done.store(true, std::memory_order_release);
    post_report_write();
}

}  // namespace

bool write_pending()
{
    return !link_state().write_done.load(std::memory_order_acquire);
}

void post_report_write()
{
    if (WriteDialog* dialog = link_state().write_dialog)
        post_to_ui(report_write, dialog);
}

WriteTrouble carry_out_pending_write(modbus_t* context, CycleBuffers& buffers)
{
    LinkState& s = link_state();
    WriteTrouble trouble;
    WriteFrameRequest request = copy_write_request(buffers);
    if (modbus_set_slave(context, request.slave) == -1)
        trouble = WriteTrouble{true, errno};
    post_report_write();
    int error = 0;
    if (!s.write_cancelled.load(std::memory_order_acquire)) {
        error = send_write(context, request, buffers);
        if (error) {
            s.write_failed.store(true, std::memory_order_relaxed);
            trouble = WriteTrouble{true, error};
        }
    }
    publish_write_result(error);
    std::this_thread::sleep_for(pause_after_write);
    return trouble;
}

void fail_pending_write(int error)
{
    if (!write_pending())
        return;
    link_state().write_failed.store(true, std::memory_order_relaxed);
    publish_write_result(error);
}
