#pragma once

#include <QList>

#include <vector>

// The thumbnails the user has picked, by element index rather than by place, so that they stay
// picked wherever they are moved. One bit per element keeps a range over a folder of ten thousand
// a matter of microseconds. The anchor is where a range starts (the last thumbnail clicked); the
// focus is the thumbnail the keyboard acts on. 0 stands for none, as element 0 is never shown.
class Selection
{
public:
    // Nothing selected, no anchor or focus, room for `elements` elements.
    void reset(int elements);
    // Nothing selected; anchor and focus stay.
    void clear();

    bool contains(int element) const
    {
        return element > 0 && static_cast<size_t>(element) < m_bits.size() &&
               m_bits[static_cast<size_t>(element)];
    }
    qsizetype count() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }
    // Indexed by element.
    const std::vector<bool>& bits() const { return m_bits; }

    void set(int element, bool selected);
    void toggle(int element) { set(element, !contains(element)); }
    void selectOnly(int element);
    // Every entry of `order` from the one of `from` to the one of `to`, in display order, both
    // included; `add` keeps what was selected, else the range is all that is.
    void selectRange(const QList<int>& order, int from, int to, bool add);
    // The first `n` entries of `order`.
    void selectFirst(const QList<int>& order, qsizetype n);
    // The selected elements in display order.
    QList<int> inOrder(const QList<int>& order) const;

    int anchor = 0;
    int focus = 0;

private:
    std::vector<bool> m_bits;
    qsizetype m_count = 0;
};
