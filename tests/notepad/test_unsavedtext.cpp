#include "unsavedtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "files.h"

TEST(UnsavedText, UnsavedTextGoesToANewFileNamedByTheTime)
{
    QTemporaryDir dir;
    const QDateTime at(QDate(2026, 3, 4), QTime(5, 6, 7));
    const QString first = UnsavedNotePath(dir.path(), at);
    EXPECT_EQ(first, dir.filePath("npad-unsaved-20260304-050607.txt"));
    Put(first, "one");
    EXPECT_EQ(UnsavedNotePath(dir.path(), at), dir.filePath("npad-unsaved-20260304-050607-2.txt"));
}
