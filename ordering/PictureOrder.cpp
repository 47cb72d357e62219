#include "ordering/PictureOrder.h"

#include "platform/FileNames.h"

#include <algorithm>
#include <memory>
#include <numeric>
#include <utility>

namespace ordering {

void sortByKey(ListedBatch& batch)
{
    batch.inKeyOrder.resize(size_t(batch.files.size()));
    std::iota(batch.inKeyOrder.begin(), batch.inKeyOrder.end(), 0);
    const QList<ListedFile>& f = batch.files;
    std::stable_sort(batch.inKeyOrder.begin(), batch.inKeyOrder.end(), [&f](int a, int b) {
        return keptRankThenText(f[a].keptRank, f[a].text, f[b].keptRank, f[b].text);
    });
}

void PictureOrder::clear()
{
    // The memory of a large folder goes too (assigning {} to a vector would keep its capacity).
    m_pictures = std::vector<Picture>();
    m_identities = {};
    m_companionFiles = {};
    m_companionsFrom = {};
    m_unclaimed = {};
    m_order = DisplayOrder();
    m_selection.reset(0);
    m_history.clear();
    m_listed = false;
    m_ranks = std::vector<int>();
    m_texts = std::vector<QString>();
    m_merge.clear();
}

PictureLess PictureOrder::keyLess() const
{
    return [this](PictureId a, PictureId b) {
        const size_t i = size_t(a - 1);
        const size_t j = size_t(b - 1);
        return keptRankThenText(m_ranks[i], m_texts[i], m_ranks[j], m_texts[j]);
    };
}

QList<PictureId> PictureOrder::add(const ListedBatch& batch)
{
    // The bookkeeping of the listing is gone once it is over.
    if (m_listed)
        return {};
    const PictureId first = PictureId(count() + 1);
    QList<PictureId> ids;
    ids.reserve(batch.files.size());
    for (const ListedFile& f : batch.files) {
        m_pictures.emplace_back(f.path);
        m_ranks.push_back(f.keptRank);
        m_texts.push_back(f.text);
        ids.append(PictureId(m_pictures.size()));
        if (f.file.known())
            m_identities.insert(ids.last(), f.file);
    }
    std::vector<PictureId> sorted;
    sorted.reserve(size_t(ids.size()));
    if (batch.inKeyOrder.size() == size_t(batch.files.size())) {
        for (const int i : batch.inKeyOrder)
            sorted.push_back(first + i);
    } else {
        sorted.assign(ids.cbegin(), ids.cend());
        std::stable_sort(sorted.begin(), sorted.end(), keyLess());
    }
    m_merge.merge(m_order, sorted, keyLess());
    return ids;
}

std::vector<QString> PictureOrder::finishListing()
{
    m_listed = true;
    m_selection.reset(count());
    m_ranks = std::vector<int>();
    m_merge.clear();
    return std::exchange(m_texts, {});
}

QList<ListedFile> PictureOrder::listedSoFar() const
{
    QList<ListedFile> files;
    if (m_listed)
        return files;
    files.reserve(m_order.size());
    for (const PictureId id : m_order) {
        const Picture& p = picture(id);
        files.append({p.path(), identity(id), m_ranks[size_t(id - 1)], m_texts[size_t(id - 1)]});
    }
    return files;
}

void PictureOrder::setTaken(PictureId id, std::optional<ClockTime> taken)
{
    if (!contains(id))
        return;
    Picture& p = m_pictures[size_t(id - 1)];
    p.m_taken = taken ? Picture::Taken::Known : Picture::Taken::None;
    p.m_seconds = taken ? taken->seconds : 0;
    p.m_nanoseconds = taken ? taken->nanoseconds : 0;
}

QList<PictureId> PictureOrder::timesUnknown() const
{
    QList<PictureId> unknown;
    for (const PictureId id : m_order)
        if (!picture(id).takenKnown())
            unknown.append(id);
    return unknown;
}

void PictureOrder::setCompanions(const CompanionsFound& found)
{
    m_companionFiles = {};
    m_companionsFrom = {};
    m_unclaimed = found.unclaimed;
    // The pictures were found in the order of their ids: the listing's.
    if (found.companions.isEmpty() || found.pictures != count())
        return;
    m_companionFiles.reserve(size_t(found.companions.size()));
    m_companionsFrom.assign(m_pictures.size() + 1, 0);
    for (const CompanionsFound::Found& f : found.companions) {
        m_companionFiles.push_back(f.companion);
        ++m_companionsFrom[size_t(f.picture) + 1];
    }
    for (size_t i = 1; i < m_companionsFrom.size(); ++i)
        m_companionsFrom[i] += m_companionsFrom[i - 1];
}

QList<renaming::Companion> PictureOrder::companions(PictureId id) const
{
    if (!contains(id) || size_t(id) >= m_companionsFrom.size())
        return {};
    return QList<renaming::Companion>(m_companionFiles.cbegin() + m_companionsFrom[size_t(id - 1)],
                                      m_companionFiles.cbegin() + m_companionsFrom[size_t(id)]);
}

QList<PictureOrder::Renamed> PictureOrder::renamed(const QHash<QByteArray, QByteArray>& moves)
{
    QList<Renamed> done;
    for (size_t i = 0; i < m_pictures.size() && done.size() < moves.size(); ++i) {
        Picture& p = m_pictures[i];
        const auto it = moves.constFind(p.m_path);
        if (it == moves.cend())
            continue;
        done.append({PictureId(i + 1), std::exchange(p.m_path, *it)});
        if (i + 1 < m_companionsFrom.size()) {
            const auto first = m_companionFiles.begin() + m_companionsFrom[i];
            const auto last = m_companionFiles.begin() + m_companionsFrom[i + 1];
            bool together = true;
            for (auto c = first; c != last; ++c) {
                const auto to = moves.constFind(c->path);
                together = together && to != moves.cend();
                if (to != moves.cend())
                    c->path = *to;
            }
            // Renamed without them, they are no longer its companions by name.
            if (!together) {
                const int gone = int(last - first);
                m_companionFiles.erase(first, last);
                for (size_t j = i + 1; j < m_companionsFrom.size(); ++j)
                    m_companionsFrom[j] -= gone;
            }
        }
        // A folder still being listed orders the files that come by the paths as they are now.
        if (i < m_texts.size())
            m_texts[i] = platform::decodeName(*it);
    }
    return done;
}

bool PictureOrder::press(PictureId id, bool ctrl, bool shift)
{
    Selection& s = m_selection;
    if (shift && m_order.contains(s.anchor)) {
        s.pickRange(m_order, s.anchor, id, ctrl);
    } else if (ctrl || shift) {
        if (shift)
            s.pickOnly(id);
        else
            s.toggle(id);
        s.anchor = id;
    } else {
        // A press on a picture that is not picked picks it alone, as file managers do, and the
        // drag carries just that one; a press on a picked one carries them all.
        if (!s.contains(id)) {
            s.pickOnly(id);
            s.anchor = id;
        }
        s.focus = id;
        return false;
    }
    s.focus = id;
    return true;
}

void PictureOrder::click(PictureId id)
{
    m_selection.pickOnly(id);
    m_selection.anchor = id;
    m_selection.focus = id;
}

bool PictureOrder::unpickAll()
{
    if (m_selection.isEmpty())
        return false;
    m_selection.clear();
    return true;
}

void PictureOrder::pickAll()
{
    for (const PictureId id : m_order)
        m_selection.set(id, true);
}

bool PictureOrder::toggleFocused()
{
    if (!focusShown())
        return false;
    m_selection.toggle(m_selection.focus);
    m_selection.anchor = m_selection.focus;
    return true;
}

void PictureOrder::moveFocus(PictureId id, bool extend)
{
    Selection& s = m_selection;
    const PictureId previous = focusShown() ? s.focus : id;
    s.focus = id;
    if (!extend) {
        s.anchor = id;
        return;
    }
    if (!m_order.contains(s.anchor))
        s.anchor = previous;
    s.pickRange(m_order, s.anchor, id, false);
}

bool PictureOrder::dropOne(PictureId source, PictureId onto, bool after)
{
    const std::optional<Place> place = dropPlace(onto, after);
    // A folder shown anew under the drag no longer shows the picture it started with.
    if (!place || source == onto || !contains(source))
        return false;
    std::vector<bool> alone(size_t(source) + 1, false);
    alone[size_t(source)] = true;
    // A drop beside the place the picture has already leaves the order as it was; the view is
    // re-arranged all the same.
    if (ordering::movePicked(m_order, alone, *place))
        m_merge.invalidate();
    return true;
}

bool PictureOrder::movePicked(Place place)
{
    if (!m_listed)
        return false;
    DisplayOrder moved = m_order;
    if (!ordering::movePicked(moved, m_selection.bits(), place))
        return false;
    return step(History::Step::Kind::Move, m_selection.count(), std::move(moved));
}

bool PictureOrder::step(History::Step::Kind kind, qsizetype pictures, DisplayOrder after)
{
    if (!m_listed || after == m_order)
        return false;
    DisplayOrder before = std::exchange(m_order, std::move(after));
    m_history.record({kind, pictures, std::move(before), m_order, m_selection});
    return true;
}

PictureLess PictureOrder::nameLess() const
{
    // Pictures keep their paths as the file system knows them; the text of each is made once for
    // a sort rather than at every comparison.
    auto texts = std::make_shared<std::vector<QString>>();
    texts->reserve(m_pictures.size());
    for (const Picture& p : m_pictures)
        texts->push_back(platform::decodeName(p.path()));
    return [texts](PictureId a, PictureId b) { return (*texts)[size_t(a - 1)] < (*texts)[size_t(b - 1)]; };
}

bool PictureOrder::orderByName()
{
    return m_listed && step(History::Step::Kind::ByName, count(), byName(m_order, nameLess()));
}

bool PictureOrder::orderByTime()
{
    if (!m_listed)
        return false;
    DisplayOrder sorted = byTimeTaken(m_order, [this](PictureId id) { return picture(id).taken(); }, nameLess());
    return step(History::Step::Kind::ByTime, count(), std::move(sorted));
}

bool PictureOrder::restore(const History::Step* step, bool undo)
{
    if (!step)
        return false;
    const DisplayOrder& restored = undo ? step->before : step->after;
    // Only steps of this folder are recorded; an order of another length would lose pictures.
    if (restored.size() != m_order.size()) {
        m_history.clear();
        return false;
    }
    m_order = restored;
    m_selection = step->selection;
    return true;
}

bool PictureOrder::undo()
{
    return m_listed && restore(m_history.undo(), true);
}

bool PictureOrder::redo()
{
    return m_listed && restore(m_history.redo(), false);
}

} // namespace ordering
