#pragma once

#include <algorithm>

// The middle one of a benchmark's figures (of an even number the upper of the two); 0 for none.
template <typename Figures> double median(Figures values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}
