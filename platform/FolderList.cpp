#include "platform/FolderList.h"

#include "platform/DirListing.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QStyle>

#include <unistd.h>

namespace platform {

namespace {

constexpr int kPathRole = Qt::UserRole;

QByteArray cleanAbsolute(const QByteArray& path)
{
    QString text = decodeName(path);
    if (!QDir::isAbsolutePath(text)) {
        char buffer[4096];
        const QByteArray cwd = ::getcwd(buffer, sizeof buffer) ? QByteArray(buffer) : QByteArray("/");
        text = decodeName(cwd) + QLatin1Char('/') + text;
    }
    return encodeName(QDir::cleanPath(text));
}

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

} // namespace

DirListBox::DirListBox(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(12);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    header()->setStretchLastSection(true);
    // The tree only shows where the folder lies; its branches cannot be folded.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { openItem(item); });

    char buffer[4096];
    setNativePath(::getcwd(buffer, sizeof buffer) ? QByteArray(buffer) : QByteArray("/"));
}

QString DirListBox::Path() const
{
    return decodeName(m_path);
}

bool DirListBox::setPath(const QString& path)
{
    return setNativePath(encodeName(path));
}

bool DirListBox::setNativePath(const QByteArray& path)
{
    if (path.isEmpty())
        return false;
    const QByteArray clean = cleanAbsolute(path);
    if (!isDirectory(clean))
        return false;
    if (clean == m_path)
        return true;
    m_path = clean;
    refresh();
    emit Change();
    return true;
}

void DirListBox::refresh()
{
    clear();
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);

    QList<QByteArray> chain;
    for (QByteArray p = m_path;; p = parentOf(p)) {
        chain.prepend(p);
        if (p == "/")
            break;
    }
    QTreeWidgetItem* parentItem = nullptr;
    for (const QByteArray& p : chain) {
        const QString text = p == "/" ? QStringLiteral("/") : displayName(decodeName(p.mid(p.lastIndexOf('/') + 1)));
        auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, text);
        item->setIcon(0, openIcon);
        item->setData(0, kPathRole, p);
        item->setToolTip(0, displayName(decodeName(p)));
        if (parentItem)
            parentItem->setExpanded(true);
        parentItem = item;
    }
    QTreeWidgetItem* current = parentItem;
    const QByteArray base = withTrailingSlash(m_path);
    const QList<QByteArray> names = subfolderNames(m_path);
    QList<QTreeWidgetItem*> children;
    children.reserve(names.size());
    for (const QByteArray& name : names) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, displayName(decodeName(name)));
        item->setIcon(0, closedIcon);
        item->setData(0, kPathRole, QByteArray(base + name));
        children.append(item);
    }
    current->addChildren(children);
    current->setExpanded(true);
    setCurrentItem(current);
    scrollToItem(current);
}

void DirListBox::openItem(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const QByteArray path = item->data(0, kPathRole).toByteArray();
    if (!setNativePath(path))
        refresh(); // the folder went away meanwhile: show what is there now
}

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent)
{
    reloadVolumes();
    connect(this, &QComboBox::currentIndexChanged, this, [this] { emit Change(); });
}

void DriveListBox::reloadVolumes()
{
    const QByteArray chosen = Drive();
    const QSignalBlocker blocker(this);
    m_volumes = mountedVolumes();
    clear();
    const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    for (const Volume& v : m_volumes)
        addItem(icon, v.displayName, v.rootPath);
    const int index = findData(chosen);
    setCurrentIndex(index >= 0 ? index : (count() > 0 ? 0 : -1));
}

void DriveListBox::showPopup()
{
    // Volumes come and go (a memory card is put in): list them afresh whenever the list opens.
    reloadVolumes();
    QComboBox::showPopup();
}

QByteArray DriveListBox::Drive() const
{
    return currentData().toByteArray();
}

void DriveListBox::setDrive(const QByteArray& nativePath)
{
    const qsizetype index = volumeOf(m_volumes, nativePath);
    if (index >= 0)
        setCurrentIndex(static_cast<int>(index));
}

void DriveListBox::showDriveOf(const QByteArray& nativePath)
{
    const QSignalBlocker blocker(this);
    setDrive(nativePath);
}

QByteArray DriveListBox::lastFolderOn(const QByteArray& root) const
{
    return m_lastFolder.value(root, root);
}

void DriveListBox::rememberFolder(const QByteArray& nativePath)
{
    const qsizetype index = volumeOf(m_volumes, nativePath);
    if (index >= 0)
        m_lastFolder.insert(m_volumes[index].rootPath, nativePath);
}

} // namespace platform
