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

enum class Where {
    Source,
    Temp,
    Final,
    SourceRemoved, // a copy at its new name, the original removed
    Lost,          // under none of its names, or changed where it cannot be told from another file
    Unclear,       // at its old or its new name, which cannot be told (see Renamer::recover)
};

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
    bool changed = false; // found at `at`, but not as planned
    bool companion = false; // goes with a picture of the run

    bool direct() const { return temp == final; }
};

// A folder a run is about, and the file system it was on.
struct RecordedFolder
{
    QByteArray path;
    FileSystemId fs;
};

// The marks appended to a journal tell where a run is, and so which of two files of equal size
// and time a name holds where inode numbers mean nothing: until `finish`, the files are at their
// old or their temporary names; from `finish` until `back`, at their temporary or new ones; after
// `back`, at their temporary or old ones again.
struct Journal
{
    // 1: written by a version that did not mark its way back; 2: nor recorded its folders
    int version = 3;
    bool undoRun = false; // the run undoes the recorded one
    QByteArray target;    // the target folder, for messages
    QList<RecordedFolder> folders;
    QList<Entry> entries;
    bool finish = false;   // every file reached its temporary name: on to the new names
    bool rollback = false; // the run failed or was cancelled: back to the old names
    bool back = false;     // after a finish, no file has its new name any more
};

QByteArray journalText(const Journal& journal);
// The lines that let a run go on to the new names, with the identities of the copies made.
QByteArray finishMark(const QList<Entry>& entries);
QByteArray rollbackMark();
QByteArray backMark();
// nullopt for a journal that is not complete or not ours.
std::optional<Journal> parseJournal(const QByteArray& text);

struct UndoItem
{
    Kind kind = Kind::Rename;
    FileId id; // the file at its new path, as the run left it
    QByteArray current;
    QByteArray original;
    bool companion = false;
};
struct UndoRecord
{
    int version = 2; // 1: written by a version that did not record its folders
    QList<RecordedFolder> folders;
    QList<UndoItem> items;
};
QByteArray undoText(const UndoRecord& record);
std::optional<UndoRecord> parseUndo(const QByteArray& text);

} // namespace renaming
