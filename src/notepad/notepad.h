#pragma once

#include "notedisk.h"
#include "notefile.h"
#include "notestate.h"

#include <QMainWindow>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QFileSystemWatcher;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QThread;
class QTimer;

// The notepad module's state, kept for the whole run.
struct NotepadState {
    QString ExeFolder; // where the note and its settings lie, ending with '/'
    QString SettingsPath;
    QString NotesPath;
    NoteTracker Tracker;
    NoteEncoding Encoding = NoteEncoding::Utf8; // of the note as last read or written
    FileIdentity Disk;                          // the note file as last read or written
    QString UnsavedFolder;                      // where text that can't go into the note is kept
    bool NoteReadOnly = false;                  // the note is shown from where it can't be kept
    QString SearchText;                         // lower case
    bool SearchFresh = false;
};
NotepadState &Notes();

// The notepad module's start-up step.
void NotepadStartUp();

// Gives the memory a large note's buffers have left free back to the system.
void ReleaseFreeMemory();

// The folder for the note and its settings: the program folder when it is a
// folder of the program's own in which files can be created, else the user's
// data folder, into which a note left in the program folder is carried.
NotePlace DefaultNotePlace();

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

    // Reads the note into the memo, reporting what keeps it from being read:
    // the start-up does so once the main window is drawn, the first show if
    // it comes first.
    void FillMemo();

    bool LoadNotes();
    bool SaveNotes();
    void SetDirty(bool flag);
    void ReadFontSettings();
    bool WriteFontSettings();
    void ScrollToCaret();

    // The program is about to end: writes what is unsaved, or keeps it in a
    // file of its own. `mayAsk` says whether the user can be asked (empty:
    // yes); without a user nothing is shown. False when the user chose to
    // stay, the text being neither written nor kept.
    bool SaveBeforeExit(const std::function<bool()> &mayAsk = {});

    void Save1Click();
    void Now1Click();
    void toClipboard1Click();
    void toFile1Click();
    bool ExportToFile(const QString &chosenName);
    void Font1Click();
    void End1Click();
    void Clear1Click();
    void Search1Click();
    void FindNext();

    QPlainTextEdit *Memo1;
    QPushButton *Button1;
    QTimer *Timer1, *Timer2;
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
    // Where the caret goes at a show: character 32000 as counted in the file.
    int ShowCaretIndex() const;
    void Memo1Change(int from, int charsRemoved, int charsAdded);
    bool Memo1KeyDown(QKeyEvent *event);
    void Timer1Timer();
    void Timer2Timer();
    void CarryNote(const QString &programFolder);
    bool ReadFirstTime();
    bool ReadNote();
    bool TakeRead(NoteRead &read);
    void PutNoteInMemo(bool quietly);
    void ShowChangeOnDisk();
    void WatchNote();
    bool WriteText();
    void StartWrite();
    void WaitForWrite();
    void FinishWrite();
    bool KeepTextAndShowFile();
    // The memo's text in the note's encoding to `path`; a failure is
    // reported in the error box when the user can be asked.
    bool WriteMemo(const QString &path, NoteEncoding &encoding, bool inPlaceIfNeeded = false);
    QString NewUnsavedPath() const;
    bool KeepUnsaved(const QString &path);
    bool KeepUnsavedOnExit();
    void ReportError(const QString &text);
    bool MayAsk() const { return !mayAsk_ || mayAsk_(); }
    void LoadFailed(const QString &reason);
    // A change of the memo made by the program that is no edit of the note.
    void ChangeQuietly(const std::function<void()> &change);
    void SetMemoFont(const QFont &font);

    NotePlace place_;
    QFileSystemWatcher *watcher_;
    std::function<bool()> mayAsk_;
    bool quiet_ = false;
    bool saving_ = false;

    bool firstRead_ = false; // the note's first reading is still to come

    QByteArray noteBytes_; // the note file as read, not yet in the memo
    bool notePending_ = false;
    bool diskShown_ = false;  // the memo holds the note file as last read or written
    std::uint64_t edits_ = 0; // changes of the memo's text so far

    // The autosave's write, made on a thread of its own.
    QThread *writer_ = nullptr;
    std::shared_ptr<NoteWrite> write_;
    std::uint64_t editsWritten_ = 0; // edits_ when its text was taken
};
