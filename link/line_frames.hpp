#pragma once
// The bytes of a frame on each kind of line, around its unit id and
// protocol data unit: the RTU checksum, the ASCII text with its LRC, and the
// TCP header. Pure: no I/O.

#include <cstddef>
#include <cstdint>

// The RTU checksum (CRC-16, polynomial 0xA001, start 0xFFFF) of count bytes;
// on the line its low byte goes first.
uint16_t rtu_checksum(const uint8_t* bytes, size_t count);

// The longitudinal redundancy check of ASCII frames: the two's complement of
// the byte sum.
uint8_t ascii_lrc(const uint8_t* bytes, size_t count);

// ":" and two upper-case hex digits per byte of frame and LRC, then CR LF.
// Writes 2 * count + 5 characters into out.
size_t encode_ascii(const uint8_t* frame, size_t count, char* out);
// The frame of an ASCII text from ":" to CR LF (both included): false when
// a digit is not hex, the length is odd, or the LRC disagrees.
bool decode_ascii(const char* text, size_t length, uint8_t* frame, size_t& count);

// How many bytes a whole reply to a request with function fcode holds, unit
// id to checksum, from its first bytes (at least 3 are needed to know): 0 when
// more bytes are needed to tell, SIZE_MAX when the reply cannot be a reply at
// all. checksum_size: what follows the protocol data unit (2 for RTU, 0 else).
size_t reply_length_so_far(const uint8_t* bytes, size_t have, size_t checksum_size);

// The TCP header of a request: transaction id, protocol 0, length of unit
// id and protocol data unit.
void write_tcp_header(uint16_t transaction, size_t frame_size, uint8_t* out);
inline constexpr size_t tcp_header_size = 6;
