#include "main_window/ThumbCanvas.h"

#include "ordering/Selection.h"
#include "platform/Dialogs.h"
#include "platform/FileNames.h"
#include "thumbnails/Thumbnails.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

ThumbCanvas::ThumbCanvas(QWidget* parent)
    : QWidget(parent), m_canvasColor(palette().color(QPalette::Window)),
      m_elementColor(palette().color(QPalette::Button).darker(108)),
      m_frameColor(palette().color(QPalette::Mid)), m_selectionColor(palette().color(QPalette::Highlight))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int ThumbCanvas::load()
{
    ImgPreview e;
    e.Index = count() + 1;
    m_elements.push_back(e);
    return e.Index;
}

void ThumbCanvas::unloadAll()
{
    m_elements = std::vector<ImgPreview>();
    m_images = {};
    m_cross = QImage();
    update();
    emit elementsUnloaded();
}

void ThumbCanvas::Move(int index, int left, int top, int width, int height)
{
    ImgPreview& e = element(index);
    e.Left = left;
    e.Top = top;
    e.Width = width;
    e.Height = height;
}

void ThumbCanvas::Refresh(int index)
{
    update(element(index).rect());
}

int ThumbCanvas::elementAt(const QPoint& point) const
{
    for (auto it = m_elements.rbegin(); it != m_elements.rend(); ++it) {
        if (it->Visible && it->rect().contains(point))
            return it->Index;
    }
    return 0;
}

QSize ThumbCanvas::imagePixels(int width, int height) const
{
    return QSize(qMax(1, qRound((width - 2 * kMarkMargin) * m_boxRatio)),
                 qMax(1, qRound((height - 2 * kMarkMargin) * m_boxRatio)));
}

QSize ThumbCanvas::boxPixels(const ImgPreview& e) const
{
    return imagePixels(e.Width, e.Height);
}

QImage ThumbCanvas::blankBox(const ImgPreview& e) const
{
    QImage image(boxPixels(e), QImage::Format_RGB32);
    image.setDevicePixelRatio(m_boxRatio);
    image.fill(m_elementColor);
    return image;
}

QImage& ThumbCanvas::newBoxImage(int index)
{
    QImage& image = m_images[index];
    image = blankBox(element(index));
    return image;
}

void ThumbCanvas::dropBoxImage(int index)
{
    m_images.erase(index);
}

const QImage& ThumbCanvas::crossFor(const ImgPreview& e) const
{
    if (m_cross.size() != boxPixels(e) || m_cross.devicePixelRatio() != m_boxRatio) {
        m_cross = blankBox(e);
        thumbs::draw(m_cross, thumbs::Prepared{}, QString(), {});
    }
    return m_cross;
}

QImage ThumbCanvas::shownImage(int index) const
{
    const ImgPreview& e = element(index);
    if (e.shows == ImgPreview::Shows::Cross)
        return crossFor(e);
    const auto it = m_images.find(index);
    return it == m_images.end() ? QImage() : it->second;
}

void ThumbCanvas::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    const QRect exposed = event->rect();
    p.fillRect(exposed, m_canvasColor);

    // Boxes are opaque, and later ones lie on top of earlier ones: walk from the top and stop
    // once the exposed area is covered, so that boxes stacked on one spot (while a folder is
    // being listed) cost one box, not all of them.
    std::vector<const ImgPreview*> toDraw;
    QRegion uncovered(exposed);
    for (auto it = m_elements.rbegin(); it != m_elements.rend() && !uncovered.isEmpty(); ++it) {
        if (!it->Visible || !uncovered.intersects(it->rect()))
            continue;
        toDraw.push_back(&*it);
        uncovered -= it->rect();
    }
    for (auto it = toDraw.rbegin(); it != toDraw.rend(); ++it) {
        const ImgPreview& e = **it;
        const QImage image = shownImage(e.Index);
        // A picture's margin is of its white background, so that the box looks as one.
        const bool picture = e.shows == ImgPreview::Shows::Picture || e.shows == ImgPreview::Shows::Preview;
        p.fillRect(e.rect(), picture && !image.isNull() ? QColor(Qt::white) : m_elementColor);
        if (image.isNull()) {
            p.setPen(m_frameColor);
            p.drawRect(e.rect().adjusted(0, 0, -1, -1));
        } else {
            const qreal r = image.devicePixelRatio();
            const QSizeF inner(e.Width - 2 * kMarkMargin, e.Height - 2 * kMarkMargin);
            p.drawImage(QPointF(e.Left + kMarkMargin, e.Top + kMarkMargin), image,
                        QRectF(0, 0, inner.width() * r, inner.height() * r));
        }
        drawMarks(p, e);
        drawCompanionMark(p, e);
    }
}

void ThumbCanvas::drawCompanionMark(QPainter& p, const ImgPreview& e) const
{
    const QString mark = m_mark ? m_mark(e.Index) : QString();
    if (mark.isEmpty())
        return;
    QFont font = this->font();
    font.setPixelSize(9);
    font.setBold(true);
    const QFontMetrics metrics(font);
    // Inside the selection's frame and clear of the middle of the picture: a box too small for it
    // goes without.
    const QRect label(e.Left + 6, e.Top + 6, metrics.horizontalAdvance(mark) + 6, metrics.height() + 2);
    if (label.right() >= e.Left + e.Width - 6 || label.intersects(QRect(e.Left, e.Top, e.Width, e.Height).adjusted(
                                                          e.Width / 4, e.Height / 4, -e.Width / 4, -e.Height / 4)))
        return;
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 160));
    p.drawRoundedRect(label, 2, 2);
    p.setPen(Qt::white);
    p.setFont(font);
    p.drawText(label, Qt::AlignCenter, mark);
    p.restore();
}

void ThumbCanvas::setFocusShown(bool shown)
{
    if (shown == m_focusShown)
        return;
    m_focusShown = shown;
    if (m_selection && contains(m_selection->focus))
        Refresh(m_selection->focus);
}

void ThumbCanvas::drawMarks(QPainter& p, const ImgPreview& e) const
{
    if (!m_selection)
        return;
    const bool selected = m_selection->contains(e.Index);
    const bool focused = m_focusShown && e.Index == m_selection->focus;
    // In the margin, in whole pixels of the canvas, so that the marks are as crisp at two device
    // pixels per pixel: a frame of the selection's colour with a thin white line inside it, which
    // keeps it plain against a dark picture, and the focus as a dashed ring: on the margin's outer
    // edge, or inside the frame of a picked photo, which keeps its colour outside it.
    const QRect box = e.rect();
    if (selected) {
        QPainterPath frame;
        frame.addRect(box);
        frame.addRect(box.adjusted(kMarkMargin - 1, kMarkMargin - 1, -kMarkMargin + 1, -kMarkMargin + 1));
        p.fillPath(frame, m_selectionColor);
    }
    if (focused) {
        const qreal inset = selected ? kMarkMargin - 1 : 1;
        const QRectF ring = QRectF(box).adjusted(inset, inset, -inset, -inset);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.drawRect(ring);
        QPen dashes(Qt::white, 2, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
        dashes.setDashPattern({2, 2});
        p.setPen(dashes);
        p.drawRect(ring);
    }
}

bool ThumbCanvas::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = elementAt(help->pos());
        if (index != 0 && m_toolTip) {
            const ImgPreview& e = element(index);
            QToolTip::showText(help->globalPos(), platform::plainToolTip(m_toolTip(index)), this,
                               e.rect());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}
