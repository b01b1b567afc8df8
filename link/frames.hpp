#pragma once
// The bytes of the frames shown in the Logger: unit id and protocol data
// unit, numbers high byte first, no RTU checksum and no TCP header. They are
// rebuilt from the request and the results, never copied from the wire.

#include <array>
#include <cstddef>
#include <cstdint>

// Large enough for the longest frame: a register write of 255 items.
inline constexpr size_t max_frame_size = 2 * 255 + 7;

struct Frame {
    std::array<uint8_t, max_frame_size> bytes{};
    size_t size = 0;  // 0: the request cannot be framed at all
};

// What a write sends: n is the item count after clamping (1 for 5 and 6).
// A register write of a 32- or 64-bit value carries its n registers
// instead of repeating value.
struct WriteFrameRequest {
    uint8_t slave;
    uint8_t fcode;  // 5, 6, 15 or 16
    uint16_t address;
    uint16_t value;
    uint16_t n;
    const uint16_t* registers = nullptr;
};

// Clamps a multiple write's count: 0 is taken as 1, above 255 as 255.
uint16_t clamp_write_count(uint16_t count);

Frame poll_request_frame(uint8_t slave, uint8_t fcode, uint16_t address, uint8_t length);
// fcode 1 or 2: bits holds one byte (0 or 1) per item; count items.
Frame bit_response_frame(uint8_t slave, uint8_t fcode, const uint8_t* bits, size_t count);
// fcode 3 or 4.
Frame register_response_frame(uint8_t slave, uint8_t fcode, const uint16_t* registers, size_t count);

// Empty (size 0) for a register write whose byte count 2n does not fit its
// byte, and for an unknown function code.
Frame write_request_frame(const WriteFrameRequest& request);
Frame write_response_frame(const WriteFrameRequest& request);

// Packs one byte per item into bytes of eight, the first item in bit 0.
// Returns the number of packed bytes, ceil(count / 8).
size_t pack_bits(const uint8_t* bits, size_t count, uint8_t* out);
