#include "notebuffer.h"

#include <gtest/gtest.h>

TEST(NoteBuffer, AnEditorsReportOfAChangeIsTakenOnlyWhereItAddsUp)
{
    const struct {
        const char *what;
        qsizetype from, removed, added, before, after;
        qsizetype went, came; // -1: does not add up
    } cases[] = {
        {"typed", 3, 0, 2, 3, 5, 0, 2},
        {"removed", 1, 2, 0, 3, 1, 2, 0},
        {"replaced", 0, 3, 1, 3, 1, 3, 1},
        {"to the end, its paragraph counted in both", 0, 4, 2, 3, 1, 3, 1},
        {"emptied in one, its paragraph counted in both", 0, 4, 1, 3, 0, 3, 0},
        {"emptied in two: the first step", 0, 0, 1, 11, 0, -1, -1},
        {"emptied in two: the second step", 0, 12, 0, 0, 0, -1, -1},
        {"filled in two: the first step", 0, 1, 0, 0, 3, -1, -1},
        {"past the end", 4, 0, 1, 3, 4, -1, -1},
        {"a count the lengths deny", 0, 0, 5, 3, 4, -1, -1},
    };
    for (const auto &c : cases) {
        const auto change = ReportedChange(c.from, c.removed, c.added, c.before, c.after);
        EXPECT_EQ(change ? change->removed : -1, c.went) << c.what;
        EXPECT_EQ(change ? change->added : -1, c.came) << c.what;
    }
}
