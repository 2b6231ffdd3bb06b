// The notepad with a 10 MB note of 200-character lines, against what Qt
// itself needs for the same work.
#include "Notepad.h"
#include "cdatlib.h"
#include "notetext.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <sys/resource.h>

namespace {

QTemporaryDir *g_dir;
QByteArray g_bytes; // the note file

void MakeNote()
{
    const QByteArray line = QByteArray(198, 'x').append("\r\n");
    for (int i = 0; i < 50000; ++i) {
        QByteArray l = line;
        l.replace(0, 8, QByteArray::number(i).rightJustified(8, '0'));
        g_bytes += l;
    }
    QFile f(g_dir->filePath("npad.txt"));
    if (!f.open(QIODevice::WriteOnly) || f.write(g_bytes) != g_bytes.size())
        std::abort();
}

QString NoteText()
{
    return QString::fromLatin1(g_bytes).replace("\r\n", "\n");
}

long MinorFaults()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

void Settle()
{
    QCoreApplication::processEvents();
}

// Creation reads the note, the first show reads it again and puts the caret.
void BM_NotepadCreateAndShow(benchmark::State &state)
{
    for (auto _ : state) {
        NotepadStartUp();
        TFnotepad np(g_dir->path());
        np.show();
        Settle();
        state.PauseTiming();
        np.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_NotepadCreateAndShow)->Unit(benchmark::kMillisecond);

// Showing the notepad again: the note is read and compared, nothing replaced.
void BM_NotepadShowAgain(benchmark::State &state)
{
    NotepadStartUp();
    TFnotepad np(g_dir->path());
    for (auto _ : state) {
        np.show();
        Settle();
        state.PauseTiming();
        np.hide();
        Settle();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_NotepadShowAgain)->Unit(benchmark::kMillisecond);

// F3 over the whole text: a search text found only at the very end.
void BM_FindNextWholeText(benchmark::State &state)
{
    NotepadStartUp();
    TFnotepad np(g_dir->path());
    QTextCursor c = np.Memo1->textCursor();
    c.setPosition(0);
    np.Memo1->setTextCursor(c);
    np.Memo1->appendPlainText("NeedleAtTheEnd");
    Notes().SearchText = "needleattheend";
    for (auto _ : state) {
        np.Memo1->setTextCursor(c);
        np.FindNext();
        if (np.Memo1->textCursor().selectionStart() == 0)
            state.SkipWithError("not found");
    }
}
BENCHMARK(BM_FindNextWholeText)->Unit(benchmark::kMillisecond);

// The save step, from the memo's text to a file renamed into place.
void BM_SaveStep(benchmark::State &state)
{
    NotepadStartUp();
    TFnotepad np(g_dir->path());
    Notes().Tracker.TrackChanges = true;
    const long faults = MinorFaults();
    for (auto _ : state) {
        Notes().Tracker.Dirty = true;
        if (!np.SaveNotes())
            state.SkipWithError("write failed");
    }
    state.counters["faults"] = double(MinorFaults() - faults) / double(state.iterations());
    state.SetBytesProcessed(state.iterations() * g_bytes.size());
}
BENCHMARK(BM_SaveStep)->Unit(benchmark::kMillisecond);

// The same bytes written the same safe way, already encoded.
void BM_RawSafeWrite(benchmark::State &state)
{
    const QString path = g_dir->filePath("raw.txt");
    for (auto _ : state) {
        QSaveFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(g_bytes) != g_bytes.size() || !f.commit())
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * g_bytes.size());
}
BENCHMARK(BM_RawSafeWrite)->Unit(benchmark::kMillisecond);

// The same bytes written plainly, no temporary file and no sync.
void BM_RawPlainWrite(benchmark::State &state)
{
    const QString path = g_dir->filePath("plain.txt");
    for (auto _ : state) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || f.write(g_bytes) != g_bytes.size())
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(state.iterations() * g_bytes.size());
}
BENCHMARK(BM_RawPlainWrite)->Unit(benchmark::kMillisecond);

// One keystroke in the middle of the note; the same in a one-line note
// shows that its cost does not grow with the text.
void BM_Keystroke(benchmark::State &state)
{
    NotepadStartUp();
    TFnotepad np(g_dir->path());
    if (state.range(0) == 0)
        np.Memo1->setPlainText("short");
    Notes().Tracker.TrackChanges = true;
    QTextCursor c = np.Memo1->textCursor();
    c.setPosition(np.Memo1->document()->characterCount() / 2);
    for (auto _ : state) {
        c.insertText("k");
        c.deletePreviousChar();
    }
}
BENCHMARK(BM_Keystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The same keystroke in Qt's own editor: what the editor itself costs.
void BM_BareEditorKeystroke(benchmark::State &state)
{
    QPlainTextEdit e;
    e.setPlainText(NoteText());
    QTextCursor c = e.textCursor();
    c.setPosition(e.document()->characterCount() / 2);
    for (auto _ : state) {
        c.insertText("k");
        c.deletePreviousChar();
    }
}
BENCHMARK(BM_BareEditorKeystroke)->Unit(benchmark::kMicrosecond);

// The baselines run last: a second large editor in the process leaves the
// heap unlike the program's, and the notepad's cases would pay for it.
// What the notepad's show is measured against: Qt's own editor given the
// same text.
void BM_BareEditorShow(benchmark::State &state)
{
    const QString text = NoteText();
    for (auto _ : state) {
        QPlainTextEdit e;
        e.resize(425, 357);
        e.setPlainText(text);
        e.show();
        Settle();
    }
}
BENCHMARK(BM_BareEditorShow)->Unit(benchmark::kMillisecond);


} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    LibraryStartUp();
    NotepadStartUp(); // the program's allocator settings, for every case alike
    QTemporaryDir dir;
    g_dir = &dir;
    MakeNote();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
