#include "ordering/PictureOrder.h"

#include "ordering/Clocks.h"
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

void PictureOrder::clear(bool again)
{
    m_before.reset();
    if (again && m_listed)
        m_before = Before{std::move(m_pictures), m_history, m_selection, std::move(m_zones)};
    m_arrivals = {};
    // The memory of a large folder goes too (assigning {} to a vector would keep its capacity).
    m_pictures = std::vector<Picture>();
    m_identities = {};
    // The devices stay with the times taken that are carried over to the same files.
    if (!m_before) {
        m_cameras = {Camera{}};
        m_cameraIndex = {};
    }
    m_zones = {};
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
    // Files the folder's kept order does not know, listed after those it does, came later.
    if (std::any_of(m_ranks.cbegin(), m_ranks.cend(), [](int rank) { return rank != Placement::kUnkept; })) {
        for (const PictureId id : m_order)
            if (m_ranks[size_t(id - 1)] == Placement::kUnkept)
                m_arrivals.append(id);
    }
    takeOver();
    m_ranks = std::vector<int>();
    m_merge.clear();
    return std::exchange(m_texts, {});
}

void PictureOrder::takeOver()
{
    if (!m_before)
        return;
    Before before = std::move(*m_before);
    m_before.reset();
    QHash<QByteArray, PictureId> byPath;
    byPath.reserve(count());
    for (PictureId id = 1; id <= count(); ++id)
        byPath.insert(picture(id).path(), id);
    std::vector<PictureId> now(before.pictures.size() + 1, kNoPicture); // by the id before
    for (size_t i = 0; i < before.pictures.size(); ++i) {
        const Picture& was = before.pictures[i];
        const PictureId id = byPath.value(was.path(), kNoPicture);
        now[i + 1] = id;
        if (id == kNoPicture)
            continue;
        Picture& p = m_pictures[size_t(id - 1)];
        p.m_taken = was.m_taken;
        p.m_seconds = was.m_seconds;
        p.m_nanoseconds = was.m_nanoseconds;
        p.m_camera = was.m_camera;
        if (const auto zone = before.zones.constFind(PictureId(i + 1)); zone != before.zones.cend())
            m_zones.insert(id, *zone);
    }
    const auto idNow = [&now](PictureId was) {
        return was > 0 && size_t(was) < now.size() ? now[size_t(was)] : kNoPicture;
    };
    // An order of a step holds every picture shown now: those of files gone are left out, and
    // those of files that came since stand at the end, where the listing put them.
    const auto orderNow = [&](const DisplayOrder& was) {
        DisplayOrder order;
        order.reserve(m_order.size());
        std::vector<bool> in(size_t(count()) + 1, false);
        for (const PictureId old : was) {
            const PictureId id = idNow(old);
            if (id != kNoPicture && !in[size_t(id)]) {
                in[size_t(id)] = true;
                order.append(id);
            }
        }
        for (const PictureId id : m_order)
            if (!in[size_t(id)])
                order.append(id);
        return order;
    };
    const auto selectionNow = [&](const Selection& was) {
        Selection s;
        s.reset(count());
        for (size_t old = 1; old < was.bits().size(); ++old)
            if (was.bits()[old] && idNow(PictureId(old)) != kNoPicture)
                s.set(idNow(PictureId(old)), true);
        s.anchor = idNow(was.anchor);
        s.focus = idNow(was.focus);
        return s;
    };
    before.history.rewrite([&](History::Step& step) {
        step.before = orderNow(step.before);
        step.after = orderNow(step.after);
        step.selection = selectionNow(step.selection);
    });
    m_history = std::move(before.history);
    m_selection = selectionNow(before.selection);
}

bool PictureOrder::placeArrivals(const ClockOffsets& offsets)
{
    if (!m_listed || m_arrivals.isEmpty())
        return false;
    std::vector<bool> arriving(size_t(count()) + 1, false);
    for (const PictureId id : std::as_const(m_arrivals))
        arriving[size_t(id)] = true;
    DisplayOrder placed = ordering::placeArrivals(m_order, arriving, [this, &offsets](PictureId id) -> std::optional<ClockTime> {
        const std::optional<ClockTime> taken = picture(id).taken();
        if (!taken)
            return std::nullopt;
        return shifted(*taken, offsets.value(camera(id).key));
    },
                                        nameLess());
    const bool changed = step(History::Step::Kind::Arrivals, m_arrivals.size(), std::move(placed));
    m_selection.clear();
    for (const PictureId id : std::as_const(m_arrivals))
        m_selection.set(id, true);
    const QList<PictureId> picked = m_selection.inOrder(m_order);
    m_selection.anchor = m_selection.focus = picked.first();
    m_arrivals = {};
    return changed;
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

void PictureOrder::setTaken(PictureId id, std::optional<ClockTime> taken, const Camera& camera)
{
    if (!contains(id))
        return;
    Picture& p = m_pictures[size_t(id - 1)];
    p.m_taken = taken ? Picture::Taken::Known : Picture::Taken::None;
    p.m_seconds = taken ? taken->seconds : 0;
    p.m_nanoseconds = taken ? taken->nanoseconds : 0;
    p.m_camera = 0;
    // Beyond the devices an index can tell (files made to be many), a file counts as naming none.
    if (!camera.key.isEmpty()) {
        auto it = m_cameraIndex.constFind(camera.key);
        if (it == m_cameraIndex.cend() && m_cameras.size() <= 0xffff) {
            it = m_cameraIndex.insert(camera.key, quint16(m_cameras.size()));
            m_cameras.append({camera.key, camera.label, std::nullopt});
        }
        if (it != m_cameraIndex.cend())
            p.m_camera = *it;
    }
    if (camera.zone)
        m_zones.insert(id, *camera.zone);
    else
        m_zones.remove(id);
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
    for (const PictureId each : m_order)
        m_selection.set(each, true);
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
    return step(History::Step::Kind::ByName, count(), byName(m_order, nameLess()));
}

bool PictureOrder::orderByTime(const ClockOffsets& offsets)
{
    return m_listed && step(History::Step::Kind::ByTime, count(), TimeSorter(*this).sorted(offsets));
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
