#pragma once

#include <QByteArray>

#include <sys/types.h>

#include <functional>
#include <optional>

// The file-system primitives a renaming run is made of, over POSIX. Every operation that
// changes something is one numbered step, announced to an optional hook first: tests make any
// single step fail or stop the process dead there.
namespace renaming {

enum class Op {
    WriteJournal,    // the journal of a run, written before its first rename
    MarkJournal,     // a line appended to it (the run's direction)
    RemoveJournal,
    WriteUndo,       // the record of the last completed run
    RemoveUndo,
    RenameNoReplace, // renameat2 with RENAME_NOREPLACE
    Link,            // link + unlink, where the no-replace flag is refused
    Unlink,
    Rename,          // a plain rename after a lookup, where links are refused too
    CreateCopy,      // a copy's file, created exclusively
    FillCopy,        // its contents, permissions and times, flushed
};

struct Step
{
    int index = 0; // counted from 0 in each run, undo or recovery
    Op op = Op::Rename;
    QByteArray path; // the path the step creates or removes
};

// Called before each step: 0 lets it run; an errno value makes it fail with that error.
using StepHook = std::function<int(const Step&)>;

// What identifies a file: where it lives and what it holds, as lstat (or stat) sees it.
struct FileId
{
    quint64 dev = 0;
    quint64 ino = 0;
    quint64 mount = 0; // the mount's id; 0 where the kernel does not tell
    qint64 size = 0;
    qint64 mtimeNs = 0;
    quint32 mode = 0;
    quint32 links = 0;

    bool isRegular() const;
    bool isLink() const;
    // The same inode of the same device: the file a run planned with, checked within the run.
    bool sameInode(const FileId& other) const { return dev == other.dev && ino == other.ino; }
};

// The file's identity; without followLinks a link is described itself. nullopt with errno in
// *error when there is none.
std::optional<FileId> fileId(const QByteArray& path, bool followLinks = false, int* error = nullptr);

// The names a file system can hold, beyond the slash and NUL that none can.
enum class NameRules {
    Posix,   // any bytes up to the longest name in bytes
    Fat,     // FAT, exFAT, NTFS: no " * : < > ? \ | or control characters, no dot or blank at the end,
             // UTF-8 of at most 255 UTF-16 units
    FuseFat, // FAT through fusefat: as Fat, and ASCII only (it refuses other letters)
};

// What a folder's file system means for the names in it.
struct FolderInfo
{
    bool ignoresCase = false;   // a.jpg and A.jpg are one name (FAT, exFAT, NTFS, SMB, casefolded ext4)
    bool stableInodes = true;
    bool keepsTimes = true;     // a file's time of modification changes only when it is written to
    long nameMax = 255;         // the longest name in bytes
    NameRules names = NameRules::Posix;
    QByteArray kind;            // the file system's name for messages where it limits names ("exFAT")
};
FolderInfo folderInfo(const QByteArray& folder);

// Which file system a folder lies on, as far as it can be told after a restart: a card not plugged
// in leaves an empty folder where it was mounted, on another file system.
struct FileSystemId
{
    QByteArray type;   // as the kernel names the mount: "ext4", "vfat", "fuseblk", "fuse.fusefat"
    QByteArray source; // what is mounted: "/dev/sdb1", a loop device's image file, "tmpfs"
    QByteArray uuid;   // the file system's UUID, where the system lists it
    quint64 dev = 0;
    qint64 bytes = 0;  // its total size
    quint64 folderIno = 0;
};
std::optional<FileSystemId> fileSystemId(const QByteArray& folder);
// Whether a folder now lies on the file system recorded for it, and is the same folder there
// where inode numbers last.
bool sameFileSystem(const FileSystemId& recorded, const FileSystemId& now);

// Whether a recorded identity still describes a file after a restart: the same size, the same
// time of modification where the file system keeps it, and the same inode number where it keeps
// them (FAT and FUSE file systems make them up anew after each mount, and a card gets a new
// device number when it is plugged in again).
bool stillSameFile(const FileId& recorded, const FileId& now, const FolderInfo& where);


// What a file system has left for an unprivileged user: blocks of `unit` bytes, and files where it
// limits their number (-1 where it does not).
struct Space
{
    qint64 unit = 0;
    qint64 freeUnits = 0;
    qint64 freeFiles = -1;
};
std::optional<Space> folderSpace(const QByteArray& folder);
using SpaceFn = std::function<std::optional<Space>(const QByteArray& folder)>;

// Equal for two names that a folder which ignores letter case takes as one.
QByteArray foldedName(const QByteArray& name);

// Closes its descriptor when it goes.
class UniqueFd
{
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// File systems the tests stand in for.
enum class Simulated {
    None,
    // A camera card through FUSE: a lookup finds a name in any letter case, each spelling of a
    // name has an inode number of its own, neither the no-replace flag nor links are offered.
    ExFatCard, // exfat-fuse: times are kept
    FatCard,   // fusefat: a rename gives the file the time of the rename, so times are not trusted,
               // and a name it refuses (EPERM) takes the file with it
    Fat,       // the kernel's FAT, for its name rules
    Ntfs,      // NTFS, for its name rules
};

// Returned instead of an errno value: the file was not the one planned with, or it changed while
// it was copied.
inline constexpr int kSourceChanged = -1;

class FileOps
{
public:
    void setHook(StepHook hook) { m_hook = std::move(hook); }
    void restartCount() { m_steps = 0; }
    int steps() const { return m_steps; }
    void setSpaceHook(SpaceFn space) { m_space = std::move(space); }
    // Makes every folder behave as one on another file system, where tests cannot mount one.
    void simulate(Simulated kind) { m_sim = kind; }

    // fileId, folderInfo and folderSpace as this file system answers them.
    std::optional<FileId> id(const QByteArray& path, bool followLinks = false, int* error = nullptr) const;
    FolderInfo info(const QByteArray& folder) const;
    std::optional<Space> space(const QByteArray& folder) const;

    // Every function returns 0 or the errno value of the failure.

    // Gives the file at from the path to, never replacing anything that answers to that name:
    // renameat2 with RENAME_NOREPLACE; where the file system refuses the flag, link and unlink;
    // where it refuses links too (FUSE exFAT on camera cards), a lookup right before a plain
    // rename. From and to are on the same file system. Where its inode numbers mean nothing, no
    // links are made (a file cut off between the two could not be told from a second file), and
    // the file keeps its time of modification.
    int moveNoReplace(const QByteArray& from, const QByteArray& to, bool stableInodes = true);

    // Copies the file at from (following links) to a new file at to, created exclusively, with
    // the source's permissions and time of modification, flushed to the disk. A source written to
    // meanwhile fails the copy with kSourceChanged. A failed copy is removed again. *made
    // receives the copy's identity.
    int copyNew(const QByteArray& from, const QByteArray& to, FileId* made);

    int unlink(const QByteArray& path, Op op = Op::Unlink);

    // Writes data to a file of the program's own: into path + ".tmp", flushed, then renamed over
    // path, so a reader finds the old file or the whole new one. With lockedFd, the file is left
    // open and locked (flock) for as long as the caller keeps the descriptor.
    int writeWhole(const QByteArray& path, const QByteArray& data, Op op, int* lockedFd = nullptr);
    // Appends to a file written by writeWhole and flushes it; a failed append is cut off again, so
    // that the file holds whole lines only.
    int append(int fd, const QByteArray& data, Op op, const QByteArray& path);

    // Makes the renames inside a folder durable.
    static void syncFolder(const QByteArray& folder);

private:
    int step(Op op, const QByteArray& path);
    int move(const QByteArray& from, const QByteArray& to, bool linksAllowed);

    StepHook m_hook;
    SpaceFn m_space;
    int m_steps = 0;
    Simulated m_sim = Simulated::None;
    bool card() const { return m_sim == Simulated::ExFatCard || m_sim == Simulated::FatCard; }
};

} // namespace renaming
