#include "filewriting.h"
#include "noteplace.h"
#include "notewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "files.h"
#include "unprivileged.h"

namespace {

// The calls that make a write last through a power cut, as they are made.
bool g_logSyncs = false;
QStringList g_syncs;

QString PathOf(int fd)
{
    char path[PATH_MAX];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return n > 0 ? QString::fromLocal8Bit(path, int(n)) : "?";
}

template <typename F> F Real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// Another program's write at a moment of the notepad's own.
enum class Moment { None, ReadBack, Sync };
Moment g_moment = Moment::None;
std::function<void()> g_other;

void OtherProgramAt(Moment now)
{
    if (g_moment == now) {
        g_moment = Moment::None;
        g_other();
    }
}

} // namespace

extern "C" int fsync(int fd)
{
    if (g_logSyncs)
        g_syncs << "fsync " + PathOf(fd);
    OtherProgramAt(Moment::Sync);
    return Real<int (*)(int)>("fsync")(fd);
}

extern "C" ssize_t pread(int fd, void *buffer, size_t n, off_t at)
{
    OtherProgramAt(Moment::ReadBack);
    return Real<ssize_t (*)(int, void *, size_t, off_t)>("pread")(fd, buffer, n, at);
}

extern "C" int fdatasync(int fd)
{
    if (g_logSyncs)
        g_syncs << "fdatasync " + PathOf(fd);
    return Real<int (*)(int)>("fdatasync")(fd);
}

extern "C" int rename(const char *from, const char *to) noexcept
{
    if (g_logSyncs)
        g_syncs << QString("rename ") + to;
    return Real<int (*)(const char *, const char *)>("rename")(from, to);
}

// Without /proc, as in some containers, an unnamed file could not be named.
bool g_noProc = false;
// Another program takes every name a moment before a link would.
bool g_namesTaken = false;
QStringList g_taken;

extern "C" int linkat(int fromFolder, const char *from, int toFolder, const char *to,
                      int flags) noexcept
{
    if (g_namesTaken) {
        g_taken << QFile::decodeName(to);
        Put(g_taken.last(), "theirs");
        errno = EEXIST;
        return -1;
    }
    return Real<int (*)(int, const char *, int, const char *, int)>("linkat")(fromFolder, from,
                                                                              toFolder, to, flags);
}

extern "C" int access(const char *path, int how) noexcept
{
    if (g_noProc && std::strncmp(path, "/proc/", 6) == 0) {
        errno = ENOENT;
        return -1;
    }
    return Real<int (*)(const char *, int)>("access")(path, how);
}

// A note write's bytes, all in.
std::shared_ptr<WriteQueue> Queued(const QByteArray &bytes)
{
    auto queue = std::make_shared<WriteQueue>();
    queue->Put(0, bytes);
    queue->Finish();
    return queue;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}
TEST(FileWriting, AWriteSyncsItsDataOnceThenRenamesThenSyncsTheFolder)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("npad.txt");
    Put(path, "old");
    QString reason;
    g_logSyncs = true;
    const bool written = WriteFileAtomically(path, "new", reason);
    g_logSyncs = false;
    ASSERT_TRUE(written) << reason.toStdString();
    // Synced with no name yet, then again once it has a name of its own.
    ASSERT_EQ(g_syncs.size(), 4) << g_syncs.join(", ").toStdString();
    EXPECT_TRUE(g_syncs[0].startsWith("fdatasync " + dir.path() + "/")
                && g_syncs[0] != "fdatasync " + path)
        << g_syncs[0].toStdString();
    EXPECT_EQ(g_syncs[1], "fsync " + g_syncs[0].mid(int(std::strlen("fdatasync "))));
    EXPECT_EQ(g_syncs[2], "rename " + path);
    EXPECT_EQ(g_syncs[3], "fsync " + dir.path());
}

TEST(FileWriting, ANewFileIsPrivateFromItsFirstByteWhateverTheUmaskAndAnExportFollowsIt)
{
    for (const mode_t mask : {022, 0, 077, 0277}) {
        QTemporaryDir dir;
        const mode_t saved = umask(mask);
        QString reason;
        WriteOptions options;
        mode_t temporary = 0;
        options.beforeReplace = [&] {
            const QStringList temps =
                QDir(dir.path()).entryList({".npad.txt.*"}, QDir::Files | QDir::Hidden);
            temporary = temps.size() == 1 ? ModeOf(dir.filePath(temps[0])) : 01000;
            return true;
        };
        EXPECT_TRUE(WriteFileAtomically(dir.filePath("npad.txt"), "note", reason, options));
        WriteOptions exported;
        exported.privateFile = false;
        EXPECT_TRUE(WriteFileAtomically(dir.filePath("export.txt"), "note", reason, exported));
        Put(dir.filePath("kept.txt"), "old");
        SetMode(dir.filePath("kept.txt"), 0640);
        EXPECT_TRUE(WriteFileAtomically(dir.filePath("kept.txt"), "new", reason, exported));
        EXPECT_TRUE(MakePrivateFolder(dir.filePath("a/b"), reason));
        umask(saved);

        EXPECT_EQ(temporary, 0600u) << "umask " << mask;
        EXPECT_EQ(ModeOf(dir.filePath("npad.txt")), 0600u) << "umask " << mask;
        EXPECT_EQ(ModeOf(dir.filePath("export.txt")), 0666u & ~mask) << "umask " << mask;
        EXPECT_EQ(ModeOf(dir.filePath("kept.txt")), 0640u) << "umask " << mask;
        EXPECT_EQ(ModeOf(dir.filePath("a")), 0700u) << "umask " << mask;
        EXPECT_EQ(ModeOf(dir.filePath("a/b")), 0700u) << "umask " << mask;
    }
}

TEST(FileWriting, AnotherProgramsWriteDuringASaveIsSeenJustBeforeTheRename)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("npad.txt");
    Put(path, "old");
    NoteWrite w;
    w.path = path;
    w.pieces = Queued("mine");
    w.disk = IdentityOf(path, "old");
    w.onSynced = [&] { Put(path, "theirs"); };
    w.Run();
    EXPECT_EQ(w.outcome, NoteWrite::Outcome::ChangedOutside);
    EXPECT_EQ(Bytes(path), "theirs");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"npad.txt"});

    w.pieces = Queued("mine");
    w.replaceChanged = true; // as the user answered
    w.Run();
    EXPECT_EQ(w.outcome, NoteWrite::Outcome::Written);
    EXPECT_EQ(Bytes(path), "mine");

    // Nor a moment later: as the new file is read back, or synced with a name.
    for (const Moment moment : {Moment::ReadBack, Moment::Sync}) {
        Put(path, "old");
        NoteWrite later;
        later.path = path;
        later.pieces = Queued("mine");
        later.disk = IdentityOf(path, "old");
        g_other = [&] { Put(path, "theirs"); };
        g_moment = moment;
        later.Run();
        g_moment = Moment::None;
        EXPECT_EQ(later.outcome, NoteWrite::Outcome::ChangedOutside) << int(moment);
        EXPECT_EQ(Bytes(path), "theirs") << int(moment);
    }
}

TEST(FileWriting, AnAtomicWriteKeepsPermissionsAndLeavesTheOldFileWholeOnFailure)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("npad.txt");
    QString reason;
    ASSERT_TRUE(WriteFileAtomically(path, "old", reason));
    SetMode(path, 0640);
    ASSERT_TRUE(WriteFileAtomically(path, "new", reason));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A folder where no temporary file can be made.
    SetMode(dir.path(), 0555);
    {
        Unprivileged as(dir.path());
        EXPECT_FALSE(WriteFileAtomically(path, "lost?", reason));
        EXPECT_EQ(reason.toStdString(), "Permission denied");
        EXPECT_FALSE(CanCreateFilesIn(dir.path()));
    }
    SetMode(dir.path(), 0755);
    EXPECT_EQ(Bytes(path), "new");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"npad.txt"});

    // A folder whose files take its group, which must not read this one.
    if (geteuid() != 0)
        return;
    const QByteArray folder = QFile::encodeName(dir.path());
    ASSERT_EQ(chown(folder.constData(), 0, 65534), 0);
    SetMode(dir.path(), 02755);
    ASSERT_TRUE(WriteFileAtomically(path, "newer", reason));
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_gid, 0u);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(FileWriting, AWriteCutShortGivesTheSystemsReasonAndKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("npad.txt");
    Put(path, "old");
    // The limit stands in for a full disk: the write stops part way.
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    QString reason;
    const bool written = WriteFileAtomically(path, QByteArray(1 << 20, 'x'), reason);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(written);
    EXPECT_EQ(reason.toStdString(), "File too large");
    EXPECT_EQ(Bytes(path), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"npad.txt"});
}

TEST(FileWriting, AWriteUnderWayHasNoNameSoThatAKillLeavesNothingBehind)
{
    struct Case {
        bool proc, existing, replace, commit;
        int namesDuring; // besides the file's own
    };
    for (const Case c : {Case{true, true, true, true, 0}, Case{true, true, true, false, 0},
                         Case{true, false, false, true, 0}, Case{true, false, true, false, 0},
                         Case{true, true, false, true, 0}, Case{false, true, true, true, 1},
                         Case{false, false, false, true, 1}, Case{false, true, false, true, 1},
                         Case{false, false, true, false, 1}}) {
        const auto name = ::testing::Message() << "proc " << c.proc << ", existing " << c.existing
                                               << ", replace " << c.replace;
        QTemporaryDir dir;
        const QString path = dir.filePath("npad.txt");
        if (c.existing)
            Put(path, "old");
        const int before = int(Entries(dir.path()).size());
        WriteOptions options;
        options.replace = c.replace;
        QString reason;
        bool committed = false;
        g_noProc = !c.proc;
        {
            AtomicFile file;
            EXPECT_TRUE(file.Open(path, reason, options) && file.Write("new", 0, reason)) << name;
            EXPECT_EQ(Entries(dir.path()).size(), before + c.namesDuring) << name;
            committed = c.commit && file.Commit(reason);
        }
        g_noProc = false;
        const bool refused = c.commit && c.existing && !c.replace;
        EXPECT_EQ(committed, c.commit && !refused) << name << reason.toStdString();
        if (refused) {
            EXPECT_EQ(reason.toStdString(), "File exists") << name;
        }
        const bool there = c.existing || committed;
        EXPECT_EQ(Entries(dir.path()), there ? QStringList{"npad.txt"} : QStringList()) << name;
        EXPECT_EQ(Bytes(path), committed ? "new" : c.existing ? "old" : "<missing>") << name;
    }

    // Names another program takes meanwhile stay its own.
    QTemporaryDir dir;
    const QString path = dir.filePath("npad.txt");
    Put(path, "old");
    QString reason;
    AtomicFile file;
    ASSERT_TRUE(file.Open(path, reason) && file.Write("new", 0, reason));
    g_namesTaken = true;
    EXPECT_FALSE(file.Commit(reason));
    g_namesTaken = false;
    EXPECT_EQ(reason.toStdString(), "File exists");
    EXPECT_EQ(Bytes(path), "old");
    EXPECT_FALSE(g_taken.isEmpty());
    for (const QString &other : g_taken)
        EXPECT_EQ(Bytes(other), "theirs") << other.toStdString();
}

TEST(FileWriting, AnExportMayWriteAWritableFileInPlaceInAFolderItCannotCreateIn)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("shared.txt");
    Put(path, "theirs");
    SetMode(path, 0666);
    SetMode(dir.path(), 0555);
    QString reason;
    WriteOptions inPlaceIfNeeded;
    inPlaceIfNeeded.inPlaceIfNeeded = true;
    bool strict, inPlace;
    QByteArray afterCut;
    {
        Unprivileged as(dir.path());
        strict = WriteFileAtomically(path, "strict", reason);
        {
            AtomicFile cut; // never committed
            EXPECT_TRUE(cut.Open(path, reason, inPlaceIfNeeded));
            EXPECT_TRUE(cut.Write("partial", 0, reason));
        }
        afterCut = Bytes(path);
        inPlace = WriteFileAtomically(path, "mine", reason, inPlaceIfNeeded);
    }
    SetMode(dir.path(), 0755);
    EXPECT_EQ(afterCut, "theirs");
    EXPECT_FALSE(strict);
    EXPECT_TRUE(inPlace) << reason.toStdString();
    EXPECT_EQ(Bytes(path), "mine");
}

TEST(FileWriting, AWriteFromPiecesTakesItsTextAgainFromAPointAndLeavesTheFileAloneUnlessFinished)
{
    using Pieces = std::vector<std::pair<std::int64_t, QByteArray>>;
    const struct {
        const char *what;
        Pieces pieces;
        bool finish;
        QByteArray file;
    } cases[] = {
        {"in order", {{0, "ab"}, {2, "cd"}, {4, "e"}}, true, "abcde"},
        {"taken again from a point", {{0, "ab"}, {2, "cdef"}, {2, "X"}, {3, "yz"}}, true, "abXyz"},
        {"from the start, shorter", {{0, "abcdef"}, {0, "ab"}}, true, "ab"},
        {"none at all", {}, true, ""},
        {"never finished", {{0, "ab"}}, false, "old"},
    };
    // Every piece in, then the store goes: the write goes on.
    {
        QTemporaryDir dir;
        WriteQueue queue;
        ASSERT_TRUE(queue.Put(0, "all"));
        queue.Finish();
        queue.Cancel();
        QString reason;
        EXPECT_TRUE(WriteFromQueue(dir.filePath("npad.txt"), queue, reason));
        EXPECT_EQ(Bytes(dir.filePath("npad.txt")), "all");
    }
    for (const auto &c : cases) {
        QTemporaryDir dir;
        const QString path = dir.filePath("npad.txt");
        Put(path, "old");
        WriteQueue queue;
        for (const auto &[at, bytes] : c.pieces)
            ASSERT_TRUE(queue.Put(at, bytes));
        c.finish ? queue.Finish() : queue.Cancel();
        QString reason;
        FileIdentity written;
        WriteOptions options;
        options.written = &written;
        EXPECT_EQ(WriteFromQueue(path, queue, reason, options), c.finish) << c.what;
        EXPECT_EQ(Bytes(path), c.file) << c.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"npad.txt"})
            << c.what;
        if (c.finish) { // what the file holds, as a later look sees it
            EXPECT_FALSE(ChangedOnDisk(path, written)) << c.what;
            EXPECT_EQ(written.hash, IdentityHash(c.file)) << c.what;
        }
        EXPECT_TRUE(queue.Closed()) << c.what;
        EXPECT_FALSE(queue.Put(0, "late")) << c.what;
    }
}
