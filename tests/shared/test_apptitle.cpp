#include "apptitle.h"

#include <gtest/gtest.h>

TEST(ApplicationTitle, CutsAtTheFirstFullStopAndLowersTheRest)
{
    EXPECT_EQ(ApplicationTitleFromPath("/usr/bin/quorvin"), "quorvin");
    EXPECT_EQ(ApplicationTitleFromPath("C/PWGEN.EXE"), "Pwgen");
    EXPECT_EQ(ApplicationTitleFromPath("/opt/My.Tool.v2"), "My");
    EXPECT_EQ(ApplicationTitleFromPath("/a.b/xYZ"), "xyz") << "dots in folders do not count";
    EXPECT_EQ(ApplicationTitleFromPath("Ärger"), "Ärger") << "only ASCII letters change";
}
