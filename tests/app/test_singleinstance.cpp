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

namespace {

// What lies at the lock's name (or at Qt's own for taking it over), and
// what the start says of it.
struct LockNameRow {
    const char *name;
    const char *file;
    void (*make)(const QString &path);
    const char *problem;
    bool asRoot = false; // another user's file can be made only so
};

class LockNameTest : public ::testing::TestWithParam<LockNameRow> {};

} // namespace

TEST_P(LockNameTest, WhatIsNoLockIsSaidWithoutOpeningIt)
{
    const LockNameRow &c = GetParam();
    if (c.asRoot && geteuid() != 0)
        GTEST_SKIP() << "no file of another user's can be made";
    QTemporaryDir dir;
    const QString path = dir.filePath(c.file);
    c.make(path);
    SingleInstance next(dir.path());
    EXPECT_EQ(next.Claim(200), Outcome::Unusable);
    EXPECT_EQ(next.Problem(), QString("\"%1\" %2").arg(path, c.problem));
    EXPECT_FALSE(next.Holds());
}

INSTANTIATE_TEST_SUITE_P(
    SingleInstance, LockNameTest,
    ::testing::Values(
        LockNameRow{"AFifo", "quorvin.lock",
                    [](const QString &p) { mkfifo(QFile::encodeName(p).constData(), 0600); },
                    "is not a regular file."},
        LockNameRow{"AFolder", "quorvin.lock", [](const QString &p) { QDir().mkdir(p); },
                    "is not a regular file."},
        LockNameRow{"ALink", "quorvin.lock",
                    [](const QString &p) {
                        QLockFile(p + ".elsewhere").tryLock(0);
                        QFile::link(p + ".elsewhere", p);
                    },
                    "is not a regular file."},
        LockNameRow{"AFifoForTakingItOver", "quorvin.lock.rmlock",
                    [](const QString &p) { mkfifo(QFile::encodeName(p).constData(), 0600); },
                    "is not a regular file."},
        // As a copy run by root leaves it; here, as root, another user's.
        LockNameRow{"AnotherUsersStaleLock", "quorvin.lock",
                    [](const QString &p) {
                        QFile f(p);
                        if (f.open(QIODevice::WriteOnly))
                            f.write("2147483647\nquorvin\nhost\n");
                        f.close();
                        EXPECT_EQ(chown(QFile::encodeName(p).constData(), 65534, 65534), 0);
                    },
                    "is not this user's own file.", true}),
    [](const auto &row) { return std::string(row.param.name); });

namespace {

// Whether the guard that another start holds is let go, or a termination
// signal comes first.
class GuardTest : public ::testing::TestWithParam<bool> {};

} // namespace

TEST_P(GuardTest, AClaimWaitsForAnotherStartsGuardUntilItIsLetGoOrASignalComes)
{
    QTemporaryDir dir;
    int guard = open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(guard, LOCK_EX), 0);
    int stop[2];
    ASSERT_EQ(pipe(stop), 0);
    auto claim = std::async(std::launch::async, [&] {
        SingleInstance next(dir.path());
        return next.Claim(200, stop[0]);
    });
    if (GetParam())
        close(std::exchange(guard, -1));
    else
        ASSERT_EQ(write(stop[1], "", 1), 1);
    EXPECT_EQ(claim.get(), GetParam() ? Outcome::First : Outcome::Stopped);
    for (const int fd : {guard, stop[0], stop[1]})
        if (fd >= 0)
            close(fd);
}

INSTANTIATE_TEST_SUITE_P(SingleInstance, GuardTest, ::testing::Bool(), [](const auto &row) {
    return row.param ? "LetGo" : "ATerminationSignal";
});

namespace {

// What keeps a start from its note folder, and the box it shows.
struct StartBoxRow {
    const char *name;
    void (*make)(const QString &folder, std::unique_ptr<QLockFile> &held);
    const char *box;
    int status;
};

class StartBoxTest : public ::testing::TestWithParam<StartBoxRow> {};

} // namespace

TEST_P(StartBoxTest, ATerminationSignalClosesTheStartsBoxAndEndsTheStart)
{
    const StartBoxRow &c = GetParam();
    QTemporaryDir dir;
    std::unique_ptr<QLockFile> held;
    c.make(dir.path(), held);
    const QString leftover = dir.filePath(".npad.txt.abcdef");
    QFile(leftover).open(QIODevice::WriteOnly);
    TerminationSignals termination;
    SingleInstance next(dir.path());
    QString shown;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        shown = box->text();
        raise(SIGTERM);
    });
    int status = -1;
    EXPECT_FALSE(ClaimNoteFolder(next, termination, dir.path(), status));
    EXPECT_EQ(shown, QString(c.box).replace("%1", dir.path()));
    EXPECT_EQ(status, c.status);
    EXPECT_TRUE(QFile::exists(leftover)) << "another copy's, or one still to come";
}

INSTANTIATE_TEST_SUITE_P(
    SingleInstance, StartBoxTest,
    ::testing::Values(StartBoxRow{"AnotherCopyThatDoesNotAnswer",
                                  [](const QString &f, std::unique_ptr<QLockFile> &held) {
                                      held = std::make_unique<QLockFile>(f + "/quorvin.lock");
                                      held->tryLock(0);
                                  },
                                  "The program is already running.", 0},
                      StartBoxRow{"AFifoAsTheLock",
                                  [](const QString &f, std::unique_ptr<QLockFile> &) {
                                      mkfifo(QFile::encodeName(f + "/quorvin.lock").constData(),
                                             0600);
                                  },
                                  "The program cannot lock its note folder: \"%1/quorvin.lock\" "
                                  "is not a regular file.",
                                  1}),
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
