#include "main_window/frmmain.h"

#include "about/frmAbout.h"
#include "clocks/ClocksDialog.h"
#include "imaging/LoadJPG.h"
#include "thumbnails/Arrangement.h"
#include "main_window/ThumbCanvas.h"
#include "ordering/Summary.h"
#include "platform/AppIcon.h"
#include "platform/Dialogs.h"
#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "platform/FolderList.h"
#include "platform/Numeric.h"
#include "platform/Screen.h"
#include "renaming/Renamer.h"
#include "settings/Settings.h"
#include "settings/frmOptions.h"
#include "thumbnails/ThumbnailCache.h"
#include "thumbnails/ThumbnailLoader.h"
#include "thumbnails/TimeTakenReader.h"
#include "viewer/frmShowImage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include <malloc.h>


namespace {

// Box images are kept for the rows in view and this many screens of rows above and below them,
// as far as the budget allows: enough that scrolling by pages shows finished pictures.
constexpr int kScreensKept = 2;

QColor viewportColor()
{
    return QColor(0x80, 0x80, 0x80);
}

} // namespace

frmmain::frmmain(QWidget* parent)
    : QMainWindow(parent), m_pointer(platform::MousePointer::Default),
      m_keeper(m_order, ordering::OrderStore(renaming::defaultStateFolder()), this),
      m_listing(m_keeper.store(), this)
{
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("Tessaline"));
    setWindowIcon(platform::applicationIcon());
    // The path of a thumbnail shows on hover even while another window has the focus.
    setAttribute(Qt::WA_AlwaysShowToolTips);

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    imgSplitter = new QWidget(m_client);
    imgSplitter->setObjectName(QStringLiteral("imgSplitter"));
    imgSplitter->setCursor(Qt::SplitHCursor);
    imgSplitter->installEventFilter(this);

    DirSelect = new platform::DirListBox(m_client);
    DirSelect->setObjectName(QStringLiteral("DirSelect"));
    DrvSelect = new platform::DriveListBox(m_client);
    DrvSelect->setObjectName(QStringLiteral("DrvSelect"));
    DrvSelect->showDriveOf(DirSelect->nativePath());
    DrvSelect->rememberFolder(DirSelect->nativePath());

    pctPreview = new QWidget(m_client);
    pctPreview->setObjectName(QStringLiteral("pctPreview"));
    pctPreview->setAutoFillBackground(true);
    QPalette viewport = pctPreview->palette();
    viewport.setColor(QPalette::Window, viewportColor());
    pctPreview->setPalette(viewport);
    pctPreview->setFocusPolicy(Qt::StrongFocus);
    pctPreview->installEventFilter(this);

    picScroll = new ThumbCanvas(pctPreview);
    picScroll->setObjectName(QStringLiteral("picScroll"));
    picScroll->installEventFilter(this);
    picScroll->setSelection(&m_order.selection());
    picScroll->setToolTips([this](int nr) { return ordering::pictureToolTip(pathOf(nr), companionsOf(nr)); });
    picScroll->setMarks([this](int nr) { return ordering::companionMark(companionsOf(nr)); });

    linWohin = new QWidget(picScroll);
    linWohin->setObjectName(QStringLiteral("linWohin"));
    linWohin->setAutoFillBackground(true);
    QPalette white = linWohin->palette();
    white.setColor(QPalette::Window, Qt::white);
    linWohin->setPalette(white);
    linWohin->hide();

    ScrollMe = new QScrollBar(Qt::Vertical, pctPreview);
    ScrollMe->setObjectName(QStringLiteral("ScrollMe"));
    ScrollMe->setRange(0, 0);
    ScrollMe->setSingleStep(1);
    ScrollMe->setPageStep(3);
    connect(ScrollMe, &QScrollBar::valueChanged, this, [this] { ScrollMe_Change(); });
    connect(ScrollMe, &QScrollBar::sliderMoved, this, [this] { ScrollMe_Scroll(); });
    // Wherever the view goes, its pictures are there or prepared next.
    connect(ScrollMe, &QScrollBar::valueChanged, this, [this] { followView(); });

    picSplitter = new QWidget(m_client);
    picSplitter->setObjectName(QStringLiteral("picSplitter"));
    picSplitter->setAutoFillBackground(true);
    QPalette grey = picSplitter->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    picSplitter->setPalette(grey);
    picSplitter->hide();

    tmrNextDir = new QTimer(this);
    tmrNextDir->setObjectName(QStringLiteral("tmrNextDir"));
    tmrNextDir->setInterval(1);
    connect(tmrNextDir, &QTimer::timeout, this, [this] { tmrNextDir_Timer(); });

    tmrScroll = new QTimer(this);
    tmrScroll->setObjectName(QStringLiteral("tmrScroll"));
    tmrScroll->setInterval(200);
    connect(tmrScroll, &QTimer::timeout, this, [this] { tmrScroll_Timer(); });
    tmrScroll->start();

    m_loadTimer = new QTimer(this);
    m_loadTimer->setInterval(0);
    connect(m_loadTimer, &QTimer::timeout, this, [this] { loadNext(); });

    connect(&m_listing, &ordering::FolderListing::keptOrderRead, &m_keeper, &ordering::OrderKeeper::keptOrderRead);
    connect(&m_listing, &ordering::FolderListing::found, this, &frmmain::filesFound);
    connect(&m_listing, &ordering::FolderListing::failed, this, [this](const QString&, const QString& errorText) {
        platform::dialogs().messageBox(this,
                                       QStringLiteral("Der Ordner \"%1\" kann nicht gelesen werden:\n%2")
                                           .arg(platform::pathForMessage(DirSelect->nativePath()), errorText),
                                       platform::MessageIcon::Exclamation);
    });
    connect(&m_listing, &ordering::FolderListing::companionsFound, this, [this](const ordering::CompanionsFound& found) {
        m_order.setCompanions(found);
    });
    connect(&m_listing, &ordering::FolderListing::finished, this, &frmmain::listingFinished);

    connect(DirSelect, &platform::DirListBox::Change, this, [this] { DirSelect_Change(); });
    connect(DrvSelect, &platform::DriveListBox::Change, this, [this] { DrvSelect_Change(); });

    // Its limit comes with the settings.
    m_cache = std::make_shared<thumbs::ThumbnailCache>(thumbs::ThumbnailCache::userFileName(), 0);

    m_captionStyle.font = thumbs::boxFont(platform::twipsPerPixelY());
    m_captionStyle.foreground = Qt::black;
    m_captionStyle.background = picScroll->BackColor();
    m_captionStyle.transparent = false;

    createMenus();
    // Besides the folder list's own watch, a folder that has gone is noticed when volumes come
    // or go and whenever the user opens a menu or the drive list.
    connect(DrvSelect, &platform::DriveListBox::volumesRead, this, [this] {
        if (DirSelect->checkPresent())
            DrvSelect->showDriveOf(DirSelect->nativePath());
    });
    for (QMenu* menu : {mnuFile, mnuOrder, mnuHelp}) {
        connect(menu, &QMenu::aboutToShow, DirSelect, &platform::DirListBox::checkPresent);
        // A menu closed by Escape leaves the keys with the menu bar, waiting for another menu; they
        // go back to where they were, so that End right after it scrolls the pictures.
        connect(menu, &QMenu::aboutToHide, this, [this] {
            QTimer::singleShot(0, this, [this] {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                if (menuBar()->hasFocus() && !QApplication::activePopupWidget())
                    QCoreApplication::sendEvent(menuBar(), &escape);
            });
        });
    }
    // The keys go to the pictures, which sit between the two lists as the eye goes.
    setTabOrder(DirSelect, pctPreview);
    setTabOrder(pctPreview, DrvSelect);
    pctPreview->setFocus();

    // Design geometry, in twips, converted to this screen's pixels.
    const double tx = platform::twipsPerPixelX();
    const double ty = platform::twipsPerPixelY();
    m_layout.DrvSelect.Height = DrvSelect->sizeHint().height() * ty;
    m_layout.ScrollMe.Width = twipsToPixels(kScrollBarWidth, tx);
    picScroll->setGeometry(0, 0, twipsToPixels(5655, tx), twipsToPixels(5415, ty));
    linWohin->resize(twipsToPixels(45, tx), twipsToPixels(1500, ty));
    applyLayout();
    setupDragAndDrop();
    setUpKeptOrder();

    // Below the form's own area, which keeps its design size.
    sbrStatus = new QStatusBar(this);
    sbrStatus->setObjectName(QStringLiteral("sbrStatus"));
    setStatusBar(sbrStatus);
    lblShown = new QLabel(sbrStatus);
    lblShown->setObjectName(QStringLiteral("lblShown"));
    lblShown->setTextFormat(Qt::PlainText);
    cmdShowOptions = new QToolButton(sbrStatus);
    cmdShowOptions->setObjectName(QStringLiteral("cmdShowOptions"));
    cmdShowOptions->setText(QStringLiteral("Optionen..."));
    cmdShowOptions->setAutoRaise(true);
    cmdShowOptions->setFocusPolicy(Qt::NoFocus);
    cmdShowOptions->hide();
    connect(cmdShowOptions, &QToolButton::clicked, this, [this] { mnuOptions_Click(); });
    sbrStatus->addPermanentWidget(lblShown);
    sbrStatus->addPermanentWidget(cmdShowOptions);
    m_client->setMinimumSize(0, 0);
    resize(twipsToPixels(kClientWidth, tx),
           twipsToPixels(kClientHeight, ty) + menuBar()->sizeHint().height() + sbrStatus->sizeHint().height());
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }

    Form_Load();
}

frmmain::~frmmain()
{
    stopBuild();
}

void frmmain::createMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&Datei"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    // Why an item is not possible shows on it.
    mnuFile->setToolTipsVisible(true);
    mnuRenameImgs = addMenuItem(mnuFile, QStringLiteral("&Bilder umbenennen..."),
                                QStringLiteral("mnuRenameImgs"), &frmmain::mnuRenameImgs_Click);
    mnuUndoRename = addMenuItem(mnuFile, QStringLiteral("Umbenennen &rückgängig"),
                                QStringLiteral("mnuUndoRename"), &frmmain::mnuUndoRename_Click);
    connect(mnuFile, &QMenu::aboutToShow, this, [this] { updateUndoRename(true); });
    updateUndoRename(false);
    mnuOptions = addMenuItem(mnuFile, QStringLiteral("&Optionen"), QStringLiteral("mnuOptions"),
                             &frmmain::mnuOptions_Click);
    mnusep = mnuFile->addSeparator();
    mnusep->setObjectName(QStringLiteral("mnusep"));
    mnuEnd = addMenuItem(mnuFile, QStringLiteral("&Ende"), QStringLiteral("mnuEnd"), &frmmain::mnuEnd_Click);

    createOrderMenu();

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Hilfe"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuAbout =
        addMenuItem(mnuHelp, QStringLiteral("&Info"), QStringLiteral("mnuAbout"), &frmmain::mnuAbout_Click);
    updateMenus(); // as no folder is shown yet
}

QAction* frmmain::addMenuItem(QMenu* menu, const QString& caption, const QString& name,
                              void (frmmain::*click)())
{
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this, [this, click] { (this->*click)(); });
    return item;
}

void frmmain::Form_Load()
{
    getprops();
}

void frmmain::getprops()
{
    const settings::Props props = settings::readProps();
    showfilename = props.showfilename;
    selectfolder = props.selectfolder;
    companions = props.companions;
    m_listing.setCompanions(companions);
    thumbwidth = props.thumbwidth;
    thumbheight = props.thumbheight;
    imageerw = props.imageerw;
    m_cache->setLimit(props.thumbnailCacheMiB << 20);
}

bool frmmain::openFolder(const QString& path)
{
    if (!DirSelect->setPath(path))
        return false;
    // A folder given from outside is built even when the folder list already shows it.
    DirSelect_Change();
    return true;
}

double frmmain::outerWidthTwips() const
{
    return frameGeometry().width() * platform::twipsPerPixelX();
}

FormMetrics frmmain::metrics() const
{
    const double tx = platform::twipsPerPixelX();
    const double ty = platform::twipsPerPixelY();
    return FormMetrics{outerWidthTwips(), m_client->width() * tx, m_client->height() * ty, tx, ty};
}

void frmmain::Form_Resize()
{
    if (isMinimized())
        return;
    const double tx = platform::twipsPerPixelX();
    if (outerWidthTwips() < kMinimumOuterWidth) {
        const int frame = frameGeometry().width() - width();
        resize(twipsToPixels(kMinimumOuterWidth, tx) - frame, height());
    }
    float x = static_cast<float>(m_layoutDone ? m_layout.imgSplitter.Left : kSplitterStart);
    m_layoutDone = true;
    SizeControls(x);
    arrangeimgs(true);
}

void frmmain::SizeControls(float& x)
{
    ::SizeControls(x, metrics(), m_layout);
    applyLayout();
    arrangeimgs(true);
}

void frmmain::applyLayout()
{
    const double tx = platform::twipsPerPixelX();
    const double ty = platform::twipsPerPixelY();
    const auto place = [&](QWidget* w, const TwipRect& r) {
        w->setGeometry(twipsToPixels(r.Left, tx), twipsToPixels(r.Top, ty), twipsToPixels(r.Width, tx),
                       twipsToPixels(r.Height, ty));
    };
    place(DirSelect, m_layout.DirSelect);
    place(DrvSelect, m_layout.DrvSelect);
    place(imgSplitter, m_layout.imgSplitter);
    place(pctPreview, m_layout.pctPreview);
    place(picSplitter, m_layout.picSplitter);
    const PixelRect& s = m_layout.ScrollMe;
    ScrollMe->setGeometry(s.Left, s.Top, s.Width, s.Height);
    ScrollMe->raise();
    // The splitter handle lies under the windowed controls; only the gap before the viewport
    // shows it.
    imgSplitter->lower();
}

void frmmain::arrangeimgs(bool updscroll)
{
    const int TW = thumbwidth;
    const int TH = thumbheight;
    const int A = pctPreview->width() - ScrollMe->width();
    if (updscroll)
        ScrollMe->setMaximum(0);
    // Once every file is listed, the slot after the last picture is laid out too: the marker
    // stands there for a drop at the end.
    const QList<int>& order = m_order.shown();
    const qsizetype places = order.size() + (m_order.listed() ? 1 : 0);
    const Arrangement a = arrangeSlots(places, TW, TH, A);
    for (qsizetype i = 0; i < order.size(); ++i)
        picScroll->Move(order[i], a.positions[i].x(), a.positions[i].y(), TW, TH);
    m_endSlot = places > order.size() ? QRect(a.positions.last(), QSize(TW, TH)) : QRect();
    picScroll->resize(a.canvasWidth, a.canvasHeight);
    m_columns = a.columns;
    if (updscroll) {
        ScrollMe->setMaximum(scrollMaximum(a, order.size(), TH, pctPreview->height()));
        // A click on the track moves by one screenful of rows.
        const int rows = qMax(1, pctPreview->height() / qMax(1, TH + 1));
        ScrollMe->setPageStep(3 * rows);
    }
    picScroll->update();
    followView();
}

ThumbnailLoader& frmmain::thumbnailLoader()
{
    if (!m_loader) {
        m_loader = new ThumbnailLoader(loaderThreads, m_cache, this);
        connect(m_loader, &ThumbnailLoader::resultReady, this, [this] { takeResults(); });
    }
    return *m_loader;
}

QSize frmmain::boxPixels() const
{
    return picScroll->imagePixels(thumbwidth, thumbheight);
}

void frmmain::loadpic(int nr)
{
    const QSize box = boxPixels();
    thumbs::Preparer preparer;
    applyPrepared(nr, preparer.prepare(pathOf(nr), box.width(), box.height()));
}

bool frmmain::applyPrepared(int nr, const thumbs::Prepared& prepared)
{
    if (!picScroll->contains(nr) || QSize(prepared.TW, prepared.TH) != boxPixels())
        return false;
    ImgPreview& e = picScroll->element(nr);
    if (prepared.preview) {
        // Nothing is learnt from a preview but how the picture looks, and that only for a while.
        if (e.Loaded || prepared.kind == thumbs::Prepared::Kind::Unreadable || !keepsImage(e))
            return false;
        e.shows = ImgPreview::Shows::Preview;
        drawBox(nr, prepared);
        emit previewShown(nr);
        return false;
    }
    const bool first = !e.Loaded;
    if (first) {
        if (prepared.decoderStartFailed)
            imaging::reportDecoderStartFailure(this, prepared.decoderStartCode);
        e.Loaded = true;
    } else if (e.shows != ImgPreview::Shows::Picture || prepared.transient) {
        // Only pictures are made again; a failure of the moment is tried again when the box
        // next comes near the view.
        return false;
    }
    m_order.setTaken(nr,
                     prepared.taken ? std::optional(ordering::ClockTime{prepared.taken->seconds,
                                                                        prepared.taken->nanoseconds})
                                    : std::nullopt,
                     clocks::cameraOf(prepared.camera));
    if (prepared.kind == thumbs::Prepared::Kind::Unreadable) {
        // Also a picture whose file has gone or cannot be read any more since it was drawn.
        e.shows = ImgPreview::Shows::Cross;
        m_store.remove(nr);
        picScroll->dropBoxImage(nr);
        picScroll->Refresh(nr);
    } else {
        const bool overPreview = e.shows == ImgPreview::Shows::Preview;
        e.shows = ImgPreview::Shows::Picture;
        const bool kept = keepsImage(e);
        if (kept && (overPreview || !picScroll->hasBoxImage(nr)))
            drawBox(nr, prepared);
        else if (overPreview)
            picScroll->dropBoxImage(nr);
        m_store.put(nr, prepared, kept);
    }
    if (first) {
        emit thumbnailLoaded(nr);
        if (m_loadingPhase && --m_toLoad == 0)
            buildFinished();
    }
    return first;
}

void frmmain::drawBox(int nr, const thumbs::Prepared& prepared)
{
    thumbs::draw(picScroll->newBoxImage(nr), prepared, captionOf(nr), m_captionStyle);
    picScroll->Refresh(nr);
}

QString frmmain::captionOf(int nr) const
{
    if (!showfilename)
        return QString();
    return platform::displayName(thumbs::fileNameOf(platform::decodeName(pathOf(nr))));
}

bool frmmain::keepsImage(const ImgPreview& e) const
{
    return e.Visible && m_keep.contains(e.Top / (qint64(qMax<int>(thumbheight, 0)) + 1));
}

void frmmain::takeResults()
{
    while (m_loader) {
        const std::optional<ThumbnailLoader::Result> r = m_loader->takeReady();
        if (!r)
            break;
        applyPrepared(r->index, r->prepared);
    }
}

frmmain::NearView frmmain::nearView() const
{
    NearView near;
    const bool previews = thumbs::previews();
    const QList<int>& order = m_order.shown();
    for (const qsizetype k : positionsNearView(order.size(), m_columns, thumbheight, picScroll->y(), pctPreview->height())) {
        const ImgPreview& e = picScroll->element(order[k]);
        if (e.Loaded)
            continue;
        near.jobs.append({e.Index, pathOf(e.Index)});
        // A preview whose image was given up is made again.
        const bool lost = e.shows == ImgPreview::Shows::Preview;
        if (previews && (!lost || !picScroll->hasBoxImage(e.Index)))
            near.previews.append({e.Index, pathOf(e.Index), lost});
    }
    return near;
}

void frmmain::followView()
{
    const QSize box = boxPixels();
    const int TH = qMax<int>(thumbheight, 0);
    const QList<int>& order = m_order.shown();
    const qsizetype places = order.size() + (m_order.listed() ? 1 : 0);
    m_keep = rowsKeepingImages(places, m_columns, TH, picScroll->y(), pctPreview->height(),
                               qint64(box.width()) * box.height() * 4, boxImageBudget, kScreensKept);
    picScroll->dropBoxImagesUnless([this](const ImgPreview& e) { return keepsImage(e); });

    NearView near;
    if (m_loadingPhase && threadedLoading)
        near = nearView();
    QList<ThumbnailLoader::Job>& jobs = near.jobs;
    const QList<ThumbnailLoader::Job>& previews = near.previews;
    // Boxes near the view that gave their images up get them again: from memory at once, else
    // from the workers (which find most in the thumbnail cache); the rows in view first, then
    // outwards.
    const RowSpan inView = rowsInView(places, m_columns, TH, picScroll->y(), pctPreview->height());
    const auto remakeRow = [&](qint64 row) {
        if (!m_keep.contains(row))
            return;
        const qsizetype end = std::min<qsizetype>((row + 1) * m_columns, order.size());
        for (qsizetype k = row * m_columns; k < end; ++k) {
            const ImgPreview& e = picScroll->element(order[k]);
            if (!e.Loaded || e.shows != ImgPreview::Shows::Picture || picScroll->hasBoxImage(e.Index))
                continue;
            if (const thumbs::Prepared* prepared = m_store.find(e.Index))
                drawBox(e.Index, *prepared);
            else
                jobs.append({e.Index, pathOf(e.Index), true});
        }
    };
    for (qint64 row = inView.first; row <= inView.last; ++row)
        remakeRow(row);
    for (qint64 d = 1; inView.last + d <= m_keep.last || inView.first - d >= m_keep.first; ++d) {
        remakeRow(inView.last + d);
        remakeRow(inView.first - d);
    }

    if (!threadedLoading) {
        thumbs::Preparer preparer;
        for (const ThumbnailLoader::Job& job : jobs)
            applyPrepared(job.index, preparer.prepare(job.nativePath, box.width(), box.height()));
    } else if (m_loader || !jobs.isEmpty()) {
        thumbnailLoader().preview(previews);
        thumbnailLoader().prioritize(jobs);
    }
}

qsizetype frmmain::startLoading(qsizetype from)
{
    if (!m_loadingPhase)
        return 0;
    if (!threadedLoading) {
        m_loadTimer->start();
        return m_toLoad;
    }
    // A box near the view comes twice; the loader prepares it once.
    NearView near = nearView();
    QList<ThumbnailLoader::Job>& jobs = near.jobs;
    const QList<int>& order = m_order.shown();
    jobs.reserve(jobs.size() + order.size());
    const qsizetype n = order.size();
    for (qsizetype i = 0; i < n; ++i) {
        const ImgPreview& e = picScroll->element(order[(from + i) % n]);
        if (!e.Loaded)
            jobs.append({e.Index, pathOf(e.Index)});
    }
    const QSize box = boxPixels();
    thumbnailLoader().start(jobs, box.width(), box.height(), near.previews);
    return jobs.size();
}

void frmmain::stopLoading()
{
    if (m_loader)
        m_loader->cancel();
    m_loadTimer->stop();
}

int frmmain::nextToLoad(qsizetype& cursor) const
{
    const QList<int>& order = m_order.shown();
    for (const qsizetype k : positionsNearView(order.size(), m_columns, thumbheight, picScroll->y(), pctPreview->height()))
        if (!picScroll->element(order[k]).Loaded)
            return order[k];
    // In display order; a box that was moved back to a place already passed is found by a last
    // sweep from the start.
    for (const qsizetype start : {cursor, qsizetype(0)}) {
        cursor = start;
        while (cursor < order.size() && picScroll->element(order[cursor]).Loaded)
            ++cursor;
        if (cursor < order.size())
            return order[cursor];
    }
    return 0;
}

void frmmain::loadNext()
{
    if (threadedLoading) {
        m_loadTimer->stop();
        startLoading(0);
        return;
    }
    const int nr = nextToLoad(m_loadCursor);
    if (nr == 0) {
        m_loadTimer->stop();
        return;
    }
    loadpic(nr);
}

void frmmain::showStatus()
{
    const bool listing = m_listing.running();
    lblShown->setText(listing ? ordering::listingLine(m_order.count())
                              : ordering::shownLine(m_order.count(), m_listing.skipped()));
    cmdShowOptions->setVisible(!listing && !m_listing.skipped().isEmpty());
}

void frmmain::setPointer(platform::MousePointer pointer)
{
    m_pointer = pointer;
    platform::setMousePointer(this, pointer);
}

void frmmain::stopBuild()
{
    m_listing.cancel();
    stopLoading();
    m_loadingPhase = false;
    building = false;
}

void frmmain::makeview()
{
    setPointer(platform::MousePointer::ArrowHourglass);
    // A folder gone since it was chosen: the folder list has said so and moved up, and that
    // change brings the next build.
    if (!DirSelect->checkPresent())
        return;
    // A build under way is dropped: this one shows the folder and the settings as they are now.
    stopBuild();
    const QByteArray folder = platform::withTrailingSlash(DirSelect->nativePath());
    // The steps taken on a folder stay with it while it is shown, whatever else comes or goes.
    const bool again = folder == m_keeper.folder();
    // The order of the view that goes is kept before its pictures do.
    m_keeper.showFolder(folder, imageerw);
    picScroll->unloadAll();
    m_order.clear(again);
    m_store.clear();
    m_store.setBudget(preparedBudget);
    // What the folder left behind goes back to the system, not only to the allocator: a large
    // folder leaves many small blocks spread over the heap.
    ::malloc_trim(0);
    building = true;
    // Each file goes to its kept place as it comes, the others after them by name: the view is
    // in that order at once, without a second pass.
    m_listing.start(folder, imageerw);
    updateMenus();
    showStatus();
}

void frmmain::filesFound(const ordering::ListedBatch& batch)
{
    if (closing)
        return;
    m_order.add(batch);
    // The boxes are keyed by the pictures' ids, which are given in the order the files come.
    while (picScroll->count() < m_order.count()) {
        ImgPreview& e = picScroll->element(picScroll->load());
        e.Width = thumbwidth;
        e.Height = thumbheight;
        e.Visible = true;
    }
    // While a folder is listed, the new boxes pile up in the canvas's corner.
    if (picScroll->count() > 0)
        picScroll->Refresh(picScroll->count());
    showStatus();
}

void frmmain::listingFinished(const QList<QByteArray>& hidden)
{
    if (closing)
        return;
    m_listing.letGo(m_order.finishListing());
    m_keeper.listingFinished(hidden);
    updateMenus();
    arrangeimgs(true);
    showStatus();
    // The keys go where the user looks, unless another window has them.
    const QWidget* focus = QApplication::focusWidget();
    if (m_order.count() > 0 && (!focus || focus->window() == this))
        pctPreview->setFocus(Qt::OtherFocusReason);
    emit viewArranged();
    if (!m_order.arrivals().isEmpty())
        placeArrivals();

    // Every box is loaded exactly once, those the user looks at first: the workers prepare the
    // ones near the view first and follow it when it moves, and each picture is drawn as soon
    // as it is ready, wherever it is.
    picScroll->setBoxPixelRatio(picScroll->devicePixelRatioF());
    m_loadingPhase = true;
    m_toLoad = m_order.count();
    m_loadCursor = 0;
    // From the next turn: the layout is shown first, and the user's input is taken in between.
    if (m_toLoad == 0)
        buildFinished();
    else
        m_loadTimer->start();
}

void frmmain::buildFinished()
{
    m_loadingPhase = false;
    m_loadTimer->stop();
    building = false;
    setPointer(platform::MousePointer::Default);
    emit viewBuilt();
}

void frmmain::updateMenus()
{
    // Renaming a part of the folder, or putting a part into an order, would leave the rest where
    // it happens to stand.
    const bool listing = m_listing.running();
    const QString why = listing ? QStringLiteral("Der Ordner wird noch gelesen.") : QString();
    for (QAction* item : {mnuRenameImgs, mnuUndoRename, mnuOrderByTime, mnuOrderByName}) {
        item->setEnabled(!listing);
        item->setToolTip(why);
    }
    // Before the first folder is shown there is nothing to put into an order.
    if (!listing && !m_order.listed()) {
        for (QAction* item : {mnuOrderByTime, mnuOrderByName}) {
            item->setEnabled(false);
            item->setToolTip(QStringLiteral("Zuerst einen Ordner wählen."));
        }
    }
    updateUndoRename(false);
    updateOrderMenu();
}

void frmmain::DirSelect_Change()
{
    dirchanged = true;
    tmrNextDir->start();
    DrvSelect->showDriveOf(DirSelect->nativePath());
    DrvSelect->rememberFolder(DirSelect->nativePath());
}

void frmmain::DrvSelect_Change()
{
    const QByteArray root = DrvSelect->Drive();
    if (root.isEmpty())
        return;
    const QByteArray last = DrvSelect->lastFolderOn(root);
    const auto show = [this](const QByteArray& folder) {
        return platform::isReadableDirectory(folder) && DirSelect->setNativePath(folder);
    };
    if (show(last) || (last != root && show(root)))
        return;
    // The volume cannot be read: quietly go back to the one the folder list still shows.
    DrvSelect->setDrive(DirSelect->nativePath());
}

void frmmain::tmrNextDir_Timer()
{
    dirchanged = false;
    tmrNextDir->stop();
    makeview();
}

void frmmain::tmrScroll_Timer()
{
    scrolltick = true;
}

void frmmain::ScrollMe_Change()
{
    picScroll->move(0, canvasTopPixels(thumbheight, ScrollMe->value()));
}

void frmmain::ScrollMe_Scroll()
{
    ScrollMe_Change();
}

void frmmain::imgSplitter_MouseDown()
{
    TwipRect& bar = m_layout.picSplitter;
    bar.Left = m_layout.imgSplitter.Left;
    bar.Top = m_layout.imgSplitter.Top;
    bar.Width = m_layout.imgSplitter.Width - 20;
    bar.Height = m_layout.imgSplitter.Height - 20;
    applyLayout();
    picSplitter->show();
    picSplitter->raise();
    splitmoving = true;
}

void frmmain::imgSplitter_MouseMove(double X)
{
    if (!splitmoving)
        return;
    m_layout.picSplitter.Left = splitterDragPosition(X + m_layout.imgSplitter.Left, outerWidthTwips());
    const double tx = platform::twipsPerPixelX();
    picSplitter->move(twipsToPixels(m_layout.picSplitter.Left, tx), picSplitter->y());
}

void frmmain::imgSplitter_MouseUp()
{
    float x = static_cast<float>(m_layout.picSplitter.Left);
    SizeControls(x);
    picSplitter->hide();
    splitmoving = false;
}

void frmmain::mnuOptions_Click()
{
    {
        frmOptions dialog(this);
        dialog.exec();
    }
    platform::returnFocusTo(this);
    getprops();
    makeview();
}

void frmmain::mnuAbout_Click()
{
    {
        frmAbout dialog(this);
        dialog.exec();
    }
    platform::returnFocusTo(this);
}

void frmmain::mnuEnd_Click()
{
    // Ends at once, without close events.
    closing = true;
    stopBuild();
    m_keeper.flush();
    QCoreApplication::exit(0);
}

void frmmain::closeEvent(QCloseEvent* event)
{
    closing = true;
    stopBuild();
    m_keeper.flush();
    event->accept();
}

void frmmain::scrollTo(int value)
{
    ScrollMe->setValue(qBound(ScrollMe->minimum(), value, ScrollMe->maximum()));
}

bool frmmain::scrollByKey(int key)
{
    switch (key) {
    case Qt::Key_Up:
        scrollTo(ScrollMe->value() - ScrollMe->singleStep());
        break;
    case Qt::Key_Down:
        scrollTo(ScrollMe->value() + ScrollMe->singleStep());
        break;
    case Qt::Key_PageUp:
        scrollTo(ScrollMe->value() - ScrollMe->pageStep());
        break;
    case Qt::Key_PageDown:
        scrollTo(ScrollMe->value() + ScrollMe->pageStep());
        break;
    case Qt::Key_Home:
        scrollTo(ScrollMe->minimum());
        break;
    case Qt::Key_End:
        scrollTo(ScrollMe->maximum());
        break;
    default:
        return false;
    }
    return true;
}

bool frmmain::eventFilter(QObject* watched, QEvent* event)
{
    if (dragEventFilter(watched, event))
        return true;
    if (watched == m_client && event->type() == QEvent::Resize) {
        Form_Resize();
    } else if (watched == imgSplitter) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            imgSplitter_MouseDown();
            return true;
        case QEvent::MouseMove:
            imgSplitter_MouseMove(static_cast<QMouseEvent*>(event)->position().x() * platform::twipsPerPixelX());
            return true;
        case QEvent::MouseButtonRelease:
            imgSplitter_MouseUp();
            return true;
        default:
            break;
        }
    } else if (watched == pctPreview || watched == picScroll) {
        if (event->type() == QEvent::Wheel) {
            // One notch scrolls one row: three units.
            const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
            scrollTo(ScrollMe->value() - 3 * notches);
            return true;
        }
        if (event->type() == QEvent::KeyPress && thumbnailKey(static_cast<QKeyEvent*>(event)))
            return true;
        if (event->type() == QEvent::MouseButtonPress) {
            pctPreview->setFocus(Qt::MouseFocusReason);
            // Thumbnails take their presses themselves: this one is on the empty area.
            const auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() == Qt::LeftButton &&
                !(press->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier)) && m_order.unpickAll())
                selectionChanged();
        }
        if (watched == pctPreview && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
            picScroll->setFocusShown(pctPreview->hasFocus());
    }
    return QMainWindow::eventFilter(watched, event);
}
