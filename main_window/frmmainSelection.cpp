// Picking thumbnails with mouse and keyboard, moving the picked ones as one block, and taking
// steps on the display order back and forth. The rules are the order's (ordering::PictureOrder);
// here keys and menus reach them, and the view follows.

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "ordering/Clocks.h"

#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

#include <algorithm>

void frmmain::selectionChanged()
{
    picScroll->update();
    updateOrderMenu();
}

bool frmmain::thumbnailKey(const QKeyEvent* event)
{
    const int key = event->key();
    // While a drag runs, and while the files are still being listed, the keys scroll the view.
    if (m_drag.source != 0 || !m_order.listed())
        return scrollByKey(key);
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (modifiers == Qt::ControlModifier) {
        const qsizetype row = std::max(1, m_columns);
        switch (key) {
        case Qt::Key_Left:
            moveSelectionBefore(m_order.stepPlace(-1), true);
            return true;
        case Qt::Key_Right:
            moveSelectionBefore(m_order.stepPlace(1), true);
            return true;
        case Qt::Key_Up:
            moveSelectionBefore(m_order.stepPlace(-row), true);
            return true;
        case Qt::Key_Down:
            moveSelectionBefore(m_order.stepPlace(row), true);
            return true;
        // The menu's shortcuts; they come here while nothing is picked.
        case Qt::Key_Home:
            mnuSelectionFirst_Click();
            return true;
        case Qt::Key_End:
            mnuSelectionLast_Click();
            return true;
        case Qt::Key_A:
            m_order.pickAll();
            selectionChanged();
            return true;
        default:
            return false;
        }
    }
    if (modifiers == Qt::NoModifier && key == Qt::Key_Escape) {
        if (m_order.unpickAll())
            selectionChanged();
        return true;
    }
    if (modifiers == Qt::NoModifier && key == Qt::Key_Space) {
        if (m_order.toggleFocused()) {
            selectionChanged();
            return true;
        }
        return moveFocus(Qt::Key_Space, false);
    }
    if (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)
        return moveFocus(key, modifiers == Qt::ShiftModifier) || scrollByKey(key);
    return false;
}

qsizetype frmmain::firstPositionInView() const
{
    const RowSpan rows =
        rowsInView(m_order.count() + 1, m_columns, thumbheight, picScroll->y(), pctPreview->height());
    return rows.rows() == 0 ? 0 : qsizetype(rows.first) * std::max(1, m_columns);
}

bool frmmain::moveFocus(int key, bool extend)
{
    const QList<int>& order = m_order.shown();
    const qsizetype pictures = order.size();
    if (pictures <= 0)
        return false;
    // Without a focus, the first key puts it on the first thumbnail in view, and the keys that
    // go a long way (Home, End, a page) go from there.
    const bool placed = m_order.focusShown();
    const qsizetype from = placed ? m_order.positionOf(m_order.selection().focus)
                                  : std::min(firstPositionInView(), pictures - 1);
    const qsizetype row = std::max(1, m_columns);
    const qsizetype page = std::max(1, pctPreview->height() / std::max(1, thumbheight + 1)) * row;
    qsizetype to = from;
    switch (key) {
    case Qt::Key_Left:
        to = placed ? from - 1 : from;
        break;
    case Qt::Key_Right:
        to = placed ? from + 1 : from;
        break;
    case Qt::Key_Up:
        to = placed ? from - row : from;
        break;
    case Qt::Key_Down:
        to = placed ? from + row : from;
        break;
    case Qt::Key_Home:
        to = 0;
        break;
    case Qt::Key_End:
        to = pictures - 1;
        break;
    case Qt::Key_PageUp:
        to = from - page;
        break;
    case Qt::Key_PageDown:
        to = from + page;
        break;
    case Qt::Key_Space:
        break;
    default:
        return false;
    }
    m_order.moveFocus(order[std::clamp<qsizetype>(to, 0, pictures - 1)], extend);
    showElement(m_order.selection().focus);
    selectionChanged();
    return true;
}

void frmmain::showElement(int element)
{
    if (!picScroll->contains(element))
        return;
    const ImgPreview& box = picScroll->element(element);
    scrollTo(scrollValueShowing(thumbheight, box.Top, box.Top + box.Height, pctPreview->height(),
                                ScrollMe->value(), ScrollMe->maximum()));
}

void frmmain::revealSelection()
{
    const QList<int> picked = m_order.selection().inOrder(m_order.shown());
    if (picked.isEmpty()) {
        if (m_order.focusShown())
            showElement(m_order.selection().focus);
        return;
    }
    // All of them when they fit into the view, as a block that was just moved does; else where
    // the keyboard is, or the first.
    const ImgPreview& top = picScroll->element(picked.first());
    const ImgPreview& bottom = picScroll->element(picked.last());
    if (bottom.Top + bottom.Height - top.Top <= pctPreview->height()) {
        scrollTo(scrollValueShowing(thumbheight, top.Top, bottom.Top + bottom.Height, pctPreview->height(),
                                    ScrollMe->value(), ScrollMe->maximum()));
        return;
    }
    const int focus = m_order.selection().focus;
    showElement(m_order.selection().contains(focus) ? focus : picked.first());
}

bool frmmain::moveSelectionBefore(std::optional<ordering::Place> target, bool reveal)
{
    if (!target || !m_order.movePicked(*target))
        return false;
    orderStepped();
    if (reveal)
        revealSelection();
    return true;
}

void frmmain::orderStepped()
{
    arrangeimgs(false);
    updateOrderMenu();
    emit orderChanged();
}

void frmmain::updateOrderMenu()
{
    const auto what = [](const ordering::History::Step* step) { return ordering::stepText(*step); };
    const bool listed = m_order.listed();
    const ordering::History::Step* undo = listed ? m_order.history().nextUndo() : nullptr;
    const ordering::History::Step* redo = listed ? m_order.history().nextRedo() : nullptr;
    mnuUndoOrder->setEnabled(undo != nullptr);
    mnuUndoOrder->setText(undo ? QStringLiteral("&Rückgängig: ") + what(undo) : QStringLiteral("&Rückgängig"));
    mnuRedoOrder->setEnabled(redo != nullptr);
    mnuRedoOrder->setText(redo ? QStringLiteral("&Wiederholen: ") + what(redo) : QStringLiteral("&Wiederholen"));
    const bool picked = listed && !m_order.selection().isEmpty();
    mnuSelectionFirst->setEnabled(picked);
    mnuSelectionLast->setEnabled(picked);
    mnuAlignClocks->setEnabled(listed && !m_listing.running() && m_order.count() > 0);
    // Whose device is not known yet is read when the item is chosen.
    const auto pair = listed ? ordering::pickedPair(m_order) : std::nullopt;
    mnuSameMoment->setEnabled(pair && !(m_order.picture(pair->first).takenKnown() &&
                                        m_order.picture(pair->second).takenKnown() &&
                                        m_order.cameraIndex(pair->first) == m_order.cameraIndex(pair->second)));
}

void frmmain::mnuSelectionFirst_Click()
{
    moveSelectionBefore(m_order.endPlace(true), true);
}

void frmmain::mnuSelectionLast_Click()
{
    moveSelectionBefore(m_order.endPlace(false), true);
}

void frmmain::mnuUndoOrder_Click()
{
    stepTaken(m_drag.source == 0 && m_order.undo());
}

void frmmain::mnuRedoOrder_Click()
{
    stepTaken(m_drag.source == 0 && m_order.redo());
}

void frmmain::stepTaken(bool taken)
{
    if (taken) {
        arrangeimgs(false);
        revealSelection();
        emit orderChanged();
    }
    selectionChanged();
}
