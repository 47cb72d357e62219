#pragma once

#include "renaming/Names.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The files that go with the pictures shown: the RAW twin a camera writes beside its JPEG, the
// sidecars editors keep their edits in (IMG_0001.xmp, IMG_0001.JPG.xmp, IMG_0001.pp3, IMG_0001.AAE).
// They are renamed with their picture, and never shown on their own.
namespace ordering {

struct CompanionsFound
{
    qsizetype pictures = 0; // how many were shown
    // Of each picture that has companions (by its index among those shown), its companions by
    // name; in the order of the pictures.
    struct Found
    {
        qsizetype picture;
        renaming::Companion companion;
    };
    QList<Found> companions;
    // A file that would go with several pictures goes with none and keeps its name.
    struct Unclaimed
    {
        QByteArray name;
        QList<QByteArray> pictures; // the names of those it would go with, sorted
    };
    QList<Unclaimed> unclaimed; // sorted by name

    bool isEmpty() const { return companions.isEmpty() && unclaimed.isEmpty(); }
};

// Which of a folder's other files go with which of its shown pictures. `shown` are the names of
// the pictures shown, `others` the names of its other entries: a file shown is never among them,
// and so never a companion. A companion is a
// file whose name is a picture's name without its extension, followed by an extension of its
// own, or the picture's whole name followed by one more; letter case does not count. A hidden
// file (its name starts with ".") goes with no picture.
CompanionsFound findCompanions(const QByteArray& folder, const QList<QByteArray>& shown,
                               const QList<QByteArray>& others);

// The small mark on a picture's box that says it has companions: "RAW" for a camera's raw file,
// else the companion's extension in capitals ("XMP", "AAE", "THM"); several give the first (a
// raw file first) and how many more ("RAW +1"). Empty without companions.
QString companionMark(const QList<renaming::Companion>& companions);

// What hovering a picture shows: its path, and the names of its companions below, as plain text
// (see platform::displayName).
QString pictureToolTip(const QByteArray& path, const QList<renaming::Companion>& companions);

// What a rename says of the files that go with several pictures and keep their names; empty
// for none.
QString unclaimedText(const QList<CompanionsFound::Unclaimed>& unclaimed);

} // namespace ordering
