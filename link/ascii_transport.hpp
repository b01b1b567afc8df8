#pragma once
// ASCII frames on a serial line: ':', two hex digits per byte of unit id,
// protocol data unit and LRC, then CR LF. What comes before a ':' is noise.

#include "link/wire.hpp"

extern const Transport ascii_transport;
