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

namespace {

// A link where unsaved text would go: at the name the user was told, or in
// place of the temporary folder's own folder (in a folder anyone may write).
class LinkTest : public ::testing::TestWithParam<bool> {};

} // namespace

TEST_P(LinkTest, UnsavedTextIsNeverWrittenThroughALink)
{
    QTemporaryDir dir;
    const QString elsewhere = dir.filePath("elsewhere");
    QDir().mkdir(elsewhere);
    QString folder = dir.filePath("data"), path;
    if (GetParam()) {
        QDir().mkdir(dir.filePath("tmp"));
        SetMode(dir.filePath("tmp"), 01777);
        folder = dir.filePath("tmp/quorvin-0");
        QFile::link(elsewhere, folder);
    } else {
        QDir().mkdir(folder);
        path = folder + "/npad-unsaved-told.txt";
        QFile::link(elsewhere + "/taken", path);
    }
    QString failures;
    const bool kept =
        KeepUnsaved("text", NoteEncoding::Utf8, NoteBreaks::Lf, {folder}, path, failures);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    EXPECT_EQ(kept, !GetParam()) << failures.toStdString();
    EXPECT_EQ(Bytes(path), kept ? "text" : "<missing>");
}

INSTANTIATE_TEST_SUITE_P(UnsavedText, LinkTest, ::testing::Bool(), [](const auto &row) {
    return row.param ? "TheTemporaryFoldersOwnFolder" : "TheNameTold";
});
