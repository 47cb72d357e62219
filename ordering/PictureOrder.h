#pragma once

#include "ordering/Companions.h"
#include "ordering/History.h"
#include "ordering/Moves.h"
#include "ordering/Picture.h"
#include "ordering/Selection.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace ordering {

// The pictures of the folder shown and the order the user puts them in, as data: what the
// window draws and edits. A folder comes in by its listing, in batches, each file at its place at
// once; from when every file is listed, pictures can be picked, moved as a block, put into a
// starting order, and every such step can be undone and redone. Nothing here knows of a screen:
// positions are places in the order, and "at the end" is a place like any other.
class PictureOrder
{
public:
    // Steps on the order keep this much of it, whatever the size of the folder.
    static constexpr qint64 kHistoryBudget = qint64(16) << 20;

    explicit PictureOrder(qint64 historyBudget = kHistoryBudget) : m_history(historyBudget) {}

    // -- The folder shown

    // A folder is about to be listed: the pictures, their order, the picks and the steps of the
    // one shown before are forgotten, and ids start from 1 again. With `again` (the same folder
    // listed anew: other extensions, files that came or went), the steps, the picks and the times
    // known go over to the pictures of the same files once every file is listed.
    void clear(bool again = false);
    // Takes the files a listing found next: each goes before the first picture shown whose kept
    // rank, then text, is greater than its own (see ListingMerge), so the order is right at
    // every moment without a second pass. Returns their ids, in the order of batch.files.
    QList<PictureId> add(const ListedBatch& batch);
    // Every file is listed: picking, moving several, the starting orders and the steps work from
    // now on. While files are listed a drop moves one picture and is no step (a step recorded then
    // would drop the files listed after it when undone). Returns the texts the listing ordered by,
    // which a large folder takes a while to free, for the caller to let go where that holds no one
    // up (FolderListing::letGo).
    std::vector<QString> finishListing();
    bool listed() const { return m_listed; }
    // The pictures whose files came into a folder with a kept order after it was made (the
    // listing put them after the others), until placeArrivals() puts them in.
    const QList<PictureId>& arrivals() const { return m_arrivals; }
    // Puts the arrivals in by the times they were taken (see ordering::placeArrivals; a time not
    // known counts as none) as one step, and picks them alone. Returns whether the order changed.
    bool placeArrivals(const ClockOffsets& offsets = {});

    qsizetype count() const { return qsizetype(m_pictures.size()); }
    bool contains(PictureId id) const { return id > 0 && id <= count(); }
    const Picture& picture(PictureId id) const { return m_pictures[size_t(id - 1)]; }
    // What a picture's file was when it was listed (dev, inode, size, time), when the listing
    // looked at it: a link, a name the kept order does not know, a file system that does not tell
    // what its entries are; else unknown. Looking at every file would cost a large folder's
    // listing a fifth more.
    FileIdentity identity(PictureId id) const { return m_identities.value(id); }
    // The pictures in display order, the first shown first.
    const QList<PictureId>& shown() const { return m_order; }
    qsizetype positionOf(PictureId id) const { return m_order.indexOf(id); }
    // While the folder is being listed: the files listed so far in display order, with their kept
    // ranks and texts, for what a listing cut short would have made of the whole folder.
    QList<ListedFile> listedSoFar() const;

    // When a picture was taken, as its file tells (nothing: it tells none), and with what.
    void setTaken(PictureId id, std::optional<ClockTime> taken, const Camera& camera = {});
    // The device of a picture, without the zone (see zoneOf); the one of key "" until its file
    // has been read, and for files that name none.
    const Camera& camera(PictureId id) const { return m_cameras[picture(id).m_camera]; }
    std::optional<qint32> zoneOf(PictureId id) const
    {
        const auto it = m_zones.constFind(id);
        return it == m_zones.cend() ? std::nullopt : std::optional<qint32>(*it);
    }
    // The devices named so far, the one of key "" first; a picture's is at cameraIndex(id).
    const QList<Camera>& cameras() const { return m_cameras; }
    int cameraIndex(PictureId id) const { return picture(id).m_camera; }
    // The pictures whose times are not known yet, in display order.
    QList<PictureId> timesUnknown() const;

    // The files that go with the pictures (see findCompanions), once every file is listed; they
    // follow their pictures wherever these go, and are never pictures of their own.
    void setCompanions(const CompanionsFound& found);
    QList<renaming::Companion> companions(PictureId id) const;
    // The files that would go with several pictures, and so go with none.
    const QList<CompanionsFound::Unclaimed>& unclaimedCompanions() const { return m_unclaimed; }

    // Files were renamed (old path to new): their pictures and companions follow them. Returns those pictures
    // with their old paths.
    struct Renamed
    {
        PictureId id;
        QByteArray was;
    };
    QList<Renamed> renamed(const QHash<QByteArray, QByteArray>& moves);

    // -- Picking (once every file is listed)

    const Selection& selection() const { return m_selection; }
    // A press of the mouse on a picture, with Ctrl or Shift held: Shift picks the range from the
    // anchor (Ctrl adds it to what is picked), Ctrl alone toggles the picture. Returns true when it
    // picked; without either, the press picks the picture alone unless it is picked already, and
    // returns false: the press starts a drag of what is picked.
    bool press(PictureId id, bool ctrl, bool shift);
    // A press and release without moving: that picture alone is picked.
    void click(PictureId id);
    // Returns whether anything was picked.
    bool unpickAll();
    void pickAll();
    // The picture the keyboard is on changes or loses its pick; false when there is none.
    bool toggleFocused();
    // The keyboard goes to `id`; with `extend`, the range from the anchor is picked (an anchor
    // the order no longer shows is set where the keyboard was).
    void moveFocus(PictureId id, bool extend);
    // Whether the keyboard is on a picture shown.
    bool focusShown() const { return contains(m_selection.focus); }

    // -- Moving

    // Where pictures dropped onto `onto` land (see ordering::dropPlace).
    std::optional<Place> dropPlace(PictureId onto, bool after) const
    {
        return ordering::dropPlace(m_order, onto, after, m_listed);
    }
    // A drop of `source` alone onto `onto`, as while the files are listed; no step. Returns
    // whether anything is to be re-arranged: a drop onto itself, or of a picture or onto one the
    // order does not show, is nothing at all.
    bool dropOne(PictureId source, PictureId onto, bool after);
    // Moves the picked pictures to `place` as one step; false when that changes nothing.
    bool movePicked(Place place);
    std::optional<Place> stepPlace(qsizetype step) const
    {
        return ordering::stepPlace(m_order, m_selection.bits(), step);
    }
    std::optional<Place> endPlace(bool toStart) const
    {
        return ordering::endPlace(m_order, m_selection.bits(), toStart);
    }
    // The starting orders, each a step; false when the order is so already. By time needs every
    // picture's time known (see timesUnknown); those with none go last.
    bool orderByName();
    // By time with the devices' clocks moved by their offsets.
    bool orderByTime(const ClockOffsets& offsets = {});

    // -- Steps

    const History& history() const { return m_history; }
    // Takes the last step back, or the next one again; false when there is none (or while the
    // files are listed). The picks come back as they were when the step was taken.
    bool undo();
    bool redo();

private:
    bool step(History::Step::Kind kind, qsizetype pictures, DisplayOrder sorted);
    // Gives the pictures listed anew what was known of their files before.
    void takeOver();
    bool restore(const History::Step* step, bool undo);
    PictureLess nameLess() const;
    PictureLess keyLess() const;

    std::vector<Picture> m_pictures; // by id, from 1
    QHash<PictureId, FileIdentity> m_identities;
    // The devices named by the files read, without their zones; most files tell no zone.
    QList<Camera> m_cameras{Camera{}};
    QHash<QString, quint16> m_cameraIndex;
    QHash<PictureId, qint32> m_zones;
    // The companions of all pictures by id, and where those of each begin (one more than there
    // are pictures; empty without companions).
    std::vector<renaming::Companion> m_companionFiles;
    std::vector<int> m_companionsFrom;
    QList<CompanionsFound::Unclaimed> m_unclaimed;
    DisplayOrder m_order;
    Selection m_selection;
    History m_history;
    bool m_listed = false;
    // While the files are listed: each picture's kept rank and text, the listing's key.
    std::vector<int> m_ranks;
    std::vector<QString> m_texts;
    ListingMerge m_merge;
    QList<PictureId> m_arrivals;
    // What the listing before of the same folder left, while it is listed anew.
    struct Before
    {
        std::vector<Picture> pictures;
        History history;
        Selection selection;
        QHash<PictureId, qint32> zones;
    };
    std::optional<Before> m_before;
};

} // namespace ordering
