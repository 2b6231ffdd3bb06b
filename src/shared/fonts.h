#pragma once

#include <QFont>

// The system's sans and monospace fonts at a pixel size, standing in for the
// Windows dialog font ("MS Sans Serif") of the original layout.
QFont SansFont(int pixelSize, bool bold = false);
QFont MonoFont(int pixelSize, bool bold = false);

// "Arial" and "Courier New" by name: fontconfig gives their metric-compatible
// free twins (Liberation), so the pixel layouts made for them fit.
QFont ArialFont(int pixelSize, bool bold = false);
QFont CourierNewFont(int pixelSize, bool bold = false);

// A size in points of the original 96-dpi layout, in pixels.
constexpr int PointsToPixels(int points)
{
    return (points * 96 + 36) / 72;
}
