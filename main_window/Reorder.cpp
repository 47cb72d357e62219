#include "main_window/Reorder.h"

#include <algorithm>

float rightPartThreshold(double twipsPerPixelX)
{
    return 50.0f * static_cast<float>(twipsPerPixelX);
}

std::optional<int> markerTarget(const QList<int>& order, int Index, bool rightPart, int elementCount)
{
    if (!rightPart || Index >= elementCount - 1)
        return Index;
    const qsizetype k = order.indexOf(Index);
    if (k < 0)
        return std::nullopt;
    return k + 1 < order.size() ? order[k + 1] : Index;
}

bool applyDrop(QList<int>& order, int Index, int Source, bool rightPart)
{
    const std::optional<int> target = dropTarget(order, Index, rightPart);
    // A view rebuilt under the drag no longer lists the elements it started with.
    if (!target || Source == Index || !order.contains(Source))
        return false;
    std::vector<bool> selected(static_cast<size_t>(Source) + 1, false);
    selected[static_cast<size_t>(Source)] = true;
    // A drop beside the place the source has already leaves the order as it was; the view is
    // re-arranged all the same.
    moveSelection(order, selected, *target);
    return true;
}

namespace {

bool isSelected(const std::vector<bool>& selected, int element)
{
    return element >= 0 && static_cast<size_t>(element) < selected.size() &&
           selected[static_cast<size_t>(element)];
}

// The entries that are not selected, and how many of them stand before the first selected one
// (-1 when nothing is selected).
struct Others
{
    QList<int> entries;
    qsizetype place = -1;
};

Others othersOf(const QList<int>& order, const std::vector<bool>& selected)
{
    Others o;
    o.entries.reserve(order.size());
    for (const int e : order) {
        if (!isSelected(selected, e))
            o.entries.append(e);
        else if (o.place < 0)
            o.place = o.entries.size();
    }
    return o;
}

} // namespace

std::optional<int> dropTarget(const QList<int>& order, int Index, bool rightPart)
{
    const qsizetype t = order.indexOf(Index);
    if (t < 0)
        return std::nullopt;
    return rightPart && t + 1 < order.size() ? order[t + 1] : Index;
}

bool moveSelection(QList<int>& order, const std::vector<bool>& selected, int target)
{
    if (isSelected(selected, target))
        return false;
    QList<int> block;
    bool listed = false;
    for (const int e : order) {
        if (isSelected(selected, e))
            block.append(e);
        else if (e == target)
            listed = true;
    }
    if (block.isEmpty() || !listed)
        return false;
    QList<int> moved;
    moved.reserve(order.size());
    for (const int e : order) {
        if (e == target)
            moved.append(block);
        if (!isSelected(selected, e))
            moved.append(e);
    }
    if (moved == order)
        return false;
    // The caller may still hold the old order (the history does): it is left as it was.
    order = std::move(moved);
    return true;
}

std::optional<int> stepTarget(const QList<int>& order, const std::vector<bool>& selected, qsizetype step)
{
    const Others o = othersOf(order, selected);
    if (o.place < 0 || o.entries.isEmpty())
        return std::nullopt;
    const qsizetype to = std::clamp<qsizetype>(o.place + step, 0, o.entries.size() - 1);
    if (to == o.place)
        return std::nullopt;
    return o.entries[to];
}

std::optional<int> endTarget(const QList<int>& order, const std::vector<bool>& selected, bool toStart)
{
    const Others o = othersOf(order, selected);
    if (o.place < 0 || o.entries.isEmpty())
        return std::nullopt;
    return toStart ? o.entries.first() : o.entries.last();
}

qsizetype ListingInsertion::insert(QList<int>& order, int index, const Less& less)
{
    if (m_stale || m_runningMax.size() != order.size()) {
        m_runningMax.clear();
        m_runningMax.reserve(order.size());
        for (const int e : order) {
            const bool greater = m_runningMax.isEmpty() || less(m_runningMax.last(), e);
            m_runningMax.append(greater ? e : m_runningMax.last());
        }
        m_stale = false;
    }
    const auto at =
        std::upper_bound(m_runningMax.cbegin(), m_runningMax.cend(), index, less) - m_runningMax.cbegin();
    // Every running maximum before `at` is at most the new path, every one from `at` on is
    // greater, so only the new entry's own maximum is new.
    m_runningMax.insert(at, index);
    order.insert(at, index);
    return at;
}
