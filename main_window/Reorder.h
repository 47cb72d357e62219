#pragma once

#include "ordering/PictureOrder.h"

#include <optional>

// What a thumbnail hears while something is dragged over it.
enum class DragState
{
    Enter = 0,
    Leave = 1,
    Over = 2
};

// Pointer positions beyond this distance from a thumbnail's left edge (in its own pixels) are in
// its right part: 50 times the screen's twips per pixel, in single precision. That is 750 pixels
// at 96 DPI, so thumbnails up to the options' largest size never have a right part.
float rightPartThreshold(double twipsPerPixelX);

// Where the drag marker stands while the pointer is over picture `Index`: before it, or with the
// pointer in its right part where a drop would land (before the next picture, after the last at
// the end), except on the picture listed last while the folder is still being listed, before
// which it stays; nothing when the order does not show `Index`.
std::optional<ordering::Place> markerTarget(const ordering::PictureOrder& order, int Index, bool rightPart);
