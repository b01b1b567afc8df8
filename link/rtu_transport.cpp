#include "link/rtu_transport.hpp"

#include <cerrno>
#include <cstring>

#include "link/line_frames.hpp"
#include "link/serial_timing.hpp"

namespace {

constexpr size_t checksum_size = 2;

int fail(int error)
{
    errno = error;
    return -1;
}

int send_rtu(Wire& wire, const Frame& request)
{
    uint8_t framed[max_frame_size + checksum_size];
    size_t total = frame_rtu(request, framed);
    if (before_serial_send(wire) == -1 || write_all(wire, framed, total) == -1)
        return -1;
    return after_serial_send(wire, total);
}

}  // namespace

size_t frame_rtu(const Frame& request, uint8_t* out)
{
    std::memcpy(out, request.bytes.data(), request.size);
    uint16_t crc = rtu_checksum(request.bytes.data(), request.size);
    out[request.size] = uint8_t(crc & 0xFF);
    out[request.size + 1] = uint8_t(crc >> 8);
    return request.size + checksum_size;
}

int receive_rtu_frame(Wire& wire, const Frame&, ReplyFrame& reply, WireClock::time_point first_byte)
{
    ReplyDeadline deadline{first_byte};
    for (;;) {
        const uint8_t* bytes = wire.input.bytes.data();
        size_t length = reply_length_so_far(bytes, wire.input.size, checksum_size);
        if (length == SIZE_MAX || length > MODBUS_RTU_MAX_ADU_LENGTH)
            return fail(EMBBADDATA);
        if (length != 0 && wire.input.size >= length) {
            uint16_t crc = rtu_checksum(bytes, length - checksum_size);
            if (bytes[length - 2] != (crc & 0xFF) || bytes[length - 1] != (crc >> 8))
                return fail(EMBBADCRC);
            reply.size = length - checksum_size;
            std::memcpy(reply.bytes.data(), bytes, reply.size);
            consume_input(wire, length);
            return 0;
        }
        if (wire.input.size > 0)
            deadline.bytes_came(wire, length);
        if (read_some(wire, deadline.now_due()) == -1)
            return -1;
    }
}

const Transport rtu_transport{send_rtu, receive_rtu_frame, settle_line};
