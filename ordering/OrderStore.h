#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <climits>
#include <optional>
#include <utility>
#include <vector>

struct stat;

// The display orders the user made, kept in the state folder, one small file per folder, so that
// a folder shown again comes up as it was left: after another folder, the options, a restart or a
// crash. Nothing is ever written into the photo folder. Qt Core and POSIX only; OrderKeeper says
// when to keep, the listing looks.
namespace ordering {

// What still identifies a file after another program renamed it.
struct FileIdentity
{
    quint64 dev = 0;
    quint64 ino = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;

    // A file that could not be looked at when its order was kept matches nothing.
    bool known() const { return dev != 0 || ino != 0; }
    bool operator==(const FileIdentity&) const = default;
};
// Following links, as the listing does; nothing when the file cannot be looked at.
std::optional<FileIdentity> identityOf(const QByteArray& path);
FileIdentity identityOf(const struct stat& st);


// The offsets of a folder's devices' clocks in seconds, by device key; a device not named has none.
using ClockOffsets = QMap<QString, qint64>;

struct KeptEntry
{
    QByteArray name; // the file's name as the file system knows it
    FileIdentity id;
};

// A version line, the folder, one line per file in display order (its identity and its name,
// percent-encoded, since a name may hold any byte but "/" and NUL), and a closing line with the
// count and a check of every byte before it, so that a file cut short or spoilt is told from a
// whole one.
QByteArray encodeOrder(const QByteArray& folder, const QList<KeptEntry>& entries);
// Nothing for anything that encodeOrder did not write for this folder: another version, another
// folder, a file cut short or spoilt.
std::optional<QList<KeptEntry>> decodeOrder(const QByteArray& bytes, const QByteArray& folder);
// The same for the offsets of a folder's clocks: a line per device, its offset and its key.
QByteArray encodeClocks(const QByteArray& folder, const ClockOffsets& offsets);
std::optional<ClockOffsets> decodeClocks(const QByteArray& bytes, const QByteArray& folder);

// The names of the files directly in `folder` (which ends in "/"), from their paths, in the
// same order; paths elsewhere (files a rename moved out) are left out.
QList<QByteArray> namesIn(const QByteArray& folder, const QList<QByteArray>& paths);
// Whether the names stand as the listing puts them without a kept order: by their text, code
// unit by code unit.
bool inNameOrder(const QList<QByteArray>& names);

// The files of the kept orders, in stateFolder/orders. Every call is complete in itself and may
// run on any thread; two programs writing one order leave the last whole one.
class OrderStore
{
public:
    explicit OrderStore(const QByteArray& stateFolder);

    // The file of a folder's order (the folder ends in "/"), named by a hash of its path.
    QByteArray pathFor(const QByteArray& folder) const;

    enum class Found
    {
        Nothing, // name order
        Order,
        SetAside, // unreadable, spoilt or another's: moved aside as .damaged; name order
    };
    struct Loaded
    {
        Found found = Found::Nothing;
        QList<KeptEntry> entries;
    };
    // The kept order of a folder, marked as shown now (that keeps it from being pruned).
    Loaded load(const QByteArray& folder) const;

    // Keeps `shown` (names in display order) and after them `hidden` (names the view cannot
    // show, files of another extension), each with its identity as it is now. When both are in
    // name order, no file is needed: the listing gives that order anyway. False, with the
    // system's reason, when the order could not be written.
    bool save(const QByteArray& folder, const QList<QByteArray>& shown, const QList<QByteArray>& hidden,
              QString* errorText = nullptr) const;
    bool write(const QByteArray& folder, const QList<KeptEntry>& entries, QString* errorText = nullptr) const;
    // False, with the system's reason, when an order there could not be removed.
    bool remove(const QByteArray& folder, QString* errorText = nullptr) const;
    // The offsets of the clocks of a folder's devices, kept beside its order. A file that is
    // not whole is set aside as a damaged order is.
    struct LoadedClocks
    {
        Found found = Found::Nothing;
        ClockOffsets offsets;
    };
    QByteArray clocksPathFor(const QByteArray& folder) const;
    LoadedClocks loadClocks(const QByteArray& folder) const;
    // No offsets need no file. False, with the system's reason, when they could not be written.
    bool writeClocks(const QByteArray& folder, const ClockOffsets& offsets, QString* errorText = nullptr) const;

    // A rename is about to give the names this order: the order is put aside for its undo (or
    // an older one is dropped when the order was the names').
    void stash(const QByteArray& folder) const;
    // That rename was undone: the order from before it comes back, when there is one.
    void unstash(const QByteArray& folder) const;

    struct Limits
    {
        qint64 maxAgeSeconds = 0;
        qsizetype maxFiles = 0;
        qint64 maxBytes = 0;
    };
    // Removes the orders of folders not shown for longer than the age, temporary files left by a
    // write that was cut off, and beyond the bounds the files shown longest ago.
    void prune(const Limits& limits, qint64 nowSeconds) const;

private:
    // The folder's files, by a hash of its path, end in `suffix`.
    QByteArray fileFor(const QByteArray& folder, QByteArrayView suffix) const;
    // Its order from before the last rename there, for that rename's undo.
    QByteArray stashPathFor(const QByteArray& folder) const;
    bool ensureFolder() const;
    void setAside(const QByteArray& path) const;
    enum class Read
    {
        Nothing, // no file
        Damaged, // not a regular file, too large, not readable
        Whole,
    };
    Read readFile(const QByteArray& path, QByteArray* bytes) const;

    QByteArray m_folder;
};

// Ninety days, and a few thousand folders of photos (a folder of 10,000 takes about 600 KB).
inline constexpr OrderStore::Limits kPruneLimits{qint64(90) * 24 * 3600, 4000, qint64(64) << 20};

// Gives each file of a folder being listed its kept place: the rank of its entry, found by its
// name or, for a name the order does not know, by the identity of a file another program renamed.
// Files the order does not know rank after every kept one (and among themselves by name).
class Placement
{
public:
    static constexpr int kUnkept = INT_MAX;

    Placement() = default;
    explicit Placement(QList<KeptEntry> kept);

    bool isEmpty() const { return m_kept.isEmpty(); }
    // The rank of a file listed now. `id` is what the file is when that is known; when it is
    // needed (the name is not kept) and not known, the file at `path` is looked at and `id` filled.
    int rankOf(const QByteArray& name, const QByteArray& path, FileIdentity* id);
    // A rank given before (to a file listed before this placement took over): no other file
    // takes it.
    void claimRank(int rank);
    // The kept names no file has taken, in their order.
    QList<QByteArray> unclaimed() const;

private:
    int claim(int rank);

    QList<KeptEntry> m_kept;
    QHash<QByteArray, int> m_byName;
    QHash<std::pair<quint64, quint64>, int> m_byInode;
    bool m_inodesIndexed = false;
    std::vector<bool> m_claimed;
    qsizetype m_unclaimed = 0;
};

} // namespace ordering
