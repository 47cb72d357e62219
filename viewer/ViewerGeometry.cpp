#include "viewer/ViewerGeometry.h"

#include "platform/Numeric.h"

#include <algorithm>

namespace viewer {

namespace {

// A window panned for hours keeps moving; its pixel figures stay within int all the same.
int nearestPixel(double twips, double twipsPerPixel)
{
    constexpr double kFar = 1 << 30;
    return static_cast<int>(std::clamp(platform::roundHalfEven(twips / twipsPerPixel), -kFar, kFar));
}

// X11 keeps window sizes and positions in 16 bits.
constexpr int kLargestWindow = 32767;

} // namespace

FormTwips placeImage(QPoint cursor, QSizeF picture, TwipsPerPixel tpp)
{
    FormTwips form;
    form.Width = static_cast<float>(tpp.x * picture.width());
    form.Height = static_cast<float>(tpp.y * picture.height());
    form.Left = static_cast<float>((cursor.x() - picture.width() / 2) * tpp.x);
    form.Top = static_cast<float>((cursor.y() - picture.height() / 2) * tpp.y);
    return form;
}

QRect toPixels(const FormTwips& form, TwipsPerPixel tpp)
{
    return QRect(nearestPixel(form.Left, tpp.x), nearestPixel(form.Top, tpp.y),
                 nearestPixel(form.Width, tpp.x), nearestPixel(form.Height, tpp.y));
}

void panAtEdges(FormTwips& form, QPoint cursor, const QRect& screen)
{
    const int x = cursor.x() - screen.x();
    const int y = cursor.y() - screen.y();
    if (y < kEdgeMargin)
        form.Top += kPanStep;
    if (screen.height() - kEdgeMargin < y)
        form.Top -= kPanStep;
    if (x < kEdgeMargin)
        form.Left += kPanStep;
    if (screen.width() - kEdgeMargin < x)
        form.Left -= kPanStep;
}

QSize zoomLimit(QSize screen)
{
    return QSize(std::min(8 * screen.width(), kLargestWindow), std::min(8 * screen.height(), kLargestWindow));
}

bool zoomIn(FormTwips& form, QSize limit, TwipsPerPixel tpp)
{
    const float height = form.Height * 2;
    const float width = form.Width * 2;
    if (nearestPixel(height, tpp.y) > limit.height() || nearestPixel(width, tpp.x) > limit.width())
        return false;
    form.Height = height;
    form.Width = width;
    return true;
}

bool zoomOut(FormTwips& form, TwipsPerPixel tpp)
{
    const float height = form.Height / 2;
    const float width = form.Width / 2;
    if (nearestPixel(height, tpp.y) < 1 || nearestPixel(width, tpp.x) < 1)
        return false;
    form.Height = height;
    form.Width = width;
    return true;
}

} // namespace viewer
