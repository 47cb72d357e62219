#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

namespace platform {

// A mounted volume that holds real files, known by its root path.
struct Volume
{
    QByteArray rootPath; // native bytes
    QString displayName; // what the drive list shows

    friend bool operator==(const Volume&, const Volume&) = default;
};

// The mounted volumes that hold real files, pseudo file systems and the system's run-time places
// left out, sorted by root path. Read from the kernel's mount table alone: nothing here asks a
// file system anything, so a network share or a FUSE mount that stopped answering cannot hold up
// the window.
QList<Volume> mountedVolumes();
// The same from the text of a mount table in the format of /proc/self/mountinfo.
QList<Volume> volumesFromMountInfo(const QByteArray& mountInfo);

// The index in volumes of the volume that holds path (the longest root path that is a
// prefix of it), or -1.
qsizetype volumeOf(const QList<Volume>& volumes, const QByteArray& nativePath);

// Where the drive list learns which volumes there are: the system's mount table, or one a test
// makes up.
class VolumeSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QList<Volume> volumes() = 0;

signals:
    // Something may have been mounted or unmounted.
    void changed();
};

// The volumes of this system. The kernel marks /proc/self/mounts as exceptional whenever the
// mount table changes, so a card or stick shows up as soon as it is mounted; where that file
// cannot be opened, the table is read every two seconds.
class SystemVolumes final : public VolumeSource
{
    Q_OBJECT
public:
    explicit SystemVolumes(QObject* parent = nullptr);
    ~SystemVolumes() override;

    QList<Volume> volumes() override { return mountedVolumes(); }

private:
    int m_mounts = -1;
};

} // namespace platform
