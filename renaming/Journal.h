#pragma once

#include "renaming/FileOps.h"

#include <QByteArray>
#include <QList>

#include <optional>

// The records a renaming run keeps in the program's state folder: the journal of a run in
// progress, from which the next start finishes or undoes it, and the record of the last completed
// run, from which it can be undone. Paths are stored as bytes, percent-encoded.
namespace renaming {

enum class Kind : char {
    Rename = 'R', // within one file system
    Copy = 'C',   // into another one: copied, then the source removed
};

enum class Where { Source, Temp, Final, SourceRemoved, Lost };

// One file of a run, from its old path through a temporary one to its new one. A run whose new
// names are all free goes straight to them: its renamed files have temp == final.
struct Entry
{
    Kind kind = Kind::Rename;
    QByteArray source;
    QByteArray temp;
    QByteArray final;
    FileId id;   // the source as planned
    FileId copy; // a copy, once made
    Where at = Where::Source;

    bool direct() const { return temp == final; }
};

struct Journal
{
    bool undoRun = false; // the run undoes the recorded one
    QByteArray target;    // the target folder, for messages
    QList<Entry> entries;
    // Appended later: every file reached its temporary name, so the run goes on to the new ones;
    // or the run failed or was cancelled and goes back to the old ones.
    bool finish = false;
    bool rollback = false;
    QList<qsizetype> finalAtRollback; // the entries that had their new names when it began
};

QByteArray journalText(const Journal& journal);
// The line that lets a run go on to the new names, with the identities of the copies made.
QByteArray finishMark(const QList<Entry>& entries);
// The line that sends a run back to the old names, with the entries that had their new ones.
QByteArray rollbackMark(const QList<Entry>& entries);
// nullopt for a journal that is not complete or not ours.
std::optional<Journal> parseJournal(const QByteArray& text);

struct UndoItem
{
    Kind kind = Kind::Rename;
    FileId id; // the file at its new path, as the run left it
    QByteArray current;
    QByteArray original;
};
QByteArray undoText(const QList<UndoItem>& items);
std::optional<QList<UndoItem>> parseUndo(const QByteArray& text);

} // namespace renaming
