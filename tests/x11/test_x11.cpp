// The program's windows on a real X server with a window manager: frames,
// the pointer, the clipboard and the keyboard as a desktop has them.
#include "about1.h"
#include "boxes.h"
#include "cdatlib.h"
#include "ctrl.h"
#include "flash.h"
#include "inpstr.h"
#include "lcgrandom.h"
#include "notepad.h"
#include "randomsource.h"
#include "startup.h"
#include "userinput.h"
#include "x11session.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

#include "modal.h"

namespace {

constexpr int kScreenWidth = 1280, kScreenHeight = 1024;

// Waits for `done`, letting the program work meanwhile; false after 10 s.
template <typename F> bool WaitFor(F done, int ms = 10000)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    return true;
}

void PointerTo(int x, int y)
{
    QCursor::setPos(x, y);
    ASSERT_TRUE(WaitFor([&] { return QCursor::pos() == QPoint(x, y); }));
}

// The window framed by the window manager and on the screen.
bool Framed(QWidget *w)
{
    return WaitFor(
        [w] { return w->isVisible() && w->frameGeometry().size() != w->geometry().size(); });
}

QString Output(const QStringList &command)
{
    // The program must go on answering the X server while the command asks
    // it for the clipboard: wait with its event loop running.
    QProcess p;
    p.start(command.first(), command.mid(1));
    EXPECT_TRUE(WaitFor([&] { return p.state() == QProcess::NotRunning; }))
        << command.join(' ').toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

void Keys(const char *keys)
{
    // Real key events, through the X server to the focused window; a space
    // parts keys pressed one after another.
    QProcess::execute("xdotool", QStringList{"key", "--clearmodifiers"} + QString(keys).split(' '));
}

class X11Test : public ::testing::Test {
  protected:
    void SetUp() override { LibraryStartUp(); }
    void TearDown() override { FlashNotice(""); }

    TFFlash flash;
    TFinpstr inpstr;
};

} // namespace

TEST_F(X11Test, BoxesOpenWithTheirFrameAtTheCursorAndStayThereWhenReopened)
{
    PointerTo(300, 200);
    for (int i = 0; i < 3; ++i) {
        QPoint frame, client;
        WhenModal<QMessageBox>([&](QMessageBox *box) {
            if (Framed(box)) {
                frame = box->frameGeometry().topLeft();
                client = box->geometry().topLeft();
            }
            QTest::keyClick(box, Qt::Key_Escape);
        });
        if (i == 1)
            AskYesNoCancel("A question");
        else
            InfoBox("A message");
        EXPECT_EQ(frame, QPoint(300, 200)) << "box " << i;
        EXPECT_GT(client.y(), frame.y()) << "box " << i << " has no title bar above";
    }
}

TEST_F(X11Test, WhileTheUserIsInAnotherProgramNoBoxOpensByItselfAndNoKeyAnswersOneAsItIsCome)
{
    WatchUserInput();
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    char answer = 0;
    QPointer<QWidget> box = ShowYesNoCancel("Replace it?", true, [&](char a) { answer = a; });
    ASSERT_TRUE(QTest::qWaitForWindowActive(box));
    // The user goes to another program, and works there.
    QProcess other;
    other.start("xmessage", {"-title", "another program", "another program"});
    const auto cleanup = qScopeGuard([&] {
        other.kill();
        other.waitForFinished();
    });
    QString theirs;
    ASSERT_TRUE(WaitFor([&] {
        return !(theirs = Output({"xdotool", "search", "--name", "^another program$"}).trimmed())
                    .isEmpty();
    }));
    QProcess::execute("xdotool", {"windowactivate", "--sync", theirs});
    ASSERT_TRUE(
        WaitFor([] { return QGuiApplication::applicationState() != Qt::ApplicationActive; }));
    EXPECT_EQ(MsSinceUserInput(), 0) << "a pause for a box to come by itself";
    QTest::qWait(kHoldBackMs); // the moment after the box opened is long past
    // Back to the box, a key on its way: seen arriving, before the box's own
    // filter, which was there first.
    struct KeysSeen : QObject {
        int keys = 0;
        bool eventFilter(QObject *, QEvent *e) override
        {
            keys += e->type() == QEvent::KeyPress;
            return false;
        }
    } seen;
    qApp->installEventFilter(&seen);
    QProcess::execute("xdotool", {"windowactivate", "--sync", QString::number(box->winId())});
    Keys("Return");
    ASSERT_TRUE(WaitFor([&] { return seen.keys > 0; }));
    EXPECT_EQ(answer, 0) << "answered by a key meant for something else";
    EXPECT_LT(MsSinceUserInput(), kHoldBackMs) << "coming back is no pause";
    ASSERT_TRUE(box);
    box->close();
}

TEST_F(X11Test, ABoxAtTheScreensCornerIsPulledBackWholeFrameAndAll)
{
    PointerTo(kScreenWidth - 5, kScreenHeight - 5);
    QRect frame;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        // Framed where it was asked for first, then pulled back once its
        // frame is known: a busy machine shows the first place for a while.
        if (Framed(box))
            WaitFor([&] {
                frame = box->frameGeometry();
                return frame.right() < kScreenWidth && frame.bottom() < kScreenHeight;
            });
        QTest::keyClick(box, Qt::Key_Escape);
    });
    InfoBox("A message near the corner of the screen");
    EXPECT_EQ(frame.right(), kScreenWidth - 1);
    EXPECT_EQ(frame.bottom(), kScreenHeight - 1);
}

TEST_F(X11Test, QuestionButtonsReadYesNoCancelFromTheLeftOnEveryDesktop)
{
    ASSERT_EQ(qgetenv("XDG_CURRENT_DESKTOP"), "GNOME"); // whose order is the reverse
    QStringList order;
    WhenModal<QMessageBox>([&](QMessageBox *box) {
        Framed(box);
        QList<QAbstractButton *> buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(), [](QAbstractButton *a, QAbstractButton *b) {
            return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
        });
        for (QAbstractButton *b : buttons)
            order << b->text();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(AskYesNoCancel("Order?"), 'C');
    EXPECT_EQ(order, (QStringList{"&Yes", "&No", "Cancel"}));
}

TEST_F(X11Test, TheInputDialogOpensAtTheCursor)
{
    PointerTo(400, 300);
    QPoint at;
    WhenModal<TFinpstr>([&](TFinpstr *d) {
        WaitFor([d] { return d->isVisible() && d->windowHandle()->isExposed(); });
        at = d->frameGeometry().topLeft();
        d->Button2->click();
    });
    QString text;
    InputText("Where?", "", text);
    EXPECT_EQ(at, QPoint(400, 300));
}

TEST_F(X11Test, TheFlashNoticeOpensNextToTheCursorAndStaysOnTheScreen)
{
    PointerTo(500, 400);
    FlashNotice("here");
    ASSERT_TRUE(WaitFor([&] { return flash.isVisible() && flash.windowHandle()->isExposed(); }));
    EXPECT_EQ(flash.frameGeometry().topLeft(), QPoint(501, 401));

    FlashNotice("");
    PointerTo(kScreenWidth - 1, kScreenHeight - 1);
    FlashNotice("in the corner");
    ASSERT_TRUE(WaitFor([&] { return flash.isVisible() && flash.windowHandle()->isExposed(); }));
    const QRect g = flash.frameGeometry();
    EXPECT_EQ(g.right(), kScreenWidth - 1);
    EXPECT_EQ(g.bottom(), kScreenHeight - 1);
}

TEST_F(X11Test, UseLeavesExactlyThePasswordOnTheClipboardMarkedSecret)
{
    LcgRandom random(7);
    Tfctrl w(random);
    w.show();
    w.Button1->click();
    const QString password = w.Edit1->text();
    w.Button2->click();
    EXPECT_EQ(Output({"xclip", "-o", "-selection", "clipboard"}), password);
    EXPECT_TRUE(Output({"xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"})
                    .contains("x-kde-passwordManagerHint"));
    EXPECT_EQ(Output({"xclip", "-o", "-selection", "clipboard", "-t", "x-kde-passwordManagerHint"}),
              "secret");
}

TEST_F(X11Test, CtrlZAfterUseOrDiscardBringsNothingBack)
{
    LcgRandom random(7);
    Tfctrl w(random);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.Edit1->setFocus();

    int keys = 0;
    struct Counter : QObject {
        int *n;
        explicit Counter(int *count) : n(count) {}
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::KeyRelease)
                ++*n;
            return false;
        }
    } counter(&keys);
    w.Edit1->installEventFilter(&counter);
    auto undo = [&] {
        const int before = keys;
        Keys("ctrl+z");
        EXPECT_TRUE(WaitFor([&] { return keys > before; }));
    };

    w.Button1->click();
    w.Button2->click(); // Use
    undo();
    EXPECT_EQ(w.Edit1->text(), "");

    w.Button1->click();
    WhenModal<QMessageBox>([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); });
    w.Button5->click(); // Discard, answered Yes
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.Edit1->setFocus();
    undo();
    EXPECT_EQ(w.Edit1->text(), "");
}

TEST_F(X11Test, ASecondStartBringsTheFirstForwardAndLeavesItsNoteAlone)
{
    QTemporaryDir dir;
    const QString program = dir.filePath("quorvin");
    ASSERT_TRUE(QFile::copy(QUORVIN_EXE, program));
    const QByteArray note = "typed in the first\r\n";
    {
        QFile f(dir.filePath("npad.txt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(note);
    }
    QProcess first;
    first.start(program, {});
    QString window;
    ASSERT_TRUE(WaitFor([&] {
        window = Output({"xdotool", "search", "--all", "--onlyvisible", "--pid",
                         QString::number(first.processId()), "--name", "password generator"})
                     .trimmed();
        return !window.isEmpty();
    }));

    // Another window has the keyboard when the second start comes.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));

    QProcess second;
    second.start(program, {});
    ASSERT_TRUE(WaitFor([&] { return second.state() == QProcess::NotRunning; }));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(WaitFor([&] {
        const QString active = Output({"xdotool", "getactivewindow"}).trimmed();
        return active == window;
    })) << "the first copy's window is not in front";
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();
    first.waitForFinished(5000);
    QFile f(dir.filePath("npad.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), note);
}

namespace {

// Answers the next message box with a real Return once it has the keyboard;
// `answered` is set once it has closed.
void ReturnToNextBox(bool &answered)
{
    answered = false;
    WhenModal<QMessageBox>([&answered](QMessageBox *box) {
        if (!QTest::qWaitForWindowActive(box))
            ADD_FAILURE() << "the box never had the keyboard";
        QObject::connect(box, &QDialog::finished, [&answered] { answered = true; });
        Keys("Return");
    });
}

// Gives `w` the keyboard and waits until it has it.
bool Activate(QWidget *w)
{
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
}

} // namespace

TEST_F(X11Test, TypingGoesOnInTheNotepadAfterAMenuCommandChosenByKeys)
{
    QTemporaryDir dir;
    NotepadStartUp();
    const std::unique_ptr<NoteStore> note = MakeNoteStore(NotePlace(dir.path()));
    TFnotepad np(*note);
    np.show();
    ASSERT_TRUE(Activate(&np));
    np.Memo1->setFocus();
    QString typed;
    for (const char *enter : {"alt", "F10"}) {
        Keys(enter);
        Keys("Right"); // from Close to Save
        bool answered = false;
        ReturnToNextBox(answered);
        Keys("Return"); // Save reports, in a box
        ASSERT_TRUE(WaitFor([&] { return answered && np.isActiveWindow(); })) << enter;
        Keys("x");
        typed += "x";
        EXPECT_TRUE(WaitFor([&] { return np.Memo1->toPlainText() == typed; })) << enter;
    }

    np.Memo1->setPlainText("needle one, needle two");
    Keys("F10");
    Keys("Left"); // round to Search, the last
    WhenModal<TFinpstr>([](TFinpstr *d) {
        if (!QTest::qWaitForWindowActive(d))
            ADD_FAILURE() << "the dialog never had the keyboard";
        d->Edit1->setText("needle");
        Keys("Return");
    });
    Keys("Return");
    // The window manager gives the keyboard back after the dialog has gone.
    ASSERT_TRUE(WaitFor(
        [&] { return np.Memo1->textCursor().selectedText() == "needle" && np.isActiveWindow(); }));
    EXPECT_EQ(np.Memo1->textCursor().selectionStart(), 0);
    Keys("F3");
    EXPECT_TRUE(WaitFor([&] { return np.Memo1->textCursor().selectionStart() == 12; }));
}

TEST_F(X11Test, TheMainWindowAnswersF10EnterOnAButtonAndArrowsInTheRadioGroup)
{
    LcgRandom random(7);
    Tfctrl w(random);
    QWidget notepad(&w); // stands in for the notepad, within the window
    notepad.hide();
    w.SetCompanionWindows([&] { return &notepad; }, {});
    w.show();
    ASSERT_TRUE(Activate(&w));

    // F10 enters the menu bar at its first item, drawn as chosen.
    QMenuBar *bar = w.menuBar();
    Keys("F10");
    const QColor highlight = bar->palette().color(QPalette::Highlight);
    EXPECT_TRUE(WaitFor([&] {
        const QImage item = bar->grab(bar->actionGeometry(bar->actions().first())).toImage();
        for (int y = 0; y < item.height(); ++y)
            for (int x = 0; x < item.width(); ++x)
                if (item.pixelColor(x, y) == highlight)
                    return true;
        return false;
    })) << "the active item is not drawn as chosen";
    Keys("Right");
    Keys("Return");
    ASSERT_TRUE(WaitFor([&] { return notepad.isVisible(); }));

    // Enter presses the focused button, and nothing in the password box.
    w.Button1->setFocus();
    Keys("Return");
    ASSERT_TRUE(WaitFor([&] { return !w.Edit1->text().isEmpty(); }));
    const QString password = w.Edit1->text();
    w.Edit1->setFocus();
    w.Edit1->end(false);
    Keys("Return");
    Keys("x");
    ASSERT_TRUE(WaitFor([&] { return w.Edit1->text() == password + "x"; }));
    EXPECT_EQ(w.Button2->text(), "Use");

    // An arrow key that chooses a list mode gives the empty list the focus.
    w.any1->setFocus();
    Keys("Down");
    EXPECT_TRUE(WaitFor([&] { return w.anyex1->isChecked(); }));
    EXPECT_TRUE(WaitFor([&] { return QApplication::focusWidget() == w.Edit2; }));
}

namespace {

// A copy of the program in a folder of its own, with a note there and its
// data folder beside it; started, its notepad opened from the menu by keys.
class RunningCopy {
  public:
    RunningCopy()
    {
        QDir().mkpath(Folder());
        QFile::copy(QUORVIN_EXE, Folder() + "/quorvin");
        Write(Folder() + "/npad.txt", "before");
    }

    QString Folder() const { return dir_.filePath("program"); }
    QString DataFolder() const { return dir_.filePath("data/quorvin"); }
    QString Path(const QString &name) const { return dir_.filePath(name); }

    static void Write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    static QByteArray Read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // What the data folder keeps of unsaved text, one file's bytes each.
    QList<QByteArray> Unsaved() const
    {
        QList<QByteArray> kept;
        for (const QString &name : QDir(DataFolder()).entryList({"npad-unsaved-*.txt"}))
            kept << Read(DataFolder() + "/" + name);
        return kept;
    }

    // Starts it and types `text` at the end of its note; `places` names the
    // folders for the program's data, its runtime files and temporary files.
    bool StartAndType(const char *text, const QStringList &places = {"data", "", ""})
    {
        if (!Start(places))
            return false;
        Keys("alt");
        Keys("Right");
        Keys("Return");
        if (!ActiveIs("quorvin - Notepad"))
            return false;
        Keys("ctrl+End");
        QProcess::execute("xdotool", {"type", text});
        // The keys have all arrived once the note they made is on the clipboard.
        Keys("ctrl+a");
        Keys("ctrl+c");
        Keys("ctrl+End");
        const QString typed = "before" + QString(text);
        return WaitFor([&] { return Output({"xclip", "-o", "-selection", "clipboard"}) == typed; });
    }

    // Starts it and waits for its main window to have the keyboard, or only
    // to be there, when a box may take the keyboard at once.
    bool Start(const QStringList &places = {"data", "", ""}, bool active = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString &name : extraEnvironment.keys())
            env.insert(name, extraEnvironment.value(name));
        const char *variables[] = {"XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};
        for (int i = 0; i < 3; ++i)
            if (!places.value(i).isEmpty())
                env.insert(variables[i], dir_.filePath(places[i]));
        process.setProcessEnvironment(env);
        process.setStandardErrorFile(dir_.filePath("stderr"));
        process.start(Folder() + "/quorvin", {});
        if (!active)
            return WaitFor(
                [&] { return !(main_ = Window("Strong password generator")).isEmpty(); });
        if (!ActiveIs("Strong password generator"))
            return false;
        main_ = Output({"xdotool", "getactivewindow"}).trimmed();
        return true;
    }

    const QString &MainWindow() const { return main_; }

    // Waits for the active window's title to be `title`.
    static bool ActiveIs(const QString &title)
    {
        return WaitFor([&] {
            return Output({"xdotool", "getactivewindow", "getwindowname"}) == title + "\n";
        });
    }

    void ActivateMain() { QProcess::execute("xdotool", {"windowactivate", "--sync", main_}); }

    // This copy's visible window titled `title`, or "".
    QString Window(const QString &title)
    {
        const QStringList found = Output({"xdotool", "search", "--all", "--onlyvisible", "--pid",
                                          QString::number(process.processId()), "--name",
                                          "^" + QRegularExpression::escape(title) + "$"})
                                      .split('\n', Qt::SkipEmptyParts);
        return found.isEmpty() ? QString() : found.last();
    }

    // Waits for the window titled `title`, gives it the keyboard, presses
    // `key` there and waits for it to close.
    bool Answer(const QString &title, const char *key)
    {
        QString window;
        if (!WaitFor([&] { return !(window = Window(title)).isEmpty(); }))
            return false;
        QProcess::execute("xdotool", {"windowactivate", "--sync", window});
        // A box that came by itself takes no key for a moment after it opens.
        return WaitFor([&] {
            Keys(key);
            return WaitFor([&] { return Window(title).isEmpty(); }, 300);
        });
    }

    bool Ended()
    {
        return WaitFor([&] { return process.state() == QProcess::NotRunning; });
    }

    // What it wrote to its standard error, for a failure's report.
    std::string Errors() const { return Read(dir_.filePath("stderr")).right(3000).toStdString(); }

    QProcess process;
    QProcessEnvironment extraEnvironment; // beside this process's own, as it is at the start

  private:
    QTemporaryDir dir_;
    QString main_;
};

} // namespace

TEST_F(X11Test, ATerminationSignalSavesTheNoteReleasesTheFolderAndEndsWell)
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        RunningCopy copy;
        ASSERT_TRUE(copy.StartAndType(" typed")) << "signal " << signal;
        kill(pid_t(copy.process.processId()), signal);
        ASSERT_TRUE(copy.Ended()) << "signal " << signal;
        EXPECT_EQ(copy.process.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(copy.process.exitCode(), 0) << "signal " << signal << copy.Errors();
        EXPECT_EQ(RunningCopy::Read(copy.Folder() + "/npad.txt"), "before typed");
        EXPECT_FALSE(QFile::exists(copy.Folder() + "/quorvin.lock")) << "signal " << signal;
    }
}

TEST_F(X11Test, ATerminationSignalKeepsWhatCannotBeWrittenWithoutAskingOrSaysItIsLost)
{
    const struct {
        const char *what;
        QStringList places;
        int status;
        int kept;
        const char *said;
    } cases[] = {
        {"kept", {"data", "", ""}, 0, 1, "the unsaved text was kept in"},
        // Files where the folders would be made.
        {"lost",
         {"program/quorvin", "program/quorvin", "program/quorvin"},
         1,
         0,
         "its unsaved text could not be kept anywhere"},
    };
    for (const auto &c : cases) {
        RunningCopy copy;
        ASSERT_TRUE(copy.StartAndType(" typed", c.places)) << c.what;
        // The note has become a folder: it can be neither written nor replaced.
        QFile::remove(copy.Folder() + "/npad.txt");
        QDir().mkdir(copy.Folder() + "/npad.txt");
        kill(pid_t(copy.process.processId()), SIGTERM);
        ASSERT_TRUE(copy.Ended()) << c.what;
        EXPECT_EQ(copy.process.exitCode(), c.status) << c.what << copy.Errors();
        EXPECT_EQ(copy.Unsaved().size(), c.kept) << c.what;
        const std::string said = copy.Errors();
        EXPECT_NE(said.find(c.said), std::string::npos) << c.what << said;
        EXPECT_EQ(said.find("typed"), std::string::npos) << c.what << ": the text itself";
    }
}

TEST_F(X11Test, ASignalWhileABoxIsOpenEndsTheProgramOnceTheBoxHasClosed)
{
    RunningCopy copy;
    ASSERT_TRUE(copy.StartAndType(" typed"));
    RunningCopy::Write(copy.Folder() + "/npad.txt", "theirs");
    Keys("Escape"); // the notepad's close asks about the other program's change
    ASSERT_TRUE(WaitFor([&] { return !copy.Window(" Notepad").isEmpty(); }));
    kill(pid_t(copy.process.processId()), SIGTERM);
    ASSERT_TRUE(copy.Ended());
    EXPECT_EQ(copy.process.exitCode(), 0) << copy.Errors();
    EXPECT_EQ(RunningCopy::Read(copy.Folder() + "/npad.txt"), "theirs");
    EXPECT_EQ(copy.Unsaved(), QList<QByteArray>{"before typed"});
    EXPECT_FALSE(QFile::exists(copy.Folder() + "/quorvin.lock"));
}

TEST_F(X11Test, ExitWithANoteThatCannotBeWrittenOffersToKeepTheText)
{
    RunningCopy copy;
    ASSERT_TRUE(copy.StartAndType(" typed"));
    // The note's folder is gone, and can't be made again.
    ASSERT_TRUE(QDir().rename(copy.Folder(), copy.Path("moved")));
    RunningCopy::Write(copy.Folder(), "a file where the folder was");

    // No, then Yes (the default button).
    for (const char *answer : {"Escape", "Return"}) {
        copy.ActivateMain();
        Keys("Escape"); // Exit
        ASSERT_TRUE(copy.Answer("quorvin", "Return")) << "the error box";
        ASSERT_TRUE(copy.Answer(" Notepad", answer)) << "the question";
    }
    ASSERT_TRUE(copy.Ended());
    EXPECT_EQ(copy.process.exitCode(), 0) << copy.Errors();
    EXPECT_EQ(copy.Unsaved(), QList<QByteArray>{"before typed"});
    EXPECT_EQ(RunningCopy::Read(copy.Path("moved/npad.txt")), "before");
}

TEST_F(X11Test, TypingSurvivesAKillAndALostDisplay)
{
    const QByteArray ours = qgetenv("DISPLAY");
    for (const bool killed : {true, false}) {
        const char *what = killed ? "SIGKILL" : "its X server killed";
        RunningCopy copy;
        // An X server of its own, whose end the program can't survive;
        // the commands that drive it go there meanwhile.
        X11Session own;
        const auto back = qScopeGuard([&] { qputenv("DISPLAY", ours); });
        std::string reason;
        if (!killed) {
            ASSERT_TRUE(own.Start(800, 600, reason)) << reason;
        }
        ASSERT_TRUE(copy.StartAndType(" typed")) << what;
        if (killed)
            kill(pid_t(copy.process.processId()), SIGKILL);
        else
            own.KillServer();
        ASSERT_TRUE(copy.Ended()) << what;
        qputenv("DISPLAY", ours);
        EXPECT_EQ(RunningCopy::Read(copy.Folder() + "/npad.txt"), "before") << what;
        // As a kill while the program made its lock leaves it.
        RunningCopy::Write(copy.Folder() + "/quorvin.lock", "");

        ASSERT_TRUE(copy.Start({"data", "", ""}, false)) << what << copy.Errors();
        ASSERT_TRUE(copy.Answer(" Notepad", "Return")) << what
                                                       << ": the notice of what was "
                                                          "recovered";
        copy.ActivateMain();
        Keys("Escape"); // Exit, which saves
        ASSERT_TRUE(copy.Ended()) << what;
        EXPECT_EQ(copy.process.exitCode(), 0) << what << copy.Errors();
        EXPECT_EQ(RunningCopy::Read(copy.Folder() + "/npad.txt"), "before typed") << what;
        EXPECT_FALSE(QFile::exists(copy.Folder() + "/npad.journal")) << what;
    }
}

TEST_F(X11Test, AtDoubleScaleOnASmallScreenEveryWindowOpensWhollyVisible)
{
    QTemporaryDir dir;
    QProcess scaled;
    scaled.setProcessChannelMode(QProcess::MergedChannels);
    scaled.start(QCoreApplication::applicationFilePath(), {"--scaled-windows", dir.path()});
    ASSERT_TRUE(WaitFor([&] { return scaled.state() == QProcess::NotRunning; }));
    EXPECT_EQ(scaled.exitCode(), 0) << scaled.readAll().toStdString();
}

namespace {

// The child of the test above: the program's windows at QT_SCALE_FACTOR=2.
int ShowScaledWindows(int argc, char **argv, const QString &folder)
{
    setenv("QT_SCALE_FACTOR", "2", 1);
    QApplication app(argc, argv);
    auto windows = StartUp(folder);
    QWidget *shown[] = {windows->fctrl.get(), windows->notepad.get(), windows->About()};
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    int failures = 0;
    for (QWidget *w : shown) {
        w->show();
        const bool framed = Framed(w);
        // Let a correction after the frame came take effect.
        WaitFor([&] { return screen.contains(w->frameGeometry()); });
        const QRect g = w->frameGeometry();
        if (!framed || !screen.contains(g)) {
            ++failures;
            std::printf("%s at %d,%d %dx%d is not inside %dx%d%s\n",
                        w->objectName().toUtf8().data(), g.x(), g.y(), g.width(), g.height(),
                        screen.width(), screen.height(), framed ? "" : " (no frame)");
        }
    }
    return failures == 0 ? 0 : 1;
}

// The session's accessibility bus as a screen reader meets it.
class AtspiBus : public QObject {
    Q_OBJECT

  public:
    // What programs told, a line each: "<focused, showing or Activate>
    // <role> <name>: <description>", as the source says at that moment,
    // "caret <name>" for a caret moved away from the focus: one just before
    // a focus makes a screen reader take it for the focus, and drop the
    // focus itself; or "<read-only or busy> <0 or 1> <name>".
    QStringList told;
    // The most characters any one text event carried.
    int longestText = 0;

    // Starts the bus in a folder of this run's, where no other run meets it.
    bool Start(const QString &runtimeDir)
    {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        const QMap<QString, QString> env{{"XDG_RUNTIME_DIR", runtimeDir},
                                         {"DISPLAY", qEnvironmentVariable("DISPLAY")}};
        QDBusConnection::sessionBus().interface()->call("UpdateActivationEnvironment",
                                                        QVariant::fromValue(env));
        const QDBusReply<QString> address =
            QDBusInterface("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus").call("GetAddress");
        bus_ = QDBusConnection::connectToBus(address.value(), "atspi");
        bool ok = address.isValid();
        for (const QString member : {"Object.StateChanged", "Object.TextCaretMoved",
                                     "Object.TextChanged", "Window.Activate"})
            ok = ok
                 && bus_.connect({}, {}, "org.a11y.atspi.Event." + member.section('.', 0, 0),
                                 member.section('.', 1), this, SLOT(Heard(QDBusMessage)));
        // Programs tell only what a listener asked the registry for.
        QDBusInterface registry("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                                "org.a11y.atspi.Registry", bus_);
        for (const char *kind :
             {"object:state-changed:focused", "object:state-changed:showing",
              "object:state-changed:read-only", "object:state-changed:busy",
              "object:text-caret-moved", "object:text-changed", "window:activate"})
            ok = ok
                 && registry.call("RegisterEvent", kind, QStringList(), QString()).type()
                        == QDBusMessage::ReplyMessage;
        return ok;
    }

  private slots:
    void Heard(const QDBusMessage &m)
    {
        if (m.member() == "TextChanged") {
            longestText = std::max(longestText, m.arguments()[2].toInt());
            return;
        }
        const QString kind =
            m.member() == "StateChanged" ? m.arguments()[0].toString() : m.member();
        QDBusInterface source(m.service(), m.path(), "org.a11y.atspi.Accessible", bus_);
        if (kind == "read-only" || kind == "busy") {
            told << QString("%1 %2 %3")
                        .arg(kind)
                        .arg(m.arguments()[1].toInt())
                        .arg(source.property("Name").toString());
            return;
        }
        if (kind != m.member() && m.arguments()[1].toInt() == 0)
            return; // a state lost
        const QString name = source.property("Name").toString();
        if (kind == "TextCaretMoved") {
            if (name != focus_)
                told << "caret " + name;
            return;
        }
        if (kind == "focused")
            focus_ = name;
        told << QString("%1 %2 %3: %4")
                    .arg(kind)
                    .arg(source.call("GetRole").arguments().value(0).toUInt())
                    .arg(name, source.property("Description").toString());
    }

  private:
    QDBusConnection bus_{QString()};
    QString focus_;
};

} // namespace

TEST_F(X11Test, AScreenReaderHearsWhatTheKeysDidButNeverThePasswordAndAboutAsItOpens)
{
    static QTemporaryDir runtime;
    AtspiBus bus;
    ASSERT_TRUE(bus.Start(runtime.path()));
    RunningCopy copy; // telling the bus, as once a screen reader runs
    copy.extraEnvironment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    ASSERT_TRUE(copy.Start()) << copy.Errors();
    auto heard = [&](const QString &told) {
        const QRegularExpression line("^" + told + "$",
                                      QRegularExpression::DotMatchesEverythingOption);
        return WaitFor([&] { return bus.told.indexOf(line) >= 0; });
    };
    // Roles: 101 a notification, 44 a radio button, 61 a text, 16 a dialog.
    const struct {
        const char *keys, *told;
    } handOff[] = {
        {"Tab Return", "showing 101 New password, \\d+\\.\\d bits: "}, // Generate
        {"Tab Return", "showing 101 password moved to clipboard: "},   // Use
        {"Return", "showing 101 Password back in the box: "},          // Recall
        {"Tab Tab Tab Tab Tab Tab", "focused 44 Any: "}, // past Exit and the check boxes
    };
    for (const auto &step : handOff) {
        bus.told.clear();
        Keys(step.keys);
        EXPECT_TRUE(heard(step.told)) << step.told << "\n" << bus.told.join('\n').toStdString();
    }

    bus.told.clear();
    const QString list = "focused 61 Special characters list: ";
    const struct {
        const char *keys;
        QString lands;
    } modes[] = {
        {"Down", list + "Any except those below: the special characters typed here are left out"},
        {"shift+Tab", "focused 44 Any except those below: "},
        {"Down", list + "Only those below: only the special characters typed here are used"},
        {"shift+Tab", "focused 44 Only those below: "}, // and no more focus in the list
    };
    QStringList expected;
    const QRegularExpression focus("^(focused|caret) ");
    for (const auto &step : modes) {
        Keys(step.keys);
        expected << step.lands;
        WaitFor([&] { return bus.told.filter(focus).size() >= expected.size(); });
    }
    EXPECT_EQ(bus.told.filter(focus), expected);

    Keys("F10 Right Right Return");
    EXPECT_TRUE(heard("Activate 16 About: QUORVIN\\nfor strong password generation\\nProgram "
                      "version [^\\n]+\\n.*\\n"
                      + QRegularExpression::escape(copy.Folder().toLower())
                      + "/quorvin\\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d"))
        << bus.told.join('\n').toStdString();
    copy.process.terminate();
    EXPECT_TRUE(copy.Ended());
}

TEST_F(X11Test, AScreenReaderHearsWhatTheNotepadDidAndNeverMoreThanAScreenOfTextAtOnce)
{
    static QTemporaryDir runtime;
    AtspiBus bus;
    ASSERT_TRUE(bus.Start(runtime.path()));
    RunningCopy copy;
    // Many slices to fill, typed into at once; the show's caret, at character
    // 32000 of the file, stands on the line that holds it.
    const QByteArray line = "a line of a large note, told a slice at a time\r\n";
    RunningCopy::Write(copy.Folder() + "/npad.txt", line.repeated(40000));
    const QString caretLine = QString::number(32000 / line.size() + 1);
    copy.extraEnvironment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    bus.told.clear();
    ASSERT_TRUE(copy.Start()) << copy.Errors();
    const auto yesYes = [&copy] { // two boxes of one title, one after the other
        QString box;
        for (int i = 0; i < 2; ++i) {
            const QString before = box;
            if (!WaitFor(
                    [&] { return (box = copy.Window(" Notepad")) != before && !box.isEmpty(); }))
                return false;
            QProcess::execute("xdotool", {"windowactivate", "--sync", box});
            Keys("Return");
        }
        return WaitFor([&] { return copy.Window(" Notepad").isEmpty(); });
    };
    const auto search = [] {
        if (!WaitFor([] {
                return Output({"xdotool", "getactivewindow", "getwindowname"})
                       != "quorvin - Notepad\n";
            }))
            return false;
        QProcess::execute("xdotool", {"type", "fox"});
        Keys("Return");
        return true;
    };
    const auto outside = [&copy] {
        if (!RunningCopy::ActiveIs("quorvin - Notepad"))
            return false;
        RunningCopy::Write(copy.Folder() + "/npad.txt", "another program's");
        return true;
    };
    const struct {
        const char *keys;
        std::function<bool()> then;
        QString told; // in this order, among what else is told
    } steps[] = {
        {"", {}, "read-only 1 Note.*busy 1 Note"}, // read, held for the notepad
        {"F10 Right Return x",
         {},
         "showing 101 The note is coming in\\.: .*read-only 0 Note.*busy 0 Note.*"
         "showing 101 The note is in, the caret on line "
             + caretLine},
        {"F10 Left Left Return", yesYes, "showing 101 The notepad is now empty\\.: "},
        {"f o x Return f o x F10 Right Right Right", {}, "focused 35 Export: (?:(?!focused).)*$"},
        {"Down Return", {}, "showing 101 Exported OK, the caret at the start of the note\\.: "},
        {"F10 Left Return", search, "showing 101 fox, line 1: "},
        {"F3", {}, "showing 101 fox, line 2: "},
        {"Escape F10 Right Return", outside,
         "showing 101 The note was changed by another program and is shown again\\.: "},
    };
    for (const auto &step : steps) {
        for (const QString &key : QString(step.keys).split(' ', Qt::SkipEmptyParts))
            Keys(key.toLatin1().constData());
        if (step.then) {
            ASSERT_TRUE(step.then()) << step.keys;
        }
        const QRegularExpression told(step.told, QRegularExpression::DotMatchesEverythingOption);
        EXPECT_TRUE(WaitFor([&] { return told.match(bus.told.join('\n')).hasMatch(); }))
            << step.keys << "\n"
            << bus.told.join('\n').toStdString();
        EXPECT_LE(bus.longestText, 4000) << step.keys; // about a screenful
        bus.told.clear();
    }
    copy.process.terminate();
    EXPECT_TRUE(copy.Ended());
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--scaled-windows") == 0)
        return ShowScaledWindows(1, argv, QString::fromLocal8Bit(argv[2]));

    X11Session session;
    std::string reason;
    if (!session.Start(kScreenWidth, kScreenHeight, reason)) {
        std::fprintf(stderr, "no X11 session: %s\n", reason.c_str());
        return 1;
    }
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // GNOME orders dialog buttons the other way round: the hardest case.
    // Qt's own GNOME theme, the same whether or not a GTK theme plugin is
    // installed (which would bring GTK and its accessibility bus along).
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    setenv("QT_QPA_PLATFORMTHEME", "gnome", 1);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "test_x11.moc"
