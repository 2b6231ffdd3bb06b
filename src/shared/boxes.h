#pragma once

#include <QString>

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

// Asks `text` followed by " - OK ?"; true only for Yes.
bool ConfirmOK(const QString &text);

// The caption boxes show now: the application title, or " " and BoxTitle.
QString BoxCaption();
