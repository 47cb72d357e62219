#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QSizeF>

// Where the full-size viewer's window stands and how large it is, tick by tick. The window keeps
// its place and size in twips, in single precision, as a form does; the cursor, the screens and
// the picture measure in pixels.
namespace viewer {

struct TwipsPerPixel
{
    double x = 15.0;
    double y = 15.0;
};

struct FormTwips
{
    float Left = 0;
    float Top = 0;
    float Width = 0;
    float Height = 0;
};

// The cursor must come this close to a screen edge (in pixels) to slide the window, by this many
// twips per tick.
inline constexpr int kEdgeMargin = 10;
inline constexpr float kPanStep = 150.0f;

// The picture at 1:1, centred on the cursor. An odd size puts the window on a half pixel; nothing
// keeps it on the screen.
FormTwips placeImage(QPoint cursor, QSizeF picture, TwipsPerPixel tpp);

// The window in pixels, each figure rounded to the nearest pixel (ties to even).
QRect toPixels(const FormTwips& form, TwipsPerPixel tpp);

// Slides the window away from each edge of `screen` the cursor is near; the four edges are tested
// one after the other, so a corner slides it diagonally.
void panAtEdges(FormTwips& form, QPoint cursor, const QRect& screen);

// The largest window the zoom makes: 8 times the screen in each direction, and never more than
// the 32767 pixels that X11 allows a window: 10240 x 8192 pixels on a 1280 x 1024 screen, where a
// picture that fits the screen then shows every pixel 8 screen pixels wide. Sizes and places stay
// far from the range of single precision.
QSize zoomLimit(QSize screen);

// Doubles (zoomIn) or halves (zoomOut) the window, height first, keeping its top-left corner.
// A step that would take either side beyond `limit`, or below one pixel, is not made, so the
// picture keeps its proportions and every step back returns to the size before. False when
// nothing changed.
bool zoomIn(FormTwips& form, QSize limit, TwipsPerPixel tpp);
bool zoomOut(FormTwips& form, TwipsPerPixel tpp);

} // namespace viewer
