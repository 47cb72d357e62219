#pragma once

#include "imaging/cDIBSection.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

// What every decoder target asks of a picture it was given: a size within the limit, every byte
// of the buffer addressable, and a thumbnail that can be made of it.

// A lower limit than the program's keeps each run fast; the limit's logic is the same.
inline constexpr std::int64_t kFuzzPixels = std::int64_t(1) << 22;

inline void checkDecoded(const cDIBSection& dib)
{
    if (!dib.DIBSectionBitsPtr() || dib.Width() < 1 || dib.Height() < 1 ||
        std::int64_t(dib.Width()) * dib.Height() > kFuzzPixels)
        __builtin_trap();
    // The sanitizer checks the reads.
    volatile std::uint8_t sum = 0;
    const std::size_t bytes = std::size_t(dib.BytesPerScanLine()) * std::size_t(dib.Height());
    for (std::size_t i = 0; i < bytes; i += 61)
        sum = std::uint8_t(sum + dib.DIBSectionBitsPtr()[i]);
    sum = std::uint8_t(sum + dib.DIBSectionBitsPtr()[bytes - 1]);
    try {
        if (!dib.Resample(5, 7))
            __builtin_trap();
    } catch (const std::out_of_range&) {
        // Only a picture one pixel wide or high cannot be resampled.
        if (dib.Width() > 1 && dib.Height() > 1)
            __builtin_trap();
    }
}
