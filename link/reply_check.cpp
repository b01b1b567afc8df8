#include "link/reply_check.hpp"

#include <modbus.h>

#include <cstring>

namespace {

constexpr uint8_t exception_mark = 0x80;

unsigned word_at(const uint8_t* bytes)
{
    return unsigned(bytes[0]) << 8 | bytes[1];
}

bool is_read(uint8_t fcode)
{
    return fcode >= 1 && fcode <= 4;
}

// The byte count a good read reply carries.
unsigned read_byte_count(const uint8_t* request)
{
    unsigned quantity = word_at(request + 4);
    return request[1] <= 2 ? (quantity + 7) / 8 : 2 * quantity;
}

int exception_error(uint8_t code)
{
    return code > 0 && code < MODBUS_EXCEPTION_MAX ? MODBUS_ENOBASE + code : EMBBADEXC;
}

// Unit id and protocol data unit against the request.
int check_frame(const uint8_t* request, size_t request_size, const uint8_t* frame, size_t size)
{
    if (size < 3 || frame[0] != request[0])
        return EMBBADDATA;
    if (frame[1] == (request[1] | exception_mark))
        return size == 3 ? exception_error(frame[2]) : EMBBADDATA;
    size_t expected = expected_reply_size(request, request_size);
    if (frame[1] != request[1])
        return EMBBADDATA;
    if (expected == 0)
        return 0;  // a reply whose contents its reader checks (17, 43)
    if (size != expected)
        return EMBBADDATA;
    if (is_read(request[1]))
        return frame[2] == read_byte_count(request) ? 0 : EMBBADDATA;
    // A write's reply repeats its address and value, or address and
    // quantity, or for a mask write address and both masks.
    bool echoed = request_size >= expected && std::memcmp(frame, request, expected) == 0;
    return echoed ? 0 : EMBBADDATA;
}

}  // namespace

bool is_reply_failure(int error)
{
    return (error >= EMBXILFUN && error <= EMBUNKEXC) || error == EMBBADSLAVE;
}

size_t expected_reply_size(const uint8_t* request, size_t request_size)
{
    if (request_size < 3)
        return 0;
    if (is_read(request[1]))
        return request_size < 6 ? 0 : 3 + read_byte_count(request);
    if (request[1] == 22)  // mask write: address and both masks
        return 8;
    bool write = request[1] == 5 || request[1] == 6 || request[1] == 15 || request[1] == 16;
    return write ? 6 : 0;
}

ReplyCheck check_reply(const uint8_t* request, size_t request_size, const uint8_t* frame, size_t frame_size)
{
    ReplyCheck check;
    check.error = EMBBADDATA;
    if (request_size < 2)
        return check;
    check.frame_size = frame_size;
    check.error = check_frame(request, request_size, frame, frame_size);
    return check;
}

void unpack_bits(const uint8_t* frame, unsigned count, uint16_t* out)
{
    const uint8_t* data = frame + 3;
    for (unsigned i = 0; i < count; ++i)
        out[i] = (data[i / 8] >> (i % 8)) & 1;
}

void unpack_registers(const uint8_t* frame, unsigned count, uint16_t* out)
{
    const uint8_t* data = frame + 3;
    for (unsigned i = 0; i < count; ++i)
        out[i] = static_cast<uint16_t>(word_at(data + 2 * i));
}
