#pragma once

#include <QTest>
#include <gtest/gtest.h>

// Waits, with events going on, until `condition` holds; a failure once `ms`
// have gone by. QTest's own QTRY_ macros report only to QTest, which
// GoogleTest never hears.
#define EXPECT_SOON_WITHIN(condition, ms)                                                          \
    EXPECT_TRUE(QTest::qWaitFor([&] { return bool(condition); }, ms)) << #condition
#define EXPECT_SOON(condition) EXPECT_SOON_WITHIN(condition, 5000)
