#include "renaming/Journal.h"

namespace renaming {

namespace {

// Headers by version, from 1.
const QList<QByteArray> kJournalHeaders{"tessaline-rename-journal 1", "tessaline-rename-journal 2",
                                        "tessaline-rename-journal 3"};
const QList<QByteArray> kUndoHeaders{"tessaline-rename-undo 1", "tessaline-rename-undo 2"};
const QByteArray kFolder = QByteArrayLiteral("F");
const QByteArray kEnd = QByteArrayLiteral("end");
const QByteArray kFinish = QByteArrayLiteral("finish");
const QByteArray kRollback = QByteArrayLiteral("rollback");
const QByteArray kBack = QByteArrayLiteral("back");
const QByteArray kCopied = QByteArrayLiteral("copied");
// Appended to the line of a file that goes with a picture.
const QByteArray kCompanion = QByteArrayLiteral("companion");

QByteArray encoded(const QByteArray& path)
{
    return path.toPercentEncoding("/");
}

QByteArray idFields(const FileId& id)
{
    return QByteArray::number(id.ino) + ' ' + QByteArray::number(id.size) + ' ' + QByteArray::number(id.mtimeNs);
}

bool readId(const QList<QByteArray>& f, qsizetype at, FileId* id)
{
    bool a = false;
    bool b = false;
    bool c = false;
    id->ino = f[at].toULongLong(&a);
    id->size = f[at + 1].toLongLong(&b);
    id->mtimeNs = f[at + 2].toLongLong(&c);
    return a && b && c;
}

bool readKind(const QByteArray& field, Kind* kind)
{
    if (field == "R")
        *kind = Kind::Rename;
    else if (field == "C")
        *kind = Kind::Copy;
    else
        return false;
    return true;
}

QByteArray folderLine(const RecordedFolder& f)
{
    return kFolder + ' ' + encoded(f.path) + ' ' + encoded(f.fs.type) + ' ' + encoded(f.fs.source) + ' ' +
           encoded(f.fs.uuid) + ' ' + QByteArray::number(f.fs.dev) + ' ' + QByteArray::number(f.fs.bytes) + ' ' +
           QByteArray::number(f.fs.folderIno) + '\n';
}

bool readFolder(const QList<QByteArray>& f, RecordedFolder* folder)
{
    if (f.size() != 8 || f[0] != kFolder)
        return false;
    bool a = false;
    bool b = false;
    bool c = false;
    folder->path = QByteArray::fromPercentEncoding(f[1]);
    folder->fs.type = QByteArray::fromPercentEncoding(f[2]);
    folder->fs.source = QByteArray::fromPercentEncoding(f[3]);
    folder->fs.uuid = QByteArray::fromPercentEncoding(f[4]);
    folder->fs.dev = f[5].toULongLong(&a);
    folder->fs.bytes = f[6].toLongLong(&b);
    folder->fs.folderIno = f[7].toULongLong(&c);
    return a && b && c;
}

// The complete lines of a text: a line cut short by a crash while it was appended is left out.
QList<QByteArray> completeLines(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast(); // what follows the last newline
    return lines;
}

} // namespace

QByteArray journalText(const Journal& journal)
{
    QByteArray text = kJournalHeaders.last() + '\n' + (journal.undoRun ? "undo" : "run") + '\n' +
                      encoded(journal.target) + '\n';
    for (const RecordedFolder& f : journal.folders)
        text += folderLine(f);
    for (const Entry& e : journal.entries) {
        text += char(e.kind) + QByteArray(" ") + idFields(e.id) + ' ' + encoded(e.source) + ' ' + encoded(e.temp) +
                ' ' + encoded(e.final) + (e.companion ? ' ' + kCompanion : QByteArray()) + '\n';
    }
    return text + kEnd + '\n';
}

QByteArray finishMark(const QList<Entry>& entries)
{
    QByteArray text;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries[i].kind == Kind::Copy)
            text += kCopied + ' ' + QByteArray::number(i) + ' ' + idFields(entries[i].copy) + '\n';
    }
    return text + kFinish + '\n';
}

QByteArray rollbackMark()
{
    return kRollback + '\n';
}

QByteArray backMark()
{
    return kBack + '\n';
}

std::optional<Journal> parseJournal(const QByteArray& text)
{
    const QList<QByteArray> lines = completeLines(text);
    if (lines.size() < 4 || !kJournalHeaders.contains(lines[0]) || (lines[1] != "run" && lines[1] != "undo"))
        return std::nullopt;
    Journal journal;
    journal.version = int(kJournalHeaders.indexOf(lines[0]) + 1);
    journal.undoRun = lines[1] == "undo";
    journal.target = QByteArray::fromPercentEncoding(lines[2]);
    qsizetype k = 3;
    for (RecordedFolder f; journal.version >= 3 && k < lines.size() && readFolder(lines[k].split(' '), &f); ++k)
        journal.folders.append(f);
    for (; k < lines.size() && lines[k] != kEnd; ++k) {
        const QList<QByteArray> f = lines[k].split(' ');
        Entry e;
        e.companion = f.size() == 8 && f[7] == kCompanion;
        if ((f.size() != 7 && !e.companion) || !readKind(f[0], &e.kind) || !readId(f, 1, &e.id))
            return std::nullopt;
        e.source = QByteArray::fromPercentEncoding(f[4]);
        e.temp = QByteArray::fromPercentEncoding(f[5]);
        e.final = QByteArray::fromPercentEncoding(f[6]);
        journal.entries.append(e);
    }
    if (k == lines.size())
        return std::nullopt; // written through a temporary file, so this is not our journal
    QList<FileId> copies(journal.entries.size());
    for (++k; k < lines.size(); ++k) {
        const QList<QByteArray> f = lines[k].split(' ');
        if (f.size() == 5 && f[0] == kCopied) {
            bool ok = false;
            const qsizetype i = f[1].toLongLong(&ok);
            if (ok && i >= 0 && i < copies.size())
                readId(f, 2, &copies[i]);
        } else if (lines[k] == kFinish) {
            journal.finish = true;
            for (qsizetype i = 0; i < copies.size(); ++i)
                journal.entries[i].copy = copies[i];
        } else if (f.first() == kRollback) { // version 1 listed entries after it
            journal.rollback = true;
        } else if (lines[k] == kBack) {
            journal.back = true;
        }
    }
    return journal;
}

QByteArray undoText(const UndoRecord& record)
{
    QByteArray text = kUndoHeaders.last() + '\n';
    for (const RecordedFolder& f : record.folders)
        text += folderLine(f);
    for (const UndoItem& u : record.items)
        text += char(u.kind) + QByteArray(" ") + idFields(u.id) + ' ' + encoded(u.current) + ' ' + encoded(u.original) +
                (u.companion ? ' ' + kCompanion : QByteArray()) + '\n';
    return text + kEnd + '\n';
}

std::optional<UndoRecord> parseUndo(const QByteArray& text)
{
    const QList<QByteArray> lines = completeLines(text);
    if (lines.size() < 2 || !kUndoHeaders.contains(lines[0]) || lines.last() != kEnd)
        return std::nullopt;
    UndoRecord record;
    record.version = int(kUndoHeaders.indexOf(lines[0]) + 1);
    qsizetype k = 1;
    for (RecordedFolder f; record.version >= 2 && k + 1 < lines.size() && readFolder(lines[k].split(' '), &f); ++k)
        record.folders.append(f);
    for (; k + 1 < lines.size(); ++k) {
        const QList<QByteArray> f = lines[k].split(' ');
        UndoItem u;
        u.companion = f.size() == 7 && f[6] == kCompanion;
        if ((f.size() != 6 && !u.companion) || !readKind(f[0], &u.kind) || !readId(f, 1, &u.id))
            return std::nullopt;
        u.current = QByteArray::fromPercentEncoding(f[4]);
        u.original = QByteArray::fromPercentEncoding(f[5]);
        record.items.append(u);
    }
    return record;
}

} // namespace renaming
