#pragma once

#include "renaming/FileOps.h"
#include "renaming/Journal.h"
#include "renaming/Names.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

// Renaming a list of files, all or nothing, without ever replacing or losing a file.
//
// A run checks its whole plan before it touches anything (also that the target's file system can
// hold each new name), writes a journal to the state folder, takes every file to a hidden
// temporary name in its target folder when a new name is still held by another file of the run
// (so any permutation works), then gives the new names; into another file system it copies and
// removes the sources last. Any failure or a cancel puts every file back; where even that fails,
// the message says where each file is. Every outcome is checked: a file not found where the run
// says it is is named as missing. The next start finishes or undoes a run that was interrupted,
// the same way, and names every file it could not find or found changed; the last completed run
// can be undone, also after a restart.
namespace renaming {

struct Renamed
{
    QByteArray from;
    QByteArray to;
    bool companion = false; // a file that went with a picture
};

// File n of N in the current pass (a run has one, or two when it goes through temporary names
// or copies); step of steps over the whole run.
struct Progress
{
    int file = 0;
    int files = 0;
    int step = 0;
    int steps = 0;
};
// Called before each file; false cancels the run, which then puts every file back.
using ProgressFn = std::function<bool(const Progress&)>;
// How paths appear in messages.
using DisplayFn = std::function<QString(const QByteArray&)>;

struct Result
{
    enum class Outcome {
        Done,       // every file has its new name (message: remarks, usually empty)
        Refused,    // the plan failed its check: nothing was renamed
        RolledBack, // a step failed: every file is back at its old name
        Cancelled,  // cancelled: every file is back at its old name
        Incomplete, // a step failed and not everything could be put back, or a file is not where the
                    // run took it: the message says where each file is, and which are missing
    };
    Outcome outcome = Outcome::Done;
    QString message;
    QList<Renamed> renamed; // every file whose path changed (also when not all did)
    bool ok() const { return outcome == Outcome::Done; }
};

struct UndoPreview
{
    bool recorded = false; // there is a completed run to undo
    bool possible = false; // and its files are as it left them
    QString reason;        // why not, when recorded but not possible
    QList<Renamed> moves;  // from the present path back to the old one
};

struct Notice
{
    bool problem = false;
    QString text;
};

// Something that would stop a run.
struct Problem
{
    qsizetype move = -1; // the move it is about; -1 for a folder or the run as a whole
    QString text;
};

// What a check of a run's new names found.
struct Checked
{
    QList<Problem> problems; // in the order a run meets them: a run is refused with the first
    QList<bool> unchanged;   // for each move: the file has its new name already
    bool viaTemp = false;    // a new name is held by another file of the run
    bool ok() const { return problems.isEmpty(); }
};

// The files and folders of a run as they were when surveyed: everything a check needs that does not
// depend on the new names. Made by Renamer::survey; cheap to copy.
class Survey
{
public:
    Survey();
    ~Survey();
    Survey(const Survey&);
    Survey& operator=(const Survey&);
    qsizetype size() const;

private:
    friend class Renamer;
    struct Data;
    std::shared_ptr<const Data> d;
};

// $XDG_STATE_HOME/Tessaline, or ~/.local/state/Tessaline.
QByteArray defaultStateFolder();

class Renamer
{
public:
    explicit Renamer(QByteArray stateFolder = defaultStateFolder());

    void setStepHook(StepHook hook) { m_ops.setHook(std::move(hook)); }
    void setSpaceHook(SpaceFn space) { m_ops.setSpaceHook(std::move(space)); }
    void setProgress(ProgressFn progress) { m_progress = std::move(progress); }
    void setDisplayName(DisplayFn display) { m_display = std::move(display); }
    // Every folder behaves as on another file system (see FileOps::simulate).
    void simulate(Simulated kind) { m_ops.simulate(kind); }

    // Gives each source its new name in targetFolder. A file that already has its new name there
    // counts as renamed.
    Result run(const QList<Move>& moves, const QByteArray& targetFolder);

    // A run checks its plan in two parts, neither of which changes anything: what it finds of its
    // files and folders (reading them, their folders' listings and free space), then the new
    // names against that. A prompt surveys once and checks the names of each prefix as it is
    // typed, with the very rules of the run; the run does both again when it starts.
    Survey survey(const QList<QByteArray>& sources, const QByteArray& targetFolder,
                  const QList<qsizetype>& companionOf = {}) const;
    // names: one for each surveyed source, in its order.
    // companionOf: none, or for each source the index of the picture it goes with (see Move).
    Checked check(const Survey& survey, const QList<QByteArray>& names) const;

    // A path or a name as messages show it.
    QString shown(const QByteArray& path) const;

    // A completed run is recorded, and no interrupted one waits to be put in order.
    bool hasUndo() const;
    UndoPreview undoPreview() const;
    // What the user is asked before an undo: how many files go back (how many of them went with
    // pictures), from which folders to which, the first of them by name.
    QString undoQuestion(const UndoPreview& preview) const;
    // Puts the files of the last completed run back, with the same rules as a run.
    Result undo();

    // Finishes or undoes the runs that were interrupted, and says what it did. A run whose
    // folders cannot be reached now or lie on another file system than they did (a card not
    // plugged in, its empty mount point), or that cannot be put in order yet, is kept for a later
    // start, and the notice says why and where each file is. Entries of a journal that name paths
    // the run did not make are left alone, named, and kept aside with the journal.
    QList<Notice> recover();

    QByteArray undoRecordPath() const;

private:
    struct Planned
    {
        QByteArray source;
        QByteArray folder;
        QByteArray name;
        const FileId* recorded = nullptr;
        qsizetype companionOf = -1;
        bool companion = false; // also in an undo, where companionOf is not known
    };
    // A run on its way, by its own process or by a later start: the journal with the marks
    // appended so far, and what went wrong.
    struct Drive
    {
        Journal& journal;
        QByteArray path;
        int fd = -1;
        QStringList failures;
        bool cancelled = false;
    };
    using GoOn = std::function<bool(int file, int files)>;

    static QList<Planned> reversedMoves(const QList<UndoItem>& items);
    // exact: every new name is looked up, not only those the folder's listing holds in some spelling
    // (a file made since, a file system that takes other names as one).
    Survey surveyOf(const QList<Planned>& moves, bool exact) const;
    QString plan(const QList<Planned>& moves, const QByteArray& runId, QList<Entry>* entries) const;
    Result execute(const QList<Planned>& moves, bool undoRun, const QByteArray& target);
    QString nameProblem(const QByteArray& name, const QByteArray& source, const QByteArray& folder,
                        const FolderInfo& info) const;
    // Why a companion of `picture` (empty where not known) cannot be renamed with it.
    QString companionProblem(const QByteArray& path, const QByteArray& picture, const FileId& file) const;
    const FolderInfo& infoOf(const QByteArray& folder) const;
    bool stableAt(const QByteArray& path) const { return infoOf(folderOf(path)).stableInodes; }
    int move(const QByteArray& from, const QByteArray& to);
    int toTemp(Entry& e);
    int toFinal(Entry& e);
    bool mark(Drive& d, const QByteArray& line);
    bool forward(Drive& d, const GoOn& goOn = {});
    bool back(Drive& d);
    int moveBack(Entry& e);
    void removeSources(QList<Entry>& entries, QStringList* remarks);
    void finish(const Journal& journal, const QByteArray& journalPath, QStringList* remarks);
    bool interruptedRunPending() const;
    Notice recoverOne(const QByteArray& journalPath, int fd);
    void locate(Journal& journal, QStringList* remarks);
    QString failureText(const Entry& e, int error) const;
    // Whether each file is where the run says it is; one that is not is marked lost (a driver
    // may take a file with it when it refuses a rename).
    bool verify(QList<Entry>& entries) const;
    // A line for each file that is not at `home`, or that was changed.
    QString whereTheyAre(const QList<Entry>& entries, Where home) const;
    // The files of the last run, and in *error why they cannot be put back.
    QList<UndoItem> readUndo(QString* error) const;
    QString undoRefusal(const UndoRecord& record) const;

    QByteArray m_state;
    FileOps m_ops;
    ProgressFn m_progress;
    DisplayFn m_display;
    mutable std::map<QByteArray, FolderInfo> m_folders; // within one run, plan or recovery
};

} // namespace renaming
