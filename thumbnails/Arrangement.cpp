#include "thumbnails/Arrangement.h"

#include "platform/Numeric.h"

#include <algorithm>
#include <cmath>

Arrangement arrangeSlots(qsizetype count, int TW, int TH, int A)
{
    Arrangement result;
    result.positions.reserve(count);
    // 64-bit arithmetic: the sizes are 16-bit values, but x and y grow with the count.
    qint64 x = 2;
    qint64 y = 0;
    for (qsizetype i = 0; i < count; ++i) {
        result.positions.append(QPoint(static_cast<int>(x), static_cast<int>(y)));
        if (x + 2 * qint64(TW) + 1 > A) {
            if (result.rowBreaks == 0)
                result.columns = static_cast<int>(i + 1);
            result.canvasWidth = static_cast<int>(x + TW + 1);
            y += TH + 1;
            x = 2;
            ++result.rowBreaks;
            result.canvasHeight = static_cast<int>(y + TH + 1);
        } else {
            x += TW + 1;
        }
    }
    if (result.rowBreaks == 0) {
        result.columns = static_cast<int>(count);
        result.canvasWidth = static_cast<int>(x);
        result.canvasHeight = count > 0 ? TH + 1 : 0;
    }
    return result;
}

float canvasTopForScrollValue(int TH, int value)
{
    return static_cast<float>(-(TH / 3.0 + 1.0) * value);
}

int canvasTopPixels(int TH, int value)
{
    return static_cast<int>(platform::roundHalfEven(canvasTopForScrollValue(TH, value)));
}

int scrollMaximum(const Arrangement& a, qsizetype pictures, int TH, int viewportHeight)
{
    const int partMaximum = 3 * a.rowBreaks;
    if (pictures <= 0 || pictures > a.positions.size())
        return 0;
    const qint64 bottom = qint64(a.positions[pictures - 1].y()) + TH;
    const qint64 overhang = bottom - viewportHeight;
    if (overhang <= 0)
        return 0;
    // Estimated from below, then stepped up past the rounding of the canvas position.
    int value = static_cast<int>(std::floor(double(overhang) / (TH / 3.0 + 1.0)));
    while (value < partMaximum && -qint64(canvasTopPixels(TH, value)) < overhang)
        ++value;
    return std::min(value, partMaximum);
}

int scrollValueShowing(int TH, int top, int bottom, int viewportHeight, int value, int maximum)
{
    const auto scrolled = [TH](int v) { return -qint64(canvasTopPixels(TH, v)); };
    const double unit = TH / 3.0 + 1.0;
    maximum = std::max(maximum, 0);
    value = std::clamp(value, 0, maximum);
    if (scrolled(value) <= top && scrolled(value) + viewportHeight >= bottom)
        return value;
    if (scrolled(value) > top || bottom - top > viewportHeight) {
        // The last value that does not scroll past the top edge.
        int v = std::clamp(static_cast<int>(std::floor(top / unit)), 0, maximum);
        while (v > 0 && scrolled(v) > top)
            --v;
        while (v < maximum && scrolled(v + 1) <= top)
            ++v;
        return v;
    }
    // The first value that brings the bottom edge into view.
    int v = std::clamp(static_cast<int>(std::ceil((bottom - viewportHeight) / unit)), 0, maximum);
    while (v > 0 && scrolled(v - 1) + viewportHeight >= bottom)
        --v;
    while (v < maximum && scrolled(v) + viewportHeight < bottom)
        ++v;
    return v;
}

RowSpan rowsInView(qsizetype count, int columns, int TH, int canvasTop, int viewportHeight)
{
    RowSpan span;
    if (count == 0 || columns <= 0 || viewportHeight <= 0)
        return span;
    const qint64 pitch = qint64(TH) + 1;
    const qint64 top = -qint64(canvasTop);
    const qint64 rows = (count + columns - 1) / columns;
    // A row whose only pixels in view are the gap below it is not in view.
    span.first = std::clamp<qint64>((top + 1) / pitch, 0, rows - 1);
    span.last = std::clamp<qint64>((top + viewportHeight - 1) / pitch, span.first, rows - 1);
    return span;
}

QList<qsizetype> positionsNearView(qsizetype count, int columns, int TH, int canvasTop, int viewportHeight)
{
    QList<qsizetype> result;
    const RowSpan inView = rowsInView(count, columns, TH, canvasTop, viewportHeight);
    if (inView.rows() == 0)
        return result;
    const qint64 rows = (count + columns - 1) / columns;
    const qint64 firstRow = inView.first;
    const qint64 lastRow = inView.last;
    const auto addRow = [&](qint64 row) {
        for (qint64 k = row * columns; k < std::min<qint64>((row + 1) * columns, count); ++k)
            result.append(static_cast<qsizetype>(k));
    };
    for (qint64 row = firstRow; row <= lastRow; ++row)
        addRow(row);
    if (firstRow > 0)
        addRow(firstRow - 1);
    if (lastRow + 1 < rows)
        addRow(lastRow + 1);
    return result;
}

RowSpan rowsKeepingImages(qsizetype count, int columns, int TH, int canvasTop, int viewportHeight, qint64 boxBytes,
                          qint64 budget, int screens)
{
    RowSpan span = rowsInView(count, columns, TH, canvasTop, viewportHeight);
    if (span.rows() == 0)
        return span;
    const qint64 rows = (count + columns - 1) / columns;
    const qint64 rowBytes = std::max<qint64>(1, boxBytes) * columns;
    const qint64 affordable = std::max<qint64>(0, budget / rowBytes - span.rows());
    const qint64 perScreen = (viewportHeight + qint64(TH)) / (qint64(TH) + 1);
    const qint64 margin = std::min(qint64(std::max(0, screens)) * perScreen, affordable / 2);
    span.first = std::max<qint64>(0, span.first - margin);
    span.last = std::min(rows - 1, span.last + margin);
    return span;
}
