#include "platform/FolderList.h"

#include "platform/Dialogs.h"
#include "platform/FileNames.h"

#include <QDir>
#include <QEvent>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>

#include <algorithm>
#include <cerrno>

#include <unistd.h>

namespace platform {

namespace {

constexpr int kPathRole = Qt::UserRole;
// Removing a folder with its files touches it once per file; one look after that settles.
constexpr int kWatchSettleMs = 100;
constexpr int kToolTipWidth = 60; // characters per line
// After a folder is opened, this many of its subfolders are scrolled into view below it.
constexpr int kSubfoldersInView = 3;

QByteArray workingDirectory()
{
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? QByteArray(buffer) : QByteArray("/");
}

QByteArray cleanAbsolute(const QByteArray& path)
{
    QString text = decodeName(path);
    if (!QDir::isAbsolutePath(text))
        text = decodeName(workingDirectory()) + QLatin1Char('/') + text;
    return encodeName(QDir::cleanPath(text));
}

// The horizontal scroll offset that shows an entry whose icon starts at left (content pixels)
// and which is width wide, with one indentation step before it so that the level above stays
// recognisable. It moves as little as it can from offset.
int offsetToShow(int left, int width, int step, int viewport, int offset)
{
    const int start = std::max(0, left - step);
    const int end = left + width;
    if (start < offset)
        return start;
    if (end > offset + viewport)
        return std::min(start, end - viewport);
    return offset;
}

void report(QWidget* parent, const QString& text)
{
    dialogs().messageBox(parent, text, MessageIcon::Exclamation);
}

QString vanishedText(const QByteArray& folder)
{
    return QStringLiteral("Der Ordner \"%1\" ist nicht mehr vorhanden.").arg(pathForMessage(folder));
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
    setHorizontalScrollMode(ScrollPerPixel);
    // The column is as wide as the deepest entry (fitColumn). An entry that its indentation
    // pushes past the column's end lies outside every row the view knows: it cannot be seen, and
    // the keys lose the highlight on it and start again at the top.
    header()->setStretchLastSection(false);
    // The tree only shows where the folder lies; its branches cannot be folded.
    setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; }"));
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { openItem(item); });

    m_watcher = new QFileSystemWatcher(this);
    m_check = new QTimer(this);
    m_check->setSingleShot(true);
    connect(m_check, &QTimer::timeout, this, [this] { checkPresent(); });
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_check->isActive())
            m_check->start(kWatchSettleMs);
    });

    setNativePath(workingDirectory());
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
    rebuild(m_path);
    emit Change();
    return true;
}

void DirListBox::refresh()
{
    rebuild(highlightedPath());
}

QByteArray DirListBox::highlightedPath() const
{
    const QTreeWidgetItem* item = currentItem();
    return item ? item->data(0, kPathRole).toByteArray() : m_path;
}

void DirListBox::rebuild(const QByteArray& highlight)
{
    clear();
    m_trail = FolderTrail(m_path);
    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto fill = [&](QTreeWidgetItem* item, const QByteArray& path, const QString& text, const QIcon& icon) {
        item->setText(0, text);
        item->setIcon(0, icon);
        item->setData(0, kPathRole, path);
        item->setToolTip(0, plainToolTip(wrappedPath(path, kToolTipWidth)));
    };

    QTreeWidgetItem* folderItem = nullptr;
    QTreeWidgetItem* target = nullptr;
    for (const QByteArray& p : folderChain(m_path)) {
        const QString text = p == "/" ? QStringLiteral("/") : displayName(decodeName(p.mid(p.lastIndexOf('/') + 1)));
        auto* item = folderItem ? new QTreeWidgetItem(folderItem) : new QTreeWidgetItem(this);
        fill(item, p, text, openIcon);
        if (folderItem)
            folderItem->setExpanded(true);
        if (p == highlight)
            target = item;
        folderItem = item;
    }
    const QByteArray base = withTrailingSlash(m_path);
    m_subfolders = subfolderNames(m_path);
    QList<QTreeWidgetItem*> children;
    children.reserve(m_subfolders.size());
    for (const QByteArray& name : m_subfolders) {
        auto* item = new QTreeWidgetItem;
        const QByteArray path = base + name;
        fill(item, path, displayName(decodeName(name)), closedIcon);
        if (path == highlight)
            target = item;
        children.append(item);
    }
    folderItem->addChildren(children);
    folderItem->setExpanded(true);

    // The folder's line of ancestors and its subfolders hold the widest entries; of the
    // subfolders, only the one with the widest name needs measuring in full.
    m_contentWidth = 0;
    const auto widen = [this](const QTreeWidgetItem* item, int depth) {
        m_contentWidth = std::max(m_contentWidth, depth * indentation() + sizeHintForIndex(indexFromItem(item)).width());
    };
    int depth = 0;
    for (const QTreeWidgetItem* item = topLevelItem(0); item != folderItem; item = item->child(0))
        widen(item, depth++);
    widen(folderItem, depth);
    const QFontMetrics metrics(font());
    const auto widest = std::max_element(children.cbegin(), children.cend(), [&](const auto* a, const auto* b) {
        return metrics.horizontalAdvance(a->text(0)) < metrics.horizontalAdvance(b->text(0));
    });
    if (widest != children.cend())
        widen(*widest, depth + 1);
    fitColumn();
    updateGeometries(); // the scroll range, before anything is scrolled into view
    watch();

    setCurrentItem(target ? target : folderItem);
    keepInView();
}

void DirListBox::keepInView()
{
    QTreeWidgetItem* current = currentItem();
    if (!current)
        return;
    // With the folder itself highlighted, the first of its subfolders come into view below it.
    // scrollToItem() would bypass the sideways scrolling of scrollTo().
    const int children = current->childCount();
    if (children > 0 && current->data(0, kPathRole).toByteArray() == m_path)
        scrollTo(indexFromItem(current->child(std::min(kSubfoldersInView, children) - 1)));
    scrollTo(indexFromItem(current));
}

void DirListBox::fitColumn()
{
    header()->resizeSection(0, std::max(m_contentWidth, viewport()->width()));
}

void DirListBox::watch()
{
    QStringList paths{decodeName(m_path)};
    if (m_path != "/")
        paths.append(decodeName(parentFolder(m_path)));
    if (m_watcher->directories() == paths)
        return;
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    m_watcher->addPaths(paths);
}

bool DirListBox::checkPresent()
{
    m_check->stop();
    if (m_reporting || m_path.isEmpty())
        return true;
    const QByteArray present = m_trail.nearestPresent();
    if (present == m_path) {
        if (subfolderNames(m_path) != m_subfolders)
            refresh();
        return true;
    }
    // Moving first lets the view follow while the message is open.
    const QByteArray gone = m_path;
    m_reporting = true;
    setNativePath(present);
    report(this, vanishedText(gone));
    m_reporting = false;
    checkSoon(); // whatever else went while the message was open
    return false;
}

void DirListBox::checkSoon()
{
    m_check->start(0);
}

void DirListBox::openItem(QTreeWidgetItem* item)
{
    if (!item)
        return;
    const QByteArray path = item->data(0, kPathRole).toByteArray();
    const int error = folderError(path);
    if (error == 0) {
        setNativePath(path);
        return;
    }
    if (!checkPresent())
        return; // the shown folder went away itself: said so and moved up
    if (error == ENOENT || error == ENOTDIR) {
        report(this, vanishedText(path));
        refresh();
        return;
    }
    report(this, QStringLiteral("Der Ordner \"%1\" kann nicht geöffnet werden:\n%2")
                     .arg(pathForMessage(path), errorText(error)));
}

bool DirListBox::event(QEvent* event)
{
    // Coming back to the window, perhaps from a terminal where the folder was removed.
    if (event->type() == QEvent::WindowActivate)
        checkSoon();
    return QTreeWidget::event(event);
}

bool DirListBox::viewportEvent(QEvent* event)
{
    const bool handled = QTreeWidget::viewportEvent(event);
    if (event->type() == QEvent::Resize) {
        // Scroll bars come and go after the entries are laid out, and take room from them.
        fitColumn();
        keepInView();
    }
    return handled;
}

void DirListBox::focusInEvent(QFocusEvent* event)
{
    checkSoon();
    QTreeWidget::focusInEvent(event);
}

void DirListBox::mousePressEvent(QMouseEvent* event)
{
    checkSoon();
    QTreeWidget::mousePressEvent(event);
}

void DirListBox::scrollTo(const QModelIndex& index, ScrollHint hint)
{
    // The tree view scrolls sideways only to the start of the column, which is the same for
    // every entry; here the entry's own indentation decides.
    QScrollBar* bar = horizontalScrollBar();
    const int offset = bar->value();
    QTreeWidget::scrollTo(index, hint);
    if (!index.isValid())
        return;
    const int left = visualRect(index).left() + bar->value();
    bar->setValue(offsetToShow(left, sizeHintForIndex(index).width(), indentation(), viewport()->width(), offset));
}

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent)
{
    m_system = new SystemVolumes(this);
    setVolumeSource(nullptr);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { emit Change(); });
}

void DriveListBox::setVolumeSource(VolumeSource* source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source ? source : m_system;
    connect(m_source, &VolumeSource::changed, this, &DriveListBox::reloadVolumes);
    reloadVolumes();
}

void DriveListBox::reloadVolumes()
{
    const QList<Volume> volumes = (m_source ? m_source.data() : m_system)->volumes();
    if (volumes != m_volumes) {
        const QByteArray chosen = Drive();
        const QSignalBlocker blocker(this);
        m_volumes = volumes;
        clear();
        const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
        for (const Volume& v : m_volumes)
            addItem(icon, v.displayName, v.rootPath);
        const int index = findData(chosen);
        setCurrentIndex(index >= 0 ? index : (count() > 0 ? 0 : -1));
    }
    emit volumesRead();
}

void DriveListBox::keyPressEvent(QKeyEvent* event)
{
    // A key meant for the list of pictures or of folders must not take the user to another
    // volume: only the arrows, letters and the opened list choose one.
    switch (event->key()) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        event->ignore();
        return;
    default:
        QComboBox::keyPressEvent(event);
    }
}

void DriveListBox::showPopup()
{
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
