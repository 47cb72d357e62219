// Picking thumbnails with mouse and keyboard, moving the picked ones as one block, and taking
// steps on the display order back and forth. Every move is one step on `order` followed by
// arrangeimgs(false), as a drop is, and goes into the history.

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"

#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>

#include <algorithm>

bool frmmain::pickOnPress(int Index, Qt::KeyboardModifiers modifiers)
{
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    if (shift && order.contains(m_selection.anchor)) {
        m_selection.selectRange(order, m_selection.anchor, Index, ctrl);
        m_selection.focus = Index;
    } else if (ctrl || shift) {
        if (shift)
            m_selection.selectOnly(Index);
        else
            m_selection.toggle(Index);
        m_selection.anchor = Index;
        m_selection.focus = Index;
    } else {
        // A press on a thumbnail that is not picked picks it alone, as file managers do, and the
        // drag carries just that one; a press on a picked one carries them all.
        if (!m_selection.contains(Index)) {
            m_selection.selectOnly(Index);
            m_selection.anchor = Index;
        }
        m_selection.focus = Index;
        selectionChanged();
        return false;
    }
    selectionChanged();
    return true;
}

void frmmain::clickThumbnail(int Index)
{
    m_selection.selectOnly(Index);
    m_selection.anchor = Index;
    m_selection.focus = Index;
    selectionChanged();
}

void frmmain::clearSelection()
{
    if (m_selection.isEmpty())
        return;
    m_selection.clear();
    selectionChanged();
}

void frmmain::selectionChanged()
{
    picScroll->update();
    updateOrderMenu();
}

bool frmmain::thumbnailKey(const QKeyEvent* event)
{
    const int key = event->key();
    // While a drag runs, and while the files are still being listed, the keys scroll the view.
    if (m_drag.source != 0 || !m_listed)
        return scrollByKey(key);
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (modifiers == Qt::ControlModifier) {
        const qsizetype row = std::max(1, m_columns);
        switch (key) {
        case Qt::Key_Left:
            moveSelectionBefore(stepTarget(order, m_selection.bits(), -1), true);
            return true;
        case Qt::Key_Right:
            moveSelectionBefore(stepTarget(order, m_selection.bits(), 1), true);
            return true;
        case Qt::Key_Up:
            moveSelectionBefore(stepTarget(order, m_selection.bits(), -row), true);
            return true;
        case Qt::Key_Down:
            moveSelectionBefore(stepTarget(order, m_selection.bits(), row), true);
            return true;
        // The menu's shortcuts; they come here while nothing is picked.
        case Qt::Key_Home:
            mnuSelectionFirst_Click();
            return true;
        case Qt::Key_End:
            mnuSelectionLast_Click();
            return true;
        case Qt::Key_A:
            m_selection.selectFirst(order, order.size() - 1);
            selectionChanged();
            return true;
        default:
            return false;
        }
    }
    if (modifiers == Qt::NoModifier && key == Qt::Key_Escape) {
        clearSelection();
        return true;
    }
    if (modifiers == Qt::NoModifier && key == Qt::Key_Space) {
        if (order.contains(m_selection.focus) && m_selection.focus != order.last()) {
            m_selection.toggle(m_selection.focus);
            m_selection.anchor = m_selection.focus;
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
        rowsInView(order.size(), m_columns, thumbheight, picScroll->y(), pctPreview->height());
    return rows.rows() == 0 ? 0 : qsizetype(rows.first) * std::max(1, m_columns);
}

bool frmmain::moveFocus(int key, bool extend)
{
    const qsizetype pictures = order.size() - 1;
    if (pictures <= 0)
        return false;
    const qsizetype at = order.indexOf(m_selection.focus);
    // Without a focus, the first key puts it on the first thumbnail in view, and the keys that
    // go a long way (Home, End, a page) go from there.
    const bool placed = at >= 0 && at < pictures;
    const qsizetype from = placed ? at : std::min(firstPositionInView(), pictures - 1);
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
    to = std::clamp<qsizetype>(to, 0, pictures - 1);
    const int previous = placed ? m_selection.focus : order[to];
    m_selection.focus = order[to];
    if (extend) {
        if (!order.contains(m_selection.anchor))
            m_selection.anchor = previous;
        m_selection.selectRange(order, m_selection.anchor, m_selection.focus, false);
    } else {
        m_selection.anchor = m_selection.focus;
    }
    showElement(m_selection.focus);
    selectionChanged();
    return true;
}

void frmmain::showElement(int element)
{
    if (element <= 0 || element >= picScroll->count())
        return;
    const ImgPreview& box = picScroll->element(element);
    scrollTo(scrollValueShowing(thumbheight, box.Top, box.Top + box.Height, pctPreview->height(),
                                ScrollMe->value(), ScrollMe->maximum()));
}

void frmmain::revealSelection()
{
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype k = 0; k < order.size(); ++k) {
        if (m_selection.contains(order[k])) {
            if (first < 0)
                first = k;
            last = k;
        }
    }
    if (first < 0) {
        if (order.contains(m_selection.focus))
            showElement(m_selection.focus);
        return;
    }
    // All of them when they fit into the view, as a block that was just moved does; else where
    // the keyboard is, or the first.
    const ImgPreview& top = picScroll->element(order[first]);
    const ImgPreview& bottom = picScroll->element(order[last]);
    if (bottom.Top + bottom.Height - top.Top <= pctPreview->height()) {
        scrollTo(scrollValueShowing(thumbheight, top.Top, bottom.Top + bottom.Height, pctPreview->height(),
                                    ScrollMe->value(), ScrollMe->maximum()));
        return;
    }
    showElement(m_selection.contains(m_selection.focus) ? m_selection.focus : order[first]);
}

bool frmmain::moveSelectionBefore(std::optional<int> target, bool reveal)
{
    if (!m_listed || !target)
        return false;
    const QList<int> before = order;
    if (!moveSelection(order, m_selection.bits(), *target))
        return false;
    const qsizetype n = m_selection.count();
    orderStep(n == 1 ? QStringLiteral("1 Bild verschieben") : QStringLiteral("%1 Bilder verschieben").arg(n),
              before);
    if (reveal)
        revealSelection();
    return true;
}

void frmmain::orderStep(const QString& what, const QList<int>& before)
{
    m_history.record({what, before, order, m_selection});
    m_listing.invalidate();
    arrangeimgs(false);
    updateOrderMenu();
    emit orderChanged();
}

void frmmain::restoreStep(const OrderHistory::Step* step, bool undo)
{
    if (!step)
        return;
    dragCancel();
    const QList<int>& restored = undo ? step->before : step->after;
    // Only steps of this view are recorded; an order of another length would lose boxes.
    if (restored.size() != order.size()) {
        m_history.clear();
        updateOrderMenu();
        return;
    }
    order = restored;
    m_selection = step->selection;
    m_listing.invalidate();
    arrangeimgs(false);
    revealSelection();
    selectionChanged();
    emit orderChanged();
}

void frmmain::updateOrderMenu()
{
    const OrderHistory::Step* undo = m_listed ? m_history.nextUndo() : nullptr;
    const OrderHistory::Step* redo = m_listed ? m_history.nextRedo() : nullptr;
    mnuUndoOrder->setEnabled(undo != nullptr);
    mnuUndoOrder->setText(undo ? QStringLiteral("&Rückgängig: ") + undo->what
                               : QStringLiteral("&Rückgängig"));
    mnuRedoOrder->setEnabled(redo != nullptr);
    mnuRedoOrder->setText(redo ? QStringLiteral("&Wiederholen: ") + redo->what
                               : QStringLiteral("&Wiederholen"));
    const bool picked = m_listed && !m_selection.isEmpty();
    mnuSelectionFirst->setEnabled(picked);
    mnuSelectionLast->setEnabled(picked);
}

void frmmain::mnuSelectionFirst_Click()
{
    moveSelectionBefore(endTarget(order, m_selection.bits(), true), true);
}

void frmmain::mnuSelectionLast_Click()
{
    moveSelectionBefore(endTarget(order, m_selection.bits(), false), true);
}

void frmmain::mnuUndoOrder_Click()
{
    if (m_listed && m_drag.source == 0)
        restoreStep(m_history.undo(), true);
}

void frmmain::mnuRedoOrder_Click()
{
    if (m_listed && m_drag.source == 0)
        restoreStep(m_history.redo(), false);
}
