// The numeric edit's value rules: a value set into the edit is held to
// Min..2147483647 and shown with 10 decimals; reading the edit parses that
// text back. Whatever passes through an edit comes back as this value.
#pragma once

#include <cstdint>

namespace kf {

// Min 2147483647 switches the limits off (the edit's own convention).
inline constexpr int32_t kNumberEditNoMin = 2147483647;

// The value the edit holds after setValue(x): x held to min..2147483647,
// written with 10 decimals and read back. Not-a-number reads as min.
double numberEditValue(double x, int32_t min = 0);

}  // namespace kf
