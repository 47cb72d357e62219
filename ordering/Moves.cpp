#include "ordering/Moves.h"

#include <algorithm>
#include <iterator>

namespace ordering {

namespace {

bool isPicked(const std::vector<bool>& picked, PictureId id)
{
    return id > 0 && static_cast<size_t>(id) < picked.size() && picked[static_cast<size_t>(id)];
}

// The pictures that are not picked, and how many of them stand before the first picked one (-1
// when nothing is picked).
struct Others
{
    DisplayOrder pictures;
    qsizetype place = -1;
};

Others othersOf(const DisplayOrder& order, const std::vector<bool>& picked)
{
    Others o;
    o.pictures.reserve(order.size());
    for (const PictureId id : order) {
        if (!isPicked(picked, id))
            o.pictures.append(id);
        else if (o.place < 0)
            o.place = o.pictures.size();
    }
    return o;
}

} // namespace

std::optional<Place> dropPlace(const DisplayOrder& order, PictureId onto, bool after, bool listed)
{
    const qsizetype t = order.indexOf(onto);
    if (t < 0)
        return std::nullopt;
    if (after && t + 1 < order.size())
        return Place{order[t + 1]};
    return after && listed ? Place::end() : Place{onto};
}

bool movePicked(DisplayOrder& order, const std::vector<bool>& picked, Place place)
{
    if (isPicked(picked, place.before))
        return false;
    DisplayOrder block;
    bool listed = place.atEnd();
    for (const PictureId id : order) {
        if (isPicked(picked, id))
            block.append(id);
        else if (id == place.before)
            listed = true;
    }
    if (block.isEmpty() || !listed)
        return false;
    DisplayOrder moved;
    moved.reserve(order.size());
    for (const PictureId id : order) {
        if (id == place.before)
            moved.append(block);
        if (!isPicked(picked, id))
            moved.append(id);
    }
    if (place.atEnd())
        moved.append(block);
    if (moved == order)
        return false;
    // The caller may still hold the old order (the history does): it is left as it was.
    order = std::move(moved);
    return true;
}

std::optional<Place> stepPlace(const DisplayOrder& order, const std::vector<bool>& picked, qsizetype step)
{
    const Others o = othersOf(order, picked);
    if (o.place < 0)
        return std::nullopt;
    const qsizetype to = std::clamp<qsizetype>(o.place + step, 0, o.pictures.size());
    if (to == o.place)
        return std::nullopt;
    return to == o.pictures.size() ? Place::end() : Place{o.pictures[to]};
}

std::optional<Place> endPlace(const DisplayOrder& order, const std::vector<bool>& picked, bool toStart)
{
    const Others o = othersOf(order, picked);
    if (o.place < 0)
        return std::nullopt;
    return toStart && !o.pictures.isEmpty() ? Place{o.pictures.first()} : Place::end();
}

DisplayOrder byTimeTaken(const DisplayOrder& order, const TimeOf& timeOf, const PictureLess& nameLess)
{
    struct Entry
    {
        PictureId id;
        std::optional<ClockTime> time;
    };
    std::vector<Entry> entries;
    entries.reserve(size_t(order.size()));
    for (const PictureId id : order)
        entries.push_back({id, timeOf(id)});
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.time.has_value() != b.time.has_value())
            return a.time.has_value();
        if (a.time != b.time)
            return *a.time < *b.time;
        return nameLess(a.id, b.id);
    });
    DisplayOrder sorted;
    sorted.reserve(order.size());
    for (const Entry& e : entries)
        sorted.append(e.id);
    return sorted;
}

DisplayOrder placeArrivals(const DisplayOrder& order, const std::vector<bool>& arriving, const TimeOf& timeOf,
                           const PictureLess& nameLess)
{
    const auto arrives = [&arriving](PictureId id) { return size_t(id) < arriving.size() && arriving[size_t(id)]; };
    struct Anchor
    {
        ClockTime time;
        qsizetype at; // among the others
    };
    struct Arrival
    {
        PictureId id;
        ClockTime time;
        qsizetype after; // the place among the others it follows, -1: before them all
    };
    DisplayOrder others;
    std::vector<Anchor> anchors;
    std::vector<Arrival> arrivals;
    DisplayOrder untimed;
    for (const PictureId id : order) {
        const std::optional<ClockTime> time = timeOf(id);
        if (arrives(id)) {
            if (time)
                arrivals.push_back({id, *time, -1});
            else
                untimed.append(id);
            continue;
        }
        if (time)
            anchors.push_back({*time, others.size()});
        others.append(id);
    }
    // By time, and of the same moment the one shown last last: the last anchor not later than an
    // arrival is the one it follows.
    std::stable_sort(anchors.begin(), anchors.end(), [](const Anchor& a, const Anchor& b) { return a.time < b.time; });
    for (Arrival& a : arrivals) {
        const auto next = std::upper_bound(anchors.begin(), anchors.end(), a.time,
                                           [](const ClockTime& t, const Anchor& anchor) { return t < anchor.time; });
        a.after = next == anchors.begin() ? -1 : std::prev(next)->at;
    }
    std::sort(arrivals.begin(), arrivals.end(), [&nameLess](const Arrival& a, const Arrival& b) {
        if (a.after != b.after)
            return a.after < b.after;
        if (a.time != b.time)
            return a.time < b.time;
        return nameLess(a.id, b.id);
    });
    DisplayOrder placed;
    placed.reserve(order.size());
    auto next = arrivals.cbegin();
    for (qsizetype k = -1; k < others.size(); ++k) {
        if (k >= 0)
            placed.append(others[k]);
        for (; next != arrivals.cend() && next->after == k; ++next)
            placed.append(next->id);
    }
    placed.append(untimed);
    return placed;
}

DisplayOrder byName(const DisplayOrder& order, const PictureLess& nameLess)
{
    DisplayOrder sorted = order;
    std::sort(sorted.begin(), sorted.end(), nameLess);
    return sorted;
}

void ListingMerge::merge(DisplayOrder& order, const std::vector<PictureId>& sorted, const PictureLess& less)
{
    if (m_stale || m_runningMax.size() != order.size()) {
        m_runningMax.clear();
        m_runningMax.reserve(order.size());
        for (const PictureId id : order)
            m_runningMax.append(m_runningMax.isEmpty() || less(m_runningMax.last(), id) ? id : m_runningMax.last());
        m_stale = false;
    }
    if (sorted.empty())
        return;
    // From the back, in place: a new picture stands after an old one unless its key is less than
    // the old one's running maximum (then it goes before it, and before every later one). It is
    // the running maximum of its own place, as every one before it is at most its key, and those
    // after it keep theirs.
    const qsizetype n = order.size();
    const qsizetype total = n + qsizetype(sorted.size());
    for (DisplayOrder* list : {&order, &m_runningMax}) {
        if (list->capacity() < total)
            list->reserve(std::max(total, 2 * list->capacity()));
        list->resize(total);
    }
    qsizetype old = n - 1; // the last old picture not moved yet
    qsizetype to = total - 1;
    for (auto next = sorted.crbegin(); next != sorted.crend(); ++next) {
        // The old pictures from `cut` on stand after this one: those whose running maximum is
        // greater than its key. Found by galloping back from the last one not moved, so that a
        // batch that goes in front of everything (a folder listed backwards) or behind it costs a
        // handful of comparisons, not one for every picture shown.
        qsizetype cut = old + 1;
        for (qsizetype step = 1; cut > 0 && less(*next, m_runningMax[cut - 1]); step *= 2) {
            const qsizetype low = std::max<qsizetype>(cut - step, 0);
            if (less(*next, m_runningMax[low])) {
                cut = low;
                continue;
            }
            cut = std::upper_bound(m_runningMax.cbegin() + low, m_runningMax.cbegin() + cut, *next, less) -
                  m_runningMax.cbegin();
            break;
        }
        const qsizetype moved = old + 1 - cut;
        std::copy_backward(order.begin() + cut, order.begin() + old + 1, order.begin() + to + 1);
        std::copy_backward(m_runningMax.begin() + cut, m_runningMax.begin() + old + 1,
                           m_runningMax.begin() + to + 1);
        to -= moved;
        old = cut - 1;
        order[to] = *next;
        m_runningMax[to] = *next;
        --to;
    }
}

} // namespace ordering
