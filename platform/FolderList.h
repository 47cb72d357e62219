#pragma once

#include "platform/DirListing.h"
#include "platform/Volumes.h"

#include <QComboBox>
#include <QHash>
#include <QPointer>
#include <QTreeWidget>

class QFileSystemWatcher;
class QTimer;

namespace platform {

// The folder list: the current folder's ancestors, each one level further in, and below the
// current folder its subfolders. A double click or Enter on an entry opens it. Change() is
// emitted once for every actual change of the path.
//
// The path is kept as the user walked it, as a shell's cd does: a link to a folder is entered
// under its own name and left to the folder it was entered from, so a link that loops leads one
// level deeper each time until the system's limit on links in a path, which is reported.
class DirListBox : public QTreeWidget
{
    Q_OBJECT
public:
    explicit DirListBox(QWidget* parent = nullptr);

    // The current folder as text and as native bytes; both absolute, without trailing "/"
    // except for the root.
    QString Path() const;
    QByteArray nativePath() const { return m_path; }

    // Shows another folder. False (and nothing changes) when the path is not a folder.
    bool setPath(const QString& path);
    bool setNativePath(const QByteArray& path);

    // Lists the subfolders of the current folder again, keeping the highlighted entry.
    void refresh();

    // True when the shown folder is still there. When it has gone (removed, renamed, its volume
    // unmounted), says so once and shows the nearest folder above it that is still there, which
    // emits Change() as the user's own choice would.
    bool checkPresent();
    // checkPresent() once the events at hand are handled; many requests make one check.
    void checkSoon();

signals:
    void Change();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

private:
    void rebuild(const QByteArray& highlight);
    void openItem(QTreeWidgetItem* item);
    void fitColumn();
    void keepInView();
    void watch();
    QByteArray highlightedPath() const;

    QByteArray m_path;
    FolderTrail m_trail;
    QList<QByteArray> m_subfolders;
    int m_contentWidth = 0; // of the widest entry, indentation included
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer* m_check = nullptr;
    bool m_reporting = false;
};

// The drive list: the mounted volumes that hold files, kept up to date while volumes are
// mounted and unmounted. Choosing one emits Change(); the owner applies it to the folder list.
class DriveListBox : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveListBox(QWidget* parent = nullptr);

    // Where the volumes come from; nullptr brings back the system's own. Not owned.
    void setVolumeSource(VolumeSource* source);

    // The chosen volume's root path, or an empty array when the list is empty.
    QByteArray Drive() const;
    // Chooses the volume that holds the path; emits Change() when the choice differs.
    void setDrive(const QByteArray& nativePath);
    // Chooses the volume that holds the path without emitting Change().
    void showDriveOf(const QByteArray& nativePath);

    // The folder last visited on a volume in this run, or its root.
    QByteArray lastFolderOn(const QByteArray& root) const;
    void rememberFolder(const QByteArray& nativePath);

    void reloadVolumes();
    void showPopup() override;

signals:
    void Change();
    // The volumes were read afresh: something was mounted or unmounted, or the user opened the list.
    void volumesRead();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    SystemVolumes* m_system = nullptr;
    QPointer<VolumeSource> m_source;
    QList<Volume> m_volumes;
    QHash<QByteArray, QByteArray> m_lastFolder;
};

} // namespace platform
