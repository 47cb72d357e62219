#pragma once

#include "thumbnails/Thumbnails.h"

#include <QtGlobal>

#include <list>
#include <unordered_map>

// Prepared thumbnails of the boxes of a view, kept in memory so that a box whose image was given
// up can be drawn again at once, with the very pixels it had. A prepared JPEG keeps its small
// resampled buffer (3 bytes a pixel, against the 4 of a box image, and only the fitted part of
// the box). Bounded in bytes; the least recently used results go first. Results of unreadable
// files are not kept: such a box draws its cross without them.
class PreparedStore
{
public:
    explicit PreparedStore(qint64 budget) : m_budget(budget) {}

    // Keeps the result for box `index`, in place of one kept before. A recent result makes room by
    // letting the least recently used go; one that is not (a box far from the view) is kept only
    // where there is room left.
    void put(int index, const thumbs::Prepared& prepared, bool recent);
    // The result kept for a box, now the most recently used; nullptr when there is none.
    const thumbs::Prepared* find(int index);
    bool contains(int index) const { return m_byIndex.contains(index); }
    void remove(int index);
    // Lets everything go, the memory of its bookkeeping included.
    void clear();

    void setBudget(qint64 bytes);
    qint64 budget() const { return m_budget; }
    qint64 bytes() const { return m_bytes; }
    qsizetype size() const { return static_cast<qsizetype>(m_byIndex.size()); }

    // The memory a result holds, its pixels and their bookkeeping.
    static qint64 bytesOf(const thumbs::Prepared& prepared);

private:
    struct Entry
    {
        int index;
        qint64 bytes;
        thumbs::Prepared prepared;
    };
    void shrinkTo(qint64 bytes);

    qint64 m_budget;
    qint64 m_bytes = 0;
    std::list<Entry> m_entries; // the most recently used first
    std::unordered_map<int, std::list<Entry>::iterator> m_byIndex;
};
