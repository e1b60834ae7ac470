// Random bits for names that must not collide: temporary files beside the ones they replace,
// container names.
#pragma once

#include <cstdint>

namespace tarvo {

// 64 bits from the system's random source; throws an OSError when it cannot be read.
std::uint64_t random_bits();

} // namespace tarvo
