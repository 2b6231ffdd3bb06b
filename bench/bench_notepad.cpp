// The notepad with large notes (lines of 200 characters) against Qt's own
// editor doing the same work at the same moment. Each goal case has its
// baseline beside it:
//   show from the menu          BM_ShowFromMenu       / BM_BareEditorShow
//   F3 over the whole note      BM_FindNext           / BM_BareFind, BM_BareFindLoop
//   autosave, longest GUI wait  BM_AutosaveWait       / BM_BareKeystrokeWait
//   another program's change    BM_OutsideChangeWait  / BM_BareOutsideChangeWait
//   keystroke, journal included BM_Keystroke          / BM_BareEditorKeystroke
//   journal syncs while typing  BM_JournalSyncsWhileTyping (a count)
//   bytes written per save      BM_BytesWrittenPerSave (against the note's size;
//                               TMPDIR names the file system measured)
//   keystroke in one long line  BM_LongLineKeystroke  / BM_BareLongLineKeystroke
// The start-up to the main window drawn, and its resident memory, are
// measured by startup_probe against a minimal Qt window.
#include "cdatlib.h"
#include "filewriting.h"
#include "heap.h"
#include "notejournal.h"
#include "notepad.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

namespace {

QTemporaryDir *g_dir;

std::map<int, QByteArray> g_made;

QByteArray NoteBytes(int megabytes)
{
    QByteArray &bytes = g_made[megabytes];
    if (bytes.isEmpty()) {
        const QByteArray line = QByteArray(190, 'x').append("\r\n");
        for (int i = 0; i < megabytes * 5000; ++i)
            bytes += QByteArray::number(i).rightJustified(10, '0') + line;
    }
    return bytes;
}

QString NoteText(int megabytes)
{
    return QString::fromLatin1(NoteBytes(megabytes)).replace("\r\n", "\n");
}

// A folder holding a note of that size.
QString NoteFolder(int megabytes)
{
    const QString folder = g_dir->filePath(QString::number(megabytes));
    if (!QFile::exists(folder + "/npad.txt")) {
        QDir().mkpath(folder);
        QFile f(folder + "/npad.txt");
        const QByteArray bytes = NoteBytes(megabytes);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            std::abort();
    }
    return folder;
}

void Settle()
{
    QCoreApplication::processEvents();
}

// A notepad over a note of its own, as the start-up makes them, ended as
// the program's end does: no journal is left for the next case to recover.
class Notepad {
  public:
    Notepad() = default;
    explicit Notepad(const QString &folder)
        : store_(MakeNoteStore(NotePlace(folder))), window_(std::make_unique<TFnotepad>(*store_))
    {
        store_->SetMemoryRelease(ReleaseFreeMemory); // as the start-up sets it
        ReleaseFreeMemoryWhenHidden(window_.get());
    }
    Notepad(Notepad &&) = default;
    Notepad &operator=(Notepad &&other)
    {
        reset();
        store_ = std::move(other.store_);
        window_ = std::move(other.window_);
        return *this;
    }
    ~Notepad() { reset(); }

    void reset()
    {
        if (store_)
            store_->End();
        window_.reset();
        store_.reset();
    }
    explicit operator bool() const { return bool(window_); }
    TFnotepad *operator->() const { return window_.get(); }
    TFnotepad &operator*() const { return *window_; }
    NoteStore &Store() const { return *store_; }

  private:
    std::unique_ptr<NoteStore> store_;
    std::unique_ptr<TFnotepad> window_;
};

// The notepad as the start-up leaves it: made, its note read and put into
// the memo once the main window is drawn, hidden.
Notepad StartedNotepad(int megabytes)
{
    NotepadStartUp();
    Notepad np(NoteFolder(megabytes));
    np->resize(425, 380);
    np->FillMemo();
    while (np.Store().FirstReadPending())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Settle();
    return np;
}

// Shows it and waits until its note is in the memo.
void ShowSettled(TFnotepad &np)
{
    np.show();
    while (!np.Settled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Settle();
}

std::unique_ptr<QPlainTextEdit> BareEditor(const QString &text)
{
    auto e = std::make_unique<QPlainTextEdit>();
    // The memo's font: the same glyphs to shape.
    QFont f("Arial");
    f.setPointSize(10);
    e->setFont(f);
    e->resize(425, 357);
    e->setPlainText(text);
    Settle();
    return e;
}

void ShowAndHide(benchmark::State &state, QWidget &w)
{
    for (auto _ : state) {
        w.show();
        Settle();
        state.PauseTiming();
        w.hide();
        Settle();
        state.ResumeTiming();
    }
}

void BM_ShowFromMenu(benchmark::State &state)
{
    auto np = StartedNotepad(int(state.range(0)));
    ShowSettled(*np); // the first show puts the note in: later ones are measured
    np->hide();
    Settle();
    ShowAndHide(state, *np);
}
BENCHMARK(BM_ShowFromMenu)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_BareEditorShow(benchmark::State &state)
{
    auto e = BareEditor(NoteText(int(state.range(0))));
    ShowAndHide(state, *e);
}
BENCHMARK(BM_BareEditorShow)->Arg(10)->Unit(benchmark::kMillisecond);

// F3 from the start for a text found only at the very end.
void BM_FindNext(benchmark::State &state)
{
    auto np = StartedNotepad(int(state.range(0)));
    ShowSettled(*np);
    np->Memo1->appendPlainText("NeedleAtTheEnd");
    Notes().SearchText = "needleattheend";
    QTextCursor start(np->Memo1->document());
    for (auto _ : state) {
        np->Memo1->setTextCursor(start);
        np->FindNext();
        while (!np->Settled()) // a large note is searched between events
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (np->Memo1->textCursor().selectionStart() == 0)
            state.SkipWithError("not found");
    }
}
BENCHMARK(BM_FindNext)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

// The editor's own find for the same text, which holds the window throughout.
void BM_BareFind(benchmark::State &state)
{
    auto e = BareEditor(NoteText(int(state.range(0))));
    e->show();
    Settle();
    e->appendPlainText("NeedleAtTheEnd");
    QTextCursor start(e->document());
    for (auto _ : state) {
        e->setTextCursor(start);
        if (!e->find("needleattheend"))
            state.SkipWithError("not found");
    }
}
BENCHMARK(BM_BareFind)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

// What reading the whole document costs the editor itself, block by block.
void BM_BareFindLoop(benchmark::State &state)
{
    auto e = BareEditor(NoteText(int(state.range(0))));
    for (auto _ : state) {
        qsizetype chars = 0;
        for (QTextBlock b = e->document()->begin(); b.isValid(); b = b.next())
            chars += b.text().size();
        benchmark::DoNotOptimize(chars);
    }
}
BENCHMARK(BM_BareFindLoop)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

// The longest the event loop waits, while the autosave runs, between ticks
// of a 1 ms timer: how long a keystroke would wait at worst.
template <typename Save, typename Done>
void LongestWait(
    benchmark::State &state, Save save, Done done, std::function<void()> reset = [] {})
{
    qint64 worst = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        qint64 last = 0, longest = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            if (!clock.isValid())
                return; // a tick before the measure began
            longest = std::max(longest, clock.nsecsElapsed() - last);
            last = clock.nsecsElapsed();
        });
        ticker.start(1);
        Settle();
        clock.start();
        save();
        while (!done())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Settle();
        longest = std::max(longest, clock.nsecsElapsed() - last);
        state.SetIterationTime(double(longest) / 1e9);
        worst = std::max(worst, longest);
        reset(); // unmeasured: the ground for the next round
    }
    // The time shown is the rounds' mean; a goal is on the longest.
    state.counters["longest_ms"] = double(worst) / 1e6;
}

// Resident memory and its peak since the last reset, in MB.
double StatusMb(const char *key)
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(std::strlen(key))).trimmed().split(' ').first().toDouble()
                   / 1024;
    return -1;
}

void ResetPeak()
{
    QFile f("/proc/self/clear_refs");
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// From the notepad made as the start-up makes it, its note read once the
// main window is drawn, to the notepad shown with its note, ready for
// typing; the resident memory and its peak before the first show and after.
void BM_StartToShownWait(benchmark::State &state)
{
    const int megabytes = int(state.range(0));
    NoteFolder(megabytes);
    g_made.clear(); // the benchmark's own copy would count as the program's
    Notepad np;
    double before = 0, beforePeak = 0;
    LongestWait(
        state,
        [&] {
            np.reset();
            Settle();
            ResetPeak();
            QTimer::singleShot(0, [&] {
                NotepadStartUp();
                np = Notepad(NoteFolder(megabytes));
                np->resize(425, 380);
                QTimer::singleShot(0, [&] { np->FillMemo(); });
            });
        },
        [&] {
            if (!np || np->isVisible() || np.Store().FirstReadPending())
                return np && np->isVisible() && np->Settled();
            // Read, not yet shown: what the start-up leaves behind.
            ReleaseFreeMemory();
            before = StatusMb("VmRSS:");
            beforePeak = StatusMb("VmHWM:");
            ResetPeak();
            np->show();
            return false;
        });
    state.counters["rss_before_show_MB"] = before;
    state.counters["peak_before_show_MB"] = beforePeak;
    state.counters["rss_shown_MB"] = StatusMb("VmRSS:");
    state.counters["peak_shown_MB"] = StatusMb("VmHWM:");
}
BENCHMARK(BM_StartToShownWait)
    ->Arg(0) // the same program with an empty note: the memory's floor
    ->Arg(10)
    ->Arg(50)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Qt's own editor made, given the text and shown, in the same run.
void BM_BareEditorFirstShowWait(benchmark::State &state)
{
    const int megabytes = int(state.range(0));
    std::unique_ptr<QPlainTextEdit> e;
    LongestWait(
        state,
        [&] {
            e.reset();
            QTimer::singleShot(0, [&] {
                e = BareEditor(NoteText(megabytes));
                g_made.clear(); // only the editor holds the text
                ReleaseFreeMemory();
                ResetPeak();
                e->show();
            });
        },
        [&] { return e && e->isVisible(); });
    state.counters["rss_shown_MB"] = StatusMb("VmRSS:");
    state.counters["peak_shown_MB"] = StatusMb("VmHWM:");
}
BENCHMARK(BM_BareEditorFirstShowWait)
    ->Arg(10)
    ->Arg(50)
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The notepad's commands on a shown note: the longest wait each leaves the
// event loop with. Boxes they open are answered Yes, or OK.
const char *const kCommands[] = {"F3",           "Now!",    "Clear",
                                 "to Clipboard", "to File", "Close and show again"};

void AnswerBoxesYes(QTimer &answerer)
{
    QObject::connect(&answerer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            (box->defaultButton() ? box->defaultButton() : box->buttons().first())->click();
    });
    answerer.start(1);
}

void BM_CommandWait(benchmark::State &state)
{
    const int command = int(state.range(0));
    state.SetLabel(kCommands[command]);
    auto np = StartedNotepad(int(state.range(1)));
    ShowSettled(*np);
    Notes().SearchText = "needleattheend";
    np->Memo1->appendPlainText("NeedleAtTheEnd");
    QTimer answerer;
    AnswerBoxesYes(answerer);
    const bool reshow = command == 5;
    if (reshow) {
        g_made.clear(); // the benchmark's own copy would count as the program's
        ResetPeak();
    }
    bool done = false;
    LongestWait(
        state,
        [&] {
            done = false;
            QTimer::singleShot(0, [&] {
                np->Memo1->moveCursor(QTextCursor::Start);
                switch (command) {
                case 0:
                    np->FindNext();
                    break;
                case 1:
                    np->Now1Click();
                    break;
                case 2:
                    np->Clear1Click();
                    break;
                case 3:
                    np->toClipboard1Click();
                    break;
                case 4:
                    np->ExportToFile(g_dir->filePath("export.txt"));
                    break;
                case 5:
                    np->close();
                    np->show();
                    break;
                }
                done = true;
            });
        },
        [&] { return done && np->Settled(); },
        [&] {
            if (command == 2) // the note back for the next round
                np->Memo1->setPlainText(NoteText(int(state.range(1))));
        });
    if (reshow) {
        state.counters["rss_MB"] = StatusMb("VmRSS:");
        state.counters["peak_MB"] = StatusMb("VmHWM:");
    }
    // The clipboard keeps what was put on it: not for the next case to count.
    QGuiApplication::clipboard()->clear();
}
BENCHMARK(BM_CommandWait)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {10, 50}})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Another program appends a line to the shown note, which holds no change:
// the longest wait until the memo shows it.
void AppendLine(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::Append) || f.write("another program's line\r\n") < 0)
        std::abort();
}

void BM_OutsideChangeWait(benchmark::State &state)
{
    const int megabytes = int(state.range(0));
    const QString folder = g_dir->filePath(QString("outside-%1").arg(megabytes));
    QDir().mkpath(folder);
    QFile::remove(folder + "/npad.txt");
    QFile::copy(NoteFolder(megabytes) + "/npad.txt", folder + "/npad.txt");
    NotepadStartUp();
    Notepad np(folder);
    np->resize(425, 380);
    ShowSettled(*np);
    int before = 0;
    LongestWait(
        state,
        [&] {
            before = np->Memo1->document()->characterCount();
            AppendLine(folder + "/npad.txt");
        },
        [&] { return np->Settled() && np->Memo1->document()->characterCount() > before; });
}
BENCHMARK(BM_OutsideChangeWait)
    ->Arg(10)
    ->Arg(50)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Qt's own editor reading the changed file and taking its text, as an editor
// that reads on its window's thread does.
void BM_BareOutsideChangeWait(benchmark::State &state)
{
    const int megabytes = int(state.range(0));
    const QString path = g_dir->filePath(QString("bare-outside-%1.txt").arg(megabytes));
    QFile::remove(path);
    QFile::copy(NoteFolder(megabytes) + "/npad.txt", path);
    auto e = BareEditor(NoteText(megabytes));
    e->show();
    Settle();
    bool done = false;
    LongestWait(
        state,
        [&] {
            done = false;
            AppendLine(path);
            QTimer::singleShot(0, [&] {
                QFile f(path);
                if (!f.open(QIODevice::ReadOnly))
                    std::abort();
                e->setPlainText(QString::fromUtf8(f.readAll()).replace("\r\n", "\n"));
                done = true;
            });
        },
        [&] { return done; });
}
BENCHMARK(BM_BareOutsideChangeWait)
    ->Arg(10)
    ->Arg(50)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_AutosaveWait(benchmark::State &state)
{
    auto np = StartedNotepad(int(state.range(0)));
    ShowSettled(*np);
    np.Store().StartTracking();
    np->Timer1->setInterval(0); // each change's countdown ends at once
    g_made.clear();
    ResetPeak();
    LongestWait(
        state, [&] { np->Memo1->textCursor().insertText("k"); },
        [&] { return !np.Store().Tracker().Dirty; });
    Settle();
    state.counters["rss_MB"] = StatusMb("VmRSS:");
    state.counters["peak_MB"] = StatusMb("VmHWM:");
}
BENCHMARK(BM_AutosaveWait)->Arg(10)->Arg(50)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same measure around one keystroke in Qt's own editor.
void BM_BareKeystrokeWait(benchmark::State &state)
{
    auto e = BareEditor(NoteText(int(state.range(0))));
    e->show();
    Settle();
    bool typed = false;
    LongestWait(
        state,
        [&] {
            typed = false;
            QTimer::singleShot(0, [&] {
                e->textCursor().insertText("k");
                typed = true;
            });
        },
        [&] { return typed; });
}
BENCHMARK(BM_BareKeystrokeWait)->Arg(10)->Arg(50)->UseManualTime()->Unit(benchmark::kMillisecond);

// One keystroke in the middle of the note, drawn: a letter typed, and
// taken back by the next one.
void Keystrokes(benchmark::State &state, QPlainTextEdit *editor)
{
    editor->show();
    Settle();
    QTextCursor c = editor->textCursor();
    c.setPosition(editor->document()->characterCount() / 2);
    editor->setTextCursor(c);
    bool typed = false;
    for (auto _ : state) {
        if (typed)
            c.deletePreviousChar();
        else
            c.insertText("k");
        typed = !typed;
        Settle();
    }
}

void BM_Keystroke(benchmark::State &state)
{
    auto np = StartedNotepad(10);
    ShowSettled(*np);
    np.Store().StartTracking();
    Keystrokes(state, np->Memo1);
}
BENCHMARK(BM_Keystroke)->Unit(benchmark::kMicrosecond);

void BM_BareEditorKeystroke(benchmark::State &state)
{
    auto e = BareEditor(NoteText(10));
    Keystrokes(state, e.get());
}
BENCHMARK(BM_BareEditorKeystroke)->Unit(benchmark::kMicrosecond);

// Typing one key every that many milliseconds for three seconds: how often
// the journal is synced to the disk.
void BM_JournalSyncsWhileTyping(benchmark::State &state)
{
    auto np = StartedNotepad(10);
    ShowSettled(*np);
    np.Store().StartTracking();
    Settle();
    QTextCursor c(np->Memo1->document());
    c.movePosition(QTextCursor::End);
    for (auto _ : state) {
        const int before = np.Store().Journal().Syncs();
        QTimer keys;
        QObject::connect(&keys, &QTimer::timeout, [&] { c.insertText("k"); });
        QElapsedTimer clock;
        clock.start();
        keys.start(int(state.range(0)));
        while (clock.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        keys.stop();
        state.counters["syncs_per_s"] = (np.Store().Journal().Syncs() - before) / 3.0;
        state.counters["keys_per_s"] = 1000.0 / double(state.range(0));
    }
}
BENCHMARK(BM_JournalSyncsWhileTyping)->Arg(50)->Arg(330)->Iterations(1)->Unit(benchmark::kSecond);

// One of the counters of what this process has read and written, from
// /proc/self/io; -1 where the system keeps none.
qint64 IoCounter(const char *name)
{
    QFile f("/proc/self/io");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(QByteArray(name) + ':'))
            return line.mid(qsizetype(std::strlen(name)) + 1).trimmed().toLongLong();
    return -1;
}

// What goes towards the disk for each save while typing goes on: the note,
// written whole, and the journal the next key starts over it, whose base
// the file system shares with the note where it can (btrfs, XFS) and which
// is copied elsewhere. Counted as the pages are made dirty (write_bytes),
// so only what the disk is given. TMPDIR names the file system measured.
void BM_BytesWrittenPerSave(benchmark::State &state)
{
    const QString folder = g_dir->filePath(QString("saves-%1").arg(state.range(0)));
    QDir().mkpath(folder);
    const QString notePath = folder + "/npad.txt";
    QByteArray bytes = NoteBytes(int(state.range(0)));
    NoteJournal journal(folder + "/npad.journal", notePath);
    std::uint64_t change = 0;
    qint64 written = 0;
    for (auto _ : state) {
        const qint64 before = IoCounter("write_bytes");
        bytes[qsizetype(change % std::uint64_t(bytes.size()))] = 'k'; // what was typed
        JournalHeader saved;
        WriteOptions options;
        options.written = &saved.base;
        QString reason;
        if (before < 0 || !WriteFileAtomically(notePath, bytes, reason, options)) {
            state.SkipWithError("the note could not be written, or its bytes counted");
            break;
        }
        journal.Written(saved, change); // every change is in the note: the journal goes
        journal.Start(saved, {{0, 0, "k"}}, ++change); // the next key
        journal.Flush();
        written += IoCounter("write_bytes") - before;
    }
    journal.End(false);
    state.counters["note_MB"] = double(bytes.size()) / 1e6;
    state.counters["written_MB_per_save"] =
        double(written) / 1e6 / double(std::max<benchmark::IterationCount>(state.iterations(), 1));
}
BENCHMARK(BM_BytesWrittenPerSave)->Arg(10)->Arg(50)->Iterations(4)->Unit(benchmark::kMillisecond);

// A note of one line of that many characters, wrapped at the window's edge.
QString LongLine(qsizetype chars)
{
    QString line;
    while (line.size() < chars)
        line += "word and another ";
    line.truncate(chars);
    return line;
}

void BM_LongLineKeystroke(benchmark::State &state)
{
    NotepadStartUp();
    Notepad np(g_dir->filePath("long"));
    np->resize(425, 380);
    np->Memo1->setPlainText(LongLine(state.range(0)));
    np->show();
    np.Store().StartTracking();
    Keystrokes(state, np->Memo1);
}
BENCHMARK(BM_LongLineKeystroke)->Arg(100000)->Arg(440000)->Unit(benchmark::kMillisecond);

void BM_BareLongLineKeystroke(benchmark::State &state)
{
    auto e = BareEditor(LongLine(state.range(0)));
    Keystrokes(state, e.get());
}
BENCHMARK(BM_BareLongLineKeystroke)->Arg(100000)->Arg(440000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    SetHeapPolicy(); // as the program's start-up sets it
    LibraryStartUp();
    QTemporaryDir dir;
    g_dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
