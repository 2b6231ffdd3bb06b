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

// Moves a window just enough to lie wholly inside the available area of its
// screen, frame included (its top-left stays on the screen if it is larger).
void KeepOnScreen(QWidget *window);

// Does so now and whenever the window is shown, once the window manager has
// framed it; a window the user moves afterwards is left where it is put.
void KeepOnScreenWhenShown(QWidget *window);
