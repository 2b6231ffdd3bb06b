#include "filereading.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include "files.h"

TEST(FileReading, OnlyARegularFileIsReadAndOpeningItNeverWaits)
{
    QTemporaryDir dir;
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    QDir().mkdir(dir.filePath("folder"));
    const struct {
        const char *name, *reason;
    } cases[] = {
        {"fifo", "It is not a regular file."},
        {"folder", "It is not a regular file."},
        {"missing", "No such file or directory"},
    };
    for (const auto &c : cases) {
        QByteArray bytes;
        QString reason;
        EXPECT_FALSE(ReadWholeFile(dir.filePath(c.name), bytes, reason)) << c.name;
        EXPECT_EQ(reason.toStdString(), c.reason) << c.name;
    }
}

TEST(FileReading, AnotherProgramsChangeIsSeenAndNothingElseIs)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("npad.txt");
    const QString other = dir.filePath("other");
    const QByteArray kept = "kept text";
    using Change = void (*)(const QString &path, const QString &other);
    const struct {
        const char *what;
        Change change;
        bool seen;
    } cases[] = {
        {"nothing", [](const QString &, const QString &) {}, false},
        {"touched",
         [](const QString &p, const QString &) {
             utime(QFile::encodeName(p).constData(), nullptr);
         },
         false},
        {"the same bytes put in its place",
         [](const QString &p, const QString &o) {
             Put(o, "kept text");
             QFile::remove(p);
             QFile::rename(o, p);
         },
         false},
        {"gone", [](const QString &p, const QString &) { QFile::remove(p); }, false},
        {"other bytes of the same size",
         [](const QString &p, const QString &) { Put(p, "KEPT TEXT"); }, true},
        {"other bytes of the same size, its time set back",
         [](const QString &p, const QString &) {
             struct stat st {};
             stat(QFile::encodeName(p).constData(), &st);
             Put(p, "KEPT TEXT");
             struct utimbuf back {
                 st.st_atime, st.st_mtime
             };
             utime(QFile::encodeName(p).constData(), &back);
         },
         true},
        {"grown", [](const QString &p, const QString &) { Put(p, "kept text, and more"); }, true},
        {"a folder in its place",
         [](const QString &p, const QString &) {
             QFile::remove(p);
             QDir().mkdir(p);
         },
         true},
    };
    for (const auto &c : cases) {
        QDir(path).removeRecursively();
        QFile::remove(path);
        Put(path, kept);
        FileIdentity known = IdentityOf(path, kept);
        c.change(path, other);
        EXPECT_EQ(ChangedOnDisk(path, known), c.seen) << c.what;
        EXPECT_FALSE(ChangedOnDisk(path, known) != c.seen) << c.what << ", asked again";
    }

    FileIdentity none; // no file when the notepad last looked
    QDir(path).removeRecursively();
    EXPECT_FALSE(ChangedOnDisk(path, none));
    Put(path, "new");
    EXPECT_TRUE(ChangedOnDisk(path, none));
}

TEST(FileReading, AFileIsHandedOverInPiecesOnlyWhileItIsTheOneKnown)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("npad.txt");
    QByteArray bytes;
    for (int i = 0; bytes.size() < (5 << 19) + 3; ++i) // pieces of 1 MiB and a last short one
        bytes += QByteArray::number(i) + "\r\n";
    const struct {
        const char *what;
        void (*change)(const QString &path);
        bool handed;
    } cases[] = {
        {"as known", [](const QString &) {}, true},
        // To a time of its own, whatever the clock's steps on this file system.
        {"touched",
         [](const QString &p) {
             const utimbuf y2k{946684800, 946684800};
             utime(QFile::encodeName(p).constData(), &y2k);
         },
         false},
        {"gone", [](const QString &p) { QFile::remove(p); }, false},
    };
    for (const auto &c : cases) {
        Put(path, bytes);
        const FileIdentity known = IdentityOf(path, bytes);
        c.change(path);
        QByteArray got;
        const bool handed = ReadInPieces(path, known, [&](QByteArrayView piece, std::int64_t at) {
            EXPECT_EQ(at, got.size()) << c.what;
            got += piece;
            return true;
        });
        EXPECT_EQ(handed, c.handed) << c.what;
        EXPECT_TRUE(got == (c.handed ? bytes : QByteArray())) << c.what << ": " << got.size();
    }
    Put(path, bytes);
    EXPECT_FALSE(ReadInPieces(path, IdentityOf(path, bytes), [](QByteArrayView, std::int64_t) {
        return false;
    })) << "a piece that could not be put";
}

TEST(FileReading, AFilesHashIsTheSameInEveryRun)
{
    // A journal's next run weighs the note by it: XXH64 as defined, under
    // any release of Qt, on any processor.
    QByteArray large(3 << 20 | 5, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char(i * 7 + i / 251);
    const struct {
        QByteArray bytes;
        std::size_t hash;
    } cases[] = {
        {"", 17241709254077376921ull},
        {"kept text", 12651624933081115752ull},
        {large, 16990330648211535843ull},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IdentityHash(c.bytes), c.hash) << c.bytes.size();
}
