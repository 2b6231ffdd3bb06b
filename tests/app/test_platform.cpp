#include "platform.h"

#include <gtest/gtest.h>

TEST(PreferredPlatform, AsksForX11OnWaylandUnlessTheUserChose)
{
    EXPECT_EQ(PreferredPlatform(nullptr, "wayland-0", nullptr), "xcb;wayland");
    EXPECT_EQ(PreferredPlatform("", nullptr, "wayland"), "xcb;wayland");
    EXPECT_EQ(PreferredPlatform("wayland", "wayland-0", "wayland"), "");
    EXPECT_EQ(PreferredPlatform(nullptr, nullptr, "x11"), "");
    EXPECT_EQ(PreferredPlatform(nullptr, "", ""), "");
}
