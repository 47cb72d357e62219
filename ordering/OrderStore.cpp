#include "ordering/OrderStore.h"

#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/FileTime.h"
#include "platform/OwnFolders.h"
#include "renaming/FileOps.h"

#include <QCryptographicHash>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ordering {

namespace {

constexpr QByteArrayView kHeader = "Tessaline display order 1";
constexpr QByteArrayView kClocksHeader = "Tessaline clock offsets 1";
constexpr QByteArrayView kOrderSuffix = ".order";
constexpr QByteArrayView kClocksSuffix = ".clocks";
constexpr QByteArrayView kStashSuffix = ".before-rename";
constexpr QByteArrayView kTempMark = ".tmp-";
// Far beyond any folder's order (100,000 files with long names); anything larger is not ours.
constexpr qint64 kLargestFile = qint64(64) << 20;
// Offsets of clocks beyond a few decades were not written by this program.
constexpr qint64 kMaxKeptOffset = qint64(100) * 366 * 24 * 3600;
// A temporary file this old belongs to no write still running.
constexpr qint64 kTempAgeSeconds = 24 * 3600;

bool writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// Whole or not at all: a temporary file of a name of its own (so that two programs never write
// into one), flushed to the disk before it takes the place of the old one.
bool writeWhole(const QByteArray& folder, const QByteArray& path, const QByteArray& data)
{
    QByteArray temp = path + kTempMark + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.constData(), path.constData()) == 0;
    if (!ok) {
        const int error = errno;
        ::unlink(temp.constData());
        errno = error;
        return false;
    }
    renaming::FileOps::syncFolder(folder);
    return true;
}

// A number as encodeOrder writes it, up to the blank after it: digits without leading zeros, a sign
// only where it may stand. By hand and in one pass with the entry's other fields, since reading
// the order of a large folder is mostly reading numbers.
bool readNumber(const char*& p, const char* end, bool maySign, qint64* signedValue, quint64* value)
{
    const bool negative = maySign && p < end && *p == '-';
    if (negative)
        ++p;
    const char* start = p;
    quint64 v = 0;
    for (; p < end && unsigned(*p - '0') <= 9; ++p) {
        if (__builtin_mul_overflow(v, 10u, &v) || __builtin_add_overflow(v, unsigned(*p - '0'), &v))
            return false;
    }
    if (p == start || p == end || *p != ' ' || (p - start > 1 && *start == '0'))
        return false;
    ++p;
    if (value)
        *value = v;
    if (signedValue) {
        if (v > quint64(std::numeric_limits<qint64>::max()))
            return false;
        *signedValue = negative ? -qint64(v) : qint64(v);
    }
    return true;
}

// One line of a file, from p to its end, which p is moved past.
bool readEntry(const char*& p, const char* end, KeptEntry& e)
{
    if (!readNumber(p, end, false, nullptr, &e.id.dev) || !readNumber(p, end, false, nullptr, &e.id.ino) ||
        !readNumber(p, end, true, &e.id.size, nullptr) || !readNumber(p, end, true, &e.id.mtimeNs, nullptr))
        return false;
    const char* name = p;
    bool percent = false;
    for (; p < end && *p != '\n'; ++p)
        percent |= *p == '%';
    if (p == end)
        return false;
    e.name = QByteArray(name, p - name);
    ++p;
    if (percent)
        e.name = QByteArray::fromPercentEncoding(e.name);
    return !e.name.isEmpty() && !e.name.contains('/') && !e.name.contains('\0') && e.name != "." &&
           e.name != "..";
}

// FNV-1a over words of eight bytes and then the bytes left: a byte spoilt anywhere in the file
// changes it, and a folder of 10,000 files is checked in a fraction of a millisecond. Written as
// 16 hex digits.
QByteArray checkOf(QByteArrayView bytes)
{
    constexpr quint64 kPrime = 1099511628211ULL;
    quint64 h = 14695981039346656037ULL;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    for (; end - p >= 8; p += 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        h = (h ^ word) * kPrime;
    }
    for (; p < end; ++p)
        h = (h ^ quint8(*p)) * kPrime;
    return QByteArray::number(h, 16).rightJustified(16, '0');
}

} // namespace

FileIdentity identityOf(const struct stat& st)
{
    return FileIdentity{quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
                        platform::fileTimeNs(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)};
}

std::optional<FileIdentity> identityOf(const QByteArray& path)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0)
        return std::nullopt;
    return identityOf(st);
}

QByteArray encodeOrder(const QByteArray& folder, const QList<KeptEntry>& entries)
{
    QByteArray out;
    out.reserve(64 + folder.size() * 3 + entries.size() * 64);
    out += kHeader;
    out += "\nfolder ";
    out += folder.toPercentEncoding("/");
    out += '\n';
    for (const KeptEntry& e : entries) {
        out += QByteArray::number(e.id.dev);
        out += ' ';
        out += QByteArray::number(e.id.ino);
        out += ' ';
        out += QByteArray::number(e.id.size);
        out += ' ';
        out += QByteArray::number(e.id.mtimeNs);
        out += ' ';
        out += e.name.toPercentEncoding();
        out += '\n';
    }
    out += "end ";
    out += QByteArray::number(entries.size());
    out += ' ';
    out += checkOf(out);
    out += '\n';
    return out;
}

namespace {

struct Closing
{
    qsizetype start = 0; // where the closing line begins
    quint64 count = 0;
};

// The closing line of a kept file: "end", the count of its entries and the check of every byte
// before the check; nothing when it is missing or does not match.
std::optional<Closing> closingOf(const QByteArray& bytes)
{
    if (bytes.size() < 2 || !bytes.endsWith('\n'))
        return std::nullopt;
    const qsizetype last = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
    const QByteArrayView closing = QByteArrayView(bytes).sliced(last).chopped(1);
    const qsizetype blank = closing.lastIndexOf(' ');
    if (last <= 0 || !closing.startsWith("end ") || blank <= 4 ||
        closing.sliced(blank + 1) != checkOf(QByteArrayView(bytes).first(last + blank + 1)))
        return std::nullopt;
    quint64 count = 0;
    const char* countAt = closing.data() + 4;
    if (!readNumber(countAt, closing.data() + blank + 1, false, nullptr, &count))
        return std::nullopt;
    return Closing{last, count};
}

} // namespace

std::optional<QList<KeptEntry>> decodeOrder(const QByteArray& bytes, const QByteArray& folder)
{
    const std::optional<Closing> closing = closingOf(bytes);
    if (!closing)
        return std::nullopt;
    const qsizetype last = closing->start;
    const quint64 count = closing->count;

    QByteArrayView rest = QByteArrayView(bytes).first(last);
    const auto nextLine = [&rest]() {
        const qsizetype end = rest.indexOf('\n');
        const QByteArrayView line = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        return line;
    };
    if (nextLine() != kHeader)
        return std::nullopt;
    const QByteArrayView folderLine = nextLine();
    if (!folderLine.startsWith("folder ") ||
        QByteArray::fromPercentEncoding(folderLine.sliced(7).toByteArray()) != folder)
        return std::nullopt;
    QList<KeptEntry> entries;
    entries.reserve(qsizetype(std::min<quint64>(count, quint64(rest.size() / 10))));
    const char* p = rest.data();
    const char* end = p + rest.size();
    while (p < end) {
        KeptEntry e;
        if (!readEntry(p, end, e))
            return std::nullopt;
        entries.append(std::move(e));
    }
    if (count != quint64(entries.size()))
        return std::nullopt;
    return entries;
}

QByteArray encodeClocks(const QByteArray& folder, const ClockOffsets& offsets)
{
    QByteArray out;
    out += kClocksHeader;
    out += "\nfolder ";
    out += folder.toPercentEncoding("/");
    out += '\n';
    qsizetype count = 0;
    for (auto it = offsets.cbegin(); it != offsets.cend(); ++it) {
        if (it.value() == 0)
            continue;
        out += QByteArray::number(it.value());
        out += ' ';
        // A device's key may hold bytes that are not UTF-8, kept as the names of files are.
        out += platform::encodeName(it.key()).toPercentEncoding();
        out += '\n';
        ++count;
    }
    out += "end ";
    out += QByteArray::number(count);
    out += ' ';
    out += checkOf(out);
    out += '\n';
    return out;
}

std::optional<ClockOffsets> decodeClocks(const QByteArray& bytes, const QByteArray& folder)
{
    const std::optional<Closing> closing = closingOf(bytes);
    if (!closing)
        return std::nullopt;
    const qsizetype last = closing->start;
    const quint64 count = closing->count;
    const QList<QByteArray> lines = bytes.first(last - 1).split('\n');
    if (lines.size() < 2 || lines[0] != kClocksHeader || !lines[1].startsWith("folder ") ||
        QByteArray::fromPercentEncoding(lines[1].sliced(7)) != folder || quint64(lines.size() - 2) != count)
        return std::nullopt;
    ClockOffsets offsets;
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QByteArray line = lines[i] + '\n';
        const char* p = line.constData();
        const char* end = p + line.size();
        qint64 offset = 0;
        if (!readNumber(p, end, true, &offset, nullptr) || offset == 0 || offset > kMaxKeptOffset ||
            offset < -kMaxKeptOffset)
            return std::nullopt;
        const QString key = platform::decodeName(QByteArray::fromPercentEncoding(QByteArray(p, end - p - 1)));
        if (offsets.contains(key))
            return std::nullopt;
        offsets.insert(key, offset);
    }
    return offsets;
}

QList<QByteArray> namesIn(const QByteArray& folder, const QList<QByteArray>& paths)
{
    QList<QByteArray> names;
    names.reserve(paths.size());
    for (const QByteArray& p : paths) {
        if (p.size() > folder.size() && p.startsWith(folder) && p.indexOf('/', folder.size()) < 0)
            names.append(p.sliced(folder.size()));
    }
    return names;
}

bool inNameOrder(const QList<QByteArray>& names)
{
    QString previous;
    for (qsizetype i = 0; i < names.size(); ++i) {
        QString text = platform::decodeName(names[i]);
        if (i > 0 && text < previous)
            return false;
        previous = std::move(text);
    }
    return true;
}

OrderStore::OrderStore(const QByteArray& stateFolder) : m_folder(stateFolder + "/orders") {}

QByteArray OrderStore::fileFor(const QByteArray& folder, QByteArrayView suffix) const
{
    return m_folder + '/' + QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex() + suffix;
}

QByteArray OrderStore::pathFor(const QByteArray& folder) const
{
    return fileFor(folder, kOrderSuffix);
}

QByteArray OrderStore::stashPathFor(const QByteArray& folder) const
{
    return fileFor(folder, kStashSuffix);
}

bool OrderStore::ensureFolder() const
{
    // The state folder may not be there yet on a new system; it is the user's own.
    int error = platform::makeOwnFolder(m_folder.first(m_folder.lastIndexOf('/')));
    if (error == 0)
        error = platform::makeOwnFolder(m_folder);
    errno = error; // the reason a failed write reports
    return error == 0;
}

void OrderStore::setAside(const QByteArray& path) const
{
    // Kept for a look, one per folder; the folder goes by name from now on.
    ::rename(path.constData(), QByteArray(path + ".damaged").constData());
}

OrderStore::Read OrderStore::readFile(const QByteArray& path, QByteArray* bytes) const
{
    // Not blocking: a FIFO in the file's place must not hold the window up.
    const renaming::UniqueFd file(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    const int fd = file.get();
    if (fd < 0) {
        // A lack of the moment says nothing about the file.
        if (errno == ENOENT || errno == EMFILE || errno == ENFILE || errno == ENOMEM || errno == EINTR)
            return Read::Nothing;
        return Read::Damaged;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kLargestFile)
        return Read::Damaged;
    bytes->resize(qsizetype(st.st_size));
    qsizetype got = 0;
    while (got < bytes->size()) {
        const ssize_t n = ::read(fd, bytes->data() + got, size_t(bytes->size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    if (got != bytes->size())
        return Read::Damaged;
    // Shown now: pruning goes by the time of the last change or showing.
    ::futimens(fd, nullptr);
    return Read::Whole;
}

OrderStore::Loaded OrderStore::load(const QByteArray& folder) const
{
    const QByteArray path = pathFor(folder);
    QByteArray bytes;
    const Read read = readFile(path, &bytes);
    if (read == Read::Nothing)
        return {};
    std::optional<QList<KeptEntry>> entries = read == Read::Whole ? decodeOrder(bytes, folder) : std::nullopt;
    if (!entries) {
        setAside(path);
        return {Found::SetAside, {}};
    }
    return {Found::Order, std::move(*entries)};
}

QByteArray OrderStore::clocksPathFor(const QByteArray& folder) const
{
    return fileFor(folder, kClocksSuffix);
}

OrderStore::LoadedClocks OrderStore::loadClocks(const QByteArray& folder) const
{
    const QByteArray path = clocksPathFor(folder);
    QByteArray bytes;
    const Read read = readFile(path, &bytes);
    if (read == Read::Nothing)
        return {};
    std::optional<ClockOffsets> offsets = read == Read::Whole ? decodeClocks(bytes, folder) : std::nullopt;
    if (!offsets) {
        setAside(path);
        return {Found::SetAside, {}};
    }
    return {Found::Order, std::move(*offsets)};
}

namespace {

// A write that failed says why, by the error it left.
bool withReason(bool ok, QString* errorText)
{
    if (!ok && errorText)
        *errorText = platform::errorText(errno);
    return ok;
}

} // namespace

bool OrderStore::writeClocks(const QByteArray& folder, const ClockOffsets& offsets, QString* errorText) const
{
    const QByteArray path = clocksPathFor(folder);
    bool ok = true;
    if (std::all_of(offsets.cbegin(), offsets.cend(), [](qint64 o) { return o == 0; })) {
        ok = ::unlink(path.constData()) == 0 || errno == ENOENT || errno == ENOTDIR;
        if (ok)
            renaming::FileOps::syncFolder(m_folder);
    } else {
        ok = ensureFolder() && writeWhole(m_folder, path, encodeClocks(folder, offsets));
    }
    return withReason(ok, errorText);
}

bool OrderStore::save(const QByteArray& folder, const QList<QByteArray>& shown, const QList<QByteArray>& hidden,
                      QString* errorText) const
{
    // Files of another extension are shown by themselves, so only their order among themselves
    // counts.
    if (inNameOrder(shown) && inNameOrder(hidden))
        return remove(folder, errorText);
    QList<KeptEntry> entries;
    entries.reserve(shown.size() + hidden.size());
    for (const QList<QByteArray>* names : {&shown, &hidden}) {
        for (const QByteArray& name : *names)
            entries.append({name, identityOf(folder + name).value_or(FileIdentity{})});
    }
    return write(folder, entries, errorText);
}

bool OrderStore::write(const QByteArray& folder, const QList<KeptEntry>& entries, QString* errorText) const
{
    return withReason(ensureFolder() && writeWhole(m_folder, pathFor(folder), encodeOrder(folder, entries)),
                      errorText);
}

bool OrderStore::remove(const QByteArray& folder, QString* errorText) const
{
    if (::unlink(pathFor(folder).constData()) == 0) {
        renaming::FileOps::syncFolder(m_folder);
        return true;
    }
    // An order left behind would come back in place of the names' order.
    if (errno == ENOENT || errno == ENOTDIR)
        return true;
    if (errorText)
        *errorText = platform::errorText(errno);
    return false;
}

void OrderStore::stash(const QByteArray& folder) const
{
    const QByteArray stash = stashPathFor(folder);
    if (::rename(pathFor(folder).constData(), stash.constData()) != 0)
        ::unlink(stash.constData());
    renaming::FileOps::syncFolder(m_folder);
}

void OrderStore::unstash(const QByteArray& folder) const
{
    if (::rename(stashPathFor(folder).constData(), pathFor(folder).constData()) == 0)
        renaming::FileOps::syncFolder(m_folder);
}

void OrderStore::prune(const Limits& limits, qint64 nowSeconds) const
{
    DIR* dir = ::opendir(m_folder.constData());
    if (!dir)
        return;
    struct File
    {
        QByteArray name;
        qint64 changed;
        qint64 bytes;
    };
    std::vector<File> files;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st;
        if (entry->d_name[0] == '.' ||
            ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        const QByteArray name(entry->d_name);
        const qint64 age = nowSeconds - qint64(st.st_mtim.tv_sec);
        if (age > (name.contains(kTempMark) ? kTempAgeSeconds : limits.maxAgeSeconds)) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
            continue;
        }
        if (!name.contains(kTempMark))
            files.push_back(
                {name, platform::fileTimeNs(st.st_mtim.tv_sec, st.st_mtim.tv_nsec), qint64(st.st_size)});
    }
    std::sort(files.begin(), files.end(), [](const File& a, const File& b) { return a.changed > b.changed; });
    qint64 bytes = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        bytes += files[i].bytes;
        // The newest always stays, whatever its size: it is the folder shown now.
        if (i > 0 && (qsizetype(i) >= limits.maxFiles || bytes > limits.maxBytes))
            ::unlinkat(::dirfd(dir), files[i].name.constData(), 0);
    }
    ::closedir(dir);
}

Placement::Placement(QList<KeptEntry> kept) : m_kept(std::move(kept))
{
    m_byName.reserve(m_kept.size());
    for (qsizetype i = 0; i < m_kept.size(); ++i)
        m_byName.emplace(m_kept[i].name, int(i)); // a name twice (not ours): the first place
    m_claimed.assign(size_t(m_kept.size()), false);
    m_unclaimed = m_kept.size();
}

QList<QByteArray> Placement::unclaimed() const
{
    QList<QByteArray> names;
    for (qsizetype i = 0; i < m_kept.size(); ++i)
        if (!m_claimed[size_t(i)])
            names.append(m_kept[i].name);
    return names;
}

int Placement::claim(int rank)
{
    if (!m_claimed[size_t(rank)]) {
        m_claimed[size_t(rank)] = true;
        --m_unclaimed;
    }
    return rank;
}

void Placement::claimRank(int rank)
{
    if (rank >= 0 && rank < m_kept.size())
        claim(rank);
}

int Placement::rankOf(const QByteArray& name, const QByteArray& path, FileIdentity* id)
{
    if (const auto it = m_byName.constFind(name); it != m_byName.cend())
        return claim(*it);
    // Only a kept file not seen yet can have been renamed; once every one is seen, no file
    // needs looking at. Most folders never need the identities.
    if (m_unclaimed == 0)
        return kUnkept;
    if (!m_inodesIndexed) {
        m_inodesIndexed = true;
        for (qsizetype i = 0; i < m_kept.size(); ++i) {
            const FileIdentity& id = m_kept[i].id;
            if (id.known())
                m_byInode.emplace(std::pair{id.dev, id.ino}, int(i)); // a second link is found by its name
        }
    }
    if (m_byInode.isEmpty())
        return kUnkept;
    if (!id->known())
        *id = identityOf(path).value_or(FileIdentity{});
    if (!id->known())
        return kUnkept;
    const auto it = m_byInode.constFind({id->dev, id->ino});
    if (it == m_byInode.cend() || m_claimed[size_t(*it)] || m_kept[*it].id != *id)
        return kUnkept;
    return claim(*it);
}

} // namespace ordering
