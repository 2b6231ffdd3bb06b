#pragma once

#include "caldate.h"

#include <array>
#include <optional>
#include <string>

// The calendar's month: six weeks of seven days, Monday first. A cell holds
// a day number, or 0 when no date of the month falls on it.
struct MonthGrid {
    std::array<std::array<int, 7>, 6> days{}; // [week][weekday - 1]
    struct Cell {
        int column = 0; // 0 = Monday
        int row = 0;    // 1 = first week, as the grid's rows below its headings
        bool operator==(const Cell &) const = default;
    };
    std::optional<Cell> current; // the cell of `shown`'s day number, if shown

    int at(int column, int row) const { return days[std::size_t(row - 1)][std::size_t(column)]; }
};

// Every date of `shown`'s month that is not in the transition gap, each in its
// weekday's column, in order. Year 0, which has no weekdays, gives an empty
// grid. The fill never leaves the six weeks and never comes back to a date
// it has passed, whatever the transition.
MonthGrid MonthGridFor(TCalDate shown);

// A day cell: two spaces, then the day right-aligned in two characters.
std::string DayCellText(int day);

// A heading: a space and the short day name; column 0 is Monday.
std::string DayHeadingText(int column);

// Year not 0 nor 9999, month 1..12, day 1..31.
bool IsPlausibleDate(TCalDate d);
