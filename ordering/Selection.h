#pragma once

#include "ordering/Picture.h"

#include <QList>

#include <vector>

namespace ordering {

// The pictures the user has picked, by id rather than by place, so that they stay picked wherever
// they are moved. One bit per picture keeps a range over a folder of ten thousand a matter of
// microseconds. The anchor is where a range starts (the picture picked last by itself); the focus
// is the picture the keyboard acts on; kNoPicture stands for none.
class Selection
{
public:
    // Nothing picked, no anchor or focus, room for the ids 1 to `pictures`.
    void reset(qsizetype pictures);
    // Nothing picked; anchor and focus stay.
    void clear();

    bool contains(PictureId id) const
    {
        return id > 0 && static_cast<size_t>(id) < m_bits.size() && m_bits[static_cast<size_t>(id)];
    }
    qsizetype count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    // Indexed by id.
    const std::vector<bool>& bits() const { return m_bits; }

    void set(PictureId id, bool picked);
    void toggle(PictureId id) { set(id, !contains(id)); }
    void pickOnly(PictureId id);
    // Every picture of `order` from `from` to `to`, in display order, both included; `add` keeps
    // what was picked, else the range is all that is.
    void pickRange(const QList<PictureId>& order, PictureId from, PictureId to, bool add);
    // The picked pictures in display order.
    QList<PictureId> inOrder(const QList<PictureId>& order) const;

    PictureId anchor = kNoPicture;
    PictureId focus = kNoPicture;

private:
    std::vector<bool> m_bits;
    qsizetype m_count = 0;
};

} // namespace ordering
