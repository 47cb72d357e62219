#include "platform/Volumes.h"

#include "platform/FileNames.h"

#include <QSocketNotifier>
#include <QStorageInfo>
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
        "ramfs",  "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal", "nfsd"};
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

} // namespace

QList<Volume> mountedVolumes()
{
    QList<Volume> volumes;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || !info.isReady())
            continue;
        const QByteArray root = encodeName(info.rootPath());
        // A tmpfs outside the system's places is a RAM disk someone mounted for their files.
        if (isPseudoFileSystem(info.fileSystemType()) || isSystemLocation(root))
            continue;
        if (std::any_of(volumes.cbegin(), volumes.cend(), [&](const Volume& v) { return v.rootPath == root; }))
            continue;
        volumes.append({root, displayName(info.rootPath())});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.rootPath < b.rootPath; });
    return volumes;
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
