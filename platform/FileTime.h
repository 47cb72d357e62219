#pragma once

#include <cstdint>
#include <limits>

namespace platform {

// A file time as nanoseconds since the epoch. Times a file system can hold but 64 bits of
// nanoseconds cannot (before 1678 or after 2262, set by touch or a wrong camera clock) are kept
// at the nearest end instead of wrapping into another, plausible time.
constexpr std::int64_t fileTimeNs(std::int64_t seconds, std::int64_t nanoseconds)
{
    constexpr std::int64_t perSecond = 1'000'000'000;
    std::int64_t result = 0;
    if (__builtin_mul_overflow(seconds, perSecond, &result) || __builtin_add_overflow(result, nanoseconds, &result))
        return seconds < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
    return result;
}

static_assert(fileTimeNs(1'700'000'000, 5) == 1'700'000'000'000'000'005);
static_assert(fileTimeNs(32'503'680'000, 0) == std::numeric_limits<std::int64_t>::max()); // year 3000
static_assert(fileTimeNs(-9'300'000'000, 0) == std::numeric_limits<std::int64_t>::min());

} // namespace platform
