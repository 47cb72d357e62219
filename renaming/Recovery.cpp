// Finishing or undoing, at a later start, the runs that were interrupted.
#include "renaming/Internal.h"
#include "renaming/Names.h"
#include "renaming/Renamer.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

namespace renaming {

using namespace internal;

namespace {

// A file that recovery cannot move: not found, found changed where it stays, or not told apart.
bool odd(const Entry& e)
{
    return e.changed || e.at == Where::Lost || e.at == Where::Unclear;
}

// "rename-<id>.journal" gives the id.
QByteArray runIdOf(const QByteArray& journalPath)
{
    const QByteArray name = fileNameOf(journalPath);
    const QByteArray prefix = QByteArrayLiteral("rename-");
    if (!name.startsWith(prefix) || !name.endsWith(kJournalSuffix))
        return {};
    return name.mid(prefix.size(), name.size() - prefix.size() - kJournalSuffix.size());
}

// The entries whose names are all the run's own: clean absolute paths, the hidden name the run
// gives its nth file in the folder of the new name, and folders that the run was about. A journal
// of a version that did not list its folders renamed files of one folder into its target. The
// others go to *refused.
QList<Entry> ownEntries(const Journal& journal, const QByteArray& runId, QList<Entry>* refused)
{
    QSet<QByteArray> folders;
    for (const RecordedFolder& f : journal.folders)
        folders.insert(f.path);
    QList<QByteArray> sources;
    for (const Entry& e : journal.entries)
        sources.append(e.source);
    const QByteArray sourceFolder = commonFolder(sources);
    const QByteArray target = journal.target.size() > 1 && journal.target.endsWith('/') ? journal.target.chopped(1)
                                                                                         : journal.target;
    QList<Entry> own;
    for (qsizetype i = 0; i < journal.entries.size(); ++i) {
        const Entry& e = journal.entries[i];
        const bool clean = cleanPath(e.source) && cleanPath(e.temp) && cleanPath(e.final);
        const bool hidden = e.direct() ? e.kind == Kind::Rename
                                       : !runId.isEmpty() && e.temp == tempName(folderOf(e.final), runId, i);
        const bool within = journal.version >= 3
                                ? folders.contains(folderOf(e.source)) && folders.contains(folderOf(e.final))
                                : folderOf(e.source) == sourceFolder && folderOf(e.final) == target;
        if (clean && hidden && within)
            own.append(e);
        else
            refused->append(e);
    }
    return own;
}

} // namespace

QList<Notice> Renamer::recover()
{
    m_ops.restartCount();
    m_folders.clear();
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

// Where each file of the run is now. A file is known by its inode number where the file system
// keeps them, else by its size and time, and where two files of a run look alike there, by how
// far the journal says the run got.
void Renamer::locate(Journal& journal, QStringList* remarks)
{
    QList<Entry>& entries = journal.entries;
    std::map<QByteArray, QSet<QByteArray>> names;
    for (const QByteArray& folder : foldersOf(entries))
        names[folder] = listNames(folder);
    enum class Seen { Absent, Ours, Changed, Other };
    const auto seen = [&](const QByteArray& path, const FileId& id) {
        if (!names[folderOf(path)].contains(fileNameOf(path)))
            return Seen::Absent;
        const FolderInfo& where = infoOf(folderOf(path));
        const std::optional<FileId> now = m_ops.id(path);
        if (now && stillSameFile(id, *now, where))
            return Seen::Ours;
        return now && where.stableInodes && now->ino == id.ino ? Seen::Changed : Seen::Other;
    };
    const auto isFile = [](Seen s) { return s == Seen::Ours || s == Seen::Changed; };
    // Link and unlink cut short leave one file under two names. Only the name the run made goes,
    // and only where the inode number shows that the other name holds the same file.
    const auto dropMade = [&](const QByteArray& made, const QByteArray& other) {
        const int error = m_ops.unlink(made);
        if (error)
            remarks->append(QStringLiteral("\"%1\" ist ein zweiter Name von \"%2\" und ließ sich nicht entfernen: %3.")
                                .arg(shown(made), shown(other), errorText(error)));
        return error == 0;
    };

    QList<qsizetype> alike;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        Entry& e = entries[i];
        if (e.kind == Kind::Rename) {
            const bool stable = stableAt(e.final);
            const Seen source = seen(e.source, e.id);
            Seen temp = e.direct() ? Seen::Absent : seen(e.temp, e.id);
            Seen final = seen(e.final, e.id);
            if (!stable) {
                // The run makes no links there, so a file at a temporary name is nowhere else, and
                // it is the run's whatever it holds now.
                if (temp != Seen::Absent) {
                    e.at = Where::Temp;
                    e.changed = temp != Seen::Ours;
                } else if (source == Seen::Ours && final == Seen::Ours) {
                    alike.append(i);
                } else {
                    e.at = final == Seen::Ours ? Where::Final : source == Seen::Ours ? Where::Source : Where::Lost;
                }
                continue;
            }
            if (isFile(source) && isFile(temp) && dropMade(e.temp, e.source))
                temp = Seen::Absent;
            if (isFile(source) && isFile(final) && e.direct() && dropMade(e.final, e.source))
                final = Seen::Absent;
            if (isFile(temp) && isFile(final) && dropMade(e.temp, e.final))
                temp = Seen::Absent;
            const Seen here = isFile(final) ? final : isFile(temp) ? temp : source;
            e.at = isFile(final) ? Where::Final : isFile(temp) ? Where::Temp : isFile(source) ? Where::Source : Where::Lost;
            e.changed = here == Seen::Changed;
            if (e.at == Where::Lost && temp == Seen::Other) {
                // Another file the run took to its own hidden name: it leaves it like the others.
                e.at = Where::Temp;
                e.changed = true;
            }
        } else {
            // A copy goes only while its original is there as it was; otherwise it is the file.
            const bool original = seen(e.source, e.id) == Seen::Ours;
            const std::optional<FileId> copy = names[folderOf(e.temp)].contains(fileNameOf(e.temp)) ? m_ops.id(e.temp)
                                                                                                    : std::nullopt;
            // A copy gets the source's time last, so a copy cut short does not have it. Where
            // times are not kept, a copy of full size may still be cut short before it was flushed.
            const bool copied = copy && copy->size == e.id.size && copy->mtimeNs == e.id.mtimeNs &&
                                infoOf(folderOf(e.temp)).keepsTimes;
            const Seen final = journal.finish ? seen(e.final, e.copy) : Seen::Absent;
            if (isFile(final)) {
                e.at = original ? Where::Final : Where::SourceRemoved;
                e.changed = final == Seen::Changed || (!original && names[folderOf(e.source)].contains(fileNameOf(e.source)));
            } else if (copied) {
                e.at = Where::Temp;
                e.copy = *copy;
                e.changed = !original;
            } else {
                e.at = original ? Where::Source : Where::Lost;
                if (copy && original)
                    m_ops.unlink(e.temp);
            }
        }
    }
    // Two files alike at each other's names: before the finish mark and after the back mark the
    // old file, in between the new one. A journal of the version before the back mark cannot
    // tell.
    for (const qsizetype i : alike)
        entries[i].at = journal.version < 2 ? Where::Unclear
                        : journal.finish && !journal.back ? Where::Final
                                                          : Where::Source;
}

Notice Renamer::recoverOne(const QByteArray& journalPath, int fd)
{
    QByteArray text = readAll(fd);
    if (!text.isEmpty() && !text.endsWith('\n')) {
        // A line cut short by a crash while it was appended; the next mark starts a line of its own.
        const qsizetype whole = text.lastIndexOf('\n') + 1;
        if (::ftruncate(fd, whole) != 0)
            return {true, QStringLiteral("Das Protokoll \"%1\" einer unterbrochenen Umbenennung kann nicht "
                                         "geschrieben werden: %2. Tessaline versucht es beim nächsten Start wieder.")
                              .arg(shown(journalPath), errorText(errno))};
        text.truncate(whole);
    }
    std::optional<Journal> journal = parseJournal(text);
    if (!journal)
        return {true, QStringLiteral("Das Protokoll \"%1\" einer unterbrochenen Umbenennung ist unlesbar. Es bleibt "
                                     "liegen, damit Sie es von Hand prüfen können.")
                          .arg(shown(journalPath))};
    QList<Entry>& entries = journal->entries;
    const QString run = journal->undoRun
                            ? QStringLiteral("Das unterbrochene Rückgängigmachen einer Umbenennung in \"%1\"")
                            : QStringLiteral("Eine unterbrochene Umbenennung in \"%1\"");
    const QString what = run.arg(shown(journal->target));

    // Only names the run made are touched; an entry with others is left out and kept.
    QList<Entry> refused;
    entries = ownEntries(*journal, runIdOf(journalPath), &refused);
    QList<QByteArray> folders = foldersOf(entries);
    for (const RecordedFolder& f : journal->folders) {
        if (!folders.contains(f.path))
            folders.append(f.path);
    }
    for (const QByteArray& folder : folders) {
        const std::optional<FileId> id = fileId(folder, true);
        if (!id || !S_ISDIR(id->mode))
            return {true, QStringLiteral("%1 kann erst zu Ende gebracht werden, wenn \"%2\" wieder erreichbar ist. "
                                         "Tessaline versucht es beim nächsten Start wieder.")
                              .arg(what, shown(folder))};
    }
    // A card not plugged in leaves the empty folder it was mounted on: nothing is written there.
    for (const RecordedFolder& f : journal->folders) {
        const std::optional<FileSystemId> now = fileSystemId(f.path);
        if (!now || !sameFileSystem(f.fs, *now))
            return {true, QStringLiteral("%1 liegt auf einem Datenträger, der nicht eingehängt ist (\"%2\"); die "
                                         "Umbenennung wird fortgesetzt, sobald er wieder da ist.")
                              .arg(what, shown(f.path))};
    }
    // Kept for a look by hand, under a name no start takes up again.
    const QByteArray keptAs = journalPath + ".refused";
    QString refusedText;
    if (!refused.isEmpty()) {
        refusedText = QStringLiteral("Diese Einträge im Protokoll nennen Namen, die nicht zu der Umbenennung gehören; "
                                     "Tessaline hat sie nicht angerührt:");
        for (const Entry& e : refused)
            refusedText += QStringLiteral("\n\"%1\" \u2192 \"%2\" \u2192 \"%3\"")
                               .arg(shown(e.source), shown(e.temp), shown(e.final));
    }

    QStringList remarks;
    if (!refused.isEmpty()) {
        if (entries.isEmpty()) {
            const int error = ::rename(journalPath.constData(), keptAs.constData()) == 0 ? 0 : errno;
            return {true, what + QStringLiteral(" wurde nicht angerührt. ") + refusedText +
                              (error ? QStringLiteral("\n\nDas Protokoll \"%1\" bleibt liegen: %2.")
                                           .arg(shown(journalPath), errorText(error))
                                     : QStringLiteral("\n\nDas Protokoll bleibt als \"%1\" liegen.").arg(shown(keptAs)))};
        }
    }
    locate(*journal, &remarks);
    Drive d{*journal, journalPath, fd, {}, false};
    bool forwards = !journal->rollback && (journal->finish || std::none_of(entries.cbegin(), entries.cend(), [](const Entry& e) {
                                               return e.at == Where::Source && !odd(e);
                                           }));
    bool settled = false;
    if (forwards) {
        settled = forward(d);
        forwards = settled;
    }
    if (!forwards)
        settled = back(d);
    // Nothing is left at a hidden name, and every other file is where the run went, or could not be moved.
    const auto home = [&](const Entry& e) {
        return forwards ? e.at == Where::Final || e.at == Where::SourceRemoved : e.at == Where::Source;
    };
    verify(entries);
    settled = settled && std::none_of(entries.cbegin(), entries.cend(), [&](const Entry& e) {
                  return e.at == Where::Temp || (!odd(e) && !home(e));
              });
    const bool anyOdd = std::any_of(entries.cbegin(), entries.cend(), odd);

    Notice notice;
    notice.problem = anyOdd || !remarks.isEmpty();
    if (!settled) {
        notice.problem = true;
        notice.text = what + QStringLiteral(" ließ sich weder zu Ende bringen noch rückgängig machen:\n") +
                      failuresText(d.failures + remarks) +
                      QStringLiteral("\n\nDiese Dateien liegen jetzt so:\n") + whereTheyAre(entries, Where::Source) +
                      QStringLiteral("\n\nTessaline versucht es beim nächsten Start wieder.");
        if (!refused.isEmpty())
            notice.text += QStringLiteral("\n\n") + refusedText;
        return notice;
    }
    // The journal goes, or with entries that were not the run's, is put aside.
    const auto done = [&] {
        if (refused.isEmpty()) {
            if (const int error = m_ops.unlink(journalPath, Op::RemoveJournal))
                remarks.append(QStringLiteral("Das Protokoll \"%1\" konnte nicht entfernt werden: %2.")
                                   .arg(shown(journalPath), errorText(error)));
        } else if (::rename(journalPath.constData(), keptAs.constData()) != 0) {
            remarks.append(refusedText + QStringLiteral("\n\nDas Protokoll \"%1\" konnte nicht beiseitegelegt werden: %2.")
                                             .arg(shown(journalPath), errorText(errno)));
        } else {
            remarks.append(refusedText + QStringLiteral("\n\nDas Protokoll bleibt als \"%1\" liegen.").arg(shown(keptAs)));
        }
    };
    if (forwards) {
        removeSources(entries, &remarks);
        finish(*journal, QByteArray(), &remarks);
        done();
        notice.text = what + (journal->undoRun ? QStringLiteral(" wurde zu Ende geführt: Die Dateien haben wieder ihre "
                                                                "vorigen Namen.")
                                               : QStringLiteral(" wurde zu Ende geführt: Die Dateien haben ihre neuen Namen."));
    } else {
        done();
        notice.text = what + (journal->undoRun ? QStringLiteral(" wurde abgebrochen: Die Dateien haben wieder die "
                                                                "Namen aus der Umbenennung, die sich weiter rückgängig "
                                                                "machen lässt.")
                                               : QStringLiteral(" wurde rückgängig gemacht: Die Dateien haben wieder "
                                                                "ihre vorigen Namen."));
    }
    if (anyOdd) {
        notice.text.chop(1);
        notice.text += QStringLiteral(", bis auf diese:\n") + whereTheyAre(entries, forwards ? Where::Final : Where::Source);
    }
    notice.problem = notice.problem || !remarks.isEmpty();
    if (!remarks.isEmpty())
        notice.text += QStringLiteral("\n\n") + remarks.join(QStringLiteral("\n\n"));
    return notice;
}

} // namespace renaming
