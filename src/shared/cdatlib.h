#pragma once

#include <QString>

class QLineEdit;
class QMenu;

// Enables an edit box, or greys it out remembering its colour, so that the
// next edit enabled gets that colour back.
void EnableEdit(QLineEdit *edit, bool enable);

// Pops the menu up with its top-left corner at the mouse cursor.
void PopupAtCursor(QMenu *menu);

// The caption message boxes show when no box title is set.
QString ApplicationTitle();

// The shared library's start-up step: its defaults for the run.
void LibraryStartUp();
