#pragma once

#include "thumbnails/Arrangement.h"
#include "main_window/FormLayout.h"
#include "main_window/Reorder.h"
#include "ordering/FolderListing.h"
#include "ordering/OrderKeeper.h"
#include "ordering/PictureOrder.h"
#include "thumbnails/PreparedStore.h"
#include "thumbnails/ThumbnailLoader.h"
#include "thumbnails/Thumbnails.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QKeyEvent;
class QLabel;
class QMenu;
class QProgressDialog;
class QScrollBar;
class QStatusBar;
class QTimer;
class QToolButton;
class ThumbCanvas;
class TimeTakenReader;
struct ImgPreview;
class frmShowImage;

namespace thumbs {
class ThumbnailCache;
}

namespace renaming {
class Renamer;
struct Result;
} // namespace renaming

namespace platform {
class DirListBox;
class DriveListBox;
enum class MousePointer;
} // namespace platform

// The main window: the folder column on the left, the splitter, and the thumbnail viewport with
// its scroll bar on the right, a status line below. It draws the pictures of the folder shown and
// edits their order (ordering::PictureOrder); the folder comes in from a listing job, the pictures
// from the thumbnail loader, both as results on this thread.
class frmmain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmmain(QWidget* parent = nullptr);
    ~frmmain() override;

    // Chooses a folder from outside (the command line) exactly as if the user had picked it.
    bool openFolder(const QString& path);
    // Finishes or undoes a renaming run that an earlier start left unfinished, and says so.
    void recoverInterruptedRenames();

    void getprops();
    void SizeControls(float& x);
    // Shows the folder of DirSelect anew: whatever is under way for the one shown is dropped, its
    // files are listed by a job and laid out when they all are, then their pictures come.
    void makeview();
    void arrangeimgs(bool updscroll = true);
    void loadpic(int nr);

    platform::MousePointer MousePointer() const { return m_pointer; }
    double outerWidthTwips() const;
    const FormLayout& layoutTwips() const { return m_layout; }

    // Controls.
    platform::DirListBox* DirSelect = nullptr;
    platform::DriveListBox* DrvSelect = nullptr;
    QWidget* imgSplitter = nullptr;
    QWidget* picSplitter = nullptr;
    QWidget* pctPreview = nullptr;
    ThumbCanvas* picScroll = nullptr;
    QWidget* linWohin = nullptr;
    QScrollBar* ScrollMe = nullptr;
    QTimer* tmrNextDir = nullptr;
    QTimer* tmrScroll = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuRenameImgs = nullptr;
    QAction* mnuUndoRename = nullptr;
    QAction* mnuOptions = nullptr;
    QAction* mnusep = nullptr;
    QAction* mnuEnd = nullptr;
    QMenu* mnuOrder = nullptr;
    QAction* mnuOrderByTime = nullptr;
    QAction* mnuOrderByName = nullptr;
    QAction* mnuAlignClocks = nullptr;
    QAction* mnuSameMoment = nullptr;
    QAction* mnuSelectionFirst = nullptr;
    QAction* mnuSelectionLast = nullptr;
    QAction* mnuUndoOrder = nullptr;
    QAction* mnuRedoOrder = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;
    // What the window has to say without stopping the user: an order that could not be kept.
    QStatusBar* sbrStatus = nullptr;
    // In it, always: what the view shows and what of the folder it does not, with the way to the
    // options when that is something; the progress while the folder is listed or times are read.
    QLabel* lblShown = nullptr;
    QToolButton* cmdShowOptions = nullptr;

    // Settings copies.
    bool selectfolder = false;
    bool companions = false; // renamed with their pictures, marked on the boxes
    bool showfilename = false;
    std::int16_t thumbwidth = 0;
    std::int16_t thumbheight = 0;
    QString imageerw;

    // Form state. `building` runs from a folder change until every picture is in; `dirchanged`
    // while a folder change waits for tmrNextDir.
    bool scrolltick = false;
    bool building = false;
    bool closing = false;
    bool splitmoving = false;
    bool dirchanged = false;
    // Pictures are prepared on worker threads, those in view first, and drawn as they come;
    // off, each is prepared on this thread when it is drawn, those in view first too, and
    // nothing is kept across starts. Both give the same pixels.
    bool threadedLoading = true;
    // Worker threads of the loader; 0: one per processor core, up to four. Read when the loader
    // is first needed.
    int loaderThreads = 0;
    // The loader that prepares the thumbnails (made when first needed).
    ThumbnailLoader& thumbnailLoader();

    // Memory for the pictures, whatever the size of the folder and of the thumbnails: images of
    // the boxes near the view (those in view always have theirs), and prepared pictures of boxes
    // whose images were given up, so that they are drawn again at once when they come back. The
    // first is read wherever the view goes, the second when a folder is built.
    static constexpr std::int64_t kBoxImageBudget = std::int64_t(96) << 20;
    static constexpr std::int64_t kPreparedBudget = std::int64_t(64) << 20;
    std::int64_t boxImageBudget = kBoxImageBudget;
    std::int64_t preparedBudget = kPreparedBudget;
    const PreparedStore& preparedStore() const { return m_store; }

    // The pictures of the folder shown, their display order, the picks and the steps: what the
    // view draws. The boxes of the canvas are keyed by the pictures' ids.
    const ordering::PictureOrder& order() const { return m_order; }
    // The job that lists the folder (for tests, which hold it back).
    ordering::FolderListing& folderListing() { return m_listing; }

    // The order shown is kept for its folder (see ordering::OrderKeeper).
    static constexpr int kKeepOrderAfterMs = ordering::OrderKeeper::kKeepAfterMs;
    // Hands the order shown to the writer now.
    void keepOrderNow();
    // Returns when everything handed to it is written.
    void waitForKeptOrder();

signals:
    // The view of a build is laid out (empty frames shown).
    void viewArranged();
    // A build ran to its end.
    void viewBuilt();
    // A thumbnail box received its picture.
    void thumbnailLoaded(int index);
    // A thumbnail box shows a preview until its picture comes.
    void previewShown(int index);
    // The user changed the display order: a drop, a move of the selection, a starting order,
    // undo or redo.
    void orderChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Form_Resize();
    void DirSelect_Change();
    void DrvSelect_Change();
    void tmrNextDir_Timer();
    void tmrScroll_Timer();
    void ScrollMe_Change();
    void ScrollMe_Scroll();
    void imgSplitter_MouseDown();
    void imgSplitter_MouseMove(double X);
    void imgSplitter_MouseUp();
    void mnuRenameImgs_Click();
    void mnuUndoRename_Click();
    void mnuOptions_Click();
    void mnuAbout_Click();
    void mnuEnd_Click();
    void mnuOrderByTime_Click();
    void mnuOrderByName_Click();
    void mnuAlignClocks_Click();
    void mnuSameMoment_Click();

    void createMenus();
    // A menu item with its object name, calling click when chosen.
    QAction* addMenuItem(QMenu* menu, const QString& caption, const QString& name, void (frmmain::*click)());
    // What waits for the folder's files all to be listed: renaming, the starting orders, the steps.
    void updateMenus();
    renaming::Renamer renamer() const;
    void renamed(const renaming::Result& result, bool undo, const QString& note = {});
    // Enables undo when there is a run to undo; with check, only when its files are as it left them.
    void updateUndoRename(bool check);
    void applyLayout();
    void setPointer(platform::MousePointer pointer);
    void showStatus();
    bool scrollByKey(int key);
    void scrollTo(int value);

    // Building the view: the listing's results, then the pictures' (frmmain.cpp).
    void stopBuild();
    void filesFound(const ordering::ListedBatch& batch);
    void listingFinished(const QList<QByteArray>& hidden);
    void buildFinished();
    // Starts preparing every box without its picture: those near the view first, then the others
    // in display order from position `from` on, then those before it (on this thread: one at a
    // turn of the event loop, those near the view first). Returns how many.
    qsizetype startLoading(qsizetype from);
    void stopLoading();
    // On this thread, a picture at a time: the next one the view wants; with the loader's
    // workers, their series is started.
    void loadNext();
    // The boxes near the view without their picture, and among them those that show no preview
    // either (when previews are made), in one walk over them.
    struct NearView
    {
        QList<ThumbnailLoader::Job> jobs;
        QList<ThumbnailLoader::Job> previews;
    };
    NearView nearView() const;
    // Wherever the view is now: the boxes far from it give their images up, those near it get
    // theirs again, and what is to be prepared there goes to the front of the queue.
    void followView();
    int nextToLoad(qsizetype& cursor) const;
    // Shows a prepared picture in its box; true when that is the box's first in this build. A
    // preview is shown only until the picture comes.
    bool applyPrepared(int nr, const thumbs::Prepared& prepared);
    void drawBox(int nr, const thumbs::Prepared& prepared);
    QString captionOf(int nr) const;
    bool keepsImage(const ImgPreview& e) const;
    void takeResults();
    // The box size in the device pixels of its image.
    QSize boxPixels() const;
    FormMetrics metrics() const;
    const QByteArray& pathOf(int nr) const { return m_order.picture(nr).path(); }
    // A picture's companions (none are looked for while the option is off).
    QList<renaming::Companion> companionsOf(int nr) const { return m_order.companions(nr); }

    // Reordering by drag and drop (frmmainDragDrop.cpp).
    struct DragSession
    {
        int source = 0;        // the dragged picture; 0 while nothing is dragged
        int over = 0;          // the picture that heard Enter last, until it hears Leave
        bool overViewport = false;
        QPointF pointer;       // where the pointer was last seen, in global coordinates
        QPointF pressed;       // where the button went down, in global coordinates
        bool moved = false;    // the pointer or the view moved since: a release drops
        bool delivering = false;
    };
    struct DragHit;
    void setupDragAndDrop();
    bool dragEventFilter(QObject* watched, QEvent* event);
    void imgpreview_MouseDown(int Index, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, float X, float Y);
    void imgpreview_DragOver(int Index, int Source, float X, float Y, DragState State);
    void imgpreview_DragDrop(int Index, int Source, float X, float Y);
    void pctPreview_DragOver(int Source, float X, float Y, DragState State);
    // Draws the marker before a picture, or after the last one.
    void setline(ordering::Place wo);
    void imgpreviewDrag(int Index);
    DragHit dragHitTest(QPointF pointer) const;
    void dragOverElements(const DragHit& hit);
    void dragOverViewport(const DragHit& hit);
    void dragMove(QPointF pointer);
    void dragDrop(QPointF pointer);
    void dragCancel();
    // How many thumbnails the running drag carries (0: none is running).
    qsizetype carried() const;
    void showDragCount();
    DragSession m_drag;
    QLabel* m_dragCount = nullptr;
    // Where the slot after the last picture is, for the marker that stands there.
    QRect m_endSlot;

    // Picking thumbnails, the keyboard's focus and moving the selection (frmmainSelection.cpp).
    bool thumbnailKey(const QKeyEvent* event);
    bool moveFocus(int key, bool extend);
    qsizetype firstPositionInView() const;
    // Scrolls as little as needed to show the thumbnail.
    void showElement(int element);
    // Shows the picked thumbnails, or as many as the view holds.
    void revealSelection();
    void selectionChanged();
    bool moveSelectionBefore(std::optional<ordering::Place> target, bool reveal);
    // The order changed by a step: it is shown.
    void orderStepped();
    void updateOrderMenu();
    void mnuSelectionFirst_Click();
    void mnuSelectionLast_Click();
    void mnuUndoOrder_Click();
    void mnuRedoOrder_Click();
    // A step was taken back or again: the view shows the order and the picks it brought.
    void stepTaken(bool taken);

    // Starting orders and keeping the order (frmmainOrder.cpp).
    void createOrderMenu();
    void setUpKeptOrder();
    // Reads the times not known yet, then does `then`.
    void readTimesThen(std::function<void()> then);
    void timesRead();
    // The devices' clocks moved by `offsets`, kept for the folder, and the order by time with them.
    void applyClocks(const ordering::ClockOffsets& offsets);
    // Reads the times the pictures that came into the folder later are placed by, then places them.
    void placeArrivals();
    // Drops an order by time that waits for times still being read.
    void cancelOrdering();
    void closeOrderProgress();
    TimeTakenReader* m_timeReader = nullptr;
    QProgressDialog* m_orderProgress = nullptr;
    std::function<void()> m_afterTimes;
    bool m_placingArrivals = false; // the times read are for the arrivals
    qsizetype m_timesToRead = 0;

    // The full-size viewer that the right mouse button opens, made on first use.
    std::unique_ptr<frmShowImage> m_viewer;

    QWidget* m_client = nullptr;
    FormLayout m_layout;
    platform::MousePointer m_pointer;
    bool m_layoutDone = false;
    ThumbnailLoader* m_loader = nullptr;
    std::shared_ptr<thumbs::ThumbnailCache> m_cache;
    bool m_loadingPhase = false; // a build draws its pictures
    qsizetype m_toLoad = 0;      // pictures of the build still without theirs
    qsizetype m_loadCursor = 0;  // loadNext's place in the display order
    QTimer* m_loadTimer = nullptr;
    int m_columns = 0;           // thumbnails per row as last arranged
    thumbs::CaptionStyle m_captionStyle;
    PreparedStore m_store{0};
    RowSpan m_keep;              // the rows whose boxes keep their images

    // The order as data, and what lists it and keeps it; the two live no longer than it.
    ordering::PictureOrder m_order;
    ordering::OrderKeeper m_keeper;
    ordering::FolderListing m_listing;
};
