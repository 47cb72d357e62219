#include "renaming/Renamer.h"

#include "renaming/Internal.h"
#include "renaming/Names.h"
#include "platform/OwnFolders.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace renaming {

namespace internal {

QString errorText(int error)
{
    if (error == kSourceChanged)
        return QStringLiteral("Die Datei wurde währenddessen verändert");
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray tempName(const QByteArray& folder, const QByteArray& runId, qsizetype n)
{
    return joinPath(folder, kTempPrefix + runId + '-' + QByteArray::number(n));
}

bool cleanPath(const QByteArray& path)
{
    if (!path.startsWith('/') || path.size() < 2 || path.contains('\0'))
        return false;
    const QList<QByteArray> parts = path.mid(1).split('/');
    return std::none_of(parts.cbegin(), parts.cend(),
                        [](const QByteArray& part) { return part.isEmpty() || part == "." || part == ".."; });
}

QList<RecordedFolder> recordedFolders(const QList<QByteArray>& folders)
{
    QList<RecordedFolder> recorded;
    for (const QByteArray& folder : folders)
        recorded.append({folder, fileSystemId(folder).value_or(FileSystemId{})});
    return recorded;
}

QByteArray commonFolder(const QList<QByteArray>& paths)
{
    QHash<QByteArray, int> count;
    QByteArray common;
    for (const QByteArray& path : paths) {
        const int n = ++count[folderOf(path)];
        if (n > count.value(common))
            common = folderOf(path);
    }
    return common;
}

QSet<QByteArray> listNames(const QByteArray& folder)
{
    QSet<QByteArray> names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir))
            names.insert(QByteArray(entry->d_name));
        ::closedir(dir);
    }
    return names;
}

QList<QByteArray> foldersOf(const QList<Entry>& entries)
{
    QSet<QByteArray> folders;
    for (const Entry& e : entries) {
        folders.insert(folderOf(e.source));
        folders.insert(folderOf(e.final));
    }
    return folders.values();
}

void syncFolders(const QList<Entry>& entries)
{
    for (const QByteArray& folder : foldersOf(entries))
        FileOps::syncFolder(folder);
}

QByteArray readAll(int fd)
{
    QByteArray text;
    char buffer[65536];
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return text;
        text.append(buffer, n);
    }
}

QString failuresText(const QStringList& failures)
{
    constexpr qsizetype kShown = 3;
    QString text = failures.mid(0, kShown).join(QLatin1Char('\n'));
    if (failures.size() > kShown)
        text += QStringLiteral("\n… und %1 weitere").arg(failures.size() - kShown);
    return text;
}

} // namespace internal

using namespace internal;

namespace {

// How many files go through a hidden name, and so take a second step.
int secondPassOf(const QList<Entry>& entries)
{
    return static_cast<int>(std::count_if(entries.cbegin(), entries.cend(), [](const Entry& e) { return !e.direct(); }));
}

QByteArray newRunId()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
}

QByteArray inodeKey(const FileId& id)
{
    return QByteArray::number(id.dev) + ':' + QByteArray::number(id.ino);
}

bool onOtherFileSystem(const FileId& file, const FileId& folder)
{
    // Two mounts of one file system (a bind mount) refuse renames between them too.
    if (file.mount && folder.mount)
        return file.mount != folder.mount;
    return file.dev != folder.dev;
}

// Sizes in messages: what is needed rounded up, what is free rounded down.
QString sizeText(qint64 bytes, bool up)
{
    const qint64 kb = up ? (bytes + 1023) / 1024 : bytes / 1024;
    if (kb < 10 * 1024)
        return QStringLiteral("%1 KB").arg(kb);
    return QStringLiteral("%1 MB").arg(up ? (kb + 1023) / 1024 : kb / 1024);
}

} // namespace

QByteArray defaultStateFolder()
{
    QByteArray base = qgetenv("XDG_STATE_HOME");
    if (!base.startsWith('/')) // relative values are to be ignored
        base = QFile::encodeName(QDir::homePath()) + "/.local/state";
    return base + "/Tessaline";
}

Renamer::Renamer(QByteArray stateFolder) : m_state(std::move(stateFolder)) {}

QByteArray Renamer::undoRecordPath() const
{
    return m_state + "/last-rename.undo";
}

QString Renamer::shown(const QByteArray& path) const
{
    return m_display ? m_display(path) : QString::fromUtf8(path);
}

const FolderInfo& Renamer::infoOf(const QByteArray& folder) const
{
    if (const auto it = m_folders.find(folder); it != m_folders.end())
        return it->second;
    return m_folders.emplace(folder, m_ops.info(folder)).first->second;
}

Result Renamer::run(const QList<Move>& moves, const QByteArray& targetFolder)
{
    QList<Planned> planned;
    planned.reserve(moves.size());
    for (const Move& m : moves)
        planned.append({m.source, targetFolder, m.newName, nullptr});
    return execute(planned, false, targetFolder);
}

QString Renamer::plan(const QList<Planned>& moves, const QByteArray& runId, QList<Entry>* entries) const
{
    struct Folder
    {
        QByteArray path;
        FileId id;
        FolderInfo info;
        QByteArray key;
        // The names it holds by their folded form, listed when first asked for.
        std::optional<QHash<QByteArray, QList<QByteArray>>> byFold;
    };
    std::map<QByteArray, Folder> folders;
    QString error;
    const auto folder = [&](const QByteArray& path) -> Folder* {
        if (const auto it = folders.find(path); it != folders.end())
            return &it->second;
        int e = 0;
        const std::optional<FileId> id = fileId(path, true, &e);
        if (!id) {
            error = QStringLiteral("Der Ordner \"%1\" ist nicht erreichbar: %2.").arg(shown(path), errorText(e));
            return nullptr;
        }
        if (!S_ISDIR(id->mode)) {
            error = QStringLiteral("\"%1\" ist kein Ordner.").arg(shown(path));
            return nullptr;
        }
        if (::access(path.constData(), W_OK | X_OK) != 0) {
            error = QStringLiteral("In den Ordner \"%1\" kann nicht geschrieben werden: %2.")
                        .arg(shown(path), errorText(errno));
            return nullptr;
        }
        const QByteArray key = inodeKey(*id) + '/';
        return &folders.emplace(path, Folder{path, *id, infoOf(path), key, std::nullopt}).first->second;
    };
    const auto heldNames = [](Folder& f, const QByteArray& name) {
        if (!f.byFold) {
            f.byFold.emplace();
            for (const QByteArray& stored : listNames(f.path))
                (*f.byFold)[foldedName(stored)].append(stored);
        }
        return f.byFold->value(foldedName(name));
    };
    const auto nameKey = [](const Folder* f, const QByteArray& name) -> QByteArray {
        return f->key + (f->info.ignoresCase ? foldedName(name) : name);
    };

    struct Work
    {
        const Planned* p;
        FileId file;
        qint64 size; // of the file a link leads to
        Folder* from;
        Folder* to;
        bool unchanged;
    };
    QList<Work> work;
    work.reserve(moves.size());
    QHash<QByteArray, qsizetype> sources; // the run's files by folder and name as stored
    QHash<QByteArray, qsizetype> wanted;  // by the key of their new name
    QHash<QByteArray, qsizetype> inodes;
    sources.reserve(moves.size());
    wanted.reserve(moves.size());
    inodes.reserve(moves.size());
    for (const Planned& p : moves) {
        const QByteArray& name = p.name;
        Folder* to = folder(p.folder);
        if (!to)
            return error;
        if (const QString why = nameProblem(p, to->info); !why.isEmpty())
            return why;
        // Recovery and undo take only such paths for the run's own.
        for (const QByteArray& path : {p.source, joinPath(p.folder, "x")}) {
            if (!cleanPath(path))
                return QStringLiteral("\"%1\" ist kein eindeutiger Pfad: Er muss absolut sein, ohne \".\", \"..\" oder "
                                      "leere Teile.")
                    .arg(shown(path == p.source ? p.source : p.folder));
        }
        Folder* from = folder(folderOf(p.source));
        if (!from)
            return error;
        int e = 0;
        const std::optional<FileId> file = m_ops.id(p.source, false, &e);
        if (!file)
            return QStringLiteral("Die Datei \"%1\" ist nicht mehr da: %2.").arg(shown(p.source), errorText(e));
        const std::optional<FileId> content = file->isLink() ? m_ops.id(p.source, true) : file;
        if (!content || !content->isRegular())
            return QStringLiteral("\"%1\" ist keine gewöhnliche Datei.").arg(shown(p.source));
        if (p.recorded && !stillSameFile(*p.recorded, *file, from->info))
            return QStringLiteral("\"%1\" wurde seit der Umbenennung verändert.").arg(shown(p.source));
        if (file->isLink() && from->key != to->key && !onOtherFileSystem(*file, to->id)) {
            // Renamed into another folder, a link keeps its text; a relative one would point elsewhere.
            char target[PATH_MAX];
            const ssize_t n = ::readlink(p.source.constData(), target, sizeof target);
            if (n <= 0 || target[0] != '/')
                return QStringLiteral("\"%1\" ist eine symbolische Verknüpfung mit einem relativen Ziel (\"%2\"). In "
                                      "\"%3\" zeigte sie ins Leere; bitte verschieben Sie sie von Hand.")
                    .arg(shown(p.source), shown(QByteArray(target, qMax<ssize_t>(n, 0))), shown(p.folder));
        }
        const QByteArray oldName = fileNameOf(p.source);
        const QByteArray sourceKey = from->key + oldName;
        if (sources.contains(sourceKey))
            return QStringLiteral("\"%1\" steht mehr als einmal in der Liste.").arg(shown(p.source));
        sources.insert(sourceKey, work.size());
        // Recovery knows the files of a run by their inode numbers, so two names of one file would
        // each pass for the other.
        const QByteArray inode = inodeKey(*file);
        if (const auto other = inodes.constFind(inode); other != inodes.cend() && file->links > 1)
            return QStringLiteral("\"%1\" und \"%2\" sind zwei Namen derselben Datei (harte Verknüpfung). Tessaline "
                                  "benennt eine Datei nicht unter zwei Namen zugleich um.")
                .arg(shown(work[*other].p->source), shown(p.source));
        inodes.insert(inode, work.size());
        const QByteArray key = nameKey(to, name);
        if (const auto other = wanted.constFind(key); other != wanted.cend()) {
            const Planned& q = *work[*other].p;
            QString text = QStringLiteral("\"%1\" und \"%2\" sollen beide \"%3\" heißen.")
                               .arg(shown(q.source), shown(p.source), shown(name));
            if (q.name != name)
                text += QStringLiteral(" Der Zielordner unterscheidet nicht zwischen Groß- und Kleinbuchstaben.");
            return text;
        }
        wanted.insert(key, work.size());
        work.append({&p, *file, content->size, from, to, from->key == to->key && oldName == name});
    }

    // A link to another file of the run would point at a name the run takes away. The chain of
    // links is followed by the inode numbers of the files as they are, which a simulated card
    // makes up.
    QHash<QByteArray, qsizetype> real;
    for (qsizetype i = 0; i < work.size(); ++i) {
        if (!work[i].file.isLink())
            continue;
        if (real.isEmpty()) {
            for (qsizetype j = 0; j < work.size(); ++j) {
                if (const std::optional<FileId> id = fileId(work[j].p->source))
                    real.insert(inodeKey(*id), j);
            }
        }
        QByteArray path = work[i].p->source;
        for (int hop = 0; hop < 40; ++hop) { // as many as the kernel follows
            char target[PATH_MAX];
            const ssize_t n = ::readlink(path.constData(), target, sizeof target);
            if (n <= 0)
                break;
            const QByteArray text(target, n);
            path = text.startsWith('/') ? text : joinPath(folderOf(path), text);
            const std::optional<FileId> at = fileId(path);
            if (!at)
                break;
            const qsizetype j = real.value(inodeKey(*at), -1);
            if (j >= 0 && j != i && !work[j].unchanged)
                return QStringLiteral("\"%1\" ist eine symbolische Verknüpfung auf \"%2\", das mit umbenannt wird; "
                                      "danach zeigte sie ins Leere. Tessaline benennt eine Verknüpfung nicht "
                                      "zusammen mit ihrem Ziel um.")
                    .arg(shown(work[i].p->source), shown(work[j].p->source));
            if (!at->isLink())
                break;
        }
    }

    // A new name may only be held by a file that leaves it in this run. Which file holds it is
    // read from the folder's listing, compared as the folder compares names: where letter case
    // is ignored, FUSE gives each spelling of a name an inode number of its own.
    bool viaTemp = false;
    std::map<const Folder*, QList<qsizetype>> copies;
    for (qsizetype i = 0; i < work.size(); ++i) {
        const Work& w = work[i];
        if (w.unchanged)
            continue;
        const QByteArray final = joinPath(w.p->folder, w.p->name);
        int e = 0;
        const std::optional<FileId> holder = m_ops.id(final, false, &e);
        if (!holder && e != ENOENT)
            return QStringLiteral("\"%1\" kann nicht geprüft werden: %2.").arg(shown(final), errorText(e));
        QList<QByteArray> held;
        if (w.to->info.ignoresCase)
            held = heldNames(*w.to, w.p->name);
        else if (holder)
            held.append(w.p->name);
        if (holder || !held.isEmpty()) {
            bool ours = !held.isEmpty() && std::all_of(held.cbegin(), held.cend(), [&](const QByteArray& n) {
                return sources.contains(w.to->key + n);
            });
            // A folder that ignores case without telling: the holder is a file of the run under
            // another spelling, as its inode number shows.
            if (!ours && holder && !w.to->info.ignoresCase && w.to->info.stableInodes) {
                const qsizetype j = inodes.value(inodeKey(*holder), -1);
                ours = j >= 0 && work[j].from->key == w.to->key;
            }
            if (!ours)
                return QStringLiteral("Den Namen \"%1\" trägt in \"%2\" schon eine Datei, die nicht mit umbenannt wird.")
                    .arg(shown(w.p->name), shown(w.p->folder));
            viaTemp = true;
        }
        if (onOtherFileSystem(w.file, w.to->id))
            copies[w.to].append(i);
    }

    // Copies take whole blocks, and a folder's entries take room too (as many as FAT needs for a
    // long name, for the temporary and for the new name).
    const qsizetype tempLength = kTempPrefix.size() + runId.size() + 6;
    for (const auto& [to, list] : copies) {
        const std::optional<Space> space = m_ops.space(to->path);
        if (!space || space->unit <= 0)
            continue;
        const qint64 unit = space->unit;
        qint64 units = 1;
        qint64 folderBytes = 0;
        for (const qsizetype i : list) {
            units += (work[i].size + unit - 1) / unit;
            folderBytes += 32 * (4 + (tempLength + 14) / 15 + (work[i].p->name.size() + 14) / 15);
        }
        units += (folderBytes + unit - 1) / unit;
        if (units > space->freeUnits)
            return QStringLiteral("In \"%1\" ist nicht genug Platz: %2 werden gebraucht, %3 sind frei.")
                .arg(shown(to->path), sizeText(units * unit, true), sizeText(space->freeUnits * unit, false));
        if (space->freeFiles >= 0 && list.size() > space->freeFiles)
            return QStringLiteral("In \"%1\" können nur noch %2 Dateien angelegt werden, gebraucht werden %3.")
                .arg(shown(to->path))
                .arg(space->freeFiles)
                .arg(list.size());
    }

    for (const Work& w : work) {
        if (w.unchanged)
            continue;
        Entry e;
        e.kind = onOtherFileSystem(w.file, w.to->id) ? Kind::Copy : Kind::Rename;
        e.source = w.p->source;
        e.final = joinPath(w.p->folder, w.p->name);
        const bool hidden = viaTemp || e.kind == Kind::Copy;
        e.temp = hidden ? tempName(folderOf(e.final), runId, entries->size()) : e.final;
        e.id = w.file;
        entries->append(e);
    }
    return {};
}

QString Renamer::nameProblem(const Planned& p, const FolderInfo& info) const
{
    const QByteArray& name = p.name;
    if (name.isEmpty() || name == "." || name == "..")
        return QStringLiteral("\"%1\" ist kein gültiger Name für \"%2\".").arg(shown(name), shown(p.source));
    if (name.contains('/'))
        return QStringLiteral("Der neue Name \"%1\" für \"%2\" enthält einen Schrägstrich (/).")
            .arg(shown(name), shown(p.source));
    if (name.contains('\0'))
        return QStringLiteral("Der neue Name für \"%1\" enthält ein Nullzeichen.").arg(shown(p.source));
    if (name.size() > info.nameMax)
        return QStringLiteral("Der neue Name \"%1\" ist %2 Bytes lang; in \"%3\" sind höchstens %4 erlaubt.")
            .arg(shown(name))
            .arg(name.size())
            .arg(shown(p.folder))
            .arg(info.nameMax);
    if (info.names == NameRules::Posix)
        return {};

    // A name such a file system cannot hold fails only at its rename, and fusefat takes the file
    // with it then.
    const QString kind = QString::fromUtf8(info.kind);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(name);
    if (utf8.hasError())
        return QStringLiteral("Der Name \"%1\" ist kein gültiger UTF-8-Text; das Dateisystem des Ziels (%2) kann "
                              "ihn nicht speichern.")
            .arg(shown(name), kind);
    static const QString forbidden = QStringLiteral("\"*:<>?\\|");
    for (const char32_t c : text.toUcs4()) {
        if (c < 0x20)
            return QStringLiteral("Der Name \"%1\" enthält das Steuerzeichen U+%2, das das Dateisystem des Ziels "
                                  "(%3) nicht erlaubt.")
                .arg(shown(name), QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0')), kind);
        if ((c < 0x80 && forbidden.contains(QLatin1Char(char(c)))) || (info.names == NameRules::FuseFat && c > 0x7e))
            return QStringLiteral("Der Name \"%1\" enthält \"%2\", den das Dateisystem des Ziels (%3) nicht erlaubt.")
                .arg(shown(name), shown(QString::fromUcs4(&c, 1).toUtf8()), kind);
    }
    if (name.endsWith('.') || name.endsWith(' '))
        return QStringLiteral("Der Name \"%1\" endet auf %2, was das Dateisystem des Ziels (%3) nicht erlaubt.")
            .arg(shown(name), name.endsWith('.') ? QStringLiteral("einen Punkt") : QStringLiteral("ein Leerzeichen"),
                 kind);
    constexpr qsizetype kLongest = 255; // UTF-16 units
    if (text.size() > kLongest)
        return QStringLiteral("Der neue Name \"%1\" ist %2 Zeichen lang; das Dateisystem des Ziels (%3) erlaubt "
                              "höchstens %4.")
            .arg(shown(name))
            .arg(text.size())
            .arg(kind)
            .arg(kLongest);
    return {};
}

int Renamer::move(const QByteArray& from, const QByteArray& to)
{
    return m_ops.moveNoReplace(from, to, stableAt(to));
}

int Renamer::toTemp(Entry& e)
{
    // The journal knows the file by what it was when planned: another file that took its name
    // since could not be found again.
    int error = 0;
    const std::optional<FileId> now = m_ops.id(e.source, false, &error);
    if (!now)
        return error;
    if (!stillSameFile(e.id, *now, infoOf(folderOf(e.source))))
        return kSourceChanged;
    if (e.kind == Kind::Copy) {
        error = m_ops.copyNew(e.source, e.temp, &e.copy);
        if (error == 0)
            e.at = Where::Temp;
        return error;
    }
    error = move(e.source, e.temp);
    if (error == 0)
        e.at = e.direct() ? Where::Final : Where::Temp;
    return error;
}

int Renamer::toFinal(Entry& e)
{
    const int error = move(e.temp, e.final);
    if (error == 0)
        e.at = e.kind == Kind::Copy && e.changed ? Where::SourceRemoved : Where::Final;
    return error;
}

int Renamer::moveBack(Entry& e)
{
    int error = 0;
    if (e.kind == Kind::Copy && e.changed) {
        // A copy whose original is gone or changed is the file now: it leaves its hidden name for
        // its new one, whichever way the run goes.
        if (e.at == Where::Temp && (error = move(e.temp, e.final)) == 0)
            e.at = Where::SourceRemoved;
    } else if (e.kind == Kind::Copy) {
        // Its original is still there.
        if ((error = m_ops.unlink(e.at == Where::Final ? e.final : e.temp)) == 0)
            e.at = Where::Source;
    } else if (e.at == Where::Final && !e.direct()) {
        if ((error = move(e.final, e.temp)) == 0)
            e.at = Where::Temp;
    } else if ((error = move(e.at == Where::Final ? e.final : e.temp, e.source)) == 0) {
        e.at = Where::Source;
    }
    return error;
}

bool Renamer::mark(Drive& d, const QByteArray& line)
{
    if (const int error = m_ops.append(d.fd, line, Op::MarkJournal, d.path)) {
        d.failures.append(QStringLiteral("Das Protokoll \"%1\" kann nicht fortgeschrieben werden: %2.")
                              .arg(shown(d.path), errorText(error)));
        return false;
    }
    return true;
}

bool Renamer::forward(Drive& d, const GoOn& goOn)
{
    QList<Entry>& entries = d.journal.entries;
    const int files = static_cast<int>(entries.size());
    for (int i = 0; i < files; ++i) {
        Entry& e = entries[i];
        if (e.at != Where::Source || e.changed)
            continue;
        if (goOn && !goOn(i + 1, files)) {
            d.cancelled = true;
            return false;
        }
        if (const int error = toTemp(e)) {
            d.failures.append(failureText(e, error));
            return false;
        }
    }
    syncFolders(entries);
    if (!d.journal.finish) {
        if (!mark(d, finishMark(entries)))
            return false;
        d.journal.finish = true;
    }
    const int second = secondPassOf(entries);
    int n = 0;
    for (Entry& e : entries) {
        if (e.at != Where::Temp)
            continue;
        if (goOn && !goOn(++n, second)) {
            d.cancelled = true;
            return false;
        }
        if (const int error = toFinal(e)) {
            d.failures.append(failureText(e, error));
            return false;
        }
    }
    if (n > 0)
        syncFolders(entries);
    return true;
}

bool Renamer::back(Drive& d)
{
    Journal& j = d.journal;
    QList<Entry>& entries = j.entries;
    const auto atNew = [](const Entry& e) { return e.at == Where::Final && !e.changed; };
    // Files at their new names go first, so that no old name is still held when its file comes back.
    const auto stepBack = [&](const std::function<bool(const Entry&)>& which) {
        bool ok = true;
        for (qsizetype i = entries.size() - 1; i >= 0; --i) {
            Entry& e = entries[i];
            if (!which(e))
                continue;
            if (const int error = moveBack(e)) {
                d.failures.append(QStringLiteral("\"%1\" konnte nicht zurückbenannt werden: %2.")
                                      .arg(shown(e.source), errorText(error)));
                ok = false;
            }
        }
        return ok;
    };
    if (j.finish && !j.back) {
        // Until the back mark, a name that is one file's new name and another's old one counts as
        // holding the former: no file may reach an old name before every file has left its new one.
        if (!j.rollback && !mark(d, rollbackMark()))
            return false;
        j.rollback = true;
        if (!stepBack(atNew))
            return false;
        syncFolders(entries);
        if (!mark(d, backMark()))
            return false;
        j.back = true;
    } else if (!j.rollback) {
        // Before a finish mark the files are at their old or temporary names whatever this says;
        // it only keeps a later start from going on, so a failure to write it changes nothing.
        j.rollback = m_ops.append(d.fd, rollbackMark(), Op::MarkJournal, d.path) == 0;
    }
    bool ok = stepBack(atNew);
    ok = stepBack([](const Entry& e) { return e.at == Where::Temp; }) && ok;
    syncFolders(entries);
    return ok;
}

void Renamer::removeSources(QList<Entry>& entries, QStringList* remarks)
{
    bool removed = false;
    for (Entry& e : entries) {
        if (e.kind != Kind::Copy || e.at != Where::Final || e.changed)
            continue;
        const std::optional<FileId> now = m_ops.id(e.source);
        if (!now || !stillSameFile(e.id, *now, infoOf(folderOf(e.source)))) {
            remarks->append(QStringLiteral("Das Original \"%1\" hat sich während des Kopierens verändert und bleibt erhalten.")
                                .arg(shown(e.source)));
            continue;
        }
        if (const int error = m_ops.unlink(e.source)) {
            remarks->append(QStringLiteral("Das Original \"%1\" der Kopie \"%2\" konnte nicht entfernt werden: %3.")
                                .arg(shown(e.source), shown(e.final), errorText(error)));
        } else {
            e.at = Where::SourceRemoved;
            removed = true;
        }
    }
    if (removed)
        syncFolders(entries);
}

void Renamer::finish(const Journal& journal, const QByteArray& journalPath, QStringList* remarks)
{
    if (journal.undoRun) {
        const int error = m_ops.unlink(undoRecordPath(), Op::RemoveUndo);
        if (error != 0 && error != ENOENT)
            remarks->append(QStringLiteral("Die Aufzeichnung \"%1\" konnte nicht entfernt werden: %2.")
                                .arg(shown(undoRecordPath()), errorText(error)));
    } else {
        // Only a run whose every file was seen at its new name can be undone.
        QList<UndoItem> items;
        bool complete = true;
        for (const Entry& e : journal.entries) {
            complete = complete && !e.changed && (e.at == Where::Final || e.at == Where::SourceRemoved);
            if (!complete)
                break;
            // A rename keeps the file's identity; a copy's is known once it is made, unless the
            // run was finished by a later start.
            const FileId id = e.kind == Kind::Rename ? e.id : e.copy.ino ? e.copy : m_ops.id(e.final).value_or(e.copy);
            items.append({e.kind, id, e.final, e.source});
        }
        UndoRecord record;
        record.folders = journal.folders.isEmpty() ? recordedFolders(foldersOf(journal.entries)) : journal.folders;
        record.items = items;
        int error = complete ? m_ops.writeWhole(undoRecordPath(), undoText(record), Op::WriteUndo) : ENOENT;
        if (complete && error)
            remarks->append(QStringLiteral("Die Umbenennung kann nicht rückgängig gemacht werden: \"%1\" kann "
                                           "nicht geschrieben werden: %2.")
                                .arg(shown(undoRecordPath()), errorText(error)));
        // The record of an earlier run would offer to undo that one as the last.
        if (error)
            error = m_ops.unlink(undoRecordPath(), Op::RemoveUndo);
        if (error != 0 && error != ENOENT)
            remarks->append(QStringLiteral("Die Aufzeichnung \"%1\" einer früheren Umbenennung konnte nicht entfernt "
                                           "werden: %2.")
                                .arg(shown(undoRecordPath()), errorText(error)));
    }
    if (journalPath.isEmpty())
        return;
    if (const int error = m_ops.unlink(journalPath, Op::RemoveJournal))
        remarks->append(QStringLiteral("Das Protokoll \"%1\" konnte nicht entfernt werden: %2.")
                            .arg(shown(journalPath), errorText(error)));
}

QString Renamer::failureText(const Entry& e, int error) const
{
    if (error == kSourceChanged)
        return QStringLiteral("\"%1\" wurde verändert, während es %2 werden sollte.")
            .arg(shown(e.source), e.kind == Kind::Copy ? QStringLiteral("kopiert") : QStringLiteral("umbenannt"));
    // The step that failed: from the old name, or from the hidden one.
    const bool first = e.at == Where::Source;
    const bool hidden = first && !e.direct();
    QString why = errorText(error);
    if (error == EEXIST && hidden)
        why = e.kind == Kind::Copy
                  ? QStringLiteral("Den vorläufigen Namen \"%1\" trägt schon eine andere Datei").arg(shown(e.temp))
                  : QStringLiteral("Diesen Namen trägt schon eine andere Datei");
    // exfat-fuse answers so for a name it cannot hold.
    if (error == ENOENT && m_ops.id(first ? e.source : e.temp))
        why += QStringLiteral(" (die Datei ist noch da; das Dateisystem des Ziels nimmt den Namen nicht an)");
    if (e.kind == Kind::Copy && first)
        return QStringLiteral("\"%1\" konnte nicht nach \"%2\" kopiert werden: %3.")
            .arg(shown(e.source), shown(folderOf(e.final)), why);
    if (hidden)
        return QStringLiteral("\"%1\" konnte nicht in den vorläufigen Namen \"%2\" umbenannt werden: %3.")
            .arg(shown(e.source), shown(e.temp), why);
    return QStringLiteral("\"%1\" konnte nicht in \"%2\" umbenannt werden: %3.")
        .arg(shown(e.source), shown(fileNameOf(e.final)), why);
}

bool Renamer::verify(QList<Entry>& entries) const
{
    bool all = true;
    for (Entry& e : entries) {
        const QByteArray* path = e.at == Where::Source ? &e.source
                                 : e.at == Where::Temp ? &e.temp
                                 : e.at == Where::Final || e.at == Where::SourceRemoved ? &e.final
                                                                                        : nullptr;
        if (path && !m_ops.id(*path)) {
            e.at = Where::Lost;
            all = false;
        }
    }
    return all;
}

QString Renamer::whereTheyAre(const QList<Entry>& entries, Where home) const
{
    QStringList lines;
    for (const Entry& e : entries) {
        const bool atHome = e.at == home || (home == Where::Final && e.at == Where::SourceRemoved);
        if (atHome && !e.changed)
            continue;
        const QString changed = e.changed ? QStringLiteral(" und wurde inzwischen verändert") : QString();
        switch (e.at) {
        case Where::Source:
            lines.append(e.changed ? QStringLiteral("\"%1\" wurde verändert und hat noch diesen Namen").arg(shown(e.source))
                                   : QStringLiteral("\"%1\" hat noch diesen Namen").arg(shown(e.source)));
            break;
        case Where::Temp:
            lines.append(e.kind == Kind::Copy
                             ? QStringLiteral("\"%1\" ist eine Kopie von \"%2\"").arg(shown(e.temp), shown(e.source))
                             : QStringLiteral("\"%1\" liegt als \"%2\"%3").arg(shown(e.source), shown(e.temp), changed));
            break;
        case Where::Final:
            lines.append(e.kind == Kind::Copy
                             ? QStringLiteral("\"%1\" ist eine%3 Kopie von \"%2\"")
                                   .arg(shown(e.final), shown(e.source), e.changed ? QStringLiteral(" veränderte") : QString())
                             : QStringLiteral("\"%1\" liegt als \"%2\"%3").arg(shown(e.source), shown(e.final), changed));
            break;
        case Where::SourceRemoved:
            lines.append(e.changed ? QStringLiteral("\"%1\" ist eine Kopie von \"%2\", das inzwischen verändert "
                                                    "wurde oder fehlt")
                                         .arg(shown(e.final), shown(e.source))
                                   : QStringLiteral("\"%1\" liegt als \"%2\"; das Original ist entfernt")
                                         .arg(shown(e.source), shown(e.final)));
            break;
        case Where::Lost:
            lines.append(QStringLiteral("\"%1\" ist weder unter diesem noch unter dem Namen \"%2\" unverändert zu finden")
                             .arg(shown(e.source), shown(e.final)));
            if (e.kind == Kind::Copy && m_ops.id(e.temp))
                lines.last() += QStringLiteral("; eine unvollständige Kopie liegt als \"%1\"").arg(shown(e.temp));
            break;
        case Where::Unclear:
            lines.append(QStringLiteral("\"%1\" hat entweder noch diesen Namen oder schon den Namen \"%2\": Dateien "
                                        "gleicher Größe und Zeit sind auf diesem Dateisystem nicht zu unterscheiden")
                             .arg(shown(e.source), shown(e.final)));
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

Result Renamer::execute(const QList<Planned>& moves, bool undoRun, const QByteArray& target)
{
    m_ops.restartCount();
    m_folders.clear();
    const QString nothing = undoRun ? QStringLiteral("Es wurde nichts zurückbenannt.")
                                    : QStringLiteral("Es wurde nichts umbenannt.");
    const QString allBack = QStringLiteral("Alle Dateien haben wieder ihre vorigen Namen.");
    Result result;
    const QByteArray runId = newRunId();
    Journal journal;
    journal.undoRun = undoRun;
    journal.target = target;
    QList<Entry>& entries = journal.entries;
    if (const QString why = plan(moves, runId, &entries); !why.isEmpty()) {
        result.outcome = Result::Outcome::Refused;
        result.message = nothing + QStringLiteral("\n\n") + why;
        return result;
    }
    if (entries.isEmpty()) {
        if (undoRun)
            m_ops.unlink(undoRecordPath(), Op::RemoveUndo);
        return result;
    }

    journal.folders = recordedFolders(foldersOf(entries));
    if (const int error = platform::makeOwnFolder(m_state)) {
        result.outcome = Result::Outcome::Refused;
        result.message = nothing + QStringLiteral("\n\nDer Ordner \"%1\" für das Protokoll kann nicht angelegt werden: %2.")
                                       .arg(shown(m_state), errorText(error));
        return result;
    }
    const QByteArray journalPath = m_state + "/rename-" + runId + kJournalSuffix;
    int fd = -1;
    if (const int error = m_ops.writeWhole(journalPath, journalText(journal), Op::WriteJournal, &fd)) {
        result.outcome = Result::Outcome::Refused;
        result.message = nothing + QStringLiteral("\n\nDas Protokoll \"%1\" kann nicht geschrieben werden: %2.")
                                       .arg(shown(journalPath), errorText(error));
        return result;
    }
    const UniqueFd held(fd);

    const int files = static_cast<int>(entries.size());
    const int secondPass = secondPassOf(entries);
    int step = 0;
    const GoOn goOn = [&](int file, int of) {
        return !m_progress || m_progress(Progress{file, of, ++step, files + secondPass});
    };
    Drive d{journal, journalPath, fd, {}, false};
    const auto renamed = [&] {
        for (const Entry& e : entries) {
            if (e.at == Where::Final || e.at == Where::SourceRemoved)
                result.renamed.append({e.source, e.final});
        }
    };
    if (forward(d, goOn)) {
        const bool allThere = verify(entries);
        QStringList remarks;
        removeSources(entries, &remarks);
        finish(journal, journalPath, &remarks);
        renamed();
        if (!allThere) {
            result.outcome = Result::Outcome::Incomplete;
            remarks.prepend(QStringLiteral("Nicht jede Datei ist dort, wo sie nach dem Umbenennen sein sollte:\n") +
                            whereTheyAre(entries, Where::Final));
        }
        result.message = remarks.join(QStringLiteral("\n\n"));
        return result;
    }

    // Should this process die now, the next start goes on by what the journal holds.
    const bool allBackNow = back(d);
    const bool seen = verify(entries);
    renamed();
    const QString failure = d.failures.value(0);
    const bool onlyLost = std::all_of(entries.cbegin(), entries.cend(),
                                      [](const Entry& e) { return e.at == Where::Source || e.at == Where::Lost; });
    if (allBackNow && seen) {
        m_ops.unlink(journalPath, Op::RemoveJournal);
        result.outcome = d.cancelled ? Result::Outcome::Cancelled : Result::Outcome::RolledBack;
        result.message = d.cancelled ? QString(QStringLiteral("Abgebrochen. ") + allBack)
                                     : QString(nothing + QStringLiteral("\n\n") + failure + QStringLiteral("\n\n") + allBack);
        return result;
    }
    result.outcome = Result::Outcome::Incomplete;
    QStringList what = d.failures;
    if (d.cancelled)
        what.prepend(QStringLiteral("Abgebrochen."));
    result.message = failuresText(what) +
                     QStringLiteral("\n\nNicht alles ließ sich rückgängig machen. Diese Dateien liegen jetzt so:\n") +
                     whereTheyAre(entries, Where::Source);
    if (std::any_of(entries.cbegin(), entries.cend(), [](const Entry& e) { return e.at == Where::Source; }))
        result.message += QStringLiteral("\n\nAlle anderen haben ihre vorigen Namen.");
    if (allBackNow && onlyLost) {
        // Nothing is left for a later start to move.
        m_ops.unlink(journalPath, Op::RemoveJournal);
        return result;
    }
    result.message += journal.rollback
                          ? QStringLiteral(" Tessaline versucht beim nächsten Start, auch diese zurückzubenennen.")
                          : QStringLiteral(" Beim nächsten Start bringt Tessaline die Umbenennung zu Ende oder, wo das "
                                           "nicht geht, macht sie rückgängig.");
    return result;
}

QList<UndoItem> Renamer::readUndo(QString* error) const
{
    QFile file(QFile::decodeName(undoRecordPath()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<UndoRecord> record = parseUndo(file.readAll());
    if (!record) {
        *error = QStringLiteral("Die Aufzeichnung \"%1\" ist unlesbar.").arg(shown(undoRecordPath()));
        return {};
    }
    *error = undoRefusal(*record);
    return record->items;
}

QString Renamer::undoRefusal(const UndoRecord& record) const
{
    // Paths that are not the run's own: the record was damaged or made by hand. A record of a
    // version that did not list its folders had its files in one folder and brought them back
    // into one.
    QSet<QByteArray> folders;
    for (const RecordedFolder& f : record.folders)
        folders.insert(f.path);
    QList<QByteArray> currents;
    QList<QByteArray> originals;
    for (const UndoItem& u : record.items) {
        currents.append(u.current);
        originals.append(u.original);
    }
    const QByteArray currentFolder = commonFolder(currents);
    const QByteArray originalFolder = commonFolder(originals);
    const auto ours = [&](const UndoItem& u) {
        if (!cleanPath(u.current) || !cleanPath(u.original))
            return false;
        if (record.version >= 2)
            return folders.contains(folderOf(u.current)) && folders.contains(folderOf(u.original));
        return folderOf(u.current) == currentFolder && folderOf(u.original) == originalFolder;
    };
    QStringList foreign;
    for (const UndoItem& u : record.items) {
        if (!ours(u))
            foreign.append(QStringLiteral("\"%1\" \u2192 \"%2\"").arg(shown(u.current), shown(u.original)));
    }
    if (!foreign.isEmpty())
        return QStringLiteral("Die Aufzeichnung \"%1\" nennt Dateien, die nicht zu der Umbenennung gehören; sie bleibt, "
                              "wie sie ist, und es wird nichts zurückbenannt:\n")
                   .arg(shown(undoRecordPath())) +
               failuresText(foreign);
    for (const RecordedFolder& f : record.folders) {
        const std::optional<FileSystemId> now = fileSystemId(f.path);
        if (now && !sameFileSystem(f.fs, *now))
            return QStringLiteral("\"%1\" liegt auf einem Datenträger, der nicht eingehängt ist.").arg(shown(f.path));
    }
    return {};
}

bool Renamer::hasUndo() const
{
    return QFile::exists(QFile::decodeName(undoRecordPath())) && !interruptedRunPending();
}

bool Renamer::interruptedRunPending() const
{
    const QSet<QByteArray> names = listNames(m_state);
    return std::any_of(names.cbegin(), names.cend(), [](const QByteArray& n) { return n.endsWith(kJournalSuffix); });
}

QList<Renamer::Planned> Renamer::reversedMoves(const QList<UndoItem>& items)
{
    QList<Planned> planned;
    for (const UndoItem& u : items)
        planned.append({u.current, folderOf(u.original), fileNameOf(u.original), &u.id});
    return planned;
}

UndoPreview Renamer::undoPreview() const
{
    m_folders.clear();
    UndoPreview preview;
    QString error;
    const QList<UndoItem> items = readUndo(&error);
    preview.recorded = !items.isEmpty() || !error.isEmpty();
    for (const UndoItem& u : items)
        preview.moves.append({u.current, u.original});
    if (!error.isEmpty() || items.isEmpty()) {
        preview.reason = error;
        return preview;
    }
    QList<Entry> entries;
    preview.reason = interruptedRunPending()
                         ? QStringLiteral("Eine unterbrochene Umbenennung ist noch nicht abgeschlossen.")
                         : plan(reversedMoves(items), QByteArrayLiteral("0"), &entries);
    preview.possible = preview.reason.isEmpty();
    return preview;
}

Result Renamer::undo()
{
    QString error;
    const QList<UndoItem> items = readUndo(&error);
    Result result;
    result.outcome = Result::Outcome::Refused;
    if (items.isEmpty()) {
        result.message = error.isEmpty() ? QStringLiteral("Es gibt nichts rückgängig zu machen.") : error;
        return result;
    }
    if (!error.isEmpty()) {
        result.message = QStringLiteral("Es wurde nichts zurückbenannt.\n\n") + error;
        return result;
    }
    if (interruptedRunPending()) {
        result.message = QStringLiteral("Es wurde nichts zurückbenannt.\n\nEine unterbrochene Umbenennung ist noch "
                                        "nicht abgeschlossen.");
        return result;
    }
    return execute(reversedMoves(items), true, folderOf(items.first().original));
}

} // namespace renaming
