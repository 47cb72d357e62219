#include "platform/DirListing.h"

#include "platform/FileNames.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// ASCII-only lower case: a file name's bytes outside ASCII are compared as they are, which is
// what a case-insensitive match of a (normally ASCII) extension needs.
char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool endsWithNoCase(const char* name, size_t length, const QByteArray& lowerSuffix)
{
    const auto n = static_cast<size_t>(lowerSuffix.size());
    if (length < n)
        return false;
    const char* tail = name + (length - n);
    for (size_t i = 0; i < n; ++i) {
        if (asciiLower(tail[i]) != lowerSuffix[static_cast<qsizetype>(i)])
            return false;
    }
    return true;
}

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

ImageFileEnumerator::ImageFileEnumerator(const QByteArray& nativeFolder, const QString& extension)
{
    // Letter case is ignored for ASCII letters, as cameras write .JPG and people type jpg.
    const QString suffix = QLatin1Char('.') + extension;
    m_suffix = encodeName(suffix.toLower());

    m_dir = ::opendir(nativeFolder.constData());
    if (!m_dir)
        m_error = errnoText(errno);
}

ImageFileEnumerator::~ImageFileEnumerator()
{
    if (m_dir)
        ::closedir(m_dir);
}

std::optional<QByteArray> ImageFileEnumerator::next()
{
    if (!m_dir)
        return std::nullopt;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(m_dir);
        if (!entry) {
            if (errno != 0)
                m_error = errnoText(errno);
            return std::nullopt;
        }
        if (matches(entry))
            return QByteArray(entry->d_name);
    }
}

bool ImageFileEnumerator::matches(const dirent* entry) const
{
    const char* name = entry->d_name;
    if (name[0] == '.')
        return false;
    const size_t length = std::strlen(name);
    if (!endsWithNoCase(name, length, m_suffix))
        return false;
    if (entry->d_type == DT_REG)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    // A link (or a file system that does not report types): look at what it points to;
    // stat never opens the file, so FIFOs and devices behind links cannot block here.
    struct stat st;
    if (::fstatat(::dirfd(m_dir), name, &st, 0) != 0)
        return false;
    return S_ISREG(st.st_mode);
}

bool isDirectory(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::stat(nativePath.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isReadableDirectory(const QByteArray& nativePath)
{
    return isDirectory(nativePath) && ::access(nativePath.constData(), R_OK | X_OK) == 0;
}

QList<QByteArray> subfolderNames(const QByteArray& nativeFolder)
{
    QList<QByteArray> names;
    DIR* dir = ::opendir(nativeFolder.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        if (entry->d_type == DT_DIR) {
            names.append(QByteArray(entry->d_name));
            continue;
        }
        if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode))
            names.append(QByteArray(entry->d_name));
    }
    ::closedir(dir);

    QList<QString> texts;
    std::vector<qsizetype> index(static_cast<size_t>(names.size()));
    texts.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i) {
        texts.append(decodeName(names[i]));
        index[static_cast<size_t>(i)] = i;
    }
    std::stable_sort(index.begin(), index.end(), [&](qsizetype a, qsizetype b) {
        const int c = texts[a].compare(texts[b], Qt::CaseInsensitive);
        return c != 0 ? c < 0 : texts[a] < texts[b];
    });
    QList<QByteArray> sorted;
    sorted.reserve(names.size());
    for (qsizetype i : index)
        sorted.append(names[i]);
    return sorted;
}

QByteArray withTrailingSlash(const QByteArray& nativeFolder)
{
    return nativeFolder.endsWith('/') ? nativeFolder : nativeFolder + '/';
}

QString withTrailingSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace platform
