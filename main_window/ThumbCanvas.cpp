#include "main_window/ThumbCanvas.h"

#include "platform/FileNames.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QToolTip>

ThumbCanvas::ThumbCanvas(QWidget* parent)
    : QWidget(parent),
      m_canvasColor(palette().color(QPalette::Window)),
      m_elementColor(palette().color(QPalette::Button).darker(108)),
      m_frameColor(palette().color(QPalette::Mid))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    ImgPreview templ;
    templ.Index = 0;
    m_elements.push_back(templ);
}

int ThumbCanvas::load()
{
    ImgPreview e = m_elements.front();
    e.Index = count();
    e.image = QImage();
    m_elements.push_back(std::move(e));
    return m_elements.back().Index;
}

void ThumbCanvas::unloadAll()
{
    m_elements.erase(m_elements.begin() + 1, m_elements.end());
    m_elements.shrink_to_fit();
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
        if (it->Visible && it->Index != 0 && it->rect().contains(point))
            return it->Index;
    }
    return 0;
}

QImage& ThumbCanvas::persistentImage(int index)
{
    ImgPreview& e = element(index);
    const int w = qMax(1, qRound(e.Width * m_boxRatio));
    const int h = qMax(1, qRound(e.Height * m_boxRatio));
    if (e.image.isNull() || e.image.width() != w || e.image.height() != h ||
        e.image.devicePixelRatio() != m_boxRatio) {
        QImage image(w, h, QImage::Format_RGB32);
        image.setDevicePixelRatio(m_boxRatio);
        image.fill(m_elementColor);
        if (!e.image.isNull()) {
            QPainter p(&image);
            p.drawImage(0, 0, e.image);
        }
        e.image = std::move(image);
    }
    return e.image;
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
        if (!it->Visible || it->Index == 0 || !uncovered.intersects(it->rect()))
            continue;
        toDraw.push_back(&*it);
        uncovered -= it->rect();
    }
    for (auto it = toDraw.rbegin(); it != toDraw.rend(); ++it) {
        const ImgPreview& e = **it;
        if (e.image.isNull()) {
            p.fillRect(e.rect(), m_elementColor);
            p.setPen(m_frameColor);
            p.drawRect(e.rect().adjusted(0, 0, -1, -1));
        } else {
            p.fillRect(e.rect(), m_elementColor);
            const qreal r = e.image.devicePixelRatio();
            p.drawImage(QPointF(e.Left, e.Top), e.image, QRectF(0, 0, e.Width * r, e.Height * r));
        }
    }
}

bool ThumbCanvas::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = elementAt(help->pos());
        if (index != 0 && !element(index).ToolTipText.isEmpty()) {
            const ImgPreview& e = element(index);
            QToolTip::showText(help->globalPos(), platform::displayName(e.ToolTipText), this, e.rect());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}
