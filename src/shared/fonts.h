#pragma once

#include <QFont>

// The system's sans and monospace fonts at a pixel size, standing in for the
// fixed Windows fonts of the original layout.
QFont SansFont(int pixelSize, bool bold = false);
QFont MonoFont(int pixelSize, bool bold = false);
