#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace platform {

// A mounted volume that holds real files, known by its root path.
struct Volume
{
    QByteArray rootPath; // native bytes
    QString displayName; // what the drive list shows
};

// The mounted volumes that hold real files: ready and valid, pseudo file systems left out,
// sorted by root path.
QList<Volume> mountedVolumes();

// The index in volumes of the volume that holds path (the longest root path that is a
// prefix of it), or -1.
qsizetype volumeOf(const QList<Volume>& volumes, const QByteArray& nativePath);

} // namespace platform
