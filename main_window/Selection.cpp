#include "main_window/Selection.h"

#include <algorithm>

void Selection::reset(int elements)
{
    m_bits.assign(static_cast<size_t>(std::max(elements, 0)), false);
    m_count = 0;
    anchor = 0;
    focus = 0;
}

void Selection::clear()
{
    std::fill(m_bits.begin(), m_bits.end(), false);
    m_count = 0;
}

void Selection::set(int element, bool selected)
{
    if (element <= 0 || static_cast<size_t>(element) >= m_bits.size() || contains(element) == selected)
        return;
    m_bits[static_cast<size_t>(element)] = selected;
    m_count += selected ? 1 : -1;
}

void Selection::selectOnly(int element)
{
    clear();
    set(element, true);
}

void Selection::selectRange(const QList<int>& order, int from, int to, bool add)
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

void Selection::selectFirst(const QList<int>& order, qsizetype n)
{
    clear();
    for (qsizetype k = 0; k < n && k < order.size(); ++k)
        set(order[k], true);
}

QList<int> Selection::inOrder(const QList<int>& order) const
{
    QList<int> result;
    result.reserve(m_count);
    for (const int e : order)
        if (contains(e))
            result.append(e);
    return result;
}
