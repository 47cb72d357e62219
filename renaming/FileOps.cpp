#include "renaming/FileOps.h"

#include "renaming/Internal.h"
#include "renaming/Names.h"
#include "platform/FileTime.h"

#include <QHash>
#include <QStringDecoder>

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace renaming {

namespace {

// Magic numbers of file systems that statfs reports and <linux/magic.h> does not name.
constexpr unsigned long kNtfsMagic = 0x5346544eUL;  // the old ntfs driver and ntfs-3g's fuseblk
constexpr unsigned long kNtfs3Magic = 0x7366746eUL; // the kernel's ntfs3

int lastError()
{
    return errno ? errno : EIO;
}

int writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        data += n;
        size -= n;
    }
    return 0;
}

int copyContents(int in, int out, qint64 size)
{
    qint64 left = size;
    while (left > 0) {
        const ssize_t n = ::sendfile(out, in, nullptr, static_cast<size_t>(qMin<qint64>(left, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EINVAL || errno == ENOSYS))
            break; // the kernel cannot send between these two; copy through a buffer below
        if (n < 0)
            return lastError();
        if (n == 0)
            return 0; // the file got shorter meanwhile
        left -= n;
    }
    if (left <= 0)
        return 0;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return lastError();
        if (n == 0)
            return 0;
        if (const int e = writeAll(out, buffer.data(), n))
            return e;
    }
}

// The mount a path lies on, as /proc/self/mountinfo describes it.
struct Mount
{
    QByteArray type;   // "ext4", "fuseblk", "fuse.fusefat"; empty where it cannot be told
    QByteArray source; // "/dev/sda1", "tmpfs", "fusefat"
};

Mount mountOf(const FileId& file)
{
    const UniqueFd fd(::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return {};
    const QByteArray text = internal::readAll(fd.get());
    // "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw": the type and the source
    // follow " - ". Without the mount's id, the device's numbers tell (bind mounts alike).
    const QByteArray id = QByteArray::number(file.mount) + ' ';
    const QByteArray dev = ' ' + QByteArray::number(major(file.dev)) + ':' + QByteArray::number(minor(file.dev)) + ' ';
    for (const QByteArray& line : text.split('\n')) {
        const qsizetype dash = line.indexOf(" - ");
        if (dash < 0 || !(file.mount ? line.startsWith(id) : line.indexOf(dev) >= 0))
            continue;
        const QList<QByteArray> f = line.mid(dash + 3).split(' ');
        return {f.value(0), f.value(1)};
    }
    return {};
}

QByteArray mountType(const QByteArray& path)
{
    const std::optional<FileId> file = fileId(path, true);
    return file && file->mount ? mountOf(*file).type : QByteArray();
}

// What a FUSE file system on a block device is, from its boot sector where it can be read
// (mostly as root): exfat-fuse and ntfs-3g both mount as "fuseblk".
QByteArray fuseblkKind(const QByteArray& folder)
{
    const std::optional<FileId> file = fileId(folder, true);
    const QByteArray source = file ? mountOf(*file).source : QByteArray();
    char sector[11] = {};
    const UniqueFd fd(source.startsWith("/dev/") ? ::open(source.constData(), O_RDONLY | O_CLOEXEC) : -1);
    if (fd.get() >= 0 && ::pread(fd.get(), sector, sizeof sector, 0) == ssize_t(sizeof sector)) {
        if (QByteArrayView(sector + 3, 8) == "EXFAT   ")
            return QByteArrayLiteral("exFAT");
        if (QByteArrayView(sector + 3, 8) == "NTFS    ")
            return QByteArrayLiteral("NTFS");
    }
    return QByteArrayLiteral("exFAT oder NTFS");
}

// Types whose inode numbers are made up at each mount.
bool fleetingInodes(const QByteArray& type)
{
    return type == "vfat" || type == "msdos" || type == "exfat" || type.startsWith("fuse");
}

// A loop device stands for its image file; the device's number may differ at the next mount.
QByteArray loopImage(const QByteArray& source)
{
    if (!source.startsWith("/dev/loop"))
        return source;
    const UniqueFd fd(::open(QByteArray("/sys/block/" + source.mid(5) + "/loop/backing_file").constData(),
                             O_RDONLY | O_CLOEXEC));
    const QByteArray image = fd.get() >= 0 ? internal::readAll(fd.get()).trimmed() : QByteArray();
    return image.startsWith('/') ? image : source;
}

// The UUID that udev lists for a block device.
QByteArray uuidOf(dev_t device)
{
    QByteArray uuid;
    if (DIR* dir = ::opendir("/dev/disk/by-uuid")) {
        while (const dirent* entry = ::readdir(dir)) {
            struct stat st{};
            const QByteArray name(entry->d_name);
            if (name.startsWith('.') || ::stat(QByteArray("/dev/disk/by-uuid/" + name).constData(), &st) != 0)
                continue;
            if (S_ISBLK(st.st_mode) && st.st_rdev == device) {
                uuid = name;
                break;
            }
        }
        ::closedir(dir);
    }
    return uuid;
}

bool refusesNoReplace(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == ENOTSUP;
}

bool refusesLinks(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOTSUP || error == ENOSYS;
}

} // namespace

UniqueFd::~UniqueFd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileId::isRegular() const
{
    return S_ISREG(mode);
}

bool FileId::isLink() const
{
    return S_ISLNK(mode);
}

std::optional<FileId> fileId(const QByteArray& path, bool followLinks, int* error)
{
    struct statx st{};
    const int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::statx(AT_FDCWD, path.constData(), flags, STATX_BASIC_STATS | STATX_MNT_ID, &st) != 0) {
        if (error)
            *error = lastError();
        return std::nullopt;
    }
    FileId id;
    id.dev = makedev(st.stx_dev_major, st.stx_dev_minor);
    id.ino = st.stx_ino;
    id.mount = (st.stx_mask & STATX_MNT_ID) ? st.stx_mnt_id : 0;
    id.size = static_cast<qint64>(st.stx_size);
    id.mtimeNs = platform::fileTimeNs(st.stx_mtime.tv_sec, st.stx_mtime.tv_nsec);
    id.mode = st.stx_mode;
    id.links = st.stx_nlink;
    return id;
}

bool stillSameFile(const FileId& recorded, const FileId& now, const FolderInfo& where)
{
    return recorded.size == now.size && (!where.keepsTimes || recorded.mtimeNs == now.mtimeNs) &&
           (!where.stableInodes || recorded.ino == now.ino);
}

FolderInfo folderInfo(const QByteArray& folder)
{
    FolderInfo info;
    struct statfs fs{};
    const auto fat = [&](const QByteArray& kind, NameRules names = NameRules::Fat) {
        info.names = names;
        info.kind = kind;
    };
    if (::statfs(folder.constData(), &fs) != 0) {
        // Nothing known (some FUSE file systems fail calls under load): the least that any
        // folder offers.
        info.ignoresCase = true;
        info.stableInodes = false;
        info.keepsTimes = false;
    } else {
        const auto type = static_cast<unsigned long>(fs.f_type);
        switch (type) {
        case MSDOS_SUPER_MAGIC:
        case EXFAT_SUPER_MAGIC:
        case FUSE_SUPER_MAGIC: { // exFAT and NTFS on cards and sticks usually come through FUSE
            info.ignoresCase = true;
            info.stableInodes = false;
            const QByteArray mount = type == FUSE_SUPER_MAGIC ? mountType(folder) : QByteArray();
            // exfat-fuse and ntfs-3g keep them; fusefat gives a file the time of a rename or of
            // closing it, and MTP mounts of cameras and phones cannot set them at all.
            info.keepsTimes = mount == "fuseblk";
            if (type == MSDOS_SUPER_MAGIC)
                fat("FAT");
            else if (type == EXFAT_SUPER_MAGIC)
                fat("exFAT");
            else if (mount == "fuseblk")
                fat(fuseblkKind(folder));
            else if (mount == "fuse.fusefat")
                fat("FAT über fusefat", NameRules::FuseFat);
            else if (mount.contains("fat") || mount.contains("ntfs") || mount.contains("mtp"))
                fat(mount); // the storage of a camera or phone (MTP) is FAT too
            break;
        }
        case kNtfsMagic:
        case kNtfs3Magic:
            info.ignoresCase = true;
            fat("NTFS");
            break;
        case CIFS_SUPER_MAGIC:
        case SMB2_SUPER_MAGIC:
            info.ignoresCase = true;
            break;
        default:
            break;
        }
    }
    if (!info.ignoresCase) {
        // ext4 and f2fs fold the case of names in folders marked so.
        const UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        long flags = 0;
        if (fd.get() >= 0 && ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL))
            info.ignoresCase = true;
    }
    const long nameMax = ::pathconf(folder.constData(), _PC_NAME_MAX);
    if (nameMax > 0)
        info.nameMax = nameMax;
    return info;
}

std::optional<FileSystemId> fileSystemId(const QByteArray& folder)
{
    const std::optional<FileId> file = fileId(folder, true);
    struct statvfs vfs{};
    if (!file || ::statvfs(folder.constData(), &vfs) != 0)
        return std::nullopt;
    const Mount mount = mountOf(*file);
    FileSystemId id;
    id.type = mount.type;
    id.source = loopImage(mount.source);
    id.dev = file->dev;
    id.bytes = static_cast<qint64>(vfs.f_blocks) * static_cast<qint64>(vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize);
    id.folderIno = file->ino;
    struct stat device{};
    if (mount.source.startsWith("/dev/") && ::stat(mount.source.constData(), &device) == 0 && S_ISBLK(device.st_mode))
        id.uuid = uuidOf(device.st_rdev);
    return id;
}

bool sameFileSystem(const FileSystemId& recorded, const FileSystemId& now)
{
    if (!recorded.uuid.isEmpty() && !now.uuid.isEmpty()) {
        // Also when the kernel's driver mounts what FUSE did before.
        if (recorded.uuid != now.uuid)
            return false;
    } else if (recorded.type != now.type) {
        return false;
    } else if (recorded.source.startsWith('/')) {
        // A device or an image, which may come back under another device number (FUSE).
        if (recorded.source != now.source)
            return false;
    } else if (recorded.type.startsWith("fuse")) {
        // Nothing names it (fusefat): a card of the same size counts as the one.
        if (recorded.bytes != now.bytes)
            return false;
    } else if (recorded.dev != now.dev) {
        // tmpfs and the like: mounted again, it is another file system.
        return false;
    }
    // An empty folder bound over the one recorded, on the same file system.
    return fleetingInodes(recorded.type) || recorded.folderIno == now.folderIno;
}

std::optional<Space> folderSpace(const QByteArray& folder)
{
    struct statvfs vfs{};
    if (::statvfs(folder.constData(), &vfs) != 0)
        return std::nullopt;
    Space space;
    space.unit = static_cast<qint64>(vfs.f_frsize ? vfs.f_frsize : vfs.f_bsize);
    space.freeUnits = static_cast<qint64>(vfs.f_bavail);
    // File systems without a table of inodes (FAT, exFAT) report none at all.
    space.freeFiles = vfs.f_files > 0 ? static_cast<qint64>(vfs.f_favail) : -1;
    return space;
}

QByteArray foldedName(const QByteArray& name)
{
    // Most names are ASCII, whose letters fold to their small ones; a prompt folds every new name at
    // each key pressed.
    if (std::all_of(name.cbegin(), name.cend(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return name.toLower();
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(name);
    // A name that is not UTF-8 keeps its other bytes: folding them through U+FFFD would make
    // different names equal.
    return utf8.hasError() ? name.toLower() : text.toCaseFolded().toUtf8();
}

std::optional<FileId> FileOps::id(const QByteArray& path, bool followLinks, int* error) const
{
    if (!card())
        return fileId(path, followLinks, error);
    int e = 0;
    std::optional<FileId> found = fileId(path, followLinks, &e);
    if (!found && e == ENOENT) {
        const QByteArray folder = folderOf(path);
        const QByteArray wanted = foldedName(fileNameOf(path));
        if (DIR* dir = ::opendir(folder.constData())) {
            while (const dirent* entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != ".." && foldedName(name) == wanted) {
                    found = fileId(joinPath(folder, name), followLinks, &e);
                    break;
                }
            }
            ::closedir(dir);
        }
    }
    if (!found) {
        if (error)
            *error = e;
        return std::nullopt;
    }
    found->ino = qHash(path);
    return found;
}

FolderInfo FileOps::info(const QByteArray& folder) const
{
    FolderInfo info = folderInfo(folder);
    if (m_sim != Simulated::None)
        info.nameMax = 255 * 6; // what the kernel's FAT gives: 255 UTF-16 units in UTF-8 at the most
    switch (m_sim) {
    case Simulated::None:
        break;
    case Simulated::ExFatCard:
        info.ignoresCase = true;
        info.stableInodes = false;
        info.names = NameRules::Fat;
        info.kind = "exFAT";
        break;
    case Simulated::FatCard:
        info.ignoresCase = true;
        info.stableInodes = false;
        info.keepsTimes = false; // a rename gives the file the time of the rename
        info.names = NameRules::FuseFat;
        info.kind = "FAT über fusefat";
        break;
    case Simulated::Fat:
    case Simulated::Ntfs:
        info.ignoresCase = true;
        info.names = NameRules::Fat;
        info.kind = m_sim == Simulated::Fat ? "FAT" : "NTFS";
        break;
    }
    return info;
}

std::optional<Space> FileOps::space(const QByteArray& folder) const
{
    return m_space ? m_space(folder) : folderSpace(folder);
}

int FileOps::step(Op op, const QByteArray& path)
{
    const Step s{m_steps++, op, path};
    return m_hook ? m_hook(s) : 0;
}

int FileOps::moveNoReplace(const QByteArray& from, const QByteArray& to, bool stableInodes)
{
    // There a file is known by its size and time, and fusefat gives a renamed file the time of
    // the rename; the file's own time is put back.
    struct statx before{};
    const bool timed = !stableInodes && ::statx(AT_FDCWD, from.constData(), AT_SYMLINK_NOFOLLOW, STATX_MTIME, &before) == 0;
    const int e = move(from, to, stableInodes);
    struct statx after{};
    if (e == 0 && timed && ::statx(AT_FDCWD, to.constData(), AT_SYMLINK_NOFOLLOW, STATX_MTIME, &after) == 0 &&
        (after.stx_mtime.tv_sec != before.stx_mtime.tv_sec || after.stx_mtime.tv_nsec != before.stx_mtime.tv_nsec)) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {before.stx_mtime.tv_sec, before.stx_mtime.tv_nsec}};
        ::utimensat(AT_FDCWD, to.constData(), times, AT_SYMLINK_NOFOLLOW);
    }
    return e;
}

int FileOps::move(const QByteArray& from, const QByteArray& to, bool linksAllowed)
{
    int e = EINVAL; // what a card answers
    if (!card()) {
        e = step(Op::RenameNoReplace, to);
        if (e == 0 && ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) != 0)
            e = lastError();
    }
    if (!refusesNoReplace(e))
        return e;

    if (linksAllowed && !card()) {
        // link fails when the new name is taken, so nothing is replaced either.
        e = step(Op::Link, to);
        if (e == 0 && ::linkat(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), 0) != 0)
            e = lastError();
        if (e == 0) {
            e = step(Op::Unlink, from);
            if (e == 0 && ::unlink(from.constData()) != 0)
                e = lastError();
            if (e != 0)
                ::unlink(to.constData()); // the file is still under its old name
            return e;
        }
        if (!refusesLinks(e))
            return e;
    }

    // Nothing atomic is left. The lookup goes through the file system, so on one that ignores
    // case it also finds A.JPG when asked for a.jpg.
    int lookup = 0;
    if (id(to, false, &lookup))
        return EEXIST;
    if (lookup != ENOENT)
        return lookup;
    e = step(Op::Rename, to);
    if (e == 0 && ::rename(from.constData(), to.constData()) != 0)
        e = lastError();
    if (e == 0 && m_sim == Simulated::FatCard) {
        const struct timespec now[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
        ::utimensat(AT_FDCWD, to.constData(), now, AT_SYMLINK_NOFOLLOW);
    }
    if (e == EPERM && m_sim == Simulated::FatCard)
        ::unlink(from.constData());
    return e;
}

int FileOps::copyNew(const QByteArray& from, const QByteArray& to, FileId* made)
{
    int e = step(Op::CreateCopy, to);
    if (e)
        return e;
    if (card() && id(to))
        return EEXIST; // O_EXCL below sees the exact spelling only
    const UniqueFd in(::open(from.constData(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return lastError();
    struct stat source{};
    if (::fstat(in.get(), &source) != 0)
        return lastError();
    UniqueFd out(::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (out.get() < 0)
        return lastError();

    e = step(Op::FillCopy, to);
    if (e == 0)
        e = copyContents(in.get(), out.get(), source.st_size);
    struct stat after{};
    if (e == 0 && ::fstat(in.get(), &after) != 0)
        e = lastError();
    if (e == 0 && (after.st_size != source.st_size || after.st_mtim.tv_sec != source.st_mtim.tv_sec ||
                   after.st_mtim.tv_nsec != source.st_mtim.tv_nsec))
        e = kSourceChanged;
    // Permissions are kept where the file system has them; FAT answers EPERM.
    if (e == 0 && ::fchmod(out.get(), source.st_mode & 07777) != 0 && errno != EPERM && errno != EOPNOTSUPP)
        e = lastError();
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (e == 0 && ::futimens(out.get(), times) != 0)
        e = lastError();
    if (e == 0 && ::fsync(out.get()) != 0)
        e = lastError();
    if (e == 0 && ::close(out.release()) != 0)
        e = lastError();
    if (e == 0 && made) {
        int error = 0;
        if (const std::optional<FileId> id = fileId(to, false, &error))
            *made = *id;
        else
            e = error;
    }
    if (e != 0)
        ::unlink(to.constData());
    return e;
}

int FileOps::unlink(const QByteArray& path, Op op)
{
    int e = step(op, path);
    if (e == 0 && ::unlink(path.constData()) != 0)
        e = lastError();
    return e;
}

int FileOps::writeWhole(const QByteArray& path, const QByteArray& data, Op op, int* lockedFd)
{
    if (const int e = step(op, path))
        return e;
    const QByteArray temp = path + ".tmp";
    UniqueFd fd(::open(temp.constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        return lastError();
    // Held until the run ends, so that another Tessaline's recovery leaves this run alone.
    if (lockedFd && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return lastError();
    int e = writeAll(fd.get(), data.constData(), data.size());
    if (e == 0 && ::fsync(fd.get()) != 0)
        e = lastError();
    if (e == 0 && ::rename(temp.constData(), path.constData()) != 0)
        e = lastError();
    if (e != 0) {
        ::unlink(temp.constData());
        return e;
    }
    syncFolder(folderOf(path));
    if (lockedFd)
        *lockedFd = fd.release();
    return 0;
}

int FileOps::append(int fd, const QByteArray& data, Op op, const QByteArray& path)
{
    if (const int e = step(op, path))
        return e;
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0)
        return lastError();
    int e = writeAll(fd, data.constData(), data.size());
    if (e == 0 && ::fdatasync(fd) != 0)
        e = lastError();
    // Half a line could be read as another one, or make the next line unreadable.
    if (e != 0 && ::ftruncate(fd, end) == 0)
        ::fdatasync(fd);
    return e;
}

void FileOps::syncFolder(const QByteArray& folder)
{
    const UniqueFd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

} // namespace renaming
