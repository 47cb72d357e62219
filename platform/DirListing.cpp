#include "platform/DirListing.h"

#include "platform/FileNames.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::atomic<bool> g_entryTypesUnknown{false};

// The file type an entry reports, DT_UNKNOWN when its file system does not tell.
unsigned char typeOf(const dirent* entry)
{
    return g_entryTypesUnknown ? static_cast<unsigned char>(DT_UNKNOWN) : entry->d_type;
}

} // namespace

void setEntryTypesUnknown(bool unknown)
{
    g_entryTypesUnknown = unknown;
}

QString errorText(int error)
{
    // QApplication has set the C library's locale from the environment, so this is in the
    // user's language where the system has a translation.
    return qt_error_string(error);
}

ImageFileEnumerator::ImageFileEnumerator(const QByteArray& nativeFolder, const QString& extensions)
    : m_extensions(encodeName(extensions))
{
    m_dir = ::opendir(nativeFolder.constData());
    if (!m_dir)
        m_error = platform::errorText(errno);
}

ImageFileEnumerator::~ImageFileEnumerator()
{
    if (m_dir)
        ::closedir(m_dir);
}

std::optional<QByteArray> ImageFileEnumerator::next(struct stat* found, QList<QByteArray>* others)
{
    if (!m_dir)
        return std::nullopt;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(m_dir);
        if (!entry) {
            if (errno != 0)
                m_error = platform::errorText(errno);
            return std::nullopt;
        }
        if (matches(entry, found, others))
            return QByteArray(entry->d_name);
    }
}

bool ImageFileEnumerator::matches(const dirent* entry, struct stat* found, QList<QByteArray>* others) const
{
    const char* name = entry->d_name;
    if (name[0] == '.')
        return false;
    const QByteArrayView view(name, qsizetype(std::strlen(name)));
    if (!m_extensions.matches(view)) {
        if (others)
            others->append(view.toByteArray());
        if (m_skipped && mediaKindOf(view) != MediaKind::None && isRegular(entry, nullptr))
            m_skipped->add(view);
        return false;
    }
    return isRegular(entry, found);
}

bool ImageFileEnumerator::isRegular(const dirent* entry, struct stat* found) const
{
    const unsigned char type = typeOf(entry);
    if (type == DT_REG) {
        if (found)
            *found = {};
        return true;
    }
    if (type != DT_LNK && type != DT_UNKNOWN)
        return false;
    // A link (or a file system that does not report types): look at what it points to;
    // stat never opens the file, so FIFOs and devices behind links cannot block here.
    struct stat st;
    if (::fstatat(::dirfd(m_dir), entry->d_name, &st, 0) != 0)
        return false;
    if (found)
        *found = st;
    return S_ISREG(st.st_mode);
}

bool isDirectory(const QByteArray& nativePath)
{
    struct stat st;
    return !nativePath.isEmpty() && ::stat(nativePath.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

int folderError(const QByteArray& nativePath)
{
    struct stat st;
    if (nativePath.isEmpty())
        return ENOENT;
    if (::stat(nativePath.constData(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
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
        const unsigned char type = typeOf(entry);
        if (type == DT_DIR) {
            names.append(QByteArray(entry->d_name));
            continue;
        }
        if (type != DT_LNK && type != DT_UNKNOWN)
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

QByteArray parentFolder(const QByteArray& nativeFolder)
{
    const qsizetype slash = nativeFolder.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : nativeFolder.left(slash);
}

QList<QByteArray> folderChain(const QByteArray& nativeFolder)
{
    QList<QByteArray> chain;
    for (QByteArray p = nativeFolder;; p = parentFolder(p)) {
        chain.prepend(p);
        if (p == "/")
            break;
    }
    return chain;
}

FolderTrail::FolderTrail(const QByteArray& nativeFolder)
{
    dev_t above = 0;
    for (const QByteArray& p : folderChain(nativeFolder)) {
        struct stat st;
        const bool known = ::stat(p.constData(), &st) == 0;
        m_levels.append({p, known && !m_levels.isEmpty() && st.st_dev != above});
        above = known ? st.st_dev : 0;
    }
}

QByteArray FolderTrail::nearestPresent() const
{
    if (m_levels.isEmpty())
        return QByteArray("/");
    struct stat st;
    if (::stat("/", &st) != 0)
        return QByteArray("/");
    dev_t above = st.st_dev;
    QByteArray present("/");
    for (qsizetype i = 1; i < m_levels.size(); ++i) {
        const Level& level = m_levels[i];
        if (::stat(level.path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            break;
        if (level.volumeRoot && st.st_dev == above)
            break;
        present = level.path;
        above = st.st_dev;
    }
    return present;
}

QString pathForMessage(const QByteArray& nativePath)
{
    constexpr qsizetype kLimit = 100;
    const QString text = displayName(decodeName(nativePath));
    if (text.size() <= kLimit)
        return text;
    // The end says which folder it is, so it gets the larger share and at least the whole name.
    qsizetype tail = text.lastIndexOf(QLatin1Char('/'));
    for (qsizetype before = text.lastIndexOf(QLatin1Char('/'), tail - 1);
         before > 0 && text.size() - before <= kLimit * 2 / 3; before = text.lastIndexOf(QLatin1Char('/'), before - 1))
        tail = before;
    QString head = text.left(kLimit / 3);
    const qsizetype headEnd = head.lastIndexOf(QLatin1Char('/'));
    if (headEnd > 0)
        head.truncate(headEnd + 1);
    if (tail < head.size())
        return text; // only the name is long: nothing to leave out
    return head + QChar(0x2026) + text.mid(tail);
}

QString wrappedPath(const QByteArray& nativePath, int width)
{
    const QString text = displayName(decodeName(nativePath));
    QString wrapped;
    qsizetype line = 0;
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype slash = text.indexOf(QLatin1Char('/'), from);
        const qsizetype end = slash < 0 ? text.size() : slash + 1;
        QStringView piece = QStringView(text).sliced(from, end - from);
        from = end;
        if (line > 0 && line + piece.size() > width) {
            wrapped += QLatin1Char('\n');
            line = 0;
        }
        while (line == 0 && piece.size() > width) {
            wrapped += piece.first(width);
            wrapped += QLatin1Char('\n');
            piece = piece.sliced(width);
        }
        wrapped += piece;
        line += piece.size();
    }
    return wrapped;
}

} // namespace platform
