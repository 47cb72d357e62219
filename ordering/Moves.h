#pragma once

#include "ordering/Picture.h"

#include <QList>

#include <functional>
#include <optional>
#include <vector>

// The rules by which pictures change places in a display order (pictures by id, the first shown
// first), as plain functions of the order: PictureOrder applies them, and a listing cut short
// carries on with them. `picked` is indexed by id; ids beyond its end are not picked.
namespace ordering {

using DisplayOrder = QList<PictureId>;
using PictureLess = std::function<bool(PictureId, PictureId)>;

// Where pictures dropped onto `onto` land: before it, or with `after` (the pointer in its right
// part) before the picture after it; after the last picture at the end, except while the folder
// is still being listed (`listed` false), when they land before it. Nothing when the order does
// not list `onto`.
std::optional<Place> dropPlace(const DisplayOrder& order, PictureId onto, bool after, bool listed);

// Moves every picked picture to `place`, together and in the order they are shown in. Returns
// whether the order changed: a picked place, a place the order does not list and nothing picked
// change nothing.
bool movePicked(DisplayOrder& order, const std::vector<bool>& picked, Place place);

// Where the picked pictures land when they move `step` places among the others (negative:
// towards the start), which they pass as one block. Nothing when nothing is picked or when they
// stand at that end already.
std::optional<Place> stepPlace(const DisplayOrder& order, const std::vector<bool>& picked, qsizetype step);
// Where they land to stand first, or last; nothing when nothing is picked.
std::optional<Place> endPlace(const DisplayOrder& order, const std::vector<bool>& picked, bool toStart);

// By `timeOf` (asked once a picture), earliest first; pictures of the same moment, and after all
// the others those with no time at all, by `nameLess`.
using TimeOf = std::function<std::optional<ClockTime>(PictureId)>;
DisplayOrder byTimeTaken(const DisplayOrder& order, const TimeOf& timeOf, const PictureLess& nameLess);
DisplayOrder byName(const DisplayOrder& order, const PictureLess& nameLess);

// Files that came into a folder after its order was made (`arriving`, indexed by id) each go
// after the picture of the others with the latest time not later than their own (the one shown
// last among several of that moment), before all of them when every such time is later; those
// that land together go by time, then by `nameLess`. Those without a time go to the end, in the
// order they have. The others keep their order; pictures of theirs without a time never take one
// in.
DisplayOrder placeArrivals(const DisplayOrder& order, const std::vector<bool>& arriving, const TimeOf& timeOf,
                           const PictureLess& nameLess);

// The order a folder is listed in: by kept rank, then by the path as text.
inline bool keptRankThenText(int rankA, const QString& textA, int rankB, const QString& textB)
{
    return rankA != rankB ? rankA < rankB : textA < textB;
}

// Takes files into a display order while the folder is listed: each goes before the first picture
// shown whose key is greater than its own, as a scan from the front finds it. A drop during the
// listing can leave the order unsorted, so a binary search over the order would no longer find
// that picture. The first picture greater than x is also the first whose running maximum (the
// greatest of it and every picture before it) is greater than x, and running maxima never
// decrease; so a batch sorted by key goes in by one merge with them, and lands exactly where
// taking its files one by one would put them, sorted or not. The merge runs in place, so that a
// large folder's listing does not leave a trail of freed copies of its order.
class ListingMerge
{
public:
    // The order changed other than through merge() (a drop).
    void invalidate() { m_stale = true; }
    // The listing is over: lets the bookkeeping's memory go.
    void clear()
    {
        m_runningMax = DisplayOrder();
        m_stale = true;
    }
    // Takes `sorted` (ascending by `less`) into `order`.
    void merge(DisplayOrder& order, const std::vector<PictureId>& sorted, const PictureLess& less);

private:
    DisplayOrder m_runningMax; // position k: the picture with the greatest key among 0..k
    bool m_stale = true;
};

} // namespace ordering
