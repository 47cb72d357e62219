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

QSize ThumbCanvas::boxPixels(const ImgPreview& e) const
{
    return QSize(qMax(1, qRound(e.Width * m_boxRatio)), qMax(1, qRound(e.Height * m_boxRatio)));
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
        p.fillRect(e.rect(), m_elementColor);
        if (image.isNull()) {
            p.setPen(m_frameColor);
            p.drawRect(e.rect().adjusted(0, 0, -1, -1));
        } else {
            const qreal r = image.devicePixelRatio();
            p.drawImage(QPointF(e.Left, e.Top), image, QRectF(0, 0, e.Width * r, e.Height * r));
        }
        drawMarks(p, e, image);
        drawMark(p, e);
    }
}

void ThumbCanvas::drawMark(QPainter& p, const ImgPreview& e) const
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

void ThumbCanvas::drawMarks(QPainter& p, const ImgPreview& e, const QImage& image) const
{
    if (!m_selection)
        return;
    const bool selected = m_selection->contains(e.Index);
    const bool focused = m_focusShown && e.Index == m_selection->focus;
    // Whole pixels of the canvas, so that the marks are as crisp at two device pixels per pixel;
    // thin white and black lines keep them plain on white letterboxing and on dark pictures.
    constexpr int kFrame = 3;
    const QRect box = e.rect();
    if (selected) {
        QColor tint = m_selectionColor;
        tint.setAlpha(72);
        p.fillRect(box, tint);
        QPainterPath frame;
        frame.addRect(box);
        frame.addRect(box.adjusted(kFrame, kFrame, -kFrame, -kFrame));
        p.fillPath(frame, m_selectionColor);
        const QRect inner = box.adjusted(kFrame, kFrame, -kFrame - 1, -kFrame - 1);
        if (inner.isValid()) {
            p.setPen(QPen(Qt::white, 0));
            p.setBrush(Qt::NoBrush);
            p.drawRect(inner);
        }
    }
    if (focused) {
        const QRectF ring = QRectF(box).adjusted(kFrame + 2, kFrame + 2, -kFrame - 2, -kFrame - 2);
        if (ring.width() > 2 && ring.height() > 2) {
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            p.drawRect(ring);
            QPen dashes(Qt::white, 2, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
            dashes.setDashPattern({2, 2});
            p.setPen(dashes);
            p.drawRect(ring);
        }
    }
    // The file name lies along the bottom edge, where the frame runs: it stays on top, as a label
    // set into the frame.
    if ((selected || focused) && m_captionArea && !image.isNull() && e.shows != ImgPreview::Shows::Cross) {
        const QRect caption = m_captionArea(e).intersected(QRect(0, 0, e.Width, e.Height));
        if (!caption.isEmpty()) {
            const qreal r = image.devicePixelRatio();
            p.drawImage(QRectF(caption.translated(e.Left, e.Top)), image,
                        QRectF(caption.x() * r, caption.y() * r, caption.width() * r, caption.height() * r));
        }
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
