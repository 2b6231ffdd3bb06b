#pragma once

#include <QString>

#include <functional>

class QWidget;

// The program's message and question boxes. Each opens at the mouse cursor
// (or where the last box was left, if the mouse has not moved since), is
// modal, and is gone when the call returns.

void InfoBox(const QString &text);

// 'Y', 'N', 'C' (Cancel, Escape or the close command), or ' '.
char AskYesNoCancel(const QString &text);

bool AskYes(const QString &text);

// The error box for a failed file access: the application title as its
// caption, an error icon and "OK"; it opens where the toolkit puts it.
void ErrorBox(const QString &text);

// The same boxes shown without waiting for them: each is modal, runs
// `closed` (or `answered`, with the letter AskYesNoCancel gives) once it is
// closed, and is gone after. With `holdBack`, for kHoldBackMs after it
// opens or takes the keyboard, keys and clicks do not press its buttons: a
// box that comes by itself is never answered by keys typed for something
// else.
constexpr int kHoldBackMs = 750;
QWidget *ShowInfoBox(const QString &text, bool holdBack, std::function<void()> closed = {});
QWidget *ShowErrorBox(const QString &text, bool holdBack, std::function<void()> closed = {});
QWidget *ShowYesNoCancel(const QString &text, bool holdBack, std::function<void(char)> answered);

// Asks `text` followed by " - OK ?"; true only for Yes.
bool ConfirmOK(const QString &text);

// The caption boxes show now: the application title, or " " and BoxTitle.
QString BoxCaption();
