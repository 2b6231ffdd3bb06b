#pragma once

#include "notefile.h"
#include "notestate.h"

#include <QMainWindow>

class QAction;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTimer;

// The notepad module's state, kept for the whole run.
struct NotepadState {
    QString ExeFolder; // where the note and its settings lie, ending with '/'
    QString SettingsPath;
    QString NotesPath;
    NoteTracker Tracker;
    NoteEncoding Encoding = NoteEncoding::Utf8; // of the note as last read or written
    QString SearchText;                         // lower case
    bool SearchFresh = false;
};
NotepadState &Notes();

// The notepad module's start-up step.
void NotepadStartUp();

// The folder for the note and its settings: the program folder when files
// can be created there, else the user's data folder.
QString DefaultNoteFolder();

// Boxes of the notepad carry " Notepad" as their caption.
void NotepadInfo(const QString &text);
bool NotepadAsk(const QString &text);

// The persistent note: loaded at every show, written 15 s after the first
// change and at every close, its font kept in "npad.ini".
class TFnotepad : public QMainWindow {
    Q_OBJECT

  public:
    // `noteFolder` empty: DefaultNoteFolder().
    explicit TFnotepad(const QString &noteFolder = {}, QWidget *parent = nullptr);

    bool LoadNotes();
    bool SaveNotes();
    void SetDirty(bool flag);
    void ReadFontSettings();
    bool WriteFontSettings();
    void ScrollToCaret();

    // The program is about to end: writes what is unsaved. False when the
    // note could not be written, so the program must stay open.
    bool SaveBeforeExit();

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
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void FormCreate();
    void FormShow();
    void Memo1Change(int from, int charsRemoved, int charsAdded);
    bool Memo1KeyDown(QKeyEvent *event);
    void Timer1Timer();
    void Timer2Timer();
    bool WriteText();
    // The memo's text to `path`; a failure is reported in the error box.
    bool WriteMemo(const QString &path, NoteEncoding &encoding);
    void LoadFailed(const QString &reason);
    void SetMemoFont(const QFont &font);

    QString folder_;
    bool applyingFont_ = false;
};
