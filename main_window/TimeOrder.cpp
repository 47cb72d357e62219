#include "main_window/TimeOrder.h"

#include <algorithm>
#include <vector>

namespace timeorder {

QList<int> byTimeTaken(const QList<int>& order, const TimeOf& timeOf, const NameLess& nameLess)
{
    if (order.size() < 2)
        return order;
    struct Entry
    {
        int index;
        std::optional<imaging::ClockTime> time;
    };
    std::vector<Entry> entries;
    entries.reserve(std::size_t(order.size() - 1));
    for (qsizetype k = 0; k + 1 < order.size(); ++k)
        entries.push_back({order[k], timeOf(order[k])});
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.time.has_value() != b.time.has_value())
            return a.time.has_value();
        if (a.time != b.time)
            return *a.time < *b.time;
        return nameLess(a.index, b.index);
    });
    QList<int> sorted;
    sorted.reserve(order.size());
    for (const Entry& e : entries)
        sorted.append(e.index);
    sorted.append(order.last());
    return sorted;
}

QList<int> byName(const QList<int>& order, const NameLess& nameLess)
{
    QList<int> sorted = order;
    if (sorted.size() > 1)
        std::sort(sorted.begin(), sorted.end() - 1, nameLess);
    return sorted;
}

void TakenTimes::set(int index, std::optional<imaging::ClockTime> time)
{
    if (index < 0)
        return;
    if (std::size_t(index) >= m_entries.size())
        m_entries.resize(std::size_t(index) + 1);
    Entry& e = m_entries[std::size_t(index)];
    e.state = time ? Entry::State::Known : Entry::State::None;
    e.seconds = time ? time->seconds : 0;
    e.nanoseconds = time ? time->nanoseconds : 0;
}

bool TakenTimes::known(int index) const
{
    return index >= 0 && std::size_t(index) < m_entries.size() &&
           m_entries[std::size_t(index)].state != Entry::State::Unknown;
}

std::optional<imaging::ClockTime> TakenTimes::operator()(int index) const
{
    if (index < 0 || std::size_t(index) >= m_entries.size() ||
        m_entries[std::size_t(index)].state != Entry::State::Known)
        return std::nullopt;
    const Entry& e = m_entries[std::size_t(index)];
    return imaging::ClockTime{e.seconds, e.nanoseconds};
}

} // namespace timeorder
