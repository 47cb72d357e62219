#include "ordering/Selection.h"

#include <algorithm>

namespace ordering {

void Selection::reset(qsizetype pictures)
{
    m_bits = std::vector<bool>(static_cast<size_t>(std::max<qsizetype>(pictures, 0)) + 1, false);
    m_count = 0;
    anchor = kNoPicture;
    focus = kNoPicture;
}

void Selection::clear()
{
    std::fill(m_bits.begin(), m_bits.end(), false);
    m_count = 0;
}

void Selection::set(PictureId id, bool picked)
{
    if (id <= 0 || static_cast<size_t>(id) >= m_bits.size() || contains(id) == picked)
        return;
    m_bits[static_cast<size_t>(id)] = picked;
    m_count += picked ? 1 : -1;
}

void Selection::pickOnly(PictureId id)
{
    clear();
    set(id, true);
}

void Selection::pickRange(const QList<PictureId>& order, PictureId from, PictureId to, bool add)
{
    qsizetype a = order.indexOf(from);
    qsizetype b = order.indexOf(to);
    if (a < 0 || b < 0)
        return;
    if (a > b)
        std::swap(a, b);
    if (!add)
        clear();
    for (qsizetype k = a; k <= b; ++k)
        set(order[k], true);
}

QList<PictureId> Selection::inOrder(const QList<PictureId>& order) const
{
    QList<PictureId> result;
    result.reserve(m_count);
    for (const PictureId id : order)
        if (contains(id))
            result.append(id);
    return result;
}

} // namespace ordering
