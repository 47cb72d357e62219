// Putting the shown pictures into a starting order, by the time they were taken or by name, each
// one step on the display order as a drop is; and keeping the order the user made, which says in
// the status line when it cannot.

#include "clocks/ClocksDialog.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "ordering/Clocks.h"
#include "ordering/Summary.h"
#include "platform/DirListing.h"
#include "platform/FileNames.h"
#include "thumbnails/TimeTakenReader.h"

#include <QMenu>
#include <QLabel>
#include <QMenuBar>
#include <QProgressDialog>
#include <QStatusBar>

#include <memory>
#include <utility>

namespace {

// A reading that takes longer than this shows its progress.
constexpr int kProgressAfterMs = 1000;

} // namespace

void frmmain::createOrderMenu()
{
    mnuOrder = menuBar()->addMenu(QStringLiteral("&Reihenfolge"));
    mnuOrder->setObjectName(QStringLiteral("mnuOrder"));
    // Why an order cannot be made yet shows on its item.
    mnuOrder->setToolTipsVisible(true);
    mnuOrderByTime = addMenuItem(mnuOrder, QStringLiteral("Nach Aufnahme&zeit"),
                                 QStringLiteral("mnuOrderByTime"), &frmmain::mnuOrderByTime_Click);
    mnuOrderByName = addMenuItem(mnuOrder, QStringLiteral("Nach &Dateiname"),
                                 QStringLiteral("mnuOrderByName"), &frmmain::mnuOrderByName_Click);
    mnuAlignClocks = addMenuItem(mnuOrder, QStringLiteral("Kamera&uhren abgleichen…"),
                                 QStringLiteral("mnuAlignClocks"), &frmmain::mnuAlignClocks_Click);
    mnuSameMoment = addMenuItem(mnuOrder, QStringLiteral("&Gleicher Moment"), QStringLiteral("mnuSameMoment"),
                                &frmmain::mnuSameMoment_Click);
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
        lblShown->setText(ordering::readingTimesLine(done, m_timesToRead));
    });
    connect(m_timeReader, &TimeTakenReader::finished, this, [this](const QList<TimeTakenReader::Result>& results) {
        for (const TimeTakenReader::Result& r : results) {
            m_order.setTaken(r.index,
                             r.taken ? std::optional<ordering::ClockTime>(
                                           ordering::ClockTime{r.taken->seconds, r.taken->nanoseconds})
                                     : std::nullopt,
                             clocks::cameraOf(r.camera));
        }
        timesRead();
    });
    // Times read for a folder that is gone would land on the pictures of the next.
    connect(picScroll, &ThumbCanvas::elementsUnloaded, this, [this] { cancelOrdering(); });
}

void frmmain::mnuOrderByTime_Click()
{
    readTimesThen([this] { applyClocks(m_keeper.clocks()); });
}

void frmmain::mnuAlignClocks_Click()
{
    readTimesThen([this] {
        auto* dialog = new clocks::ClocksDialog(m_order, m_keeper.clocks(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(picScroll, &ThumbCanvas::elementsUnloaded, dialog, &QDialog::reject);
        connect(dialog, &QDialog::accepted, this, [this, dialog] {
            if (const std::optional<ordering::ClockOffsets> offsets = dialog->offsets())
                applyClocks(*offsets);
        });
        dialog->open();
    });
}

void frmmain::mnuSameMoment_Click()
{
    readTimesThen([this] {
        const auto pair = ordering::pickedPair(m_order);
        QString why;
        const auto aligned =
            pair ? ordering::alignOnPair(m_order, m_keeper.clocks(), pair->first, pair->second, &why) : std::nullopt;
        if (!aligned)
            return sbrStatus->showMessage(why);
        ordering::ClockOffsets offsets = m_keeper.clocks();
        offsets.insert(aligned->device, aligned->offset);
        applyClocks(offsets);
    });
}

void frmmain::applyClocks(const ordering::ClockOffsets& offsets)
{
    m_keeper.keepClocks(offsets);
    dragCancel();
    if (m_order.orderByTime(offsets))
        orderStepped();
}

void frmmain::readTimesThen(std::function<void()> then)
{
    if (m_timeReader->busy() || m_listing.running()) {
        m_placingArrivals = false;
        return; // the order comes when the reading is done
    }
    m_afterTimes = std::move(then);
    // The times of pictures whose thumbnails have come in are known; the others are read now,
    // without decoding, while the window goes on.
    QList<TimeTakenReader::Job> missing;
    for (const int id : m_order.timesUnknown())
        missing.append({id, pathOf(id)});
    if (missing.isEmpty()) {
        timesRead();
        return;
    }
    m_timesToRead = missing.size();
    if (m_placingArrivals) {
        lblShown->setText(ordering::readingTimesLine(0, m_timesToRead));
        m_timeReader->start(missing);
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
    dragCancel();
    if (m_order.orderByName())
        orderStepped();
}

void frmmain::placeArrivals()
{
    // Read without a progress window: the user did not ask for it, the status line counts.
    m_placingArrivals = true;
    readTimesThen([this] {
        // The pictures that came in are picked, so that the user sees them and can move them on.
        if (m_order.placeArrivals(m_keeper.clocks()))
            orderStepped();
        selectionChanged();
        revealSelection();
    });
}

void frmmain::timesRead()
{
    closeOrderProgress();
    dragCancel();
    m_placingArrivals = false;
    if (const std::function<void()> then = std::exchange(m_afterTimes, {}))
        then();
    showStatus();
}

void frmmain::cancelOrdering()
{
    m_timeReader->cancel();
    m_placingArrivals = false;
    closeOrderProgress();
    showStatus();
}

void frmmain::closeOrderProgress()
{
    // It may be closed from within its own event handling.
    if (m_orderProgress)
        m_orderProgress->deleteLater();
    m_orderProgress = nullptr;
}

void frmmain::setUpKeptOrder()
{
    connect(this, &frmmain::orderChanged, &m_keeper, &ordering::OrderKeeper::changed);
    // Said where it does not stop the user, once for a folder, until it can be written again.
    auto said = std::make_shared<QString>(); // the folder the status line speaks of
    connect(&m_keeper, &ordering::OrderKeeper::failed, this,
            [this, said](const QString& folder, const QString& errorText) {
                *said = folder;
                sbrStatus->showMessage(QStringLiteral("Die Reihenfolge für \"%1\" konnte nicht gespeichert werden: %2")
                                           .arg(platform::pathForMessage(platform::encodeName(folder)), errorText));
            });
    connect(&m_keeper, &ordering::OrderKeeper::recovered, this, [this, said](const QString& folder) {
        if (folder == *said)
            sbrStatus->clearMessage();
    });
}

void frmmain::keepOrderNow()
{
    m_keeper.keepNow();
}

void frmmain::waitForKeptOrder()
{
    m_keeper.wait();
}
