#pragma once

// The calendar module's state and date picker, kept apart from cal.h, which
// Qt's moc reads and which therefore can't include the date types (moc
// can't read <compare>). Implemented in cal.cpp, beside the window.

#include "caldate.h"

#include <QString>

class TFinpstr;

// The calendar module's state, kept for the whole run.
struct CalState {
    TCalDate CurrentCalDate; // the date the window shows
    QString LastPickedText;  // the date field when PickDate last ended with OK
};
CalState &Cal();

// The calendar module's start-up step.
void CalStartUp();

// The shared library's date picker: the month of the date `text` reads as
// (else today) in the calendar window. True on OK, with `text` then the date
// field's text; `text` is unchanged otherwise.
bool PickDate(QString &text);
bool PickDateInWindow(TCalDate &d);

// The input dialog's calendar button.
void CalBtnClick(TFinpstr *dialog);

// Ties the input dialog's calendar button to CalBtnClick; the calendar
// window itself is made when the picker is first called.
void ConnectCalendarButton(TFinpstr *dialog);
