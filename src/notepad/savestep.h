#pragma once

#include <QString>

#include <functional>

class NoteStore;
struct ExitReport;
struct NoteWrite;

// One save step of the note's store, for as long as it lives: a close, the
// program's end or the session's, or an autosave whose write needs an
// answer. It writes what is due, weighs what each write met (a failure,
// another program's change) and asks the user where it must; what it
// learns on the way (an answer put off, where the text was kept) is its
// own. Steps nest, through the event loops of their boxes and waits; a
// change on disk seen meanwhile is looked at once the last one ends.
class SaveStep {
  public:
    explicit SaveStep(NoteStore &store);
    ~SaveStep();
    SaveStep(const SaveStep &) = delete;
    SaveStep &operator=(const SaveStep &) = delete;

    // The close's writes: pending settings, then the text if it is dirty.
    // False when the text was due and is not in the note.
    bool Close();
    // The program's end: the same, then what became of unsaved text.
    ExitReport Exit();
    // A write's outcome, taken by the step: false when the text is neither
    // written nor kept elsewhere.
    bool Take(const NoteWrite &w);

  private:
    enum class Resolved { Written, Kept, Failed, PutOff };

    Resolved Resolve(const NoteWrite &w);
    bool WriteText();
    bool KeepTextAndShowFile();
    ExitReport KeepUnsavedOnExit();

    NoteStore &store_;
    Resolved last_ = Resolved::Written;
    QString keptIn_; // where the text went, when another program changed the note
};
