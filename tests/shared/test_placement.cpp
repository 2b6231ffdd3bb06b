#include "placement.h"

#include <gtest/gtest.h>

namespace {
const Size kScreen{1920, 1080};
const Size kBox{300, 120};
} // namespace

TEST(Placement, PullsBackFromRightAndBottomOnly)
{
    EXPECT_EQ(PlaceBoxAt({100, 100}, kBox, kScreen), (Point{100, 100}));
    EXPECT_EQ(PlaceBoxAt({1910, 100}, kBox, kScreen), (Point{1620, 100}));
    EXPECT_EQ(PlaceBoxAt({100, 1075}, kBox, kScreen), (Point{100, 960}));
    EXPECT_EQ(PlaceBoxAt({1620, 960}, kBox, kScreen), (Point{1620, 960})) << "exactly flush";
    // Left of or above the primary display: used unchanged.
    EXPECT_EQ(PlaceBoxAt({-500, -20}, kBox, kScreen), (Point{-500, -20}));
    // Beyond the right edge, on a second display: pulled back.
    EXPECT_EQ(PlaceBoxAt({2500, 10}, kBox, kScreen), (Point{1620, 10}));
    // Larger than the screen: no lower limit.
    EXPECT_EQ(PlaceBoxAt({10, 10}, {2000, 1200}, kScreen), (Point{-80, -120}));
}

TEST(Placement, OnePixelOffAndWhollyOnScreen)
{
    EXPECT_EQ(PlaceNearCursor({0, 0}, kBox, kScreen), (Point{1, 1}));
    EXPECT_EQ(PlaceNearCursor({1919, 1079}, kBox, kScreen), (Point{1620, 960}));
    EXPECT_EQ(PlaceNearCursor({-800, 50}, kBox, kScreen), (Point{0, 51}));
    EXPECT_EQ(PlaceNearCursor({2500, 50}, kBox, kScreen), (Point{1620, 51}));
    // Larger than the screen: ends at 0 on that side.
    EXPECT_EQ(PlaceNearCursor({500, 500}, {2000, 1200}, kScreen), (Point{0, 0}));
}

TEST(Placement, ReopensWhereLeftUntilTheMouseMoves)
{
    BoxPlaces places;
    EXPECT_EQ(places.BoxOpeningPoint({100, 100}), (Point{100, 100}));
    // The user dragged the box to (400, 300) and closed it with the mouse at (420, 310).
    places.RememberBoxPlace({420, 310}, {400, 300});
    EXPECT_EQ(places.BoxOpeningPoint({420, 310}), (Point{400, 300}));
    EXPECT_EQ(places.BoxOpeningPoint({420, 310}), (Point{400, 300})) << "still not moved";
    EXPECT_EQ(places.BoxOpeningPoint({421, 310}), (Point{421, 310}));
    EXPECT_EQ(places.LastBoxPlace, (Point{421, 310}));
}

TEST(Placement, FreshStateMatchesACursorAtTheOrigin)
{
    BoxPlaces places;
    EXPECT_EQ(places.BoxOpeningPoint({0, 0}), (Point{0, 0}));
    EXPECT_EQ(places.BoxOpeningPoint({5, 0}), (Point{5, 0}));
}

TEST(Placement, AWindowMovesOnlyAsFarAsItMustToLieOnTheScreen)
{
    const Area work{{0, 24}, {1280, 1000}}; // a panel along the top
    const Size main{360, 454};
    const struct {
        Point at;
        Size window;
        Point kept;
    } cases[] = {
        {{379, 45}, main, {379, 45}},        // fits: stays as specified
        {{1000, 45}, main, {920, 45}},       // past the right edge
        {{379, 800}, main, {379, 570}},      // past the bottom
        {{-30, 10}, main, {0, 24}},          // left of and above the area
        {{1200, 990}, main, {920, 570}},     // past both
        {{379, 45}, {1500, 300}, {0, 45}},   // wider than the screen
        {{379, 45}, {300, 1200}, {379, 24}}, // taller than the screen
        {{920, 570}, main, {920, 570}},      // exactly flush
    };
    for (const auto &c : cases)
        EXPECT_EQ(KeepInside(c.at, c.window, work), c.kept) << c.at.x << "," << c.at.y;
}
