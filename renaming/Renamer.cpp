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
        planned.append({m.source, targetFolder, m.newName, nullptr, m.companionOf, m.companionOf >= 0});
    return execute(planned, false, targetFolder);
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
            items.append({e.kind, id, e.final, e.source, e.companion});
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
                result.renamed.append({e.source, e.final, e.companion});
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
        planned.append({u.current, folderOf(u.original), fileNameOf(u.original), &u.id, -1, u.companion});
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
        preview.moves.append({u.current, u.original, u.companion});
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
