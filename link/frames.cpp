#include "link/frames.hpp"

namespace {

void put(Frame& frame, uint8_t byte)
{
    frame.bytes[frame.size++] = byte;
}

void put_word(Frame& frame, uint16_t word)
{
    put(frame, static_cast<uint8_t>(word >> 8));
    put(frame, static_cast<uint8_t>(word & 0xFF));
}

// The head that every write frame shares: id, function, address.
Frame write_head(const WriteFrameRequest& request)
{
    Frame frame;
    put(frame, request.slave);
    put(frame, request.fcode);
    put_word(frame, request.address);
    return frame;
}

}  // namespace

uint16_t clamp_write_count(uint16_t count)
{
    if (count == 0)
        return 1;
    return count > 255 ? 255 : count;
}

Frame poll_request_frame(uint8_t slave, uint8_t fcode, uint16_t address, uint8_t length)
{
    Frame frame;
    put(frame, slave);
    put(frame, fcode);
    put_word(frame, address);
    put_word(frame, length);
    return frame;
}

Frame write_request_frame(const WriteFrameRequest& request)
{
    Frame frame = write_head(request);
    switch (request.fcode) {
    case 5:
        put(frame, (request.value & 1) ? 0xFF : 0x00);
        put(frame, 0x00);
        return frame;
    case 6:
        put_word(frame, request.value);
        return frame;
    case 15: {
        uint16_t n = clamp_write_count(request.n);
        put_word(frame, n);
        uint8_t packed = static_cast<uint8_t>((n + 7) / 8);
        put(frame, packed);
        uint8_t fill = (request.value & 1) ? 0xFF : 0x00;
        for (uint16_t i = 0; i < packed; ++i)
            put(frame, fill);
        // The unused high bits of the last byte are zero.
        if (n % 8)
            frame.bytes[frame.size - 1] = static_cast<uint8_t>(fill & ((1u << (n % 8)) - 1));
        return frame;
    }
    case 16: {
        uint16_t n = clamp_write_count(request.n);
        if (2 * n > 255)
            return Frame{};
        put_word(frame, n);
        put(frame, static_cast<uint8_t>(2 * n));
        for (uint16_t i = 0; i < n; ++i)
            put_word(frame, request.registers ? request.registers[i] : request.value);
        return frame;
    }
    case 22:
        put_word(frame, request.and_mask);
        put_word(frame, request.or_mask);
        return frame;
    default:
        return Frame{};
    }
}
