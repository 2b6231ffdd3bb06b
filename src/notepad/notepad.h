#pragma once

#include "notestore.h"

#include <QMainWindow>

#include <deque>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// The notepad module's state, kept for the whole run; the note's own is
// its store's.
struct NotepadState {
    QString SearchText; // lower case
    bool SearchFresh = false;
};
NotepadState &Notes();

// The notepad module's start-up step.
void NotepadStartUp();

// Boxes of the notepad carry " Notepad" as their caption.
void NotepadInfo(const QString &text);
bool NotepadAsk(const QString &text);

// The persistent note: loaded at every show, written 15 s after the first
// change and at every close, its font kept in "npad.ini".
class TFnotepad : public QMainWindow {
    Q_OBJECT

  public:
    // An empty folder: DefaultNotePlace().
    explicit TFnotepad(const NotePlace &place = {}, QWidget *parent = nullptr);
    ~TFnotepad() override;

    NoteStore &Store() { return *store_; }

    // Reads the note into the memo, reporting what keeps it from being read:
    // the start-up does so once the main window is drawn, the first show if
    // it comes first.
    void FillMemo();

    void ScrollToCaret();

    // No show is under way (the note is read and in the memo, or failed),
    // and no search.
    bool Settled() const
    {
        return showing_ == Showing::No && !filling_ && searchAt_ < 0 && !copying_;
    }

    void Save1Click();
    void Now1Click();
    void toClipboard1Click();
    void toFile1Click();
    // Starts the export; false when the user kept the file already there.
    // The notice, or the error, comes once the file is written.
    bool ExportToFile(const QString &chosenName);
    void Font1Click();
    void End1Click();
    void Clear1Click();
    void Search1Click();
    void FindNext();

    QPlainTextEdit *Memo1;
    QPushButton *Button1;
    QTimer *Timer1; // the store's autosave countdown
    QTimer *Timer2;
    QAction *Close1, *Save1, *Now1, *toClipboard1, *toFile1, *Font1, *End1, *Clear1, *Search1;
    QMenu *Export1;

  protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void BuildMenu();
    void BuildClientArea();
    void ConnectSignals();
    void FormCreate();
    void FormShow();
    void FirstReadDone(bool ok);
    // The show's last step, once the note is read and in the memo: the caret.
    void ShowStep();
    void FillSlice();
    void CopySlice(int forMs = 4);
    void FinishExports();
    qsizetype MemoSize() const;
    QString MemoSlice(qsizetype from, qsizetype n) const;
    void KeepCaret();
    void SearchSlice(unsigned run);
    void StopSearch();
    void EndOfFill();
    // The note still coming in: read, or going into the memo.
    bool Incoming() const { return showing_ != Showing::No || filling_; }
    // The memo's state as the note's coming in and the store allow.
    void UpdateMemo();
    // Where the caret goes at a show: character 32000 as counted in the file.
    int ShowCaretIndex() const;
    void Memo1Change(int from, int charsRemoved, int charsAdded);
    bool Memo1KeyDown(QKeyEvent *event);
    void Timer2Timer();
    void TakeTextFromDisk(const QStringList &pieces);
    void SetMemoFont(const QFont &font);

    std::unique_ptr<NoteUser> user_;
    NoteStore *store_;
    int memoLength_ = 0; // characters in the memo, as its last change left it

    enum class Showing { No, Reading, Filling };
    Showing showing_ = Showing::No;
    // A note going into the memo a slice at a time, each piece let go once
    // it is in: the piece and the place in it where the next slice begins.
    static constexpr qsizetype kFillSlice = 64 * 1024;
    bool filling_ = false;
    QStringList fill_;
    qsizetype fillPiece_ = 0;
    qsizetype fillAt_ = 0;
    int fillCaret_ = 0;
    // A search under way, a window of the memo at a time between events:
    // where the next window begins; -1 when none is under way.
    static constexpr qsizetype kSearchWindow = 1 << 18;
    qsizetype searchAt_ = -1;
    // What was typed into the memo while the note came in.
    struct HeldInput {
        std::unique_ptr<QEvent> event;
        QString pasted; // a paste, without an event
    };
    std::deque<HeldInput> held_;
    bool copying_ = false; // to the clipboard
    QString copy_;
    QTimer *copyTurn_;
    unsigned searchRun_ = 0; // one more for each search begun or ended
};
