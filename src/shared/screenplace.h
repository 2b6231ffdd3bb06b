#pragma once

#include "placement.h"

class QWidget;

// The placement rules applied to real windows: the mouse cursor and the
// primary screen's full size.
Point CursorPoint();
Size ScreenSize();
Size WindowSize(const QWidget *w);

// Opening point of a message box or the input dialog; updates the
// remembered place.
Point BoxOpeningPoint();
void PlaceBoxAt(QWidget *window, Point p);
void RememberBoxPlace(const QWidget *window);
void PlaceNearCursor(QWidget *window);
void ShowNearCursor(QWidget *window);
