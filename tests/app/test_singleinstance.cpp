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
