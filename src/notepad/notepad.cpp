#include "notepad.h"

#include "announce.h"
#include "apptitle.h"
#include "boxes.h"
#include "cdatlib.h"
#include "datetext.h"
#include "flash.h"
#include "fontdialog.h"
#include "fonts.h"
#include "inpstr.h"
#include "keyboard.h"
#include "libstate.h"
#include "notecommands.h"
#include "notesettings.h"
#include "qtextutil.h"
#include "screenplace.h"
#include "userinput.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace {

// Where the caret goes when the notepad is shown, counted as in the file.
constexpr qsizetype kShowCaretPosition = 32000;

// The memo's paragraph ends as '\n' line breaks, as a user copies text.
void WithLineFeeds(QString &text)
{
    // A loop the compiler vectorises: many times QString::replace's pace.
    char16_t *p = reinterpret_cast<char16_t *>(text.data());
    for (qsizetype i = 0, n = text.size(); i < n; ++i)
        p[i] = p[i] == QChar::ParagraphSeparator ? u'\n' : p[i];
}

// The clipboard's copy is taken this many characters at a time, and the
// search goes through windows of this many.
constexpr qsizetype kCopySlice = 256 * 1024;
constexpr qsizetype kSearchWindow = 256 * 1024;

// The memo. A NUL character, which a paste can bring, has no place in a text
// note: the note file could not be read back.
class NoteMemo : public QPlainTextEdit {
  public:
    using QPlainTextEdit::QPlainTextEdit;

  protected:
    void insertFromMimeData(const QMimeData *source) override
    {
        if (!source->hasText() || !source->text().contains(QChar(0))) {
            QPlainTextEdit::insertFromMimeData(source);
            return;
        }
        QMimeData clean;
        clean.setText(source->text().remove(QChar(0)));
        QPlainTextEdit::insertFromMimeData(&clean);
    }
};

// The store's questions and notices, in the notepad's boxes; failures of
// file access in the toolkit's error box.
class NotepadBoxes : public NoteUser {
  public:
    NotepadBoxes() { WatchUserInput(); }
    ~NotepadBoxes() override { delete box_; } // unanswered: the store is gone

    void Show(Box box, const QString &text, bool byItself,
              std::function<void(Answer)> closed) override
    {
        const QScopedValueRollback title(Lib().BoxTitle, std::string("Notepad"));
        // The box is let go before its answer is told: the answer may show the next.
        const auto tell = [this, closed](Answer answer) {
            box_ = nullptr;
            closed(answer);
        };
        switch (box) {
        case Box::Question:
            box_ = ShowYesNoCancel(text, byItself, [tell](char answer) {
                tell(answer == 'Y' ? Answer::Yes : answer == 'N' ? Answer::No : Answer::Cancel);
            });
            break;
        case Box::Notice:
            box_ = ShowInfoBox(text, byItself, [tell] { tell(Answer::Yes); });
            break;
        case Box::Error:
            box_ = ShowErrorBox(text, byItself, [tell] { tell(Answer::Yes); });
            break;
        }
    }
    qint64 QuietFor() const override { return MsSinceUserInput(); }

  private:
    QPointer<QWidget> box_;
};

} // namespace

NotepadState &Notes()
{
    static NotepadState state;
    return state;
}

void NotepadStartUp()
{
    Notes() = NotepadState{};
}

void NotepadInfo(const QString &text)
{
    const QScopedValueRollback title(Lib().BoxTitle, std::string("Notepad"));
    InfoBox(text);
}

bool NotepadAsk(const QString &text)
{
    const QScopedValueRollback title(Lib().BoxTitle, std::string("Notepad"));
    return AskYes(text);
}

std::unique_ptr<NoteStore> MakeNoteStore(const NotePlace &place)
{
    return std::make_unique<NoteStore>(place.folder.isEmpty() ? DefaultNotePlace() : place,
                                       std::make_unique<NotepadBoxes>());
}

TFnotepad::TFnotepad(NoteStore &store, QWidget *parent) : QMainWindow(parent), store_(store)
{
    setObjectName("Fnotepad");
    setWindowTitle("Notepad");
    setFont(SansFont(11));
    BuildMenu();
    BuildClientArea();
    store_.Buffer().SetView(Memo1);

    Timer1 = store_.Countdown();
    Timer2 = new QTimer(this);
    Timer2->setSingleShot(true);
    Timer2->setInterval(500);
    ConnectSignals();

    // Outer 441 x 416 with its frame.
    resize(425, 357 + menuBar()->sizeHint().height());
    move(583, 136);
    KeepOnScreenWhenShown(this);
    Timer2->start();

    FormCreate();
}

void TFnotepad::BuildMenu()
{
    auto *bar = menuBar();
    UseMenuBarByKeys(this);
    Close1 = bar->addAction("Close");
    Save1 = bar->addAction("Save");
    Now1 = bar->addAction("Now!");
    Export1 = bar->addMenu("Export");
    Export1->setAccessibleName("Export"); // a menu's title is no name for a screen reader
    toClipboard1 = Export1->addAction("to Clipboard");
    toFile1 = Export1->addAction("to File");
    Font1 = bar->addAction("Font");
    End1 = bar->addAction("Scroll-to-cursor");
    Clear1 = bar->addAction("Clear");
    Search1 = bar->addAction("Search");
}

void TFnotepad::BuildClientArea()
{
    auto *client = new QWidget(this);
    setCentralWidget(client);

    // Under the memo: reached by Tab from it, and pressed by Enter or Space.
    Button1 = new QPushButton("Hidden", client);
    Button1->setDefault(true);
    Button1->setAccessibleName("Close"); // what it does; "Hidden" is its caption

    Memo1 = new NoteMemo(client);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setTabChangesFocus(true);
    Memo1->setAccessibleName("Note");
    Memo1->installEventFilter(this);
    // Both fill the client area; the memo lies on top.
    auto *grid = new QGridLayout(client);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(Button1, 0, 0);
    grid->addWidget(Memo1, 0, 0);
    Memo1->raise();
    setTabOrder(Memo1, Button1);
    // The keyboard starts in the memo, not on the button beneath it.
    Memo1->setFocus();
}

void TFnotepad::ConnectSignals()
{
    connect(Close1, &QAction::triggered, this, &QWidget::close);
    connect(Button1, &QPushButton::clicked, this, &QWidget::close);
    connect(Save1, &QAction::triggered, this, &TFnotepad::Save1Click);
    connect(Now1, &QAction::triggered, this, &TFnotepad::Now1Click);
    connect(toClipboard1, &QAction::triggered, this, &TFnotepad::toClipboard1Click);
    connect(toFile1, &QAction::triggered, this, &TFnotepad::toFile1Click);
    connect(Font1, &QAction::triggered, this, &TFnotepad::Font1Click);
    connect(End1, &QAction::triggered, this, &TFnotepad::End1Click);
    connect(Clear1, &QAction::triggered, this, &TFnotepad::Clear1Click);
    connect(Search1, &QAction::triggered, this, &TFnotepad::Search1Click);
    connect(Memo1, &QPlainTextEdit::cursorPositionChanged, this, &TFnotepad::StopSearch);
    connect(Timer2, &QTimer::timeout, this, &TFnotepad::Timer2Timer);
    connect(&store_, &NoteStore::readableAgain, this, [this] { FormShow(true); });
    connect(&store_, &NoteStore::firstReadDone, this, &TFnotepad::FirstReadDone);
    connect(&store_, &NoteStore::replacedFromDisk, this, [this] {
        Announce(this, "The note was changed by another program and is shown again.");
    });
    connect(&store_.Buffer(), &NoteBuffer::filled, this, [this] {
        if (showing_ == Showing::Filling)
            ShowStep(); // the show goes on
    });
}

TFnotepad::~TFnotepad()
{
    // Exports under way take the rest of the text and are written whole.
    store_.FinishTaking();
    store_.Buffer().SetView(nullptr); // the text outlives its memo
}

void TFnotepad::FormCreate()
{
    store_.Open();
    SetMemoFont(FontOf(store_.ReadFontSettings()));

    // A fixed light violet, so a fixed dark text colour with it.
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Base, QColor(235, 215, 255));
    pal.setColor(QPalette::Text, Qt::black);
    Memo1->setPalette(pal);

    if (!store_.FirstReadPending())
        setWindowTitle(ApplicationTitle() + " - Notepad");
    store_.SetDirty(false);
}

void TFnotepad::FillMemo()
{
    store_.StartFirstRead();
}

void TFnotepad::FirstReadDone(bool ok)
{
    if (ok) // else the caption keeps "Notepad"
        setWindowTitle(ApplicationTitle() + " - Notepad");
}

void TFnotepad::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    store_.SetShown(true);
    if (!event->spontaneous())
        FormShow();
}

void TFnotepad::hideEvent(QHideEvent *event)
{
    QMainWindow::hideEvent(event);
    // A window made small stays shown: it is seen again as it is.
    if (!event->spontaneous())
        store_.SetShown(false);
}

void TFnotepad::FormShow(bool byItself)
{
    showing_ = Showing::Reading;
    store_.LoadNotes(
        [this](bool ok) {
            showing_ = ok ? Showing::Filling : Showing::No;
            if (ok && !store_.Buffer().Coming())
                ShowStep();
        },
        byItself ? NoteAsker::Origin::ByItself : NoteAsker::Origin::User);
    // A note that takes its time is told as it comes, and once it is in.
    sayWhenIn_ = showing_ != Showing::No;
    if (sayWhenIn_)
        Announce(this, "The note is coming in.");
}

void TFnotepad::ShowStep()
{
    showing_ = Showing::No;
    store_.StartTracking();

    QTextCursor caret = Memo1->textCursor();
    caret.setPosition(int(store_.Buffer().IndexOfFilePosition(kShowCaretPosition)));
    Memo1->setTextCursor(caret);
    Timer2->start();
    // Told once what was typed meanwhile has landed, where the caret is.
    if (std::exchange(sayWhenIn_, false))
        QTimer::singleShot(0, this, [this] {
            Announce(this, QString("The note is in, the caret on line %1.")
                               .arg(Memo1->textCursor().blockNumber() + 1));
        });
}

void TFnotepad::closeEvent(QCloseEvent *event)
{
    if (store_.CloseQuery())
        event->accept();
    else
        event->ignore();
}

bool TFnotepad::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Memo1 && event->type() == QEvent::KeyPress)
        return Memo1KeyDown(static_cast<QKeyEvent *>(event));
    return QMainWindow::eventFilter(watched, event);
}

bool TFnotepad::Memo1KeyDown(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_F3:
        FindNext();
        return false; // the memo still sees it
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Shift+Enter would insert a line separator, which the note file has
        // no form for: every Enter starts a new line.
        if (event->modifiers() & Qt::ShiftModifier) {
            if (Memo1->isReadOnly())
                return true;
            Memo1->textCursor().insertBlock();
            Memo1->ensureCursorVisible();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void TFnotepad::Timer2Timer()
{
    ScrollToCaret();
    Timer2->stop();
}

void TFnotepad::ScrollToCaret()
{
    Memo1->ensureCursorVisible();
}

void TFnotepad::SetMemoFont(const QFont &font)
{
    Memo1->setFont(font);
}

void TFnotepad::Save1Click()
{
    NotepadInfo(store_.SaveReport());
}

void TFnotepad::Now1Click()
{
    if (Memo1->isReadOnly())
        return;
    Memo1->insertPlainText(QString::fromStdString(StampText(NowDateTime(), 2)));
}

void TFnotepad::toClipboard1Click()
{
    QTextCursor c = Memo1->textCursor();
    c.setPosition(0);
    Memo1->setTextCursor(c);
    // A large note is copied a slice at a time between events; a change
    // before what was copied takes the copy back to it. The notice comes
    // only once a paste would give the note.
    if (copying_)
        copying_->Cancel();
    auto copy = std::make_shared<QString>();
    copy->reserve(store_.Buffer().Size());
    copying_ = store_.Buffer().Read(0, kCopySlice,
                                    {[copy](qsizetype at, const QString &slice) {
                                         QString text = slice;
                                         WithLineFeeds(text);
                                         *copy += text;
                                         return at + slice.size();
                                     },
                                     [copy] {
                                         QGuiApplication::clipboard()->setText(*copy);
                                         // The caret's move to the start is heard with it.
                                         FlashNotice("Exported OK", "Exported OK, the caret at "
                                                                    "the start of the note.");
                                         return ReadSteps::kStop;
                                     },
                                     [copy](qsizetype position, qsizetype at) {
                                         if (position >= at)
                                             return at;
                                         copy->truncate(position);
                                         return position;
                                     }});
}

void TFnotepad::FinishExports()
{
    // Exports and a copy under way have the text as it was when asked for,
    // not an empty note.
    store_.FinishTaking();
    if (copying_)
        copying_->ReadAll();
}

void TFnotepad::toFile1Click()
{
    QFileDialog dialog(this);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter("Text files (*.txt)");
    dialog.setDirectory(QDir::currentPath());
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    ExportToFile(dialog.selectedFiles().constFirst());
}

bool TFnotepad::ExportToFile(const QString &chosenName)
{
    const QString name = CompleteExportName(chosenName);
    // The dialog asked only about the name as chosen.
    if (name != chosenName && QFileInfo::exists(name)
        && !NotepadAsk(QString("\"%1\" already exists - replace it ?").arg(name)))
        return false;
    store_.WriteCopy(name, [this](bool written) {
        if (!written)
            return;
        FlashNotice("Exported OK");
        QDir::setCurrent(store_.Folder());
    });
    return true;
}

void TFnotepad::Font1Click()
{
    NoteFontDialog dialog(Memo1->font(), Memo1->palette().color(QPalette::Text),
                          Memo1->palette().color(QPalette::Base), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The colour lasts until the program ends; only the font is kept.
    QPalette pal = Memo1->palette();
    pal.setColor(QPalette::Text, dialog.SelectedColour());
    Memo1->setPalette(pal);
    // The font kept as it is keeps its own name, as "Arial" does; either
    // way the confirmed font is what the settings take.
    if (!dialog.FontUnchanged())
        SetMemoFont(dialog.ChosenFont());
    store_.FontChosen(SettingsOf(Memo1->font()));
}

void TFnotepad::End1Click()
{
    ScrollToCaret();
}

void TFnotepad::Clear1Click()
{
    if (Memo1->isReadOnly())
        return;
    if (!NotepadAsk("Clear the notepad - are you sure ?"))
        return;
    if (!NotepadAsk("... really sure ? (last chance)"))
        return;
    FinishExports();
    store_.Buffer().Clear();
    store_.SetDirty(true);
    Announce(this, "The notepad is now empty.");
}

void TFnotepad::Search1Click()
{
    NotepadState &st = Notes();
    QString text = st.SearchText;
    if (!InputText("Search for", "(afterwards use F3 for Find Next)", text))
        return;
    st.SearchText = LowerAscii(text);
    if (st.SearchText.isEmpty())
        return;
    st.SearchFresh = true;
    FindNext();
}

void TFnotepad::FindNext()
{
    StopSearch(); // one search at a time: F3 again starts it over
    NotepadState &st = Notes();
    if (st.SearchText.isEmpty())
        return;
    const QTextCursor c = Memo1->textCursor();
    const int start = c.selectionStart();
    // A large note is never copied whole: the search goes a window at a
    // time, stops at the first match, and lets events in between. Windows
    // overlap by the search text less one: a match across two is found.
    const QString term = st.SearchText;
    auto tail = std::make_shared<QString>(); // the end of the window before
    searching_ = store_.Buffer().Read(
        SearchStart(start, c.selectionEnd() - start, store_.Buffer().Size()), kSearchWindow,
        {[this, term, tail](qsizetype at, const QString &slice) {
             if (const qsizetype held = SearchHeld())
                 return held;
             const QString window = *tail + slice;
             if (const auto found = FindFolded(window, term, 0)) {
                 Found(at - tail->size() + *found);
                 return ReadSteps::kStop;
             }
             *tail = window.right(term.size() - 1);
             return at + slice.size();
         },
         [this] {
             if (const qsizetype held = SearchHeld())
                 return held;
             Found(std::nullopt);
             return ReadSteps::kStop;
         },
         [](qsizetype, qsizetype) { return ReadSteps::kStop; }}); // positions have moved
}

qsizetype TFnotepad::SearchHeld()
{
    // The notepad put away, or the program's end, ends the search; a box
    // under way holds it until the focus comes back.
    if (!isVisible() || store_.Leaving())
        return ReadSteps::kStop;
    if (!QApplication::activeModalWidget())
        return 0;
    connect(
        qApp, &QGuiApplication::focusWindowChanged, this,
        [reading = searching_] {
            if (reading)
                reading->Resume();
        },
        Qt::SingleShotConnection);
    return ReadSteps::kWait;
}

void TFnotepad::StopSearch()
{
    if (searching_)
        searching_->Cancel();
    searching_ = nullptr;
}

void TFnotepad::Found(std::optional<qsizetype> match)
{
    searching_ = nullptr;
    NotepadState &st = Notes();
    if (!match) {
        ShowInfoBox(NotFoundText(st.SearchText, st.SearchFresh), false);
        return;
    }
    st.SearchFresh = false;
    QTextCursor c = Memo1->textCursor();
    c.setPosition(int(*match));
    c.setPosition(int(*match + st.SearchText.size()), QTextCursor::KeepAnchor);
    Memo1->setTextCursor(c);
    ScrollToCaret();
    Announce(this, QString("%1, line %2").arg(c.selectedText()).arg(c.blockNumber() + 1));
}
