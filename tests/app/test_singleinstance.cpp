#include "singleinstance.h"

#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <future>
#include <sys/wait.h>
#include <unistd.h>

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
