#include "platform/Screen.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace platform {

namespace {

double twipsPerPixel(bool horizontal)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? (horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY()) : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

} // namespace

double twipsPerPixelX()
{
    return twipsPerPixel(true);
}

double twipsPerPixelY()
{
    return twipsPerPixel(false);
}

QRect screenGeometry()
{
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

void setMousePointer(QWidget* widget, MousePointer pointer)
{
    switch (pointer) {
    case MousePointer::Default:
        widget->unsetCursor();
        break;
    case MousePointer::Hourglass:
        widget->setCursor(Qt::WaitCursor);
        break;
    case MousePointer::ArrowHourglass:
        widget->setCursor(Qt::BusyCursor);
        break;
    }
}

void DoEvents()
{
    QCoreApplication::processEvents();
}

} // namespace platform
