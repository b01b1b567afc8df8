#include "link/pending_write.hpp"

#include <array>
#include <cerrno>
#include <chrono>
#include <thread>

#include "link/link_statistics.hpp"

namespace {

// Lets a slow device settle between the write and the poll read.
constexpr std::chrono::milliseconds pause_after_write{50};

using Registers = std::array<uint16_t, max_write_registers>;

// A block of width registers goes out count times over in one request,
// which then carries every register; a width of 1 repeats value, and a
// mask write carries its masks. More registers than a write may hold are
// left unframed or too large, and the exchange refuses them unsent.
WriteFrameRequest framed(const WriteRequest& request, Registers& registers)
{
    WriteFrameRequest frame{request.slave, request.fcode, request.address, request.value, 1};
    frame.and_mask = request.and_mask;
    frame.or_mask = request.or_mask;
    if (request.fcode == 15 || request.fcode == 16)
        frame.n = clamp_write_count(request.count);
    unsigned width = request.width;
    if (request.fcode != 16 || width < 2)
        return frame;
    unsigned total = frame.n * width;  // at most 255 times 255
    frame.n = static_cast<uint16_t>(total);
    if (total > registers.size())
        return frame;
    for (unsigned i = 0; i < total; ++i)
        registers[i] = request.words[i % width];
    frame.registers = registers.data();
    return frame;
}

// How the write ended, as its sender is told. A register write of more
// than the library's 123 is refused before anything is sent (EMBMDATA,
// "Too many data") and not counted as a write; a unit the line cannot
// address sends nothing either.
WriteResult exchange_write(WorkerContext& worker, LinkChannel& channel, const WriteRequest& request)
{
    WriteResult result{request.sequence, true, 0};
    Registers registers{};
    Frame frame = write_request_frame(framed(request, registers));
    Reply reply;
    int returned = exchange(channel, frame, reply);
    int error = returned == -1 ? (errno ? errno : EINVAL) : 0;  // 0 would read as "Not connected"
    if (returned == 0) {
        result.failed = false;
    } else if (worker.guard.cancelled()) {
        // Cut short by Disconnect or a newer Connect: the link is gone, and
        // the write may or may not have reached the device.
        result.unanswered = reply.sent;
    } else {
        result.error = error;
        result.exception = reply.exception_code();
    }
    if (reply.sent)
        tell(worker, [&] { record_write(worker.link.statistics, returned == -1); });
    return result;
}

}  // namespace

WriteTrouble carry_out_write(WorkerContext& worker, LinkChannel& channel, const WriteRequest& request)
{
    worker.reports.write_taken(request);
    WriteResult result = exchange_write(worker, channel, request);
    publish_write_result(worker.link, result);
    worker.reports.write_ended(result);
    if (!worker.guard.cancelled())
        std::this_thread::sleep_for(pause_after_write);
    return WriteTrouble{result.error != 0, result.error};
}

void fail_waiting_write(WorkerContext& worker, int error)
{
    if (std::optional<WriteRequest> request = take_waiting_write(worker.link, worker.guard)) {
        WriteResult result{request->sequence, true, error};
        publish_write_result(worker.link, result);
        worker.reports.write_ended(result);
    }
}
