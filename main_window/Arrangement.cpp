#include "main_window/Arrangement.h"

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
        result.canvasWidth = static_cast<int>(x);
        result.canvasHeight = count > 0 ? TH + 1 : 0;
    }
    return result;
}

float canvasTopForScrollValue(int TH, int value)
{
    return static_cast<float>(-(TH / 3.0 + 1.0) * value);
}
