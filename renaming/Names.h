#pragma once

#include "platform/ExtensionPattern.h"

#include <QByteArray>
#include <QList>

// The names a renaming run gives, as the file system's bytes (file names need not be UTF-8).
namespace renaming {

struct Move
{
    QByteArray source;  // full native path
    QByteArray newName; // a name, not a path
    // For a file that goes with a picture (its RAW twin, its sidecar): the index of the picture's
    // move in the same run; -1 for a picture.
    qsizetype companionOf = -1;
};

// A file that goes with a picture and takes its new name from the picture's: named after the
// picture's base name with an extension of its own (IMG_0001.CR2 beside IMG_0001.JPG), or after
// its whole name with one more extension (IMG_0001.JPG.xmp).
struct Companion
{
    QByteArray path; // full native path
    bool afterWholeName = false;

    bool operator==(const Companion&) const = default;
};

// A companion's new name when its picture is named `pictureName`: the picture's new base name, or
// its whole new name, followed by the companion's own extension as it is written.
QByteArray companionName(const QByteArray& pictureName, const Companion& companion);


// The running number of position i (counted from 1): four digits up to 9999, then as many as
// it takes (10000, 10001, ...), so that a long folder never wraps around onto its first names.
QByteArray numberText(int i);

// prefix + number + "." + extension: "img", 1, "jpg" gives "img0001.jpg". The prefix is used as
// typed, the extension as configured, in its letter case.
QByteArray prefixedName(const QByteArray& prefix, int i, const QByteArray& extension);

// The extension a file keeps when it is renamed with a prefix: the entry of the extension
// setting that its name matched, spelt as in the setting ("jpg" gives "img0001.jpg" for
// IMG_1.JPG); where that entry has a wildcard, the file's own extension as it stands in its
// name ("jp*" gives "img0001.JPEG" for b.JPEG). A name matching two entries keeps the first's.
// A name that matches none (it cannot have been listed) keeps what follows its last dot.
QByteArray keptExtension(const platform::ExtensionPattern& extensions, const QByteArray& name);

// number + " " + the old name: 1, "urlaub.jpg" gives "0001 urlaub.jpg".
QByteArray numberedName(int i, const QByteArray& oldName);

// The new name of the file at oldPath in position i: with a prefix the first scheme, with an
// empty one the second.
QByteArray newName(const QByteArray& prefix, int i, const QByteArray& extension, const QByteArray& oldPath);

// The files of a run in the order they are numbered, with the extension each keeps: the names a
// prefix gives them come from here, for the prompt's list as for the run itself. A picture's
// companions follow it, each named after the picture's new name.
class Numbering
{
public:
    Numbering() = default;
    // companions: none, or a list for each picture.
    Numbering(const QList<QByteArray>& pictures, const platform::ExtensionPattern& extensions,
              const QList<QList<Companion>>& companions = {});

    // The files: the pictures, each followed by its companions.
    qsizetype size() const { return m_sources.size(); }
    const QList<QByteArray>& sources() const { return m_sources; }
    // For each file, the index of its picture's file; -1 for a picture.
    const QList<qsizetype>& companionOf() const { return m_companionOf; }
    qsizetype companionCount() const { return m_companions; }
    // The new name of each file.
    QList<QByteArray> names(const QByteArray& prefix) const;
    QList<Move> moves(const QByteArray& prefix) const;

private:
    QList<QByteArray> m_sources;
    // Worked out once: a prompt asks for the names at every key. A picture's extension, a
    // companion's whether it is named after the whole name.
    QList<QByteArray> m_extensions;
    QList<qsizetype> m_companionOf;
    QList<bool> m_afterWholeName;
    qsizetype m_companions = 0;
};

// What follows the last "/" of a path (the whole path when it has none).
QByteArray fileNameOf(const QByteArray& path);
// What precedes the last "/" ("/" for a name in the root folder, "." for a bare name).
QByteArray folderOf(const QByteArray& path);

// The path of a name in a folder, with one "/" between them, or none when the folder already
// ends in one (the root folder gives "/img0001.jpg").
QByteArray joinPath(const QByteArray& folder, const QByteArray& name);

} // namespace renaming
