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

namespace {

int KeepInside(int at, int length, int areaStart, int areaLength)
{
    if (length >= areaLength)
        return areaStart;
    if (at < areaStart)
        return areaStart;
    if (at + length > areaStart + areaLength)
        return areaStart + areaLength - length;
    return at;
}

} // namespace

Point KeepInside(Point at, Size window, Area area)
{
    return {KeepInside(at.x, window.width, area.topLeft.x, area.size.width),
            KeepInside(at.y, window.height, area.topLeft.y, area.size.height)};
}
