#pragma once

// Where the program's small windows open: at the mouse cursor, in pixels of
// the primary display.

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point &) const = default;
};

struct Size {
    int width = 0;
    int height = 0;
};

// The remembered place of the message boxes, shared by the boxes and the
// input dialog.
struct BoxPlaces {
    Point LastBoxPlace;
    Point CursorAtLastClose;

    // Where the next box opens: where the last box was left if the mouse
    // has not moved since it closed, else at the cursor.
    Point BoxOpeningPoint(Point cursor);

    void RememberBoxPlace(Point cursor, Point boxTopLeft);
};

// Top-left for a box opening at p: pulled back from the right and bottom
// edges only.
Point PlaceBoxAt(Point p, Size window, Size screen);

// An area of the screen: its top-left and size.
struct Area {
    Point topLeft;
    Size size;
};

// Where a window whose outer top-left is `at` must go to lie wholly inside
// `area`: where it is if it fits, else moved just enough; on a side where
// the window is larger than the area, it starts at the area's edge.
Point KeepInside(Point at, Size window, Area area);

// Top-left one pixel right of and below the cursor, kept on the screen on
// all four sides.
Point PlaceNearCursor(Point cursor, Size window, Size screen);
