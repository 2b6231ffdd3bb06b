#include "placement.h"

Point BoxPlaces::BoxOpeningPoint(Point cursor)
{
    if (cursor == CursorAtLastClose)
        return LastBoxPlace;
    LastBoxPlace = cursor;
    return cursor;
}

void BoxPlaces::RememberBoxPlace(Point cursor, Point boxTopLeft)
{
    CursorAtLastClose = cursor;
    LastBoxPlace = boxTopLeft;
}

Point PlaceBoxAt(Point p, Size window, Size screen)
{
    Point at = p;
    if (p.x + window.width > screen.width)
        at.x = screen.width - window.width;
    if (p.y + window.height > screen.height)
        at.y = screen.height - window.height;
    return at;
}

Point PlaceNearCursor(Point cursor, Size window, Size screen)
{
    Point at{cursor.x + 1, cursor.y + 1};
    if (at.y + window.height > screen.height)
        at.y = screen.height - window.height;
    if (at.x + window.width > screen.width)
        at.x = screen.width - window.width;
    if (at.y < 0)
        at.y = 0;
    if (at.x < 0)
        at.x = 0;
    return at;
}
