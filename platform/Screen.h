#pragma once

#include <QRect>

class QWidget;

namespace platform {

// Twips: 1440 per logical inch of the primary screen (15 per pixel at 96 DPI).
double twipsPerPixelX();
double twipsPerPixelY();

// The geometry of the screen under the mouse pointer (the primary screen when there is none).
QRect screenGeometry();

// Mouse pointers by their numbers.
enum class MousePointer { Default = 0, Hourglass = 11, ArrowHourglass = 13 };
void setMousePointer(QWidget* widget, MousePointer pointer);

// Lets pending events run, so that the window stays usable during long work.
void DoEvents();

} // namespace platform
