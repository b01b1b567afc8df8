#pragma once
// The requests the worker sends, which are also the TX lines of the Logger:
// unit id and protocol data unit, numbers high byte first, no RTU checksum
// and no TCP header. Replies are shown as they arrived (link/reply_check.hpp).

#include <array>
#include <cstddef>
#include <cstdint>

// Large enough for the longest frame: a register write of 255 items.
inline constexpr size_t max_frame_size = 2 * 255 + 7;

struct Frame {
    std::array<uint8_t, max_frame_size> bytes{};
    size_t size = 0;  // 0: the request cannot be framed at all
};

// What a write sends: n is the item count after clamping (1 for 5, 6 and
// 22). A register write with registers carries those n instead of
// repeating value; a mask write carries its two masks.
struct WriteFrameRequest {
    uint8_t slave;
    uint8_t fcode;  // 5, 6, 15, 16 or 22
    uint16_t address;
    uint16_t value;
    uint16_t n;
    const uint16_t* registers = nullptr;
    uint16_t and_mask = 0xFFFF;
    uint16_t or_mask = 0;
};

// Clamps a multiple write's count: 0 is taken as 1, above 255 as 255.
uint16_t clamp_write_count(uint16_t count);

Frame poll_request_frame(uint8_t slave, uint8_t fcode, uint16_t address, uint8_t length);

// Empty (size 0) for a register write whose byte count 2n does not fit its
// byte, and for an unknown function code.
Frame write_request_frame(const WriteFrameRequest& request);
