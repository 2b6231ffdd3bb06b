#include "noteplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "files.h"
#include "unprivileged.h"

TEST(NotePlace, TheNoteLiesBesideTheProgramOnlyInAFolderOfItsOwn)
{
    const QString bin = CMAKE_INSTALL_FULL_BINDIR_FOR_TESTS;
    const struct {
        QString folder;
        bool programs;
    } cases[] = {
        {"/usr/bin", true},
        {"/usr/bin/", true},
        {"/bin", true}, // a link to /usr/bin on most systems, or itself
        {"/usr/local/bin", true},
        {QDir::homePath() + "/.local/bin", QDir(QDir::homePath() + "/.local/bin").exists()},
        {bin, QDir(bin).exists()},
        {"/usr", false},
        {"/tmp", false},
        {"/no/such/folder", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsProgramsFolder(c.folder, bin), c.programs) << c.folder.toStdString();

    QTemporaryDir data;
    Put(data.filePath("npad.carried"), "# a comment\n/opt/carried\n");
    const struct {
        QString program;
        bool usable;
        QString folder, leftBehind;
    } places[] = {
        {"/opt/q/", true, "/opt/q/", ""},
        {"/usr/bin", false, data.path() + "/", "/usr/bin/"},
        {"/opt/carried", true, data.path() + "/", ""}, // writable again, its note carried
        {"/opt/carried", false, data.path() + "/", "/opt/carried/"},
    };
    for (const auto &p : places) {
        const NotePlace place = ChooseNotePlace(p.program, p.usable, data.path());
        EXPECT_EQ(place.folder, p.folder) << p.program.toStdString();
        EXPECT_EQ(place.leftBehind, p.leftBehind) << p.program.toStdString();
    }
}

TEST(NotePlace, ANoteLeftBehindIsCarriedByteForByteOnlyWhereThereIsNone)
{
    QTemporaryDir program, data;
    const QByteArray note("caf\xE9\r\n", 6), ini = "[notepad]\nFONTSIZE=14\n";
    Put(program.filePath("npad.txt"), note);
    Put(program.filePath("npad.ini"), ini);
    Put(program.filePath("npad.journal"), "typed and never saved");
    const QString to = data.filePath("quorvin");
    // Links in the way lead elsewhere: what the carry makes replaces them.
    QDir().mkpath(to);
    Put(data.filePath("other"), "the user's");
    QFile::link(data.filePath("other"), to + "/npad.journal");
    QFile::link(data.filePath("nothing"), to + "/npad.ini");
    QString reason;
    EXPECT_EQ(CarryNoteAcross(program.path(), to, reason), CarryOutcome::Carried);
    EXPECT_EQ(Bytes(to + "/npad.txt"), note);
    EXPECT_EQ(Bytes(to + "/npad.ini"), ini);
    EXPECT_EQ(Bytes(to + "/npad.journal"), "typed and never saved");
    EXPECT_EQ(Bytes(data.filePath("other")), "the user's");
    EXPECT_FALSE(QFile::exists(data.filePath("nothing")));
    EXPECT_EQ(Bytes(program.filePath("npad.txt")), note);
    EXPECT_EQ(CarriedFrom(to), QStringList{QFileInfo(program.path()).canonicalFilePath()});

    Put(program.filePath("npad.txt"), "newer");
    EXPECT_EQ(CarryNoteAcross(program.path(), to, reason), CarryOutcome::NothingToCarry);
    EXPECT_EQ(Bytes(to + "/npad.txt"), note);
    EXPECT_EQ(CarryNoteAcross(data.filePath("empty"), data.filePath("new"), reason),
              CarryOutcome::NothingToCarry);

    SetMode(data.path(), 0555);
    CarryOutcome failed;
    {
        Unprivileged as(data.path());
        failed = CarryNoteAcross(program.path(), data.path(), reason);
    }
    SetMode(data.path(), 0755);
    EXPECT_EQ(failed, CarryOutcome::Failed);
    EXPECT_TRUE(reason.endsWith("Permission denied")) << reason.toStdString();
}

namespace {

// A journal beside the note left behind that is 'a'nother user's, one
// 'o'thers may write, or a 'l'ink to one.
class ForeignJournalTest : public ::testing::TestWithParam<char> {};

} // namespace

TEST_P(ForeignJournalTest, AJournalThatIsNotTheUsersOwnIsLeftWhereItIsNeverCarried)
{
    QTemporaryDir program, data;
    Put(program.filePath("npad.txt"), "note");
    const QString journal = program.filePath("npad.journal");
    Put(journal + ".planted", "planted");
    if (GetParam() == 'l')
        QFile::link(journal + ".planted", journal);
    else
        ASSERT_TRUE(QFile::rename(journal + ".planted", journal));
    if (GetParam() == 'o' || (GetParam() == 'a' && geteuid() != 0))
        SetMode(journal, 0666); // another user's can be made by root alone
    if (GetParam() == 'a' && geteuid() == 0) {
        ASSERT_EQ(chown(QFile::encodeName(journal).constData(), 65534, 65534), 0);
    }
    const NoteFiles files = OpenNoteFiles(NotePlace(data.path(), program.path()));
    EXPECT_EQ(Bytes(data.filePath("npad.txt")), "note");
    EXPECT_FALSE(QFileInfo::exists(data.filePath("npad.journal")));
    EXPECT_EQ(Bytes(journal), "planted");
    EXPECT_TRUE(files.notice.endsWith(QString("Its journal \"%1\" is not a file of this user's "
                                              "alone, so what it holds was not used. It was left "
                                              "where it is.")
                                          .arg(journal)))
        << files.notice.toStdString();
}

INSTANTIATE_TEST_SUITE_P(NotePlace, ForeignJournalTest, ::testing::Values('a', 'o', 'l'),
                         [](const auto &row) {
                             return row.param == 'a'   ? "AnotherUsers"
                                    : row.param == 'o' ? "OneOthersMayWrite"
                                                       : "ALink";
                         });

namespace {

// What lies in the note's folder at a start ('l': a link to a file, else a
// file), and whether it goes.
struct LeftoverRow {
    const char *name, *file;
    char kind;
    bool removed;
};

class LeftoverTest : public ::testing::TestWithParam<LeftoverRow> {};

} // namespace

TEST_P(LeftoverTest, OnlyWhatTheProgramsOwnWritesLeftBehindIsRemoved)
{
    const LeftoverRow &c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(c.file);
    Put(dir.filePath("other"), "the user's");
    if (c.kind == 'l')
        QFile::link(dir.filePath("other"), path);
    else
        Put(path, "left");
    RemoveLeftovers(dir.path());
    EXPECT_EQ(QFileInfo::exists(path) || QFileInfo(path).isSymLink(), !c.removed);
    EXPECT_EQ(Bytes(dir.filePath("other")), "the user's");
}

INSTANTIATE_TEST_SUITE_P(
    NotePlace, LeftoverTest,
    ::testing::Values(LeftoverRow{"ANotesTemporary", ".npad.txt.aZ09xY", 'f', true},
                      LeftoverRow{"TheCarryRecordsTemporary", ".npad.carried.abcdef", 'f', true},
                      LeftoverRow{"ANewJournal", "npad.journal.new", 'f', true},
                      LeftoverRow{"TheJournal", "npad.journal", 'f', false},
                      LeftoverRow{"ANameOfOtherCharacters", ".npad.txt.abc-ef", 'f', false},
                      LeftoverRow{"AnotherFilesTemporary", ".npad.txt2.abcdef", 'f', false},
                      LeftoverRow{"ALink", ".npad.ini.abcdef", 'l', false}),
    [](const auto &row) { return std::string(row.param.name); });
