#pragma once

#include <QAccessible>
#include <QString>

class QObject;
class QWidget;

// Tells assistive tools alone a short status of `window`: a screen reader
// speaks it at once, wherever the focus is, and nothing is shown. Qt has no
// announcement of its own here, so each status is a notification of its own
// that is never on screen, "shown" as it is made.
void Announce(QWidget *window, const QString &text);

// Tells assistive tools that the read-only, editable or busy states of
// `widget` marked in `changed` are now as in `now`.
void TellStates(QWidget *widget, QAccessible::State changed, QAccessible::State now);

// While one lives, assistive tools are told nothing of the text and caret
// of `widget`: the program replaces or fills its whole text, which a screen
// reader reads when the user asks for it, not as it goes in.
class QuietText {
  public:
    explicit QuietText(QObject *widget);
    ~QuietText();
    QuietText(const QuietText &) = delete;
    QuietText &operator=(const QuietText &) = delete;

  private:
    QObject *widget_;
};
