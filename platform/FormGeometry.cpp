#include "platform/FormGeometry.h"

#include "platform/Screen.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace platform {

QFont formFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

int twipsToPixelsX(int twips, double scale)
{
    return qRound(twips * scale / twipsPerPixelX());
}

int twipsToPixelsY(int twips, double scale)
{
    return qRound(twips * scale / twipsPerPixelY());
}

QRect toPixels(const Twips& twips, double scale)
{
    return QRect(twipsToPixelsX(twips.left, scale), twipsToPixelsY(twips.top, scale),
                 twipsToPixelsX(twips.width, scale), twipsToPixelsY(twips.height, scale));
}

double captionScale(const QList<std::pair<QWidget*, Twips>>& places)
{
    double scale = 1.0;
    for (const auto& [control, twips] : places) {
        const QFontMetrics metrics = control->fontMetrics();
        int width = 0;
        int height = metrics.height();
        if (const auto* check = qobject_cast<QCheckBox*>(control)) {
            width = check->sizeHint().width();
        } else if (const auto* button = qobject_cast<QPushButton*>(control)) {
            const int margin = control->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control);
            width = metrics.horizontalAdvance(QString(button->text()).remove(u'&')) + 2 * margin;
        } else if (const auto* label = qobject_cast<QLabel*>(control)) {
            width = metrics.horizontalAdvance(label->text());
        } else {
            const int frame = control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, control);
            height += 2 * frame + 2;
        }
        scale = std::max({scale, width * twipsPerPixelX() / twips.width, height * twipsPerPixelY() / twips.height});
    }
    return scale;
}

} // namespace platform
