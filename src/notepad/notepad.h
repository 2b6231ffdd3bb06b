#pragma once

#include "notestore.h"

#include <QMainWindow>
#include <QPointer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

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

// The note's store, asking and telling in the notepad's boxes; an empty
// folder: DefaultNotePlace().
std::unique_ptr<NoteStore> MakeNoteStore(const NotePlace &place = {});

// The persistent note, shown: loaded at every show, written 15 s after the
// first change and at every close, its font kept in "npad.ini". The note
// itself is `store`'s, which outlives the window.
class TFnotepad : public QMainWindow {
    Q_OBJECT

  public:
    explicit TFnotepad(NoteStore &store, QWidget *parent = nullptr);
    ~TFnotepad() override;

    // Starts the note's first reading, beside the window: the start-up does
    // so once the main window is drawn, the first show if it comes first.
    void FillMemo();

    void ScrollToCaret();

    // No show is under way (the note is read and in the memo, or failed),
    // and no search.
    bool Settled() const
    {
        return showing_ == Showing::No && !store_.Buffer().Coming() && !searching_ && !copying_;
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
    // `byItself`: the note became readable again, with no show of the user's.
    void FormShow(bool byItself = false);
    void FirstReadDone(bool ok);
    // The show's last step, once the note is read and in the memo: the caret.
    void ShowStep();
    void FinishExports();
    // 0 while the search may go on; else ReadSteps' kWait or kStop.
    qsizetype SearchHeld();
    void StopSearch();
    // The search's end: the match selected, or the box that says none is.
    void Found(std::optional<qsizetype> match);
    bool Memo1KeyDown(QKeyEvent *event);
    void Timer2Timer();
    void SetMemoFont(const QFont &font);

    NoteStore &store_;

    // A show under way: its load, then the note going into the memo.
    enum class Showing { No, Reading, Filling };
    Showing showing_ = Showing::No;
    bool sayWhenIn_ = false; // the show told that the note is coming in
    // A search, and a copy to the clipboard, under way.
    QPointer<TextReading> searching_, copying_;
};
