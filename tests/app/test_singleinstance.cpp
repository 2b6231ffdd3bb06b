#include "singleinstance.h"
#include "startup.h"
#include "termsignals.h"

#include <QLockFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "modal.h"

namespace {

using Outcome = SingleInstance::Outcome;

// A later start, claiming from another thread while this one answers.
Outcome ClaimAlongside(const QString &folder, int answerMs = 1000)
{
    auto later = std::async(std::launch::async, [&] {
        SingleInstance second(folder);
        return second.Claim(answerMs);
    });
    while (later.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(5);
    return later.get();
}

} // namespace

TEST(SingleInstance, ALaterStartRaisesTheFirstAndEnds)
{
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    int raised = 0;
    first.SetRaise([&] { ++raised; });
    ASSERT_EQ(first.Claim(), Outcome::First);
    EXPECT_EQ(ClaimAlongside(dir.path()), Outcome::OtherRaised);
    EXPECT_EQ(ClaimAlongside(dir.path()), Outcome::OtherRaised);
    EXPECT_EQ(raised, 2);
}

TEST(SingleInstance, CopiesInDifferentFoldersRunSideBySide)
{
    QTemporaryDir a, b;
    SingleInstance inA(a.path()), inB(b.path());
    EXPECT_EQ(inA.Claim(), Outcome::First);
    EXPECT_EQ(inB.Claim(), Outcome::First);
    EXPECT_NE(SingleInstance::ServiceName(a.path()), SingleInstance::ServiceName(b.path()));
}

TEST(SingleInstance, TheLockOfACopyThatDiedIsTakenOver)
{
    QTemporaryDir dir;
    const QString lockPath = dir.filePath("quorvin.lock");
    const pid_t child = fork();
    if (child == 0) {
        QLockFile held(lockPath);
        _exit(held.tryLock(0) ? 0 : 1); // dies holding it
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(QFile::exists(lockPath));

    SingleInstance next(dir.path());
    EXPECT_EQ(next.Claim(), Outcome::First);
}

TEST(SingleInstance, ACopyThatHoldsTheFolderButDoesNotAnswerIsReported)
{
    QTemporaryDir dir;
    QLockFile held(dir.filePath("quorvin.lock")); // alive, but no one listens
    ASSERT_TRUE(held.tryLock(0));
    EXPECT_EQ(ClaimAlongside(dir.path(), 200), Outcome::OtherSilent);
}

TEST(SingleInstance, ALockThatNoRunningCopyOwnsIsTakenOver)
{
    QTemporaryDir dir;
    QLockFile own(dir.filePath("own.lock")); // a whole record, naming this copy
    QFile record(own.fileName());
    ASSERT_TRUE(own.tryLock(0) && record.open(QIODevice::ReadOnly));
    const QByteArray whole = record.readAll(), rest = whole.mid(whole.indexOf('\n'));
    const struct {
        const char *what;
        QByteArray lock, rmlock; // a lock "held" by this copy; Qt's own when not null
        Outcome outcome;
    } cases[] = {
        {"empty", "", {}, Outcome::First},
        {"bytes lost", QByteArray(9, '\0'), {}, Outcome::First},
        // Cut in the machine's id, which Qt alone takes for another machine's.
        {"torn", whole.left(whole.lastIndexOf('\n', whole.size() - 2) - 4), {}, Outcome::First},
        {"no such process", "2147483647" + rest, {}, Outcome::First},
        {"no such process, Qt's own empty", "2147483647" + rest, "", Outcome::First},
        {"a live other process", QByteArray::number(getppid()) + rest, {}, Outcome::First},
        {"a live copy", "held", {}, Outcome::OtherSilent},
    };
    for (const auto &c : cases) {
        QTemporaryDir folder;
        QLockFile held(folder.filePath("quorvin.lock"));
        QFile lock(held.fileName()), rmlock(held.fileName() + ".rmlock");
        ASSERT_TRUE(c.lock == "held" ? held.tryLock(0)
                                     : lock.open(QIODevice::WriteOnly) && lock.write(c.lock) >= 0);
        lock.close();
        ASSERT_TRUE(c.rmlock.isNull() || rmlock.open(QIODevice::WriteOnly));
        SingleInstance next(folder.path());
        EXPECT_EQ(next.Claim(200), c.outcome) << c.what;
        qint64 owner = 0; // the lock is this copy's, whoever took it
        EXPECT_TRUE(held.getLockInfo(&owner, nullptr, nullptr) && owner == getpid()) << c.what;
        next.Release();
    }
}

// Another start holds the guard while it takes the lock.
TEST(SingleInstance, AClaimWaitingForAnotherStartEndsAtATerminationSignal)
{
    QTemporaryDir dir;
    const int guard = open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
    int stop[2];
    ASSERT_TRUE(flock(guard, LOCK_EX) == 0 && pipe(stop) == 0);
    auto claim = std::async(std::launch::async,
                            [&] { return SingleInstance(dir.path()).Claim(200, stop[0]); });
    ASSERT_EQ(write(stop[1], "", 1), 1);
    EXPECT_EQ(claim.get(), Outcome::Stopped);
    for (const int fd : {guard, stop[0], stop[1]})
        close(fd);
}

namespace {

// What keeps a start from its note folder: another copy that holds it but
// does not answer ('c'), or what lies at the lock's name or at Qt's own
// for taking it over, looked at without being opened: a 'f'ifo, a
// 'd'irectory, a 'l'ink to a lock, or 'a'nother user's stale lock (as a
// copy run as root leaves it). The box the start shows, and its status.
struct StartRow {
    const char *name, *file;
    char kind;
    const char *box;
};

class StartTest : public ::testing::TestWithParam<StartRow> {};

const char kRunning[] = "The program is already running.";
const char kNoFile[] = "The program cannot lock its note folder: \"%1\" is not a regular file.";

} // namespace

TEST_P(StartTest, WhatKeepsAStartOutIsToldAndATerminationSignalClosesTheBoxAndEndsIt)
{
    const StartRow &c = GetParam();
    if (c.kind == 'a' && geteuid() != 0)
        GTEST_SKIP() << "only root can make another user's file";
    QTemporaryDir dir;
    const QString file = dir.filePath(c.file);
    const QByteArray path = QFile::encodeName(file), other = path + ".other";
    QLockFile held(dir.filePath("quorvin.lock"));
    QFile(QFile::decodeName(other)).open(QIODevice::WriteOnly);
    EXPECT_TRUE(c.kind == 'c'   ? held.tryLock(0)
                : c.kind == 'f' ? mkfifo(path, 0600) == 0
                : c.kind == 'd' ? mkdir(path, 0700) == 0
                : c.kind == 'l' ? symlink(other, path) == 0
                                : rename(other, path) + chown(path, 65534, 65534) == 0);
    TerminationSignals termination;
    SingleInstance next(dir.path());
    QString shown;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        shown = box->text();
        raise(SIGTERM);
    });
    int status = -1;
    EXPECT_FALSE(ClaimNoteFolder(next, termination, dir.path(), status));
    EXPECT_EQ(shown, QString(c.box).replace("%1", file));
    EXPECT_EQ(status, c.kind == 'c' ? 0 : 1);
    EXPECT_FALSE(next.Holds());
}

INSTANTIATE_TEST_SUITE_P(
    SingleInstance, StartTest,
    ::testing::Values(
        StartRow{"AnotherCopyThatDoesNotAnswer", "quorvin.lock", 'c', kRunning},
        StartRow{"AFifo", "quorvin.lock", 'f', kNoFile},
        StartRow{"AFolder", "quorvin.lock", 'd', kNoFile},
        StartRow{"ALink", "quorvin.lock", 'l', kNoFile},
        StartRow{"AFifoForTakingItOver", "quorvin.lock.rmlock", 'f', kNoFile},
        StartRow{"AnotherUsersStaleLock", "quorvin.lock", 'a',
                 "The program cannot lock its note folder: \"%1\" is not this user's own file."}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(SingleInstance, AStartThatTakesTheFolderRemovesWhatARunCutShortLeftThere)
{
    QTemporaryDir dir;
    const QString leftover = dir.filePath(".npad.txt.abcdef");
    QFile(leftover).open(QIODevice::WriteOnly);
    TerminationSignals termination;
    SingleInstance first(dir.path());
    int status = -1;
    EXPECT_TRUE(ClaimNoteFolder(first, termination, dir.path(), status));
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(QFile::exists(leftover));
}
