#pragma once

#include "imaging/PhotoMetadata.h"

#include <QList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The two starting orders the user can put the shown pictures into: by the time they were
// taken, and by name. Both take the display order `order` (element indexes; the last entry is
// the invisible placeholder and stays last) and return it rearranged. `nameLess` is the
// ordinal order of the elements' paths, as the listing sorts them.
namespace timeorder {

using NameLess = std::function<bool(int, int)>;
using TimeOf = std::function<std::optional<imaging::ClockTime>(int)>;

// By `timeOf` (asked once per element), earliest first; pictures of the same moment, and after
// all the others those with no time at all, by name.
QList<int> byTimeTaken(const QList<int>& order, const TimeOf& timeOf, const NameLess& nameLess);

// By name, as the listing put them.
QList<int> byName(const QList<int>& order, const NameLess& nameLess);

// What is known of the times taken of a folder's pictures, by element index: for each, nothing
// yet, or the time or that there is none. 16 bytes a picture.
class TakenTimes
{
public:
    // Lets the memory go too: a folder left behind may have been a large one.
    void clear() { m_entries = {}; }
    void set(int index, std::optional<imaging::ClockTime> time);
    bool known(int index) const;
    // The time, or nothing when there is none or it is not known yet.
    std::optional<imaging::ClockTime> operator()(int index) const;

private:
    struct Entry
    {
        std::int64_t seconds = 0;
        std::int32_t nanoseconds = 0;
        enum class State : std::uint8_t
        {
            Unknown,
            None,
            Known
        } state = State::Unknown;
    };
    std::vector<Entry> m_entries;
};

} // namespace timeorder
