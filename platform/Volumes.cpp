#include "platform/Volumes.h"

#include "platform/FileNames.h"

#include <QStorageInfo>

#include <algorithm>

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

} // namespace

QList<Volume> mountedVolumes()
{
    QList<Volume> volumes;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!info.isValid() || !info.isReady())
            continue;
        const QByteArray root = encodeName(info.rootPath());
        if (isPseudoFileSystem(info.fileSystemType()) || isSystemLocation(root))
            continue;
        if (info.fileSystemType() == "tmpfs" && root != "/tmp")
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

} // namespace platform
