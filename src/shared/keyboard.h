#pragma once

#include <initializer_list>

class QAbstractButton;
class QMainWindow;

// A window's menu bar used from the keyboard as Linux desktops have it: F10
// (like Alt) enters it at its first item, the item it is on is drawn
// highlighted, and once a command chosen there is done, with whatever box
// or dialog it opened, the keyboard is back on the control that had it.
void UseMenuBarByKeys(QMainWindow *window);

// Enter presses each of these buttons while it has the focus, as Space
// does; none of them becomes the default button for Enter elsewhere.
void PressOnEnter(std::initializer_list<QAbstractButton *> buttons);
