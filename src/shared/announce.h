#pragma once

#include <QString>

class QWidget;

// Tells assistive tools alone a short status of `window`: a screen reader
// speaks it at once, wherever the focus is, and nothing is shown. Qt has no
// announcement of its own here, so the status is a notification that is
// never on screen, "shown" each time.
void Announce(QWidget *window, const QString &text);
