#pragma once

#include <QList>
#include <QPoint>

// Places n thumbnails of TW x TH pixels in rows across an available width A: a left margin of
// 2, a one-pixel gap between thumbnails and between rows, a new row whenever the next
// thumbnail would end beyond A (the first of a row is always placed, however narrow A is).
struct Arrangement
{
    QList<QPoint> positions; // top-left corner of each position, in display order
    int rowBreaks = 0;
    int columns = 0;         // positions in a full row
    // The canvas: after a row break as wide as the finished row plus the gap and as high as the
    // row begun plus the gap; without any row break just large enough for what was placed.
    int canvasWidth = 0;
    int canvasHeight = 0;
};

Arrangement arrangeSlots(qsizetype count, int TW, int TH, int A);

// How far the canvas moves up for a scroll bar value: (TH / 3 + 1) pixels per unit, a real
// division, as a single-precision value.
float canvasTopForScrollValue(int TH, int value);
// The same in whole pixels, as the canvas is placed.
int canvasTopPixels(int TH, int value);

// The scroll bar's maximum: the first value at which the last row of pictures (the first
// `pictures` positions) is wholly in a viewport of viewportHeight pixels, so that the bar never
// scrolls the pictures out of view; 0 when they all fit. Never more than 3 per row break.
int scrollMaximum(const Arrangement& a, qsizetype pictures, int TH, int viewportHeight);

// The scroll bar value, from 0 to `maximum`, nearest to `value` at which the canvas pixels from
// `top` to `bottom` (excluded) are wholly in a viewport of viewportHeight pixels; when they are
// higher than the viewport, their top edge is shown.
int scrollValueShowing(int TH, int top, int bottom, int viewportHeight, int value, int maximum);

// The display positions (of count, in rows of `columns`) that a viewport of viewportHeight pixels
// shows with the canvas at canvasTop (0 or less), in display order, followed by those of the row
// above and of the row below.
QList<qsizetype> positionsNearView(qsizetype count, int columns, int TH, int canvasTop, int viewportHeight);

// A run of rows, first to last; empty when last < first.
struct RowSpan
{
    qint64 first = 0;
    qint64 last = -1;
    bool contains(qint64 row) const { return row >= first && row <= last; }
    qint64 rows() const { return last < first ? 0 : last - first + 1; }
};

// The rows that a viewport of viewportHeight pixels shows with the canvas at canvasTop.
RowSpan rowsInView(qsizetype count, int columns, int TH, int canvasTop, int viewportHeight);

// The rows that keep the images of their boxes: those in view (as for positionsNearView) and up to
// `screens` viewport heights of rows above and below them, as far as `budget` bytes of images of
// `boxBytes` each allow. The rows in view keep theirs whatever the budget.
RowSpan rowsKeepingImages(qsizetype count, int columns, int TH, int canvasTop, int viewportHeight, qint64 boxBytes,
                          qint64 budget, int screens);
