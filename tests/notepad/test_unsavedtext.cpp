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
    // A link that leads nowhere takes its name too.
    QFile::link(dir.filePath("nowhere"), dir.filePath("npad-unsaved-20260304-050607-2.txt"));
    EXPECT_EQ(UnsavedNotePath(dir.path(), at), dir.filePath("npad-unsaved-20260304-050607-3.txt"));
}

TEST(UnsavedText, UnsavedTextIsNeverWrittenThroughALinkAtTheNameTold)
{
    QTemporaryDir dir;
    QString path = dir.filePath("npad-unsaved-told.txt"), failures;
    QFile::link(dir.filePath("elsewhere"), path); // leads nowhere, as another user could leave it
    EXPECT_TRUE(
        KeepUnsaved("text", NoteEncoding::Utf8, NoteBreaks::Lf, {dir.path()}, path, failures));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("elsewhere")));
    EXPECT_EQ(Bytes(path), "text");
}
