#include "platform/AppIcon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace platform {

namespace {

// One photo print: a white card with a small landscape on it.
void drawCard(QPainter& p, const QRectF& card, qreal angle, const QColor& sky, bool detailed)
{
    p.save();
    p.translate(card.center());
    p.rotate(angle);
    const QRectF r(-card.width() / 2, -card.height() / 2, card.width(), card.height());
    const qreal border = r.width() * 0.08;

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawRect(r.translated(r.width() * 0.03, r.width() * 0.04));
    p.setBrush(Qt::white);
    p.drawRect(r);

    const QRectF photo = r.adjusted(border, border, -border, -border * (detailed ? 2.2 : 1));
    QLinearGradient skyGradient(photo.topLeft(), photo.bottomLeft());
    skyGradient.setColorAt(0, sky.lighter(130));
    skyGradient.setColorAt(1, sky);
    p.setBrush(skyGradient);
    p.drawRect(photo);
    if (detailed) {
        p.setBrush(QColor(0xff, 0xcc, 0x33));
        const qreal sun = photo.width() * 0.18;
        p.drawEllipse(QPointF(photo.right() - sun * 1.4, photo.top() + sun * 1.4), sun, sun);
        QPainterPath hill;
        hill.moveTo(photo.left(), photo.bottom());
        hill.lineTo(photo.left(), photo.top() + photo.height() * 0.7);
        hill.quadTo(photo.left() + photo.width() * 0.35, photo.top() + photo.height() * 0.35,
                    photo.left() + photo.width() * 0.7, photo.top() + photo.height() * 0.72);
        hill.quadTo(photo.right() - photo.width() * 0.1, photo.top() + photo.height() * 0.62, photo.right(),
                    photo.top() + photo.height() * 0.66);
        hill.lineTo(photo.right(), photo.bottom());
        hill.closeSubpath();
        p.setBrush(QColor(0x3c, 0x9a, 0x4a));
        p.drawPath(hill);
    }
    p.restore();
}

} // namespace

void paintApplicationIcon(QPainter& p, int size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    const bool detailed = size >= 32;

    const QSizeF cardSize(s * 0.56, s * 0.66);
    const QPointF centre(s * 0.5, s * 0.47);
    drawCard(p, QRectF(centre - QPointF(cardSize.width() * 0.72, cardSize.height() / 2), cardSize), -14,
             QColor(0x9b, 0x6b, 0xc9), false);
    drawCard(p, QRectF(centre - QPointF(cardSize.width() * 0.28, cardSize.height() / 2), cardSize), 12,
             QColor(0xe0, 0x7b, 0x39), false);
    drawCard(p, QRectF(centre - QPointF(cardSize.width() / 2, cardSize.height() * 0.45), cardSize), 0,
             QColor(0x3d, 0x8b, 0xd9), detailed);

    // The running number the pictures end up with.
    const qreal badge = s * (detailed ? 0.19 : 0.24);
    const QPointF badgeCentre(s - badge * 1.05, s - badge * 1.05);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd9, 0x3a, 0x2b));
    p.drawEllipse(badgeCentre, badge, badge);
    if (size >= 24) {
        // An outline rather than text, so that an SVG copy shows the same digit on machines
        // without this font; the font is named because the build machine's default may differ.
        QFont font(QStringLiteral("Liberation Sans"));
        font.setStyleHint(QFont::SansSerif);
        font.setBold(true);
        font.setPixelSize(qMax(6, static_cast<int>(badge * 1.3)));
        QPainterPath digit;
        digit.addText(0, 0, font, QStringLiteral("1"));
        p.setBrush(Qt::white);
        p.drawPath(digit.translated(badgeCentre - digit.boundingRect().center()));
    }
    p.restore();
}

QIcon applicationIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : applicationIconSizes) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            paintApplicationIcon(painter, size);
            painter.end();
            i.addPixmap(pixmap);
        }
        return i;
    }();
    return icon;
}

} // namespace platform
