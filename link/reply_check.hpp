#pragma once
// Whether a reply that arrived belongs to the request that was sent, and the
// values it carries. Requests are frames of unit id and protocol data unit
// (link/frames.hpp); replies are whole application data units as the library
// received them: the TCP header first, or the RTU checksum last.

#include <cstddef>
#include <cstdint>

struct ReplyCheck {
    // 0: a good reply. EMBBADDATA: it disagrees with the request. An
    // exception reply: the library's code for the exception.
    int error = 0;
    // Where unit id and protocol data unit start in the reply, and their
    // size; what the Logger shows.
    size_t frame_offset = 0;
    size_t frame_size = 0;
};

ReplyCheck check_reply(bool tcp, const uint8_t* request, size_t request_size, const uint8_t* reply,
                       size_t reply_size);

// Size of unit id and protocol data unit of a good reply to request.
size_t expected_reply_size(const uint8_t* request, size_t request_size);

// The items of a good read reply (unit id first): one 0 or 1 per coil or
// input, the first in bit 0; or the registers, high byte first.
void unpack_bits(const uint8_t* frame, unsigned count, uint16_t* out);
void unpack_registers(const uint8_t* frame, unsigned count, uint16_t* out);
