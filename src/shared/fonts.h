#pragma once

#include <QFont>

// The system's sans font at a pixel size: the windows' dialog font.
QFont SansFont(int pixelSize, bool bold = false);

// "Arial" and "Courier New" by name: fontconfig gives their metric-compatible
// free twins (Liberation), so the pixel layouts made for them fit.
QFont ArialFont(int pixelSize, bool bold = false);
QFont CourierNewFont(int pixelSize, bool bold = false);
