#pragma once
// The library's read targets and write sources. Each worker keeps its own,
// so no other thread ever sees them while the library fills them.

#include <array>
#include <cstdint>

#include "link/link_state.hpp"

struct CycleBuffers {
    std::array<uint8_t, max_values> bits{};  // one byte per coil or input
    std::array<uint16_t, max_values> registers{};
};
