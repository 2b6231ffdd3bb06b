#pragma once

#include <QtGlobal>

class QWidget;

// What the user gives the program (keys, clicks, input-method text), seen
// from the moment WatchUserInput is first called, so that what comes by
// itself can wait for a pause in it.
void WatchUserInput();
// Milliseconds since the user's last input, or since they came back to the
// program; a large number when none came, and 0 while they are in another
// program.
qint64 MsSinceUserInput();

// For `ms` after `box` is shown, and after each time it takes the keyboard,
// keys and clicks meant for what was under the user's hands do not reach
// it: they can't answer it unseen.
void HoldBackInput(QWidget *box, int ms);
