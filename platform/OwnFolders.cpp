#include "platform/OwnFolders.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

constexpr mode_t kPrivate = 0700;

// mkdir takes the umask off the mode; a umask such as 0277 would leave a folder the user
// cannot write to, so the mode is set once more.
int makeLevel(const QByteArray& path)
{
    if (::mkdir(path.constData(), kPrivate) == 0)
        return ::chmod(path.constData(), kPrivate) == 0 ? 0 : errno;
    if (errno != EEXIST)
        return errno;
    struct stat st{};
    if (::stat(path.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

} // namespace

int makeMissingFolders(const QByteArray& path)
{
    if (!path.startsWith('/'))
        return EINVAL;
    for (qsizetype slash = path.indexOf('/', 1); slash > 0; slash = path.indexOf('/', slash + 1)) {
        if (path[slash - 1] == '/')
            continue;
        if (const int e = makeLevel(path.first(slash)))
            return e;
    }
    if (!path.endsWith('/'))
        return makeLevel(path);
    return 0;
}

int makeOwnFolder(const QByteArray& path)
{
    if (const int e = makeMissingFolders(path))
        return e;
    struct stat st{};
    if (::stat(path.constData(), &st) != 0)
        return errno;
    if (st.st_uid == ::geteuid() && (st.st_mode & 07777) != kPrivate && ::chmod(path.constData(), kPrivate) != 0)
        return errno;
    return 0;
}

} // namespace platform
