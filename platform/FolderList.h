#pragma once

#include "platform/Volumes.h"

#include <QComboBox>
#include <QHash>
#include <QTreeWidget>

namespace platform {

// The folder list: the current folder's ancestors, each one level further in, and below the
// current folder its subfolders. A double click or Enter on an entry opens it. Change() is
// emitted once for every actual change of the path.
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

    // Lists the subfolders of the current folder again.
    void refresh();

signals:
    void Change();

private:
    void openItem(QTreeWidgetItem* item);

    QByteArray m_path;
};

// The drive list: the mounted volumes that hold files. Choosing one emits Change(); the
// owner applies it to the folder list.
class DriveListBox : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveListBox(QWidget* parent = nullptr);

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

private:
    QList<Volume> m_volumes;
    QHash<QByteArray, QByteArray> m_lastFolder;
};

} // namespace platform
