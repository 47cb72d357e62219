// Reordering thumbnails by dragging them with the mouse, inside the window: the canvas keeps
// the mouse while the left button is held, every pointer position is hit-tested against the
// thumbnails and the viewport, and the handlers below hear what a thumbnail or the viewport
// would hear from a drag of a control.

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/AsyncKeyState.h"
#include "platform/FileNames.h"
#include "platform/Screen.h"
#include "viewer/frmShowImage.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

struct frmmain::DragHit
{
    enum class Kind
    {
        Outside,
        Viewport,
        Canvas,
        Element
    };
    Kind kind = Kind::Outside;
    int element = 0;
    QPointF local;    // in the element's own pixels, from its top-left corner
    QPointF viewport; // in the viewport's pixels
};

void frmmain::setupDragAndDrop()
{
    // The viewer asks whether the right button is still down; the tracking has to start before
    // the press that opens it.
    platform::asyncKeyState();
    // The marker shows where a drop lands; it is never a target itself.
    linWohin->setAttribute(Qt::WA_TransparentForMouseEvents);
    connect(picScroll, &ThumbCanvas::elementsUnloaded, this, [this] { dragCancel(); });
    // Whatever moves the view (wheel, keys, edge scrolling) moves the thumbnails under a pointer
    // that stands still: they hear it as if the pointer had moved, and a release then drops.
    connect(ScrollMe, &QScrollBar::valueChanged, this, [this] {
        if (m_drag.source == 0)
            return;
        m_drag.moved = true;
        dragMove(m_drag.pointer);
    });
    // How many pictures a drag carries, beside the pointer.
    m_dragCount = new QLabel(pctPreview);
    m_dragCount->setObjectName(QStringLiteral("dragCount"));
    m_dragCount->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dragCount->setAlignment(Qt::AlignCenter);
    m_dragCount->setStyleSheet(
        QStringLiteral("QLabel { background: palette(highlight); color: palette(highlighted-text);"
                       " border: 1px solid white; border-radius: 9px; padding: 1px 6px;"
                       " font-weight: bold; }"));
    m_dragCount->hide();
    // A pointer resting over the viewport keeps dragging over it, so holding it at an edge keeps
    // scrolling, a step per tick. Connected after the tick's own handler, which allows the step.
    connect(tmrScroll, &QTimer::timeout, this, [this] {
        if (m_drag.source != 0)
            dragMove(m_drag.pointer);
    });
}

bool frmmain::dragEventFilter(QObject* watched, QEvent* event)
{
    if (watched == pctPreview && event->type() == QEvent::KeyPress && m_drag.source != 0 &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        dragCancel();
        return true;
    }
    // A menu, a dialog or another window that takes the keyboard also takes the mouse, and the
    // release would never arrive here.
    if (watched == pctPreview && event->type() == QEvent::FocusOut)
        dragCancel();
    if (watched != picScroll)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* e = static_cast<QMouseEvent*>(event);
        const int index = picScroll->elementAt(e->position().toPoint());
        if (index == 0)
            return false;
        pctPreview->setFocus(Qt::MouseFocusReason);
        m_drag.pointer = e->globalPosition();
        const ImgPreview& box = picScroll->element(index);
        imgpreview_MouseDown(index, e->button(), e->modifiers(),
                             static_cast<float>(e->position().x() - box.Left),
                             static_cast<float>(e->position().y() - box.Top));
        return true;
    }
    case QEvent::MouseMove:
        if (m_drag.source == 0)
            return false;
        dragMove(static_cast<QMouseEvent*>(event)->globalPosition());
        return true;
    case QEvent::MouseButtonRelease: {
        const auto* e = static_cast<QMouseEvent*>(event);
        if (m_drag.source == 0 || e->button() != Qt::LeftButton)
            return false;
        dragDrop(e->globalPosition());
        return true;
    }
    default:
        return false;
    }
}

void frmmain::imgpreview_MouseDown(int Index, Qt::MouseButton Button, Qt::KeyboardModifiers Shift, float X,
                                   float Y)
{
    Q_UNUSED(X)
    Q_UNUSED(Y)
    // The right button shows the picture at full size for as long as it is held; the middle
    // button does nothing.
    if (Button == Qt::LeftButton) {
        // A press with Ctrl or Shift picks without dragging; picking waits for the whole folder.
        if (m_order.listed()) {
            const bool picked =
                m_order.press(Index, Shift.testFlag(Qt::ControlModifier), Shift.testFlag(Qt::ShiftModifier));
            selectionChanged();
            if (picked)
                return;
        }
        imgpreviewDrag(Index);
    } else if (Button == Qt::RightButton) {
        if (!m_viewer)
            m_viewer = std::make_unique<frmShowImage>();
        m_viewer->ShowImage(platform::decodeName(pathOf(Index)));
    }
}

void frmmain::imgpreview_DragOver(int Index, int Source, float X, float Y, DragState State)
{
    Q_UNUSED(Source)
    Q_UNUSED(Y)
    if (State == DragState::Leave) {
        linWohin->hide();
        return;
    }
    const bool rightPart = X > rightPartThreshold(platform::twipsPerPixelX());
    const std::optional<ordering::Place> wo = markerTarget(m_order, Index, rightPart);
    if (!wo)
        return;
    // Several pictures dropped before one of themselves stay where they are.
    if (carried() > 1 && m_order.selection().contains(wo->before))
        linWohin->hide();
    else
        setline(*wo);
}

void frmmain::setline(ordering::Place wo)
{
    const QRect box = wo.atEnd() ? m_endSlot : picScroll->element(wo.before).rect();
    linWohin->show();
    linWohin->setGeometry(box.left() - 1, box.top(), linWohin->width(), box.height());
}

void frmmain::imgpreview_DragDrop(int Index, int Source, float X, float Y)
{
    Q_UNUSED(Y)
    linWohin->hide();
    const bool rightPart = X > rightPartThreshold(platform::twipsPerPixelX());
    if (m_order.listed() && m_order.selection().contains(Source)) {
        moveSelectionBefore(m_order.dropPlace(Index, rightPart), false);
        return;
    }
    if (!m_order.dropOne(Source, Index, rightPart))
        return;
    arrangeimgs(false);
    emit orderChanged();
}

void frmmain::pctPreview_DragOver(int Source, float X, float Y, DragState State)
{
    Q_UNUSED(Source)
    Q_UNUSED(X)
    Q_UNUSED(State)
    if (!scrolltick)
        return;
    if (Y < 5 && ScrollMe->value() > 0) {
        ScrollMe->setValue(ScrollMe->value() - 1);
        ScrollMe_Scroll();
    }
    if (Y > static_cast<float>(pctPreview->height()) - 5.0f && ScrollMe->value() < ScrollMe->maximum()) {
        ScrollMe->setValue(ScrollMe->value() + 1);
        ScrollMe_Scroll();
    }
    scrolltick = false;
}

void frmmain::imgpreviewDrag(int Index)
{
    const QPointF pointer = m_drag.pointer;
    dragCancel();
    m_drag.source = Index;
    m_drag.pressed = pointer;
    QGuiApplication::setOverrideCursor(Qt::ClosedHandCursor);
    // The drag is over the pressed thumbnail from its start.
    dragMove(pointer);
}

frmmain::DragHit frmmain::dragHitTest(QPointF pointer) const
{
    DragHit hit;
    hit.viewport = pctPreview->mapFromGlobal(pointer);
    const QPoint at(static_cast<int>(std::floor(hit.viewport.x())),
                    static_cast<int>(std::floor(hit.viewport.y())));
    if (!pctPreview->rect().contains(at) || ScrollMe->geometry().contains(at))
        return hit;
    if (!picScroll->geometry().contains(at)) {
        hit.kind = DragHit::Kind::Viewport;
        return hit;
    }
    const QPointF onCanvas = hit.viewport - QPointF(picScroll->pos());
    hit.element = picScroll->elementAt(at - picScroll->pos());
    if (hit.element == 0) {
        hit.kind = DragHit::Kind::Canvas;
        return hit;
    }
    const ImgPreview& box = picScroll->element(hit.element);
    hit.kind = DragHit::Kind::Element;
    hit.local = onCanvas - QPointF(box.Left, box.Top);
    return hit;
}

void frmmain::dragOverElements(const DragHit& hit)
{
    if (m_drag.over != 0 && m_drag.over != hit.element) {
        const int left = std::exchange(m_drag.over, 0);
        const ImgPreview& box = picScroll->element(left);
        const QPointF local = hit.viewport - QPointF(picScroll->pos()) - QPointF(box.Left, box.Top);
        imgpreview_DragOver(left, m_drag.source, static_cast<float>(local.x()), static_cast<float>(local.y()),
                            DragState::Leave);
    }
    if (hit.element != 0) {
        const DragState state = hit.element == m_drag.over ? DragState::Over : DragState::Enter;
        m_drag.over = hit.element;
        imgpreview_DragOver(hit.element, m_drag.source, static_cast<float>(hit.local.x()),
                            static_cast<float>(hit.local.y()), state);
    }
}

void frmmain::dragOverViewport(const DragHit& hit)
{
    const auto X = static_cast<float>(hit.viewport.x());
    const auto Y = static_cast<float>(hit.viewport.y());
    const bool onSurface = hit.kind == DragHit::Kind::Viewport;
    if (onSurface || m_drag.overViewport) {
        DragState state = DragState::Leave;
        if (onSurface)
            state = m_drag.overViewport ? DragState::Over : DragState::Enter;
        m_drag.overViewport = onSurface;
        pctPreview_DragOver(m_drag.source, X, Y, state);
    }
    // Over the thumbnails too, the edges of the viewport scroll, at the same pace.
    const bool onCanvas = hit.kind == DragHit::Kind::Element || hit.kind == DragHit::Kind::Canvas;
    if (onCanvas && (Y < 5 || Y > static_cast<float>(pctPreview->height()) - 5.0f))
        pctPreview_DragOver(m_drag.source, X, Y, DragState::Over);
}

void frmmain::dragMove(QPointF pointer)
{
    m_drag.pointer = pointer;
    if ((pointer - m_drag.pressed).manhattanLength() >= QApplication::startDragDistance())
        m_drag.moved = true;
    showDragCount();
    // A scroll step inside a drag-over lands here again; the step is followed up below.
    if (m_drag.delivering)
        return;
    m_drag.delivering = true;
    const DragHit hit = dragHitTest(pointer);
    dragOverElements(hit);
    const int before = ScrollMe->value();
    dragOverViewport(hit);
    if (ScrollMe->value() != before)
        dragOverElements(dragHitTest(pointer));
    m_drag.delivering = false;
}

void frmmain::dragDrop(QPointF pointer)
{
    if (m_order.listed() && !m_drag.moved) {
        const int source = m_drag.source;
        dragCancel();
        m_order.click(source);
        selectionChanged();
        return;
    }
    const DragHit hit = dragHitTest(pointer);
    dragOverElements(hit);
    const int source = m_drag.source;
    dragCancel();
    if (hit.kind == DragHit::Kind::Element)
        imgpreview_DragDrop(hit.element, source, static_cast<float>(hit.local.x()),
                            static_cast<float>(hit.local.y()));
}

void frmmain::dragCancel()
{
    if (m_drag.source == 0)
        return;
    linWohin->hide();
    m_dragCount->hide();
    m_drag = DragSession();
    QGuiApplication::restoreOverrideCursor();
}

qsizetype frmmain::carried() const
{
    if (m_drag.source == 0)
        return 0;
    return m_order.listed() && m_order.selection().contains(m_drag.source) ? m_order.selection().count() : 1;
}

void frmmain::showDragCount()
{
    const qsizetype n = carried();
    if (n < 2 || !m_drag.moved) {
        m_dragCount->hide();
        return;
    }
    m_dragCount->setText(QString::number(n));
    m_dragCount->adjustSize();
    m_dragCount->resize(std::max(m_dragCount->width(), m_dragCount->height()), m_dragCount->height());
    // Below and to the right of the pointer, inside the viewport, clear of the marker.
    const QPoint at = pctPreview->mapFromGlobal(m_drag.pointer).toPoint() + QPoint(14, 14);
    const int right = pctPreview->width() - ScrollMe->width() - m_dragCount->width();
    const int bottom = pctPreview->height() - m_dragCount->height();
    m_dragCount->move(std::clamp(at.x(), 0, std::max(0, right)), std::clamp(at.y(), 0, std::max(0, bottom)));
    m_dragCount->show();
    m_dragCount->raise();
}
