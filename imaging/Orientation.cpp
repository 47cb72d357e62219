#include "imaging/Orientation.h"

#include "imaging/cDIBSection.h"

#include <QTransform>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace imaging {

std::optional<Orientation> orientationFromTag(long value)
{
    if (value < 1 || value > 8)
        return std::nullopt;
    return static_cast<Orientation>(value);
}

bool swapsSides(Orientation orientation)
{
    return static_cast<int>(orientation) >= static_cast<int>(Orientation::Transpose);
}

QSize displayedSize(QSize stored, Orientation orientation)
{
    return swapsSides(orientation) ? stored.transposed() : stored;
}

QPoint storedPixel(Orientation orientation, QPoint shown, QSize stored)
{
    const int x = shown.x();
    const int y = shown.y();
    const int W = stored.width();
    const int H = stored.height();
    switch (orientation) {
    case Orientation::Normal:
        break;
    case Orientation::MirrorHorizontal:
        return {W - 1 - x, y};
    case Orientation::Rotate180:
        return {W - 1 - x, H - 1 - y};
    case Orientation::MirrorVertical:
        return {x, H - 1 - y};
    case Orientation::Transpose:
        return {y, x};
    case Orientation::Rotate90:
        return {y, H - 1 - x};
    case Orientation::Transverse:
        return {W - 1 - y, H - 1 - x};
    case Orientation::Rotate270:
        return {W - 1 - y, x};
    }
    return shown;
}

std::unique_ptr<cDIBSection> oriented(const cDIBSection& stored, Orientation orientation)
{
    if (!stored.DIBSectionBitsPtr())
        return nullptr;
    const QSize storedSize(stored.Width(), stored.Height());
    const QSize shown = displayedSize(storedSize, orientation);
    auto result = std::make_unique<cDIBSection>();
    try {
        if (!result->Create(shown.width(), shown.height()))
            return nullptr;
    } catch (const std::overflow_error&) {
        return nullptr;
    }

    // Rows are stored bottom-up: the pixel (x, y) from the top left starts at this offset.
    const std::ptrdiff_t H = stored.Height();
    const std::ptrdiff_t stride = stored.BytesPerScanLine();
    const auto offset = [&](QPoint p) { return (H - 1 - p.y()) * stride + 3 * std::ptrdiff_t(p.x()); };
    const std::uint8_t* from = stored.DIBSectionBitsPtr();
    for (std::ptrdiff_t y = 0; y < shown.height(); ++y) {
        std::uint8_t* to = result->DIBSectionBitsPtr() +
                           (shown.height() - 1 - y) * std::ptrdiff_t(result->BytesPerScanLine());
        // Along a shown row the stored pixel moves by the same step every time.
        std::ptrdiff_t at = offset(storedPixel(orientation, QPoint(0, int(y)), storedSize));
        const std::ptrdiff_t step = offset(storedPixel(orientation, QPoint(1, int(y)), storedSize)) - at;
        for (int x = 0; x < shown.width(); ++x, at += step, to += 3)
            std::memcpy(to, from + at, 3);
    }
    return result;
}

QImage oriented(const QImage& stored, Orientation orientation)
{
    // Turns by a quarter go through Qt's exact rotation, which copies the pixels.
    const auto quarter = [](const QImage& image, qreal degrees) {
        return image.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case Orientation::Normal:
        break;
    case Orientation::MirrorHorizontal:
        return stored.mirrored(true, false);
    case Orientation::Rotate180:
        return stored.mirrored(true, true);
    case Orientation::MirrorVertical:
        return stored.mirrored(false, true);
    case Orientation::Transpose:
        return quarter(stored, 90).mirrored(true, false);
    case Orientation::Rotate90:
        return quarter(stored, 90);
    case Orientation::Transverse:
        return quarter(stored, 90).mirrored(false, true);
    case Orientation::Rotate270:
        return quarter(stored, 270);
    }
    return stored;
}

bool smallPictureWillDo(QSize small, QSize photo, QSize wanted)
{
    if (small.width() < 1 || small.height() < 1 || small.width() >= photo.width() ||
        small.height() >= photo.height() || 2 * small.width() < wanted.width() ||
        2 * small.height() < wanted.height())
        return false;
    const double proportion = double(photo.width()) / photo.height();
    return std::abs(double(small.width()) / small.height() - proportion) <= 0.02 * proportion;
}

} // namespace imaging
