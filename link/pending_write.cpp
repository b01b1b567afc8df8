#include "link/pending_write.hpp"

#include <array>
#include <cerrno>
#include <chrono>
#include <thread>

#include "link/link_statistics.hpp"
#include "link/ui_post.hpp"
#include "link/write_dialog.hpp"
#include "logger/frame_text.hpp"

namespace {

// Lets a slow device settle between the write and the poll read.
constexpr std::chrono::milliseconds pause_after_write{50};

using Registers = std::array<uint16_t, max_values>;

// A 32- or 64-bit value goes out as its registers, count times over, in one
// request; the request then carries every register. More registers than a
// frame holds give no frame, and the write fails as too large.
WriteFrameRequest framed(const WriteRequest& request, Registers& registers)
{
    WriteFrameRequest frame{request.slave, request.fcode, request.address, request.value, 1};
    if (request.fcode == 15 || request.fcode == 16)
        frame.n = clamp_write_count(request.count);
    unsigned width = request.width;
    if (request.fcode != 16 || width < 2 || width > request.words.size())
        return frame;
    frame.n = static_cast<uint16_t>(frame.n * width);
    for (unsigned i = 0; i < frame.n && i < registers.size(); ++i)
        registers[i] = request.words[i % width];
    frame.registers = registers.data();
    return frame;
}

void log_if_current(CallGuard& guard, const uint8_t* bytes, size_t size, LogDirection direction)
{
    if (size)
        guard.while_current([&] { log_frame(bytes, size, direction); });
}

// Returns the write's error code, 0 on success. A register write of more
// than the library's 123 is refused before anything is sent (EMBMDATA,
// "Too many data"); a unit the line cannot address sends nothing either.
int send_write(LinkChannel& link, const WriteRequest& request)
{
    Registers registers{};
    Frame frame = write_request_frame(framed(request, registers));
    if (!can_address(link, request.slave))
        return errno ? errno : EINVAL;
    log_if_current(link.guard, frame.bytes.data(), frame.size, LogDirection::tx);
    Reply reply;
    int returned = exchange(link, frame, reply);
    record_write(returned == -1);
    if (returned == -1)
        return errno ? errno : EINVAL;  // 0 would read as "Not connected"
    log_if_current(link.guard, reply.frame(), reply.check.frame_size, LogDirection::rx);
    return 0;
}

}  // namespace

void post_report_write()
{
    if (WriteDialog* dialog = link_state().write_dialog)
        post_to_ui(report_write, dialog);
}

WriteTrouble carry_out_write(LinkChannel& link, const WriteRequest& request)
{
    post_report_write();
    int error = send_write(link, request);
    // Cut short by Disconnect or a newer Connect: the link is gone.
    if (link.guard.cancelled())
        error = 0;
    bool failed = error != 0 || link.guard.cancelled();
    publish_write_result(WriteResult{request.sequence, failed, error});
    post_report_write();
    if (!link.guard.cancelled())
        std::this_thread::sleep_for(pause_after_write);
    return WriteTrouble{error != 0, error};
}

void fail_waiting_write(int error, const CallGuard& guard)
{
    if (std::optional<WriteRequest> request = take_waiting_write(guard)) {
        publish_write_result(WriteResult{request->sequence, true, error});
        post_report_write();
    }
}
