#include "platform/Volumes.h"

#include "platform/FileNames.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

bool isPseudoFileSystem(const QByteArray& type)
{
    static const QByteArrayList pseudo = {
        "proc",   "sysfs",    "devtmpfs", "devpts",    "securityfs", "cgroup",  "cgroup2",
        "pstore", "bpf",      "debugfs",  "tracefs",   "configfs",   "fusectl", "mqueue",
        "hugetlbfs", "autofs", "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs", "squashfs",
        "ramfs",  "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal", "nfsd", "rootfs", "fuse.lxcfs"};
    return pseudo.contains(type);
}

bool isSystemLocation(const QByteArray& root)
{
    // Run-time and kernel folders: not places where people keep pictures. Removable media
    // mounted under /run/media stay.
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run", "/snap", "/var/lib/docker"}) {
        const QByteArray p(prefix);
        if (root == p || root.startsWith(QByteArray(p + '/')))
            return !root.startsWith("/run/media/");
    }
    return false;
}

// Mounts come in bursts (a card with several partitions, a desktop starting its helpers); one
// reading after they settle is enough.
constexpr int kSettleMs = 250;
constexpr int kPollMs = 2000;

// A field of the mount table, where the kernel writes blanks, tabs, newlines and backslashes in
// names as a backslash and three octal digits.
QByteArray unescapedField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const auto isOctal = [&](qsizetype k) { return k < field.size() && field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && isOctal(i + 1) && isOctal(i + 2) && isOctal(i + 3)) {
            out += char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

QList<Volume> volumesFromMountInfo(const QByteArray& mountInfo)
{
    QList<Volume> volumes;
    for (const QByteArray& line : mountInfo.split('\n')) {
        // id, parent id, device, root within the file system, mount point, options, optional
        // fields up to a lone "-", then the file system type and the source.
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 6 || dash < 6 || dash + 1 >= fields.size())
            continue;
        const QByteArray root = unescapedField(fields[4]);
        // A tmpfs outside the system's places is a RAM disk someone mounted for their files.
        if (!root.startsWith('/') || isPseudoFileSystem(fields[dash + 1]) || isSystemLocation(root))
            continue;
        // Something mounted over a mount hides it: one place, listed once.
        if (std::any_of(volumes.cbegin(), volumes.cend(), [&](const Volume& v) { return v.rootPath == root; }))
            continue;
        volumes.append({root, displayName(decodeName(root))});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.rootPath < b.rootPath; });
    return volumes;
}

QList<Volume> mountedVolumes()
{
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    // The file reports its size as 0; readAll reads until the end.
    return volumesFromMountInfo(table.readAll());
}

qsizetype volumeOf(const QList<Volume>& volumes, const QByteArray& nativePath)
{
    qsizetype best = -1;
    qsizetype bestLength = -1;
    for (qsizetype i = 0; i < volumes.size(); ++i) {
        const QByteArray& root = volumes[i].rootPath;
        const bool inside = root == "/" || nativePath == root || nativePath.startsWith(QByteArray(root + '/'));
        if (inside && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

SystemVolumes::SystemVolumes(QObject* parent) : VolumeSource(parent)
{
    auto* settle = new QTimer(this);
    settle->setSingleShot(true);
    settle->setInterval(kSettleMs);
    connect(settle, &QTimer::timeout, this, &VolumeSource::changed);

    m_mounts = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    if (m_mounts >= 0) {
        auto* notifier = new QSocketNotifier(m_mounts, QSocketNotifier::Exception, this);
        connect(notifier, &QSocketNotifier::activated, settle, qOverload<>(&QTimer::start));
    } else {
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, &VolumeSource::changed);
        poll->start(kPollMs);
    }
}

SystemVolumes::~SystemVolumes()
{
    if (m_mounts >= 0)
        ::close(m_mounts);
}

} // namespace platform
