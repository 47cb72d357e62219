#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// What a thumbnail hears while something is dragged over it.
enum class DragState
{
    Enter = 0,
    Leave = 1,
    Over = 2
};

// Pointer positions beyond this distance from a thumbnail's left edge (in its own pixels) are in
// its right part: 50 times the screen's twips per pixel, in single precision. That is 750 pixels
// at 96 DPI, so thumbnails up to the options' largest size never have a right part.
float rightPartThreshold(double twipsPerPixelX);

// The element before which the drag marker stands while the pointer is over element `Index`,
// or nothing when the marker is to stay as it is. `elementCount` counts every element, the
// template included. The right part points past `Index` to its successor in `order`, except on
// the element created last (the placeholder once a folder is listed, the newest file while it is
// still being listed), so no position beyond the end of `order` is ever looked up.
std::optional<int> markerTarget(const QList<int>& order, int Index, bool rightPart, int elementCount);

// Moves `Source` in `order` for a drop onto `Index`: directly before the target, or directly
// after it when the pointer was in the target's right part and the target is not the last
// entry. Returns whether the view is to be re-arranged: a drop onto itself changes nothing at all,
// and neither does a drop involving an element that `order` no longer lists.
bool applyDrop(QList<int>& order, int Index, int Source, bool rightPart);

// The element before which a drop onto `Index` lands: `Index` itself, or with the pointer in its
// right part the entry after it, unless `Index` is the last entry. Nothing when `order` does not
// list `Index`.
std::optional<int> dropTarget(const QList<int>& order, int Index, bool rightPart);

// Moves every selected element of `order` (`selected` is indexed by element; elements beyond its
// end are not selected) directly before `target`, together and in the order they are shown in.
// Returns whether `order` changed. A selected target, a target that `order` does not list and an
// empty selection change nothing. For a single element this is the drop of one thumbnail:
// `moveSelection(order, {Source}, *dropTarget(order, Index, rightPart))` gives what
// `applyDrop(order, Index, Source, rightPart)` gives.
bool moveSelection(QList<int>& order, const std::vector<bool>& selected, int target);

// The element before which the selection lands when it is moved `step` places among the entries
// it leaves (negative: towards the start), which it passes as one block. The last entry (the
// placeholder) stays last. Nothing when nothing is selected or when the step would not move the
// block at all because it stands at that end already.
std::optional<int> stepTarget(const QList<int>& order, const std::vector<bool>& selected, qsizetype step);

// The element before which the selection lands to stand first (or last, just before the last
// entry); nothing when nothing is selected.
std::optional<int> endTarget(const QList<int>& order, const std::vector<bool>& selected, bool toStart);

// The order a folder is listed in: by kept rank (`ranks`, by element), then by path (`keys`).
// The listing and what a listing cut short would have made of the whole folder must agree on it.
inline bool keptRankThenName(const std::vector<int>& ranks, const std::vector<QString>& keys, int a, int b)
{
    const int ra = ranks[static_cast<size_t>(a)];
    const int rb = ranks[static_cast<size_t>(b)];
    return ra != rb ? ra < rb : keys[static_cast<size_t>(a)] < keys[static_cast<size_t>(b)];
}

// Inserts the elements of a folder into `order` while it is listed: each goes before the first
// entry whose path sorts after its own, as a scan from the front finds it. A drop during the
// listing can leave `order` unsorted, so a binary search over `order` would no longer find that
// entry. The first entry greater than x is also the first whose running maximum (the greatest of
// it and every entry before it) is greater than x, and running maxima never decrease, so a binary
// search over them finds exactly the scan's position, sorted or not. While `order` is sorted the
// running maxima are `order` itself.
class ListingInsertion
{
public:
    using Less = std::function<bool(int, int)>;

    // `order` changed other than through insert() (a drop).
    void invalidate() { m_stale = true; }
    // The listing is over: lets the bookkeeping's memory go.
    void clear()
    {
        m_runningMax = QList<int>();
        m_stale = true;
    }
    // Inserts `index`; returns its position in `order`.
    qsizetype insert(QList<int>& order, int index, const Less& less);

private:
    QList<int> m_runningMax; // position k: the entry with the greatest path among 0..k
    bool m_stale = true;
};
