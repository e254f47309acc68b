// Float-to-integer conversion that is defined for every input: truncation
// toward zero, saturating at the int32 range, NaN giving 0.
#pragma once

#include <cstdint>
#include <limits>

inline std::int32_t truncateToInt32(double value) noexcept {
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

inline std::int32_t saturateToInt32(std::intmax_t value) noexcept {
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}
