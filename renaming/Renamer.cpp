#include "renaming/Renamer.h"

#include "renaming/Names.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QStringList>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace renaming {

namespace {

const QByteArray kTempPrefix = QByteArrayLiteral(".tessaline-");
const QByteArray kJournalSuffix = QByteArrayLiteral(".journal");

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray newRunId()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0');
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

// Equal for two names that a folder takes as one; folderKey tells the folder.
QByteArray nameKey(const QByteArray& folderKey, bool ignoresCase, const QByteArray& name)
{
    return folderKey + (ignoresCase ? QString::fromUtf8(name).toCaseFolded().toUtf8() : name);
}

bool onOtherFileSystem(const FileId& file, const FileId& folder)
{
    // Two mounts of one file system (a bind mount) refuse renames between them too.
    if (file.mount && folder.mount)
        return file.mount != folder.mount;
    return file.dev != folder.dev;
}

// The names in a folder exactly as stored: where the file system ignores case, a lookup of
// a.jpg finds A.JPG too, the listing does not.
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

bool allAt(const QList<Entry>& entries, std::initializer_list<Where> places)
{
    return std::all_of(entries.cbegin(), entries.cend(), [&](const Entry& e) {
        return e.at == Where::Lost || std::find(places.begin(), places.end(), e.at) != places.end();
    });
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
    };
    std::map<QByteArray, Folder> folders;
    QString error;
    const auto folder = [&](const QByteArray& path) -> const Folder* {
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
        const QByteArray key = QByteArray::number(id->dev) + ':' + QByteArray::number(id->ino) + '/';
        return &folders.emplace(path, Folder{path, *id, folderInfo(path), key}).first->second;
    };

    struct Work
    {
        const Planned* p;
        FileId file;
        qint64 size; // of the file a link leads to
        const Folder* from;
        const Folder* to;
        QByteArray key;
        bool unchanged;
    };
    QList<Work> work;
    work.reserve(moves.size());
    QHash<QByteArray, qsizetype> sources; // the run's files by the key of their present name
    QHash<QByteArray, qsizetype> wanted;  // and by the key of their new one
    QSet<QByteArray> listed;
    sources.reserve(moves.size());
    wanted.reserve(moves.size());
    listed.reserve(moves.size());
    for (const Planned& p : moves) {
        const QByteArray& name = p.name;
        const Folder* to = folder(p.folder);
        if (!to)
            return error;
        if (name.isEmpty() || name == "." || name == "..")
            return QStringLiteral("\"%1\" ist kein gültiger Name für \"%2\".").arg(shown(name), shown(p.source));
        if (name.contains('/'))
            return QStringLiteral("Der neue Name \"%1\" für \"%2\" enthält einen Schrägstrich (/).")
                .arg(shown(name), shown(p.source));
        if (name.contains('\0'))
            return QStringLiteral("Der neue Name für \"%1\" enthält ein Nullzeichen.").arg(shown(p.source));
        if (name.size() > to->info.nameMax)
            return QStringLiteral("Der neue Name \"%1\" ist %2 Bytes lang; in \"%3\" sind höchstens %4 erlaubt.")
                .arg(shown(name))
                .arg(name.size())
                .arg(shown(p.folder))
                .arg(to->info.nameMax);
        const Folder* from = folder(folderOf(p.source));
        if (!from)
            return error;
        int e = 0;
        const std::optional<FileId> file = fileId(p.source, false, &e);
        if (!file)
            return QStringLiteral("Die Datei \"%1\" ist nicht mehr da: %2.").arg(shown(p.source), errorText(e));
        const std::optional<FileId> content = file->isLink() ? fileId(p.source, true) : file;
        if (!content || !content->isRegular())
            return QStringLiteral("\"%1\" ist keine gewöhnliche Datei.").arg(shown(p.source));
        if (p.recorded && !stillSameFile(*p.recorded, *file, from->info.stableInodes))
            return QStringLiteral("\"%1\" wurde seit der Umbenennung verändert.").arg(shown(p.source));
        const QByteArray oldName = fileNameOf(p.source);
        const QByteArray exactKey = nameKey(from->key, false, oldName);
        if (listed.contains(exactKey))
            return QStringLiteral("\"%1\" steht mehr als einmal in der Liste.").arg(shown(p.source));
        listed.insert(exactKey);
        sources.insert(from->info.ignoresCase ? nameKey(from->key, true, oldName) : exactKey, work.size());
        const QByteArray key = nameKey(to->key, to->info.ignoresCase, name);
        if (const auto other = wanted.constFind(key); other != wanted.cend()) {
            const Planned& q = *work[*other].p;
            QString text = QStringLiteral("\"%1\" und \"%2\" sollen beide \"%3\" heißen.")
                               .arg(shown(q.source), shown(p.source), shown(name));
            if (q.name != name)
                text += QStringLiteral(" Der Zielordner unterscheidet nicht zwischen Groß- und Kleinbuchstaben.");
            return text;
        }
        wanted.insert(key, work.size());
        work.append({&p, *file, content->size, from, to, key, from->id.sameInode(to->id) && oldName == name});
    }

    // A new name may only be held by a file that leaves it in this run.
    bool viaTemp = false;
    std::map<const Folder*, qint64> copyBytes;
    for (const Work& w : work) {
        if (w.unchanged)
            continue;
        const QByteArray final = joinPath(w.p->folder, w.p->name);
        int e = 0;
        if (const std::optional<FileId> holder = fileId(final, false, &e)) {
            const qsizetype j = sources.value(w.key, -1);
            if (j < 0 || !work[j].file.sameInode(*holder))
                return QStringLiteral("Den Namen \"%1\" trägt in \"%2\" schon eine Datei, die nicht mit umbenannt wird.")
                    .arg(shown(w.p->name), shown(w.p->folder));
            viaTemp = true;
        } else if (e != ENOENT) {
            return QStringLiteral("\"%1\" kann nicht geprüft werden: %2.").arg(shown(final), errorText(e));
        }
        if (onOtherFileSystem(w.file, w.to->id))
            copyBytes[w.to] += w.size;
    }
    for (const auto& [to, bytes] : copyBytes) {
        const qint64 free = freeBytes(to->path);
        if (free >= 0 && free < bytes)
            return QStringLiteral("In \"%1\" ist nicht genug Platz: %2 MB werden gebraucht, %3 MB sind frei.")
                .arg(shown(to->path))
                .arg((bytes + (1 << 20) - 1) >> 20)
                .arg(free >> 20);
    }

    for (const Work& w : work) {
        if (w.unchanged)
            continue;
        Entry e;
        e.kind = onOtherFileSystem(w.file, w.to->id) ? Kind::Copy : Kind::Rename;
        e.source = w.p->source;
        e.final = joinPath(w.p->folder, w.p->name);
        const bool hidden = viaTemp || e.kind == Kind::Copy;
        e.temp = hidden ? joinPath(w.p->folder, kTempPrefix + runId + '-' + QByteArray::number(entries->size()))
                        : e.final;
        e.id = w.file;
        entries->append(e);
    }
    return {};
}

int Renamer::toTemp(Entry& e)
{
    if (e.kind == Kind::Copy) {
        const int error = m_ops.copyNew(e.source, e.temp, &e.copy);
        if (error == 0)
            e.at = Where::Temp;
        return error;
    }
    const int error = m_ops.moveNoReplace(e.source, e.temp);
    if (error == 0)
        e.at = e.direct() ? Where::Final : Where::Temp;
    return error;
}

int Renamer::toFinal(Entry& e)
{
    const int error = m_ops.moveNoReplace(e.temp, e.final);
    if (error == 0)
        e.at = Where::Final;
    return error;
}

void Renamer::back(QList<Entry>& entries)
{
    // New names first, so that no old name is still held when its file comes back.
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        Entry& e = entries[i];
        if (e.at != Where::Final)
            continue;
        if (e.direct()) {
            if (m_ops.moveNoReplace(e.final, e.source) == 0)
                e.at = Where::Source;
        } else if (m_ops.moveNoReplace(e.final, e.temp) == 0) {
            e.at = Where::Temp;
        }
    }
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        Entry& e = entries[i];
        if (e.at != Where::Temp)
            continue;
        // A copy's source never moved: the copy just goes.
        const int error = e.kind == Kind::Copy ? m_ops.unlink(e.temp) : m_ops.moveNoReplace(e.temp, e.source);
        if (error == 0)
            e.at = Where::Source;
    }
}

int Renamer::forward(QList<Entry>& entries)
{
    for (Entry& e : entries) {
        if (e.at == Where::Source)
            if (const int error = toTemp(e))
                return error;
    }
    syncFolders(entries);
    for (Entry& e : entries) {
        if (e.at == Where::Temp)
            if (const int error = toFinal(e))
                return error;
    }
    return 0;
}

void Renamer::removeSources(QList<Entry>& entries, QStringList* remarks)
{
    for (Entry& e : entries) {
        if (e.kind != Kind::Copy || e.at != Where::Final)
            continue;
        const std::optional<FileId> now = fileId(e.source);
        if (!now || !stillSameFile(e.id, *now, folderInfo(folderOf(e.source)).stableInodes)) {
            remarks->append(QStringLiteral("Das Original \"%1\" hat sich während des Kopierens verändert und bleibt erhalten.")
                                .arg(shown(e.source)));
            continue;
        }
        if (const int error = m_ops.unlink(e.source))
            remarks->append(QStringLiteral("Das Original \"%1\" der Kopie \"%2\" konnte nicht entfernt werden: %3.")
                                .arg(shown(e.source), shown(e.final), errorText(error)));
        else
            e.at = Where::SourceRemoved;
    }
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
        QList<UndoItem> items;
        for (const Entry& e : journal.entries) {
            if (e.at != Where::Final && e.at != Where::SourceRemoved)
                continue;
            // A rename keeps the file's identity; a copy's is known once it is made, unless the
            // run was finished by a later start.
            const FileId id = e.kind == Kind::Rename ? e.id : e.copy.ino ? e.copy : fileId(e.final).value_or(e.copy);
            items.append({e.kind, id, e.final, e.source});
        }
        if (!items.isEmpty()) {
            if (const int error = m_ops.writeWhole(undoRecordPath(), undoText(items), Op::WriteUndo))
                remarks->append(QStringLiteral("Die Umbenennung kann nicht rückgängig gemacht werden: \"%1\" kann "
                                               "nicht geschrieben werden: %2.")
                                    .arg(shown(undoRecordPath()), errorText(error)));
        }
    }
    if (const int error = m_ops.unlink(journalPath, Op::RemoveJournal))
        remarks->append(QStringLiteral("Das Protokoll \"%1\" konnte nicht entfernt werden: %2.")
                            .arg(shown(journalPath), errorText(error)));
}

QString Renamer::failureText(const Entry& e, int error) const
{
    if (e.kind == Kind::Copy && e.at == Where::Source)
        return QStringLiteral("\"%1\" konnte nicht nach \"%2\" kopiert werden: %3.")
            .arg(shown(e.source), shown(folderOf(e.final)), errorText(error));
    return QStringLiteral("\"%1\" konnte nicht in \"%2\" umbenannt werden: %3.")
        .arg(shown(e.source), shown(fileNameOf(e.final)), errorText(error));
}

QString Renamer::whereTheyAre(const QList<Entry>& entries) const
{
    QStringList lines;
    for (const Entry& e : entries) {
        switch (e.at) {
        case Where::Source:
        case Where::SourceRemoved:
            break;
        case Where::Temp:
            lines.append(e.kind == Kind::Copy
                             ? QStringLiteral("\"%1\" ist eine überzählige Kopie von \"%2\"").arg(shown(e.temp), shown(e.source))
                             : QStringLiteral("\"%1\" liegt als \"%2\"").arg(shown(e.source), shown(e.temp)));
            break;
        case Where::Final:
            lines.append(e.kind == Kind::Copy
                             ? QStringLiteral("\"%1\" ist eine Kopie von \"%2\"").arg(shown(e.final), shown(e.source))
                             : QStringLiteral("\"%1\" liegt als \"%2\"").arg(shown(e.source), shown(e.final)));
            break;
        case Where::Lost:
            lines.append(QStringLiteral("\"%1\" ist weder unter diesem noch unter dem Namen \"%2\" zu finden")
                             .arg(shown(e.source), shown(e.final)));
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

Result Renamer::execute(const QList<Planned>& moves, bool undoRun, const QByteArray& target)
{
    m_ops.restartCount();
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

    QDir().mkpath(QFile::decodeName(m_state));
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
    const int secondPass = static_cast<int>(std::count_if(entries.cbegin(), entries.cend(), [](const Entry& e) { return !e.direct(); }));
    int step = 0;
    const auto goOn = [&](int file, int of) {
        return !m_progress || m_progress(Progress{file, of, ++step, files + secondPass});
    };
    QString failure;
    bool cancelled = false;
    for (int i = 0; i < files && failure.isEmpty(); ++i) {
        if (!goOn(i + 1, files)) {
            cancelled = true;
            break;
        }
        if (const int error = toTemp(entries[i]))
            failure = failureText(entries[i], error);
    }
    if (failure.isEmpty() && !cancelled) {
        syncFolders(entries);
        if (const int error = m_ops.append(fd, finishMark(entries), Op::MarkJournal, journalPath))
            failure = QStringLiteral("Das Protokoll \"%1\" kann nicht fortgeschrieben werden: %2.")
                          .arg(shown(journalPath), errorText(error));
    }
    int n = 0;
    for (Entry& e : entries) {
        if (!failure.isEmpty() || cancelled)
            break;
        if (e.at != Where::Temp)
            continue;
        if (!goOn(++n, secondPass)) {
            cancelled = true;
            break;
        }
        if (const int error = toFinal(e))
            failure = failureText(e, error);
    }

    if (!failure.isEmpty() || cancelled) {
        // Should this process die now, the next start goes on putting the files back.
        m_ops.append(fd, rollbackMark(entries), Op::MarkJournal, journalPath);
        back(entries);
        syncFolders(entries);
        const QString what = cancelled ? QStringLiteral("Abgebrochen.") : nothing + QStringLiteral("\n\n") + failure;
        if (allAt(entries, {Where::Source})) {
            m_ops.unlink(journalPath, Op::RemoveJournal);
            result.outcome = cancelled ? Result::Outcome::Cancelled : Result::Outcome::RolledBack;
            result.message = what + (cancelled ? QStringLiteral(" ") : QStringLiteral("\n\n")) + allBack;
        } else {
            result.outcome = Result::Outcome::Incomplete;
            result.message = (cancelled ? what : failure) +
                             QStringLiteral("\n\nNicht alles ließ sich rückgängig machen. Diese Dateien liegen jetzt "
                                            "so:\n") +
                             whereTheyAre(entries) +
                             QStringLiteral("\n\nAlle anderen haben ihre vorigen Namen. Tessaline versucht beim "
                                            "nächsten Start, auch diese zurückzubenennen.");
        }
        return result;
    }

    syncFolders(entries);
    QStringList remarks;
    removeSources(entries, &remarks);
    finish(journal, journalPath, &remarks);
    for (const Entry& e : entries)
        result.renamed.append({e.source, e.final});
    result.message = remarks.join(QStringLiteral("\n\n"));
    return result;
}

QList<UndoItem> Renamer::readUndo(QString* error) const
{
    QFile file(QFile::decodeName(undoRecordPath()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<QList<UndoItem>> items = parseUndo(file.readAll());
    if (!items) {
        *error = QStringLiteral("Die Aufzeichnung \"%1\" ist unlesbar.").arg(shown(undoRecordPath()));
        return {};
    }
    return *items;
}

bool Renamer::hasUndo() const
{
    return QFile::exists(QFile::decodeName(undoRecordPath()));
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
    UndoPreview preview;
    QString error;
    const QList<UndoItem> items = readUndo(&error);
    preview.recorded = !items.isEmpty() || !error.isEmpty();
    if (!error.isEmpty() || items.isEmpty()) {
        preview.reason = error;
        return preview;
    }
    QList<Entry> entries;
    preview.reason = plan(reversedMoves(items), QByteArrayLiteral("0"), &entries);
    preview.possible = preview.reason.isEmpty();
    for (const UndoItem& u : items)
        preview.moves.append({u.current, u.original});
    return preview;
}

Result Renamer::undo()
{
    QString error;
    const QList<UndoItem> items = readUndo(&error);
    if (items.isEmpty()) {
        Result result;
        result.outcome = Result::Outcome::Refused;
        result.message = error.isEmpty() ? QStringLiteral("Es gibt nichts rückgängig zu machen.") : error;
        return result;
    }
    return execute(reversedMoves(items), true, folderOf(items.first().original));
}

QList<Notice> Renamer::recover()
{
    m_ops.restartCount();
    QList<Notice> notices;
    QList<QByteArray> journals;
    for (const QByteArray& name : listNames(m_state)) {
        if (name.endsWith(kJournalSuffix))
            journals.append(m_state + '/' + name);
        if (name.endsWith(QByteArray(kJournalSuffix + ".tmp"))) {
            // A journal never completed: its run renamed nothing. Its writer may still be alive.
            const QByteArray path = m_state + '/' + name;
            const UniqueFd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC));
            if (fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
                ::unlink(path.constData());
        }
    }
    std::sort(journals.begin(), journals.end());
    for (const QByteArray& path : journals) {
        const UniqueFd fd(::open(path.constData(), O_RDWR | O_CLOEXEC));
        // A journal locked by its writer belongs to a run going on in another Tessaline.
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        notices.append(recoverOne(path, fd.get()));
    }
    return notices;
}

Notice Renamer::recoverOne(const QByteArray& journalPath, int fd)
{
    std::optional<Journal> journal = parseJournal(readAll(fd));
    if (!journal)
        return {true, QStringLiteral("Das Protokoll \"%1\" einer unterbrochenen Umbenennung ist unlesbar. Es bleibt "
                                     "liegen, damit Sie es von Hand prüfen können.")
                          .arg(shown(journalPath))};
    QList<Entry>& entries = journal->entries;
    const QString where = shown(journal->target);
    const QList<QByteArray> folders = foldersOf(entries);
    std::map<QByteArray, QSet<QByteArray>> names;
    std::map<QByteArray, bool> stable;
    for (const QByteArray& folder : folders) {
        const std::optional<FileId> id = fileId(folder, true);
        if (!id || !S_ISDIR(id->mode))
            return {true, QStringLiteral("Eine unterbrochene Umbenennung in \"%1\" kann erst zu Ende gebracht werden, "
                                         "wenn \"%2\" wieder erreichbar ist. Tessaline versucht es beim nächsten "
                                         "Start wieder.")
                              .arg(where, shown(folder))};
        names[folder] = listNames(folder);
        stable[folder] = folderInfo(folder).stableInodes && !m_inodesIgnored;
    }
    const auto present = [&](const QByteArray& path) { return names[folderOf(path)].contains(fileNameOf(path)); };
    const auto holds = [&](const QByteArray& path, const FileId& id) {
        if (!present(path))
            return false;
        const std::optional<FileId> now = fileId(path);
        return now && stillSameFile(id, *now, stable[folderOf(path)]);
    };
    // A link and unlink cut short leaves one file under two names; the earlier one goes.
    const auto dropSecondName = [&](const QByteArray& earlier, const QByteArray& later) {
        const std::optional<FileId> a = fileId(earlier);
        const std::optional<FileId> b = fileId(later);
        if (a && b && a->sameInode(*b) && a->links > 1)
            m_ops.unlink(earlier);
    };

    // Where the file system keeps no inode numbers, files of equal size and time can only be
    // told apart by name. A run's new name may be another file's old one; which of the two it
    // holds then follows from how far the run got: before it went on to the new names, the old
    // file; after, the new one; and while going back, the new one only for a file that had it
    // when the way back began, and only until the files at temporary names start moving back.
    QSet<qsizetype> wasFinal(journal->finalAtRollback.cbegin(), journal->finalAtRollback.cend());
    QList<qsizetype> unclear;
    bool reachedTemp = true;
    bool othersAtTemp = false;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        const bool atSource = holds(e.source, e.id);
        if (e.kind == Kind::Rename) {
            const bool atTemp = !e.direct() && holds(e.temp, e.id);
            const bool atFinal = holds(e.final, e.id);
            e.at = atFinal ? Where::Final : atTemp ? Where::Temp : atSource ? Where::Source : Where::Lost;
            if (!stable[folderOf(e.final)]) {
                // No hard links there either, so a file at its temporary name is nowhere else.
                if (atTemp) {
                    e.at = Where::Temp;
                } else if (atSource && atFinal) {
                    e.at = e.direct() ? Where::Lost : Where::Source;
                    unclear.append(i);
                }
            } else if (atSource && e.at != Where::Source && e.at != Where::Lost)
                dropSecondName(e.source, atFinal ? e.final : e.temp);
            if (stable[folderOf(e.final)] && atFinal && atTemp)
                dropSecondName(e.temp, e.final);
            if (atTemp && !wasFinal.contains(i))
                othersAtTemp = true;
        } else {
            const std::optional<FileId> copy = present(e.temp) ? fileId(e.temp) : std::nullopt;
            // A copy gets the source's time last, so a copy cut short does not have it.
            const bool copied = copy && copy->size == e.id.size && copy->mtimeNs == e.id.mtimeNs;
            const bool atFinal = journal->finish && holds(e.final, e.copy);
            e.at = atFinal ? (atSource ? Where::Final : Where::SourceRemoved)
                   : copied ? Where::Temp
                   : atSource ? Where::Source
                              : Where::Lost;
            if (copy && !copied)
                m_ops.unlink(e.temp);
        }
    }
    for (const qsizetype i : unclear) {
        Entry& e = entries[i];
        if (e.at == Where::Lost)
            continue;
        const bool newName = journal->rollback ? wasFinal.contains(i) && othersAtTemp : journal->finish;
        e.at = newName ? Where::Final : Where::Source;
    }
    for (const Entry& e : entries)
        if (e.at == Where::Source)
            reachedTemp = false;

    bool forwards = !journal->rollback && (journal->finish || reachedTemp);
    if (forwards && forward(entries) != 0) {
        forwards = false;
        back(entries);
    } else if (!forwards) {
        back(entries);
    }
    syncFolders(entries);

    const bool lost = !allAt(entries, {Where::Source, Where::Temp, Where::Final, Where::SourceRemoved});
    const QString lostText = lost ? QStringLiteral("\n\n") + whereTheyAre(entries) : QString();
    Notice notice;
    notice.problem = lost;
    if (forwards && allAt(entries, {Where::Final, Where::SourceRemoved})) {
        QStringList remarks;
        removeSources(entries, &remarks);
        finish(*journal, journalPath, &remarks);
        notice.problem = notice.problem || !remarks.isEmpty();
        notice.text = QStringLiteral("Eine unterbrochene Umbenennung in \"%1\" wurde zu Ende geführt: Die Dateien "
                                     "haben ihre neuen Namen.")
                          .arg(where) +
                      lostText;
        if (!remarks.isEmpty())
            notice.text += QStringLiteral("\n\n") + remarks.join(QStringLiteral("\n\n"));
    } else if (!forwards && allAt(entries, {Where::Source})) {
        m_ops.unlink(journalPath, Op::RemoveJournal);
        notice.text = QStringLiteral("Eine unterbrochene Umbenennung in \"%1\" wurde rückgängig gemacht: Die Dateien "
                                     "haben wieder ihre vorigen Namen.")
                          .arg(where) +
                      lostText;
    } else {
        notice.problem = true;
        notice.text = QStringLiteral("Eine unterbrochene Umbenennung in \"%1\" ließ sich weder zu Ende bringen noch "
                                     "rückgängig machen. Diese Dateien liegen jetzt so:\n%2\n\nTessaline versucht "
                                     "es beim nächsten Start wieder.")
                          .arg(where, whereTheyAre(entries));
    }
    return notice;
}

} // namespace renaming
