// Putting the shown pictures into a starting order, by the time they were taken or by name. Each
// is one step on the display order, as a drop is, so the rename numbers the pictures in it.

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"

#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>

#include <memory>
#include <utility>
#include <vector>

namespace {

// A reading that takes longer than this shows its progress.
constexpr int kProgressAfterMs = 1000;

} // namespace

void frmmain::createOrderMenu()
{
    mnuOrder = menuBar()->addMenu(QStringLiteral("&Reihenfolge"));
    mnuOrder->setObjectName(QStringLiteral("mnuOrder"));
    mnuOrderByTime = addMenuItem(mnuOrder, QStringLiteral("Nach Aufnahme&zeit"),
                                 QStringLiteral("mnuOrderByTime"), &frmmain::mnuOrderByTime_Click);
    mnuOrderByName = addMenuItem(mnuOrder, QStringLiteral("Nach &Dateiname"),
                                 QStringLiteral("mnuOrderByName"), &frmmain::mnuOrderByName_Click);
    mnuOrder->addSeparator();
    mnuSelectionFirst = addMenuItem(mnuOrder, QStringLiteral("Auswahl an den &Anfang"),
                                    QStringLiteral("mnuSelectionFirst"), &frmmain::mnuSelectionFirst_Click);
    mnuSelectionLast = addMenuItem(mnuOrder, QStringLiteral("Auswahl ans &Ende"),
                                   QStringLiteral("mnuSelectionLast"), &frmmain::mnuSelectionLast_Click);
    // Ctrl+Home and Ctrl+End go to the start and the end in the folder list: they move the
    // selection only where the thumbnails have the keyboard.
    for (const auto& [item, key] :
         {std::pair{mnuSelectionFirst, Qt::Key_Home}, std::pair{mnuSelectionLast, Qt::Key_End}}) {
        item->setShortcut(QKeySequence(Qt::CTRL | key));
        item->setShortcutContext(Qt::WidgetShortcut);
        pctPreview->addAction(item);
    }
    mnuOrder->addSeparator();
    mnuUndoOrder = addMenuItem(mnuOrder, QStringLiteral("&Rückgängig"), QStringLiteral("mnuUndoOrder"),
                               &frmmain::mnuUndoOrder_Click);
    mnuUndoOrder->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnuRedoOrder = addMenuItem(mnuOrder, QStringLiteral("&Wiederholen"), QStringLiteral("mnuRedoOrder"),
                               &frmmain::mnuRedoOrder_Click);
    mnuRedoOrder->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    updateOrderMenu();

    m_timeReader = new TimeTakenReader(0, this);
    connect(m_timeReader, &TimeTakenReader::progress, this, [this](int done) {
        if (m_orderProgress)
            m_orderProgress->setValue(done);
    });
    connect(m_timeReader, &TimeTakenReader::finished, this,
            [this](const QList<TimeTakenReader::Result>& results) { timesRead(results); });
    // Times read for a folder that is gone would land on the boxes of the next.
    connect(picScroll, &ThumbCanvas::elementsUnloaded, this, [this] {
        cancelOrdering();
        m_taken.clear();
        // The steps and the picks of a view mean nothing in the next.
        m_history.clear();
        m_selection.reset(0);
        updateOrderMenu();
    });
}

timeorder::NameLess frmmain::nameLess() const
{
    // The boxes keep their paths only as the file system knows them; the text of each is made
    // once for a sort rather than at every comparison.
    auto keys = std::make_shared<std::vector<QString>>(static_cast<size_t>(picScroll->count()));
    for (int i = 1; i < picScroll->count(); ++i)
        (*keys)[static_cast<size_t>(i)] = picScroll->element(i).ToolTipText();
    return [keys](int a, int b) { return (*keys)[static_cast<size_t>(a)] < (*keys)[static_cast<size_t>(b)]; };
}

void frmmain::mnuOrderByTime_Click()
{
    if (m_timeReader->busy())
        return; // the order comes when the reading is done
    // The times of pictures whose thumbnails have come in are known; the others are read now,
    // without decoding, while the window goes on.
    QList<TimeTakenReader::Job> missing;
    for (qsizetype k = 0; k + 1 < order.size(); ++k) {
        const ImgPreview& e = picScroll->element(order[k]);
        if (!m_taken.known(e.Index))
            missing.append({e.Index, e.nativePath});
    }
    if (missing.isEmpty()) {
        timesRead({});
        return;
    }
    m_orderProgress = new QProgressDialog(QStringLiteral("Aufnahmezeiten werden gelesen..."),
                                          QStringLiteral("Abbrechen"), 0, int(missing.size()), this);
    m_orderProgress->setObjectName(QStringLiteral("orderProgress"));
    m_orderProgress->setWindowTitle(windowTitle());
    m_orderProgress->setWindowModality(Qt::WindowModal);
    m_orderProgress->setMinimumDuration(kProgressAfterMs);
    m_orderProgress->setValue(0);
    connect(m_orderProgress, &QProgressDialog::canceled, this, [this] { cancelOrdering(); });
    m_timeReader->start(missing);
}

void frmmain::mnuOrderByName_Click()
{
    cancelOrdering();
    applyOrder(timeorder::byName(order, nameLess()), QStringLiteral("Nach Dateiname ordnen"));
}

void frmmain::timesRead(const QList<TimeTakenReader::Result>& results)
{
    closeOrderProgress();
    for (const TimeTakenReader::Result& r : results)
        m_taken.set(r.index, r.taken);
    applyOrder(timeorder::byTimeTaken(
                   order, [this](int index) { return m_taken(index); }, nameLess()),
               QStringLiteral("Nach Aufnahmezeit ordnen"));
}

void frmmain::cancelOrdering()
{
    m_timeReader->cancel();
    closeOrderProgress();
}

void frmmain::closeOrderProgress()
{
    // It may be closed from within its own event handling.
    if (m_orderProgress)
        m_orderProgress->deleteLater();
    m_orderProgress = nullptr;
}

void frmmain::applyOrder(QList<int> sorted, const QString& what)
{
    dragCancel();
    if (sorted == order || !m_listed) {
        order = std::move(sorted);
        m_listing.invalidate();
        arrangeimgs(false);
        return;
    }
    const QList<int> before = std::exchange(order, std::move(sorted));
    orderStep(what, before);
}
