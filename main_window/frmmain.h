#pragma once

#include "main_window/FormLayout.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointF>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "main_window/Arrangement.h"
#include "main_window/Reorder.h"
#include "main_window/TimeOrder.h"
#include "thumbnails/PreparedStore.h"
#include "thumbnails/ThumbnailLoader.h"
#include "thumbnails/Thumbnails.h"
#include "thumbnails/TimeTakenReader.h"

class QAction;
class QMenu;
class QProgressDialog;
class QScrollBar;
class QTimer;
class ThumbCanvas;
struct ImgPreview;
class frmShowImage;

namespace thumbs {
class ThumbnailCache;
}

namespace renaming {
class Renamer;
struct Renamed;
struct Result;
} // namespace renaming

namespace platform {
class DirListBox;
class DriveListBox;
enum class MousePointer;
} // namespace platform

// The main window: the folder column on the left, the splitter, and the thumbnail viewport
// with its scroll bar on the right.
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
    QMenu* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;

    // Settings copies.
    bool selectfolder = false;
    bool showfilename = false;
    std::int16_t thumbwidth = 0;
    std::int16_t thumbheight = 0;
    QString imageerw;

    // Form state.
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

    // The display order: element indexes, position 0 shown first; once a folder is listed, the
    // last entry is the invisible placeholder.
    QList<int> order;

signals:
    // The view of a build is laid out (empty frames shown).
    void viewArranged();
    // A build ran to its end.
    void viewBuilt();
    // A thumbnail box received its picture.
    void thumbnailLoaded(int index);

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

    void createMenus();
    // A menu item with its object name, calling click when chosen.
    QAction* addMenuItem(QMenu* menu, const QString& caption, const QString& name, void (frmmain::*click)());
    renaming::Renamer renamer() const;
    void renamed(const renaming::Result& result);
    // Enables undo when there is a run to undo; with check, only when its files are as it left them.
    void updateUndoRename(bool check);
    void applyLayout();
    void setPointer(platform::MousePointer pointer);
    bool scrollByKey(int key);
    void scrollTo(int value);
    // Starts preparing every box without its picture: those near the view first, then the others
    // in display order from position `from` on, then those before it. Returns how many.
    qsizetype startLoading(qsizetype from);
    void stopLoading();
    QList<ThumbnailLoader::Job> jobsNearView() const;
    // Wherever the view is now: the boxes far from it give their images up, those near it get
    // theirs again, and what is to be prepared there goes to the front of the queue.
    void followView();
    int nextToLoad(qsizetype& cursor) const;
    // Shows a prepared picture in its box; true when that is the box's first in this build.
    bool applyPrepared(int nr, const thumbs::Prepared& prepared);
    void drawBox(int nr, const thumbs::Prepared& prepared);
    QString captionOf(int nr) const;
    bool keepsImage(const ImgPreview& e) const;
    void takeResults();
    // The box size in the device pixels of its image.
    QSize boxPixels() const;
    FormMetrics metrics() const;

    // Reordering by drag and drop (frmmainDragDrop.cpp).
    struct DragSession
    {
        int source = 0;        // the dragged element; 0 while nothing is dragged
        int over = 0;          // the element that heard Enter last, until it hears Leave
        bool overViewport = false;
        QPointF pointer;       // where the pointer was last seen, in global coordinates
        bool delivering = false;
    };
    struct DragHit;
    void setupDragAndDrop();
    bool dragEventFilter(QObject* watched, QEvent* event);
    void imgpreview_MouseDown(int Index, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, float X, float Y);
    void imgpreview_DragOver(int Index, int Source, float X, float Y, DragState State);
    void imgpreview_DragDrop(int Index, int Source, float X, float Y);
    void pctPreview_DragOver(int Source, float X, float Y, DragState State);
    void setline(int wo);
    void imgpreviewDrag(int Index);
    DragHit dragHitTest(QPointF pointer) const;
    void dragOverElements(const DragHit& hit);
    void dragOverViewport(const DragHit& hit);
    void dragMove(QPointF pointer);
    void dragDrop(QPointF pointer);
    void dragCancel();
    DragSession m_drag;
    ListingInsertion m_listing;

    // Starting orders (frmmainOrder.cpp).
    void createOrderMenu();
    // The ordinal order of the elements' paths, as the listing sorts them.
    timeorder::NameLess nameLess() const;
    void timesRead(const QList<TimeTakenReader::Result>& results);
    // Drops an order by time that waits for times still being read.
    void cancelOrdering();
    void closeOrderProgress();
    // One step on order, as a drop is.
    void applyOrder(QList<int> sorted);
    timeorder::TakenTimes m_taken;
    TimeTakenReader* m_timeReader = nullptr;
    QProgressDialog* m_orderProgress = nullptr;

    // The full-size viewer that the right mouse button opens, made on first use.
    std::unique_ptr<frmShowImage> m_viewer;

    QWidget* m_client = nullptr;
    FormLayout m_layout;
    platform::MousePointer m_pointer;
    bool m_layoutDone = false;
    ThumbnailLoader* m_loader = nullptr;
    std::shared_ptr<thumbs::ThumbnailCache> m_cache;
    bool m_loadingPhase = false; // a build draws its pictures
    int m_columns = 0;           // thumbnails per row as last arranged
    thumbs::CaptionStyle m_captionStyle;
    PreparedStore m_store{0};
    RowSpan m_keep;              // the rows whose boxes keep their images
    // While a folder is listed, each element's path as text, the key of the listing's order.
    std::vector<QString> m_listingKeys;
    // Boxes whose files were renamed after their pictures were drawn with captions: the caption
    // they show, which stays as it was drawn.
    QHash<int, QString> m_keptCaptions;
};
