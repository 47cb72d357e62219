#pragma once

#include <QIcon>

#include <array>

class QPainter;

namespace platform {

// The sizes the icon is drawn at, in pixels; below 32 it leaves out detail that would only blur.
inline constexpr std::array<int, 8> applicationIconSizes = {16, 22, 24, 32, 48, 64, 128, 256};

// The program's own icon: the window's icon, and the source of the icons installed for the desktop.
QIcon applicationIcon();

// Draws the icon into the square (0, 0, size, size) of any paint device, a picture or an SVG file.
void paintApplicationIcon(QPainter& painter, int size);

} // namespace platform
