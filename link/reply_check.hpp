#pragma once
// Whether a reply that arrived belongs to the request that was sent, and the
// values it carries. Requests and replies are frames of unit id and protocol
// data unit (link/frames.hpp), as the transport took them off the line.

#include <cstddef>
#include <cstdint>

struct ReplyCheck {
    // 0: a good reply. EMBBADDATA: it disagrees with the request. An
    // exception reply: the library's code for the exception.
    int error = 0;
    // The size of the frame; what the Logger shows.
    size_t frame_size = 0;
};

// Whether error is of a reply that came whole but disagrees with its
// request, an exception reply among them.
bool is_reply_failure(int error);

ReplyCheck check_reply(const uint8_t* request, size_t request_size, const uint8_t* frame, size_t frame_size);

// Size of unit id and protocol data unit of a good reply to request; 0
// when only the reply's contents tell (functions 17 and 43).
size_t expected_reply_size(const uint8_t* request, size_t request_size);

// The items of a good read reply (unit id first): one 0 or 1 per coil or
// input, the first in bit 0; or the registers, high byte first.
void unpack_bits(const uint8_t* frame, unsigned count, uint16_t* out);
void unpack_registers(const uint8_t* frame, unsigned count, uint16_t* out);
