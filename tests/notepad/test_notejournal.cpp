#include "notejournal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cerrno>
#include <dlfcn.h>
#include <functional>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <mutex>
#include <sys/ioctl.h>

#include "modal.h"

namespace {

// A journal's bytes: header, the base's bytes, the edits.
QByteArray Journal(const QByteArray &base, const std::vector<JournalEdit> &edits)
{
    JournalHeader h;
    h.base = IdentityOf("/no/such/file", base);
    h.base.exists = true;
    h.encoding = NoteEncoding::Windows1252;
    QByteArray bytes = JournalHeaderBytes(h).leftJustified(kJournalBaseAt, '\0') + base;
    for (const JournalEdit &e : edits)
        bytes += JournalEditBytes(e);
    return bytes;
}

// The same as version 1 wrote it: the base right after the header, and Qt's
// hash of the day for every checksum.
QByteArray JournalV1(const QByteArray &base, const JournalEdit &edit)
{
    const auto sealed = [](QByteArray bytes, qsizetype at, QByteArrayView over) {
        qToLittleEndian<quint64>(qHashBits(over.data(), std::size_t(over.size()), 0), &bytes[at]);
        return bytes;
    };
    QByteArray header = Journal(base, {}).left(kJournalHeaderSize);
    header[4] = 1;
    header = sealed(header, 44, base);
    const QByteArray change = JournalEditBytes(edit);
    return sealed(header, 52, header.left(52)) + base
           + sealed(change, change.size() - 8, change.chopped(8));
}

QString Replayed(const QByteArray &journal)
{
    const JournalContents j = ReadJournal(journal);
    QString text = QString::fromLatin1(j.base);
    ApplyEdits(text, j.edits);
    return text;
}

} // namespace

namespace {

struct ReplayRow {
    const char *name;
    std::vector<JournalEdit> edits;
    const char *text;
};

class ReplayTest : public ::testing::TestWithParam<ReplayRow> {};

} // namespace

TEST_P(ReplayTest, EditsReplayOverTheBaseInTurnAndOneThatDoesNotFitEndsThem)
{
    EXPECT_EQ(Replayed(Journal("abc", GetParam().edits)), QString(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    NoteJournal, ReplayTest,
    ::testing::Values(
        ReplayRow{"Nothing", {}, "abc"},
        ReplayRow{"TypedAtTheEnd", {{3, 0, "d"}, {4, 0, "e"}}, "abcde"},
        ReplayRow{
            "ALineBreakAsTheMemoHasIt", {{1, 0, QString(QChar::ParagraphSeparator)}}, "a\nbc"},
        ReplayRow{"RemovedAndReplaced", {{0, 1, ""}, {0, 2, "XY"}}, "XY"},
        ReplayRow{"TheWholeText", {{0, 3, QString("\u00e9\U0001F600")}}, "\u00e9\U0001F600"},
        ReplayRow{"PastTheEnd", {{2, 0, "x"}, {5, 0, "!"}, {0, 0, "never"}}, "abxc"},
        ReplayRow{"RemovingMoreThanThereIs", {{1, 3, ""}}, "abc"},
        ReplayRow{"ANegativePlace", {{-1, 0, "x"}}, "abc"}),
    [](const auto &row) { return std::string(row.param.name); });

TEST(NoteJournal, ATornOrCorruptTailIsDroppedAndNothingAfterItIsRead)
{
    const std::vector<JournalEdit> edits{{3, 0, "1"}, {4, 0, "22"}, {6, 0, "333"}};
    const QByteArray whole = Journal("abc", edits);
    const qsizetype header = kJournalBaseAt + 3;
    // Every length a write cut short could leave: whole edits only.
    for (qsizetype size = header; size <= whole.size(); ++size) {
        const JournalContents j = ReadJournal(whole.left(size));
        ASSERT_TRUE(j.headerRead) << size;
        for (std::size_t i = 0; i < j.edits.size(); ++i)
            EXPECT_EQ(j.edits[i].inserted, edits[i].inserted) << size;
        EXPECT_EQ(j.edits.size() == 3, size == whole.size()) << size;
    }
    // A byte changed anywhere: the edits before it only, or no journal.
    for (qsizetype at = 0; at < whole.size(); ++at) {
        QByteArray bytes = whole;
        bytes[at] = char(bytes[at] ^ 0x20);
        const JournalContents j = ReadJournal(bytes);
        if (at < kJournalHeaderSize) {
            EXPECT_FALSE(j.headerRead) << at;
        } else if (at < kJournalBaseAt) { // between the header and the base: unused
            EXPECT_TRUE(j.baseWhole && j.edits.size() == 3) << at;
        } else if (at < header) {
            EXPECT_FALSE(j.baseWhole) << at;
            EXPECT_EQ(j.edits.size(), 3u) << at;
        } else {
            const std::size_t before = at < header + 30 ? 0 : at < header + 62 ? 1 : 2;
            EXPECT_EQ(j.edits.size(), before) << at;
        }
    }
    EXPECT_FALSE(ReadJournal("QVNJ").headerRead);
}

namespace {

// A journal's bytes as a version wrote them, by name.
class VersionTest : public ::testing::TestWithParam<std::pair<const char *, QByteArray>> {};

// Version 2, by XXH64's definition: "abc" typed "d" at its end.
const QByteArray kVersion2 =
    QByteArray::fromHex("51564e4a0200000002010000030000000000000001000000000000000200000000000000"
                        "0300000000000000990977adf52cbc44a5f37e660d7ada0b")
        .leftJustified(kJournalBaseAt, '\0')
    + "abc" + QByteArray::fromHex("12000000030000000000000000000000000000006400729b3f76c605d73f");

} // namespace

TEST_P(VersionTest, AJournalOfEitherVersionIsReadBack)
{
    const JournalContents j = ReadJournal(GetParam().second);
    ASSERT_TRUE(j.headerRead && j.baseWhole);
    // The note file it began over, weighed as it is weighed now.
    EXPECT_EQ(j.header.base.hash, IdentityHash("abc"));
    QString text = QString::fromLatin1(j.base);
    EXPECT_EQ(ApplyEdits(text, j.edits), 1u);
    EXPECT_EQ(text, "abcd");
}

INSTANTIATE_TEST_SUITE_P(NoteJournal, VersionTest,
                         ::testing::Values(std::pair("Version1", JournalV1("abc", {3, 0, "d"})),
                                           std::pair("Version2", kVersion2)),
                         [](const auto &row) { return std::string(row.param.first); });

namespace {

// A journal over the note "old" and what the next start finds.
struct RecoveryCase {
    const char *name;
    QByteArray journal;
    const char *note; // nullptr: no note file
    bool noteIsBase;  // the note file is still the state the journal began over
    RecoveryPlan::Step step;
    const char *text;
    std::size_t rest; // changes the journal that goes on keeps
};

const std::vector<JournalEdit> kTyped{{3, 0, " typ"}, {7, 0, "ed"}};

class PlanTest : public ::testing::TestWithParam<RecoveryCase> {};

} // namespace

TEST_P(PlanTest, AJournalIsReplayedOverTheNoteItKnowsElseKeptOrSetAside)
{
    using Step = RecoveryPlan::Step;
    const RecoveryCase &c = GetParam();
    const RecoveryPlan plan =
        PlanRecovery(ReadJournal(c.journal), c.note ? c.note : "", c.note != nullptr, c.noteIsBase);
    EXPECT_EQ(plan.step, c.step);
    if (c.step == Step::Replay || c.step == Step::KeepAside) {
        EXPECT_EQ(plan.text, QString(c.text));
    }
    if (c.step == Step::Replay) {
        EXPECT_EQ(plan.rest.size(), c.rest);
    }
}

INSTANTIATE_TEST_SUITE_P(
    NoteJournal, PlanTest,
    ::testing::Values(RecoveryCase{"OverTheNoteAsItWasLeft", Journal("old", kTyped), "old", true,
                                   RecoveryPlan::Step::Replay, "old typed", 2},
                      RecoveryCase{"OverNoNoteFile", Journal("", {{0, 0, "old typed"}}), nullptr,
                                   true, RecoveryPlan::Step::Replay, "old typed", 1},
                      // Its last change taken by the autosave: one after it, and none,
                      // is still to be replayed.
                      RecoveryCase{"AfterAnAutosaveOfSomeChanges", Journal("old", kTyped),
                                   "old typ", false, RecoveryPlan::Step::Replay, "old typed", 1},
                      RecoveryCase{"AfterAnAutosaveOfEveryChange", Journal("old", kTyped),
                                   "old typed", false, RecoveryPlan::Step::Discard, "", 0},
                      RecoveryCase{"OverANoteChangedSince", Journal("old", kTyped), "theirs", false,
                                   RecoveryPlan::Step::KeepAside, "old typed", 0},
                      RecoveryCase{"OverANoteGoneSince", Journal("old", kTyped), nullptr, false,
                                   RecoveryPlan::Step::KeepAside, "old typed", 0},
                      RecoveryCase{"WithAChangeThatDoesNotFit", Journal("old", {{9, 0, "x"}}),
                                   "old", true, RecoveryPlan::Step::SetAside, "", 0},
                      RecoveryCase{"WithItsBaseTorn", Journal("old", kTyped).replace(4096, 1, "0"),
                                   "theirs", false, RecoveryPlan::Step::SetAside, "", 0},
                      RecoveryCase{"ThatIsEmpty", QByteArray(), "old", false,
                                   RecoveryPlan::Step::Discard, "", 0}, // a power cut came first
                      RecoveryCase{"OfSomethingElse",
                                   QByteArray("XXXX").append(Journal("old", kTyped).mid(4)), "old",
                                   true, RecoveryPlan::Step::SetAside, "", 0}),
    [](const auto &row) { return std::string(row.param.name); });

namespace {

// The calls that order a journal's way to the disk, as they are made (on
// either thread); a sync that fails, where asked.
std::mutex g_callsMutex;
QStringList g_calls;
bool g_failSyncs = false;

QString PathOf(int fd)
{
    return QFileInfo(QString("/proc/self/fd/%1").arg(fd)).symLinkTarget();
}

template <typename F> F Real(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void Log(const QString &call)
{
    const std::lock_guard lock(g_callsMutex);
    g_calls << call;
}

} // namespace

extern "C" int fdatasync(int fd)
{
    Log("sync " + QFileInfo(PathOf(fd)).fileName());
    if (g_failSyncs) {
        errno = EIO;
        return -1;
    }
    return Real<int (*)(int)>("fdatasync")(fd);
}

extern "C" int rename(const char *from, const char *to) noexcept
{
    Log(QString("rename ") + QFileInfo(to).fileName());
    return Real<int (*)(const char *, const char *)>("rename")(from, to);
}

namespace {

// A journal beside a note file of its own.
class JournalTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        g_failSyncs = false;
        const std::lock_guard lock(g_callsMutex);
        g_calls.clear();
    }

    FileIdentity Note(const QByteArray &bytes) const
    {
        QFile f(note);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        return IdentityOf(note, bytes);
    }

    static QByteArray Bytes(const QString &file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // The text the next run recovers over the note file as it is.
    QString Recovered() const
    {
        const JournalContents j = ReadJournal(Bytes(path));
        QString text = QString::fromLatin1(Bytes(note));
        EXPECT_TRUE(j.headerRead);
        EXPECT_EQ(ApplyEdits(text, j.edits), j.edits.size());
        return text;
    }

    QTemporaryDir dir;
    const QString note = dir.filePath("npad.txt");
    const QString path = dir.filePath("npad.journal");
};

} // namespace

namespace {

// How many of three changes an autosave took.
class SavedTest : public JournalTest, public ::testing::WithParamInterface<std::uint64_t> {};

} // namespace

TEST_P(SavedTest, AKillAfterASaveOfSomeOfTheChangesRecoversTheRestOverTheSavedNote)
{
    const std::uint64_t saved = GetParam();
    const char *const texts[] = {"abc", "abc1", "abc12", "abc123"};
    NoteJournal journal(path, note);
    journal.Start({Note(texts[0])}, {{3, 0, "1"}}, 1);
    journal.Append(2, {4, 0, "2"});
    journal.Append(3, {5, 0, "3"});
    journal.Flush();
    // The autosave took the text as of change `saved`.
    journal.Written({Note(texts[saved])}, saved);
    journal.Flush();
    {
        // Every new journal, the first one too, reaches the disk before it
        // takes its name, and so before it takes the old one's place.
        const std::lock_guard lock(g_callsMutex);
        EXPECT_EQ(g_calls.count("rename npad.journal"), saved == 3 ? 1 : 2);
        bool synced = false;
        for (const QString &call : g_calls) {
            if (call == "rename npad.journal") {
                EXPECT_TRUE(std::exchange(synced, false)) << g_calls.join(", ").toStdString();
            }
            synced = synced || call == "sync npad.journal.new";
        }
    }
    if (saved == 3) {
        EXPECT_FALSE(QFile::exists(path)) << "nothing left to keep";
        return;
    }
    EXPECT_EQ(Recovered(), "abc123"); // as a kill leaves it
}

INSTANTIATE_TEST_SUITE_P(JournalTest, SavedTest, ::testing::Values(0u, 1u, 2u, 3u),
                         [](const auto &row) {
                             return "Changes" + std::to_string(row.param) + "Of3Saved";
                         });

namespace {

// How many of the file's bytes the file system shares with another file;
// -1 where it can share none.
qint64 SharedBytes(const QString &path)
{
    QFile from(path + ".from"), to(path + ".to"), f(path);
    alignas(fiemap) char buffer[sizeof(fiemap) + 16 * sizeof(fiemap_extent)] = {};
    auto *map = reinterpret_cast<fiemap *>(buffer);
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = 16;
    const bool can = from.open(QIODevice::ReadWrite) && from.write(QByteArray(4096, 'x'))
                     && from.flush() && to.open(QIODevice::WriteOnly)
                     && ioctl(to.handle(), FICLONE, from.handle()) == 0
                     && f.open(QIODevice::ReadOnly) && ioctl(f.handle(), FS_IOC_FIEMAP, map) == 0;
    from.remove();
    to.remove();
    qint64 shared = 0;
    for (unsigned i = 0; i < map->fm_mapped_extents; ++i)
        if (map->fm_extents[i].fe_flags & FIEMAP_EXTENT_SHARED)
            shared += qint64(map->fm_extents[i].fe_length);
    return can ? shared : -1;
}

class ShareTest : public JournalTest, public ::testing::WithParamInterface<qsizetype> {};

} // namespace

TEST_P(ShareTest, TheBaseSharesTheNotesWholeBlocksWhereTheFileSystemCanAndCopiesTheRest)
{
    const qsizetype size = GetParam();
    const QByteArray bytes = QByteArray("abcdefghijklmnopqrstuvw").repeated(600).left(size);
    NoteJournal journal(path, note);
    journal.Start({Note(bytes)}, {{0, 0, "x"}}, 1);
    journal.Flush();
    const JournalContents j = ReadJournal(Bytes(path));
    EXPECT_TRUE(j.baseWhole && j.base == bytes && j.edits.size() == 1);
    const qint64 shared = SharedBytes(path);
    EXPECT_TRUE(shared < 0 || shared == size / 4096 * 4096) << shared;
}

INSTANTIATE_TEST_SUITE_P(JournalTest, ShareTest,
                         ::testing::Values(qsizetype(4095), qsizetype(4096),
                                           qsizetype(3 * 4096 + 5)),
                         [](const auto &row) { return "Bytes" + std::to_string(row.param); });

namespace {

// What lies in the journal's way, done to its folder (the journal's path,
// another file of the user's); the failure told, if any.
struct InTheWayRow {
    const char *name;
    void (*before)(const QString &journal, const QString &other);
    bool syncsFail;
    const char *reason; // of the failure told; empty: none
};

class InTheWayTest : public JournalTest, public ::testing::WithParamInterface<InTheWayRow> {};

} // namespace

TEST_P(InTheWayTest, AJournalIsNeverWrittenThroughALinkNorOverAFileAndAFailureIsToldOnce)
{
    const InTheWayRow &c = GetParam();
    const QString other = dir.filePath("other.txt");
    QFile f(other);
    f.open(QIODevice::WriteOnly);
    f.write("the user's");
    f.close();
    c.before(path, other);
    g_failSyncs = c.syncsFail;
    QStringList told;
    {
        NoteJournal journal(path, note);
        QObject::connect(&journal, &NoteJournal::failed, [&](const QString &r) { told << r; });
        journal.Start({Note("abc")}, {{3, 0, "1"}}, 1);
        journal.Append(2, {4, 0, "2"});
        journal.Start({Note("abc12")}, {{5, 0, "3"}}, 3);
        journal.Flush();
        QCoreApplication::processEvents();
        if (!*c.reason) {
            EXPECT_EQ(Recovered(), "abc123");
        }
    }
    g_failSyncs = false;
    EXPECT_EQ(Bytes(other), "the user's");
    EXPECT_FALSE(QFile::exists(dir.filePath("nothing")));
    // Once, with the journal's path and the system's reason.
    EXPECT_EQ(told.size(), *c.reason ? 1 : 0);
    EXPECT_TRUE(!*c.reason
                || told.value(0).startsWith(
                    QString("Cannot write the journal \"%1\". %2\n").arg(path, c.reason)))
        << told.join('|').toStdString();
    EXPECT_TRUE(QFileInfo(path).isFile() || *c.reason);
}

INSTANTIATE_TEST_SUITE_P(
    JournalTest, InTheWayTest,
    ::testing::Values(
        InTheWayRow{"TheNewJournalsNameALinkToAnotherFile",
                    [](const QString &j, const QString &o) { QFile::link(o, j + ".new"); }, false,
                    ""},
        InTheWayRow{"TheJournalsNameALinkToAnotherFile",
                    [](const QString &j, const QString &o) { QFile::link(o, j); }, false, ""},
        InTheWayRow{"TheNewJournalsNameALinkToNothing",
                    [](const QString &j, const QString &) {
                        QFile::link(QFileInfo(j).dir().filePath("nothing"), j + ".new");
                    },
                    false, ""},
        InTheWayRow{"ANewJournalLeftByAKill",
                    [](const QString &j, const QString &) {
                        QFile f(j + ".new");
                        if (f.open(QIODevice::WriteOnly))
                            f.write("left");
                    },
                    false, ""},
        InTheWayRow{"AFolderInTheNewJournalsPlace",
                    [](const QString &j, const QString &) { QDir().mkpath(j + ".new/x"); }, false,
                    "Is a directory"},
        InTheWayRow{"ADiskThatFailsItsSyncs", [](const QString &, const QString &) {}, true,
                    "Input/output error"}),
    [](const auto &row) { return std::string(row.param.name); });
