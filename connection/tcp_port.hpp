#pragma once
// The TCP port typed into the Connection dialog. No GTK here.

#include <cstdint>
#include <optional>
#include <string_view>

inline constexpr uint32_t max_tcp_port = 65535;

// Reads the text as a decimal integer the forgiving way: leading blanks and
// one sign accepted, reading stops at the first non-digit, no digits gives 0.
// Empty result for a negative value or one above max_tcp_port (the library
// would truncate it), however many digits it has.
std::optional<uint32_t> parse_tcp_port(std::string_view text);
