#include "notestore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <optional>
#include <sys/stat.h>

#include "files.h"
#include "soon.h"
#include "unprivileged.h"

#include <QThread>
#include <atomic>
#include <dlfcn.h>
#include <unistd.h>

namespace {

// While set, reads on any thread but the window's wait; `g_readWaiting`
// tells that one does.
std::atomic<bool> g_holdReads = false, g_readWaiting = false;
// While set, a write of the note waits on its thread as it syncs its bytes,
// all of its text taken by then; `g_syncWaiting` tells that one does. The
// journal's syncs go on.
std::atomic<bool> g_holdSyncs = false, g_syncWaiting = false;

bool OffTheWindowsThread()
{
    return QThread::currentThread() != qApp->thread();
}

} // namespace

extern "C" ssize_t read(int fd, void *buffer, size_t n)
{
    while (g_holdReads && OffTheWindowsThread()) {
        g_readWaiting = true;
        usleep(1000);
    }
    return reinterpret_cast<ssize_t (*)(int, void *, size_t)>(dlsym(RTLD_NEXT, "read"))(fd, buffer,
                                                                                        n);
}

extern "C" int fdatasync(int fd)
{
    while (g_holdSyncs && OffTheWindowsThread()
           && !QFileInfo(QString("/proc/self/fd/%1").arg(fd)).symLinkTarget().contains("journal")) {
        g_syncWaiting = true;
        usleep(1000);
    }
    return reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"))(fd);
}

namespace {

// Answers in turn from `answers` (No once they run out) and notes all it
// was asked or shown: "? question", "i notice", "! error", and whether each
// came by itself.
class FakeUser {
  public:
    using Answer = NoteUser::Answer;
    QStringList answers;
    QStringList seen;
    QList<bool> byItself;
    std::function<void()> whileErrorShown, whileNoticeShown;

    Answer Ask(const QString &question)
    {
        seen << "? " + question;
        const QString a = answers.isEmpty() ? "No" : answers.takeFirst();
        return a == "Yes" ? Answer::Yes : a == "Cancel" ? Answer::Cancel : Answer::No;
    }
    void Tell(const QString &text)
    {
        seen << "i " + text;
        if (whileNoticeShown)
            whileNoticeShown();
    }
    void Error(const QString &text)
    {
        seen << "! " + text;
        if (whileErrorShown)
            whileErrorShown();
    }
};

const char kChangedOutside[] =
    "? The note file was changed by another program.\nReplace it with the text in the notepad?";

// The store's user: the test's own, which outlives every store.
class UserOf : public NoteUser {
  public:
    explicit UserOf(FakeUser &user) : user_(user) {}
    void Show(Box box, const QString &text, bool byItself,
              std::function<void(Answer)> closed) override
    {
        user_.byItself << byItself;
        switch (box) {
        case Box::Question:
            closed(user_.Ask(text));
            return;
        case Box::Notice:
            user_.Tell(text);
            break;
        case Box::Error:
            user_.Error(text);
            break;
        }
        closed(Answer::Yes);
    }
    qint64 QuietFor() const override { return std::numeric_limits<qint64>::max(); }

  private:
    FakeUser &user_;
};

// A store over a folder of its own, its text typed into its buffer as the
// memo does.
class StoreTest : public ::testing::Test {
  protected:
    QString Path(const QString &name) const { return dir.filePath(name); }

    QByteArray File(const QString &name) const { return Bytes(Path(name)); }

    void Put(const QString &name, const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(Path(name)).path());
        ::Put(Path(name), bytes);
    }

    // The bytes of each file of unsaved text kept in `folder`.
    QList<QByteArray> Kept(const QString &folder = "unsaved") const
    {
        QList<QByteArray> kept;
        for (const QString &name : QDir(Path(folder)).entryList({"npad-unsaved-*.txt"}))
            kept << File(folder + "/" + name);
        return kept;
    }

    // How many of the boxes the user saw begin with `start`.
    qsizetype Told(const QString &start) const
    {
        return std::count_if(user.seen.begin(), user.seen.end(),
                             [&](const QString &s) { return s.startsWith(start); });
    }

    // Unsaved text goes to `unsaved` (default: "unsaved" here).
    NoteStore &Open(const NotePlace &place = {}, QStringList unsaved = {})
    {
        user.seen.clear();
        store.reset();
        store = std::make_unique<NoteStore>(
            place.folder.isEmpty() ? NotePlace(dir.path()) : place, std::make_unique<UserOf>(user),
            unsaved.isEmpty() ? QStringList{Path("unsaved")} : unsaved);
        store->Open();
        return *store;
    }

    // The text as the buffer holds it, line breaks as '\n'.
    QString Memo() const
    {
        return store->Buffer().Text().replace(QChar::ParagraphSeparator, u'\n');
    }

    // The first reading, waited for, as the start-up lets it run.
    void ReadFirst()
    {
        store->StartFirstRead();
        EXPECT_SOON(!store->FirstReadPending());
    }

    // The show's load, waited for; whether the note could be read.
    bool Load()
    {
        auto loaded = std::make_shared<std::optional<bool>>();
        store->LoadNotes([loaded](bool ok) { *loaded = ok; });
        EXPECT_SOON(loaded->has_value());
        return loaded->value_or(false);
    }

    // As the notepad's show does it.
    void Show()
    {
        store->SetShown(true);
        ASSERT_TRUE(Load());
        store->StartTracking();
    }

    void Type(const QString &text) { Edit(store->Buffer().Size(), 0, text); }

    // Holds the note's writes as they sync, until released or the test ends.
    [[nodiscard]] static auto HoldWrites()
    {
        g_syncWaiting = false;
        g_holdSyncs = true;
        return qScopeGuard([] { g_holdSyncs = false; });
    }

    void Edit(qsizetype position, qsizetype removed, const QString &inserted)
    {
        QTextCursor c(store->Buffer().Document());
        c.setPosition(int(position));
        c.setPosition(int(position + removed), QTextCursor::KeepAnchor);
        c.insertText(inserted);
    }

    QTemporaryDir dir;
    FakeUser user;
    std::unique_ptr<NoteStore> store;
};

} // namespace

TEST_F(StoreTest, AWindows1252NoteIsShownWithItsAccentsAndWrittenBackByteForByte)
{
    const QByteArray bytes("Caf\xE9 \x80 5\r\nna\xEFve\xA0\x81");
    Put("npad.txt", bytes);
    Open();
    Show();
    EXPECT_TRUE(Memo().startsWith(QString("Caf\u00e9 \u20ac 5\nna\u00efve")));
    Type("x");
    Edit(store->Buffer().Size() - 1, 1, "");
    EXPECT_TRUE(store->CloseQuery());
    EXPECT_EQ(File("npad.txt"), bytes);
}

TEST_F(StoreTest, ANoteThatCannotBeWrittenAtExitIsKeptElsewhereOrTheProgramStays)
{
    Put("npad.txt", "old");
    Open();
    Show();
    Type(" new");
    ASSERT_TRUE(QDir().mkdir(Path("unsaved")));
    SetMode(Path("unsaved"), 0777);
    SetMode(dir.path(), 0555);
    bool closed;
    ExitReport stayed, quit;
    {
        Unprivileged as(dir.path());
        closed = store->CloseQuery(); // the notepad's own close only reports
        user.answers = {"No"};
        stayed = store->SaveBeforeExit();
        user.answers = {"Yes"};
        quit = store->SaveBeforeExit();
    }
    SetMode(dir.path(), 0755);
    EXPECT_FALSE(closed);
    EXPECT_EQ(stayed.outcome, ExitReport::Outcome::Stay);
    EXPECT_EQ(quit.outcome, ExitReport::Outcome::Kept) << user.seen.join("|").toStdString();
    const QStringList kept = QDir(Path("unsaved")).entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    const QString error = QString("! Cannot create file \"%1\". ").arg(Path("npad.txt"));
    const QString ask = QString("? The note could not be saved.\nKeep the unsaved text in \"%1\" "
                                "and quit?")
                            .arg(Path("unsaved/" + kept[0]));
    ASSERT_EQ(user.seen.size(), 5) << user.seen.join('|').toStdString();
    for (const int i : {0, 1, 3})
        EXPECT_TRUE(user.seen[i].startsWith(error)) << user.seen[i].toStdString();
    EXPECT_EQ(user.seen[4], ask);
    EXPECT_EQ(quit.text, QString("the note could not be saved; the unsaved text was kept in \"%1\"")
                             .arg(Path("unsaved/" + kept[0])));
    EXPECT_EQ(Kept(), QList<QByteArray>{"old new"});
    EXPECT_EQ(File("npad.txt"), "old");
    EXPECT_TRUE(store->Tracker().Dirty) << "a session that goes on still has the text";
    store->End(); // as the program's end does: the notepad closes without a word
    EXPECT_TRUE(store->CloseQuery());
    EXPECT_EQ(user.seen.size(), 5);
}

namespace {

// The places tried for unsaved text (a place that can't be made:
// "not-a-folder/...") and the user's answers (none: no user).
struct PlacesRow {
    const char *name;
    QStringList places, answers;
    ExitReport::Outcome outcome;
    int keptIn; // index into places, or -1
    int boxes;  // of the user's, after the note's own error
};

class UnsavedPlacesTest : public StoreTest, public ::testing::WithParamInterface<PlacesRow> {};

const QString kCantBeMade = "not-a-folder/unsaved";

} // namespace

TEST_P(UnsavedPlacesTest, UnsavedTextGoesToTheFirstPlaceThatTakesItAndTheUserHearsOfEveryFailure)
{
    const PlacesRow &c = GetParam();
    Put("note/npad.txt", "old");
    Put("not-a-folder", "a file");
    QStringList places;
    for (const QString &p : c.places)
        places << Path(p);
    Open(NotePlace(Path("note")), places);
    Show();
    Type(" secret");
    // Synced and in its place, the note's bytes in it: the journal's work is done.
    EXPECT_SOON(ReadJournal(File("note/npad.journal")).baseWhole);
    // The note's folder gone, a file in its place.
    QDir().rename(Path("note"), Path("aside"));
    Put("note", "a file");
    user.answers = c.answers;
    const bool asked = !c.answers.isEmpty();
    const ExitReport report =
        store->SaveBeforeExit(asked ? std::function<bool()>{} : [] { return false; });
    QFile::remove(Path("note"));
    QDir().rename(Path("aside"), Path("note"));

    EXPECT_EQ(report.outcome, c.outcome);
    for (int i = 0; i < c.places.size(); ++i)
        EXPECT_EQ(Kept(c.places[i]).size(), i == c.keptIn ? 1 : 0) << i;
    EXPECT_EQ(user.seen.size(), asked ? 1 + c.boxes : 0);
    EXPECT_FALSE(report.text.contains("secret"));
    if (c.outcome == ExitReport::Outcome::Lost) {
        for (const QString &p : places)
            EXPECT_TRUE(report.text.contains(p)) << p.toStdString();
    }
    if (asked && c.keptIn < 0) {
        EXPECT_EQ(user.seen.at(2).count("Cannot create file"), c.places.size());
        EXPECT_EQ(user.seen.at(3), "? Quit and lose the unsaved text?");
    }
    // The journal outlives a text kept nowhere.
    store->End(report.outcome);
    EXPECT_EQ(QFile::remove(Path("note/npad.journal")), c.outcome == ExitReport::Outcome::Lost);
}

INSTANTIATE_TEST_SUITE_P(
    StoreTest, UnsavedPlacesTest,
    ::testing::Values(
        PlacesRow{"TheFirstPlace", {"first", "second"}, {}, ExitReport::Outcome::Kept, 0, 0},
        PlacesRow{"TheSecondPlace", {kCantBeMade, "second"}, {}, ExitReport::Outcome::Kept, 1, 0},
        PlacesRow{"TheSecondPlaceTold",
                  {kCantBeMade, "second"},
                  {"Yes"},
                  ExitReport::Outcome::Kept,
                  1,
                  2},
        PlacesRow{"NowhereNoUser",
                  {kCantBeMade, kCantBeMade + "2"},
                  {},
                  ExitReport::Outcome::Lost,
                  -1,
                  0},
        PlacesRow{
            "NowhereTheUserStays", {kCantBeMade}, {"Yes", "No"}, ExitReport::Outcome::Stay, -1, 3},
        PlacesRow{"NowhereTheUserQuits",
                  {kCantBeMade},
                  {"Yes", "Yes"},
                  ExitReport::Outcome::Lost,
                  -1,
                  3}),
    [](const auto &row) { return std::string(row.param.name); });

namespace {

struct AnswerRow {
    const char *answer;
    bool written;
    QByteArray note;
    QString memo;
    int kept;
};

class OutsideChangeTest : public StoreTest, public ::testing::WithParamInterface<AnswerRow> {};

} // namespace

TEST_P(OutsideChangeTest, AnotherProgramsChangeIsNeverOverwrittenUnaskedAndCancelPutsTheQuestionOff)
{
    const AnswerRow &c = GetParam();
    Put("npad.txt", "old");
    Open();
    Show();
    Type(" mine");
    Put("npad.txt", "theirs");
    user.answers = {c.answer};
    // Theirs is shown by the time the notice of the text kept is read.
    user.whileNoticeShown = [&] { EXPECT_SOON(Memo() == c.memo); };
    EXPECT_EQ(store->CloseQuery(), c.written);
    user.whileNoticeShown = nullptr;
    EXPECT_EQ(File("npad.txt"), c.note);
    EXPECT_SOON(Memo() == c.memo); // theirs, once read
    EXPECT_EQ(Kept().size(), c.kept);
    EXPECT_EQ(store->Tracker().Dirty, !c.written);
    EXPECT_FALSE(store->Tracker().CountdownRunning());
    EXPECT_EQ(user.seen.first(), kChangedOutside);
    if (c.written)
        return;
    // Put off, the question comes again at the next save step, and at the
    // program's end; without a user the text is kept beside the file.
    user.seen.clear();
    user.answers = {"Cancel"};
    EXPECT_EQ(store->SaveBeforeExit().outcome, ExitReport::Outcome::Stay);
    EXPECT_EQ(user.seen, QStringList{kChangedOutside});
    const ExitReport unattended = store->SaveBeforeExit([] { return false; });
    EXPECT_EQ(unattended.outcome, ExitReport::Outcome::Kept);
    EXPECT_EQ(File("npad.txt"), "theirs");
    EXPECT_EQ(Kept(), QList<QByteArray>{"old mine"});
}

INSTANTIATE_TEST_SUITE_P(StoreTest, OutsideChangeTest,
                         ::testing::Values(AnswerRow{"Yes", true, "old mine", "old mine", 0},
                                           AnswerRow{"No", true, "theirs", "theirs", 1},
                                           AnswerRow{"Cancel", false, "theirs", "old mine", 0}),
                         [](const auto &row) { return std::string(row.param.answer); });

TEST_F(StoreTest, WhatAnotherProgramWritesIsShownAndAFileThatCannotBeReadIsReportedOnce)
{
    Put("npad.txt", "old");
    Open();
    Show();
    Put("npad.txt", "shown\r\nas it is");
    EXPECT_SOON(Memo() == QString("shown\nas it is"));
    EXPECT_FALSE(store->Tracker().Dirty);

    Put("npad.txt", QByteArray("no\0te", 5));
    EXPECT_SOON(user.seen.size() == 1);
    EXPECT_TRUE(user.seen[0].startsWith("! Cannot open file")) << user.seen[0].toStdString();
    EXPECT_FALSE(store->Editable());
    for (int i = 0; i < 5; ++i)
        Put(QString("other%1").arg(i), "x");
    QFile::remove(Path("npad.txt")); // the memo's text is the newest there is
    EXPECT_SOON(store->Editable());
    EXPECT_EQ(user.seen.size(), 1);

    Put("npad.txt", QByteArray("no\0te again", 11));
    EXPECT_SOON(user.seen.size() == 2);
    Put("npad.txt", "good again");
    EXPECT_SOON(Memo() == QString("good again"));
    EXPECT_EQ(user.seen.size(), 2);
    EXPECT_TRUE(store->Editable());
    EXPECT_FALSE(store->Tracker().Dirty);
}

namespace {

class RereadTest : public StoreTest, public ::testing::WithParamInterface<bool> {};

} // namespace

TEST_P(RereadTest, TheNoteIsReadAgainBesideTheWindowWhichGoesOnMeanwhile)
{
    const bool shown = GetParam(); // when another program writes; else shown after
    Put("npad.txt", "old");
    Open();
    Show();
    store->SetShown(shown);
    g_holdReads = true;
    g_readWaiting = false;
    Put("npad.txt", "theirs, and longer");
    auto loaded = std::make_shared<std::optional<bool>>();
    if (!shown)
        store->LoadNotes([loaded](bool ok) { *loaded = ok; });
    EXPECT_SOON(g_readWaiting);
    bool ticked = false;
    QTimer::singleShot(0, [&] { ticked = true; });
    EXPECT_SOON(ticked);
    EXPECT_EQ(Memo(), "old");
    EXPECT_FALSE(loaded->has_value());
    g_holdReads = false;
    EXPECT_SOON(Memo() == "theirs, and longer");
    if (!shown) {
        EXPECT_SOON(loaded->has_value()) << "the show's load ends";
        EXPECT_EQ(loaded->value_or(false), true);
    }
    EXPECT_EQ(store->Tracker().Dirty, !shown) << "a show that loads a change";
}

INSTANTIATE_TEST_SUITE_P(StoreTest, RereadTest, ::testing::Bool(), [](const auto &row) {
    return std::string(row.param ? "TheWatchersReadingOfAShownNote"
                                 : "TheShowsReadingOfANoteChangedWhileHidden");
});

TEST_F(StoreTest, AFailedAutosaveIsReportedOnceAndWaitsForTheNextChange)
{
    Put("npad.txt", "old");
    Open();
    Show();
    SetMode(dir.path(), 0555);
    {
        Unprivileged as(dir.path());
        Type("a");
        store->Timer1Timer(); // the countdown ends: the write goes to its thread
        Type("b");            // while it fails
        EXPECT_SOON(Told("! Cannot create file") == 1);
        EXPECT_FALSE(store->Tracker().CountdownRunning());
        EXPECT_TRUE(store->Tracker().Dirty);
        Type("c");
        EXPECT_TRUE(store->Tracker().CountdownRunning());
        store->Timer1Timer();
        EXPECT_SOON(Told("! Cannot create file") == 2);
    }
    SetMode(dir.path(), 0755);
    // The journal can't be made there either, and the user hears it at once, once.
    EXPECT_TRUE(user.seen[0].startsWith("! Cannot write the journal"))
        << user.seen[0].toStdString();
    EXPECT_EQ(user.seen.size(), 3);
    EXPECT_EQ(File("npad.txt"), "old");
}

TEST_F(StoreTest, TextThatComesWhileACloseWaitsForTheWriteIsWrittenBeforeItCloses)
{
    Put("npad.txt", "old");
    Open();
    Show();
    Type(" new");
    const auto release = HoldWrites(); // until the close waits for the write
    QTimer::singleShot(0, [&] {
        Type(" dropped"); // a drop is no key held back
        g_holdSyncs = false;
    });
    EXPECT_TRUE(store->CloseQuery());
    EXPECT_EQ(File("npad.txt"), "old new dropped");
    EXPECT_FALSE(store->Tracker().Dirty);
}

TEST_F(StoreTest, AnAutosaveThatFailsWhileACloseWaitsForItIsTheClosesToReport)
{
    Put("npad.txt", "old");
    Open();
    Show();
    SetMode(dir.path(), 0555);
    {
        Unprivileged as(dir.path());
        Type(QString(8 << 20, 'x')); // long enough to encode that the close waits
        store->Timer1Timer();        // the autosave's write goes to its thread
        EXPECT_FALSE(store->CloseQuery());
        QCoreApplication::processEvents(); // the write's late signal, if any
    }
    SetMode(dir.path(), 0755);
    EXPECT_EQ(Told("! Cannot create file"), 1) << "one box, from the close";
    EXPECT_EQ(Told("! Cannot write the journal"), 1);
}

TEST_F(StoreTest, TypingWhileTheAutosaveWritesIsSavedInItsOwnTurn)
{
    Put("npad.txt", "a");
    Open();
    Show();
    Type("b");
    const auto release = HoldWrites();
    store->Timer1Timer();       // the text "ab" goes to its writer
    EXPECT_SOON(g_syncWaiting); // ... which has taken all of it
    Type("c");                  // before the write is reported done
    g_holdSyncs = false;
    EXPECT_SOON(store->Tracker().SavedSinceLoad);
    EXPECT_EQ(File("npad.txt"), "ab");
    EXPECT_TRUE(store->Tracker().Dirty);
    EXPECT_TRUE(store->Tracker().CountdownRunning())
        << "the later change has a countdown of its own";
    EXPECT_TRUE(store->CloseQuery()); // writes what is left
    EXPECT_EQ(File("npad.txt"), "abc");
}

namespace {

const QString kLarge = QString(64, 'x').append('\n').repeated(1 << 18); // 17 M characters

// A note as read, and a character typed near its end while its text is
// taken for a write.
struct LargeRow {
    const char *name;
    QByteArray file;
    NoteEncoding read;
    QString typed;
    NoteEncoding written;
};

class LargeWriteTest : public StoreTest, public ::testing::WithParamInterface<LargeRow> {};

} // namespace

TEST_P(LargeWriteTest, ALargeNoteChangedWhileItsTextIsTakenIsWrittenAsItIsOnceTaken)
{
    const LargeRow &c = GetParam();
    Put("npad.txt", c.file);
    Open();
    Show();
    ASSERT_EQ(store->Encoding(), c.read);
    Type(kLarge);
    store->Timer1Timer(); // the autosave: its first slices are taken at once
    Edit(1, 2, "AF");     // a change in them: taken again
    Edit(store->Buffer().Size() - 1, 0, c.typed); // one after them
    EXPECT_SOON_WITHIN(store->Tracker().SavedSinceLoad, 20000);
    EXPECT_FALSE(store->Tracker().Dirty) << "every change is in the write";
    NoteEncoding encoding = c.read;
    EXPECT_TRUE(File("npad.txt") == EncodeNote(Memo(), encoding));
    EXPECT_EQ(store->Encoding(), c.written);
    EXPECT_EQ(encoding, c.written);
}

INSTANTIATE_TEST_SUITE_P(
    StoreTest, LargeWriteTest,
    ::testing::Values(LargeRow{"Utf8", "caf\xC3\xA9", NoteEncoding::Utf8, u"\u00E9"_qs,
                               NoteEncoding::Utf8},
                      LargeRow{"Windows1252", "caf\xE9", NoteEncoding::Windows1252, u"\u00E9"_qs,
                               NoteEncoding::Windows1252},
                      LargeRow{"Windows1252ThatMustBecomeUtf8", "caf\xE9",
                               NoteEncoding::Windows1252, u"\u0101"_qs, NoteEncoding::Utf8}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(StoreTest, ALargeNoteThatBeginsAsAUtf16MarkIsTakenWholeAgainAfterAChange)
{
    // A Windows-1252 text that begins as a UTF-16 mark is taken whole, and
    // again whole after a change at its end: its bytes would read as UTF-16.
    Put("npad.txt", "caf\xE9");
    Open();
    Show();
    Edit(0, 0, u"\u00FF\u00FE!"_qs); // an odd number of bytes, until the end's
    Type(kLarge);
    store->Timer1Timer();
    Type("x");
    EXPECT_SOON_WITHIN(store->Tracker().SavedSinceLoad, 20000);
    NoteEncoding encoding = NoteEncoding::Windows1252;
    EXPECT_TRUE(File("npad.txt") == EncodeNote(Memo(), encoding));
    EXPECT_EQ(encoding, NoteEncoding::Utf8);
}

TEST_F(StoreTest, SaveWaitsForAWriteInFlightThenReports)
{
    Put("npad.txt", "a");
    Open();
    Show();
    Type("b");
    store->Timer1Timer();
    EXPECT_EQ(store->SaveReport(), "All changes have already been saved");
    EXPECT_EQ(File("npad.txt"), "ab");
}

TEST_F(StoreTest, ANoteBesideAReadOnlyProgramIsCarriedToTheDataFolderForGood)
{
    const QString program = Path("program"), data = Path("data");
    Put("program/npad.txt", "left behind");
    Put("program/npad.ini", "[notepad]\nFONTSIZE=13\n");
    Open(NotePlace(data, program));
    EXPECT_EQ(user.seen, QStringList{QString("i The note could not be kept beside the program, "
                                             "so it was copied to \"%1\".")
                                         .arg(data)});
    EXPECT_EQ(store->ReadFontSettings().size, 13);
    Show();
    EXPECT_EQ(Memo(), "left behind");
    Type(" and carried on");
    EXPECT_TRUE(store->CloseQuery());
    EXPECT_EQ(File("data/npad.txt"), "left behind and carried on");
    EXPECT_EQ(File("program/npad.txt"), "left behind");

    Open(NotePlace(data, program)); // no box: nothing to carry
    EXPECT_TRUE(user.seen.isEmpty());
    Show();
    EXPECT_EQ(Memo(), "left behind and carried on");
    // The program folder writable again still uses the copy.
    EXPECT_EQ(ChooseNotePlace(program, true, data).folder, data + "/");
}

TEST_F(StoreTest, ANoteThatCannotBeCarriedIsShownWhereItLiesReadOnly)
{
    const QString program = Path("program"), data = Path("data");
    Put("program/npad.txt", "left behind");
    ASSERT_TRUE(QDir().mkpath(data));
    SetMode(Path("program/npad.txt"), 0644);
    SetMode(data, 0555);
    {
        Unprivileged as(dir.path());
        Open(NotePlace(data, program));
    }
    SetMode(data, 0755);
    ASSERT_EQ(user.seen.size(), 1);
    EXPECT_TRUE(user.seen[0].endsWith("Permission denied")) << user.seen[0].toStdString();
    Show();
    EXPECT_EQ(Memo(), "left behind");
    EXPECT_FALSE(store->Editable());
    EXPECT_TRUE(store->CloseQuery());
    EXPECT_EQ(File("program/npad.txt"), "left behind");
    EXPECT_EQ(File("data/npad.txt"), "<missing>");
}

TEST_F(StoreTest, ASettingsFileThatCannotBeWrittenIsReportedOnceAtExit)
{
    Open();
    Show();
    FontSettings font;
    font.size = 14;
    store->FontChosen(font);
    SetMode(dir.path(), 0555);
    ExitReport report;
    {
        Unprivileged as(dir.path());
        report = store->SaveBeforeExit();
        store->End();
        EXPECT_TRUE(store->CloseQuery()); // as the program's end closes its windows
    }
    SetMode(dir.path(), 0755);
    EXPECT_EQ(report.outcome, ExitReport::Outcome::Saved);
    EXPECT_EQ(user.seen, QStringList{"! Unable to write to " + Path("npad.ini")});
}

TEST_F(StoreTest, TextRecoveredWhileAnExitsBoxIsOpenIsWrittenBeforeTheEnd)
{
    Put("npad.txt", "old");
    Open();
    Show();
    Type(" typed");
    store.reset();                  // killed: the journal is left
    QDir().mkdir(Path("npad.ini")); // the settings can't be written
    Open();
    store->FontChosen(FontSettings{});
    store->StartFirstRead();
    // The first reading, and the journal's recovery, end while the settings'
    // error box is open.
    user.whileErrorShown = [this] { EXPECT_SOON(!store->FirstReadPending()); };
    const ExitReport report = store->SaveBeforeExit();
    store->End();
    EXPECT_EQ(report.outcome, ExitReport::Outcome::Saved);
    EXPECT_EQ(File("npad.txt"), "old typed");
    // The settings' failure once, then the recovery's notice.
    ASSERT_EQ(user.seen.size(), 2) << user.seen.join('|').toStdString();
    EXPECT_TRUE(user.seen[0].startsWith("! ")) << user.seen[0].toStdString();
    EXPECT_TRUE(user.seen[1].startsWith("i The notepad was not closed properly."));
}

TEST_F(StoreTest, EveryFileAndFolderMadeForTheNoteIsTheUsersAloneWhateverTheUmask)
{
    const mode_t saved = umask(0);
    Open(NotePlace(Path("data/quorvin")));
    Show();
    Type("new");
    store->FontChosen(FontSettings{});
    EXPECT_TRUE(store->CloseQuery());
    bool exported = false;
    store->WriteCopy(Path("export.txt"), [&](bool written) { exported = written; });
    EXPECT_SOON(exported);
    umask(saved);
    const struct {
        const char *path;
        mode_t mode;
    } cases[] = {
        {"data", 0700},
        {"data/quorvin", 0700},
        {"data/quorvin/npad.txt", 0600},
        {"data/quorvin/npad.ini", 0600},
        {"export.txt", 0666}, // the user's own, as the umask says
    };
    for (const auto &c : cases)
        EXPECT_EQ(ModeOf(Path(c.path)), c.mode) << c.path;
}

namespace {

// A run that typed " typed" into the note "old" and was killed: what is
// done to the files before the typing and after the run, and what the next
// start finds.
using Act = void (*)(const QString &folder);
struct RecoveryRow {
    const char *name;
    Act before, after;
    const char *memo;
    bool dirty;
    const char *notice; // its start
    QList<QByteArray> kept;
    bool setAside;
};

void Nothing(const QString &) {}

const char kRecovered[] = "i The notepad was not closed properly. What was typed after its last "
                          "save was recovered.";
const char kNotOwn[] = "i The notepad was not closed properly, but its journal is not a file of "
                       "this user's alone, so what it holds was not used. It was kept as";

class RecoveryTest : public StoreTest, public ::testing::WithParamInterface<RecoveryRow> {};

} // namespace

TEST_P(RecoveryTest, TypingLeftInTheJournalByARunThatDidNotEndIsRecoveredAtTheNextStart)
{
    const RecoveryRow &c = GetParam();
    const QString folder = dir.path();
    Put("npad.txt", "old");
    Open();
    Show();
    c.before(folder);
    Type(" typ");
    Type("ed");
    store.reset(); // as a kill leaves it: no end, no save
    c.after(folder);

    Open();
    ReadFirst();
    EXPECT_TRUE(Load());
    EXPECT_EQ(Memo(), c.memo);
    EXPECT_EQ(store->Tracker().Dirty, c.dirty);
    ASSERT_EQ(user.seen.size(), 1);
    EXPECT_TRUE(user.seen[0].startsWith(c.notice)) << user.seen[0].toStdString();
    EXPECT_EQ(Kept(), c.kept);
    EXPECT_EQ(QDir(folder).entryList({"npad.journal.bad-*"}).size(), c.setAside ? 1 : 0);
    // Recovered text is journalled on; the rest is done with.
    EXPECT_EQ(QFile::exists(folder + "/npad.journal"), c.dirty);
}

INSTANTIATE_TEST_SUITE_P(
    StoreTest, RecoveryTest,
    ::testing::Values(
        RecoveryRow{"AsItWasLeft", Nothing, Nothing, "old typed", true, kRecovered, {}, false},
        RecoveryRow{"TheNoteGoneBeforeTyping",
                    [](const QString &f) { QFile::remove(f + "/npad.txt"); },
                    Nothing,
                    "old typed",
                    true,
                    kRecovered,
                    {},
                    false},
        RecoveryRow{"NoJournalCanBeMadeAgain",
                    Nothing,
                    [](const QString &f) { QDir().mkdir(f + "/npad.journal.new"); },
                    "old typed",
                    true,
                    kRecovered,
                    {},
                    false},
        RecoveryRow{
            "AWriteCutShort",
            Nothing,
            [](const QString &f) {
                QFile(f + "/npad.journal").resize(QFileInfo(f + "/npad.journal").size() - 3);
            },
            "old typ",
            true,
            kRecovered,
            {},
            false},
        RecoveryRow{"TheNoteChangedSince",
                    Nothing,
                    [](const QString &f) {
                        QFile n(f + "/npad.txt");
                        if (n.open(QIODevice::WriteOnly))
                            n.write("theirs");
                    },
                    "theirs",
                    false,
                    "i The notepad was not closed properly, and the note file has changed since. "
                    "What was typed after its last save was kept in",
                    {"old typed"},
                    false},
        RecoveryRow{"AJournalOfSomethingElse",
                    Nothing,
                    [](const QString &f) {
                        QFile j(f + "/npad.journal");
                        if (j.open(QIODevice::ReadWrite))
                            j.write("XXXX");
                    },
                    "old",
                    false,
                    "i The notepad was not closed properly, and what was typed after its last "
                    "save could not be read. It was kept as",
                    {},
                    true},
        RecoveryRow{"AJournalOthersMayWrite",
                    Nothing,
                    [](const QString &f) {
                        chmod(QFile::encodeName(f + "/npad.journal").constData(), 0622);
                    },
                    "old",
                    false,
                    kNotOwn,
                    {},
                    true},
        RecoveryRow{"ALinkInTheJournalsPlace",
                    Nothing,
                    [](const QString &f) {
                        QFile::rename(f + "/npad.journal", f + "/elsewhere");
                        QFile::link(f + "/elsewhere", f + "/npad.journal");
                    },
                    "old",
                    false,
                    kNotOwn,
                    {},
                    true},
        RecoveryRow{"AJournalOfAnotherUsers",
                    Nothing,
                    [](const QString &f) {
                        const QByteArray path = QFile::encodeName(f + "/npad.journal");
                        if (geteuid() != 0 || chown(path.constData(), 65534, 65534) != 0)
                            chmod(path.constData(), 0620); // as the case before
                    },
                    "old",
                    false,
                    kNotOwn,
                    {},
                    true}),
    [](const auto &row) { return std::string(row.param.name); });

TEST_F(StoreTest, AJournalThatFailedOnceStartsAfreshOnceTheNoteHoldsTheText)
{
    Put("npad.txt", "base");
    Open();
    Show();
    QDir().mkpath(Path("npad.journal.new/x")); // in the way, for a while
    Type("a");
    EXPECT_SOON(Told("! Cannot write the journal") == 1);
    QDir(Path("npad.journal.new")).removeRecursively();
    store->Timer1Timer();
    EXPECT_SOON(store->Tracker().SavedSinceLoad);
    Type("b");
    store.reset(); // killed
    Open();
    ReadFirst();
    EXPECT_TRUE(Load());
    EXPECT_EQ(Memo(), "baseab");
}

namespace {

// Whether the note's first reading, slowed, comes while the program ends.
class SlowReadTest : public StoreTest, public ::testing::WithParamInterface<bool> {};

} // namespace

TEST_P(SlowReadTest, WhatIsTypedWhileTheNoteIsFirstReadIsKeptWhenTheProgramEnds)
{
    const bool comes = GetParam();
    Put("npad.txt", "old");
    Open();
    Show();
    Type(" crash");
    store.reset(); // a run killed: its journal is left
    Open();
    QPlainTextEdit memo;
    store->Buffer().SetView(&memo);
    g_holdReads = true;
    g_readWaiting = false;
    store->LoadNotes([this](bool ok) {
        if (ok)
            store->StartTracking(); // as the show does
    });
    EXPECT_SOON(g_readWaiting);
    QTest::keyClicks(&memo, "typed"); // held for the note
    if (comes)
        QTimer::singleShot(0, [] { g_holdReads = false; });
    const ExitReport report = store->SaveBeforeExit([] { return false; });
    g_holdReads = false;
    store->End(report.outcome);
    store->Buffer().SetView(nullptr);
    EXPECT_EQ(report.outcome, comes ? ExitReport::Outcome::Saved : ExitReport::Outcome::Kept);
    EXPECT_EQ(File("npad.txt"), comes ? "typedold crash" : "old");
    EXPECT_EQ(Kept(), comes ? QList<QByteArray>{} : QList<QByteArray>{"typed"});
    EXPECT_EQ(report.text.contains("typed meanwhile was kept in"), !comes);
    EXPECT_EQ(QFile::exists(Path("npad.journal")), !comes) << "the crash's, for the next start";
}

INSTANTIATE_TEST_SUITE_P(StoreTest, SlowReadTest, ::testing::Bool(), [](const auto &row) {
    return std::string(row.param ? "TheReadingComes" : "TheReadingNeverComes");
});

namespace {

// What happens after the note "old" is shown, and the first box it brings:
// the start of its text, and whether it came by itself (and so waits for
// the user's pause) rather than answering the user's own command.
struct OriginRow {
    const char *name;
    void (*act)(StoreTest &t);
    const char *box;
    bool byItself;
};

class OriginTest : public StoreTest, public ::testing::WithParamInterface<OriginRow> {
  public:
    using StoreTest::Open, StoreTest::Path, StoreTest::Put, StoreTest::Type, StoreTest::store;
    // Another program writes the note, or a folder takes its place.
    void Theirs() { Put("npad.txt", "theirs"); }
    void NoFile()
    {
        QFile::remove(Path("npad.txt"));
        QDir().mkdir(Path("npad.txt"));
    }
};

} // namespace

TEST_P(OriginTest, ABoxThatComesByItselfWaitsForAPauseOneThatAnswersTheUserOpensAtOnce)
{
    const OriginRow &c = GetParam();
    Put("npad.txt", "old");
    Open();
    Show();
    c.act(*this);
    EXPECT_SOON(!user.seen.isEmpty());
    ASSERT_FALSE(user.seen.isEmpty());
    EXPECT_TRUE(user.seen[0].startsWith(c.box)) << user.seen[0].toStdString();
    EXPECT_EQ(user.byItself.value(0), c.byItself);
}

INSTANTIATE_TEST_SUITE_P(
    StoreTest, OriginTest,
    ::testing::Values(OriginRow{"AnAutosaveMeetsAnotherProgramsChange",
                                [](StoreTest &test) {
                                    auto &o = static_cast<OriginTest &>(test);
                                    o.Type(" mine");
                                    o.Theirs();
                                    o.store->Timer1Timer();
                                },
                                "? The note file was changed", true},
                      OriginRow{"ACloseMeetsAnotherProgramsChange",
                                [](StoreTest &test) {
                                    auto &o = static_cast<OriginTest &>(test);
                                    o.Type(" mine");
                                    o.Theirs();
                                    o.store->CloseQuery();
                                },
                                "? The note file was changed", false},
                      OriginRow{"AnAutosaveThatCannotWrite",
                                [](StoreTest &test) {
                                    auto &o = static_cast<OriginTest &>(test);
                                    o.Type(" mine");
                                    o.NoFile();
                                    o.store->Timer1Timer();
                                },
                                "! Cannot create file", true},
                      OriginRow{"ACloseThatCannotWrite",
                                [](StoreTest &test) {
                                    auto &o = static_cast<OriginTest &>(test);
                                    o.Type(" mine");
                                    o.NoFile();
                                    o.store->CloseQuery();
                                },
                                "! Cannot create file", false},
                      OriginRow{"AJournalThatCannotBeWritten",
                                [](StoreTest &test) {
                                    auto &o = static_cast<OriginTest &>(test);
                                    QDir().mkpath(o.Path("npad.journal.new/x"));
                                    o.Type(" mine");
                                },
                                "! Cannot write the journal", true},
                      OriginRow{"TheWatcherFindsTheNoteUnreadable",
                                [](StoreTest &test) {
                                    static_cast<OriginTest &>(test).Put("npad.txt",
                                                                        QByteArray("no\0te", 5));
                                },
                                "! Cannot open file", true},
                      OriginRow{"AShowFindsTheNoteUnreadable",
                                [](StoreTest &test) {
                                    auto &o = static_cast<OriginTest &>(test);
                                    o.store->SetShown(false);
                                    o.Put("npad.txt", QByteArray("no\0te", 5));
                                    o.store->LoadNotes([](bool) {});
                                },
                                "! Cannot open file", false},
                      OriginRow{"ARecoveryAtTheNextStart",
                                [](StoreTest &test) {
                                    auto &o = static_cast<OriginTest &>(test);
                                    o.Type(" typed");
                                    o.Open(); // the first, killed
                                    o.store->StartFirstRead();
                                },
                                "i The notepad was not closed properly", true},
                      OriginRow{"AnExportThatFails",
                                [](StoreTest &test) {
                                    auto &o = static_cast<OriginTest &>(test);
                                    o.store->WriteCopy(o.Path("none/export.txt"), [](bool) {});
                                },
                                "! Cannot create file", false}),
    [](const auto &row) { return std::string(row.param.name); });

namespace {

// A user who has been quiet for `quiet` ms, and notes what was shown.
class QuietUser : public NoteUser {
  public:
    QuietUser(const qint64 &quiet, QStringList &seen) : quiet_(quiet), seen_(seen) {}
    // Holds a box it shows open, to close later, while set.
    std::function<void(Answer)> *open = nullptr;
    void Show(Box, const QString &text, bool, std::function<void(Answer)> closed) override
    {
        seen_ << text;
        if (open)
            *open = std::move(closed);
        else
            closed(Answer::Yes);
    }
    qint64 QuietFor() const override { return quiet_; }

  private:
    const qint64 &quiet_;
    QStringList &seen_;
};

} // namespace

TEST(NoteAsker, WhatComesByItselfWaitsUntilTheUserPausesAndTheUsersOwnIsAnsweredFirst)
{
    qint64 quiet = 0;
    QStringList seen;
    auto user = std::make_unique<QuietUser>(quiet, seen);
    QuietUser &theUser = *user;
    NoteAsker asker(std::move(user));
    QStringList answers;
    const auto note = [&](const char *what) {
        return [&answers, what](NoteUser::Answer a) {
            answers << QString("%1 %2").arg(what).arg(int(a));
        };
    };
    asker.Report("journal", NoteAsker::Origin::ByItself);
    asker.Ask("autosave", NoteAsker::Origin::ByItself, note("autosave"));
    asker.Ask("close", NoteAsker::Origin::User, note("close"));
    EXPECT_EQ(seen, QStringList{"close"}) << "typing goes on: only the user's own opens";
    asker.PutOffUnseen(); // the user's own step takes the unseen question over
    EXPECT_EQ(answers, (QStringList{"close 0", "autosave 2"}));
    quiet = NoteAsker::kPauseMs;
    EXPECT_SOON(seen.size() == 2);
    EXPECT_EQ(seen, (QStringList{"close", "journal"}));
    EXPECT_TRUE(asker.Idle());

    // The window held up as the pause comes (a slow disk): the keys typed
    // meanwhile go in before anything opens.
    quiet = 0;
    asker.Report("held up", NoteAsker::Origin::ByItself);
    quiet = NoteAsker::kPauseMs * 2; // as far as the program has seen
    QTimer::singleShot(0, [&quiet] {
        QThread::msleep(NoteAsker::kPauseMs + 500);
        // The keys, once in: after the timers already due, as window
        // events are.
        QTimer::singleShot(1, [&quiet] { quiet = 0; });
    });
    EXPECT_SOON(quiet == 0);
    EXPECT_EQ(seen.size(), 2) << "opened with keys still to go in";
    quiet = NoteAsker::kPauseMs;
    EXPECT_SOON(seen.size() == 3);

    // A close that meets the failure an autosave's notice waits to tell
    // tells it once.
    quiet = 0;
    asker.Report("Cannot create file", NoteAsker::Origin::ByItself);
    asker.Report("Cannot create file", NoteAsker::Origin::User);
    EXPECT_TRUE(asker.Idle());
    EXPECT_EQ(seen.count("Cannot create file"), 1);

    // The user's own question, waiting behind a box on the screen, is no
    // question put off for another of theirs.
    std::function<void(NoteUser::Answer)> onScreen;
    theUser.open = &onScreen;
    asker.Report("on the screen", NoteAsker::Origin::User);
    asker.Ask("close", NoteAsker::Origin::User, note("behind"));
    asker.PutOffUnseen();
    EXPECT_FALSE(answers.contains("behind 2"));
    theUser.open = nullptr;
    onScreen(NoteUser::Answer::Yes);
    EXPECT_TRUE(answers.contains("behind 0"));
}

namespace {

// What runs while the close waits: a timer, or the program's end.
class CloseWaitTest : public StoreTest, public ::testing::WithParamInterface<bool> {};

} // namespace

TEST_P(CloseWaitTest, ACloseWaitingForALargeWriteLetsTimersRunAndTheEndWaitItsTurn)
{
    const bool end = GetParam();
    Put("npad.txt", "old");
    Open();
    Show();
    const QString text(8 << 20, 'x');
    Type(text);
    bool closing = true, ranWhileClosing = false, busy = true, saving = false;
    ExitReport report{ExitReport::Outcome::Stay, {}};
    const auto release = HoldWrites(); // until the close waits for the write
    QTimer::singleShot(0, [&] {
        g_holdSyncs = false;
        ranWhileClosing = closing;
        // No box is open: the session's end may save, once the close is over.
        busy = store->Busy();
        saving = store->Saving();
        if (end) {
            report = store->SaveBeforeExit();
            store->End();
        }
    });
    EXPECT_TRUE(store->CloseQuery());
    closing = false;
    EXPECT_TRUE(ranWhileClosing);
    EXPECT_FALSE(busy);
    EXPECT_TRUE(saving);
    EXPECT_EQ(report.outcome == ExitReport::Outcome::Stay, !end);
    EXPECT_TRUE(File("npad.txt") == "old" + text.toUtf8());
    EXPECT_FALSE(store->Tracker().Dirty);
}

INSTANTIATE_TEST_SUITE_P(StoreTest, CloseWaitTest, ::testing::Bool(), [](const auto &row) {
    return std::string(row.param ? "TheProgramsEnd" : "ATimer");
});
