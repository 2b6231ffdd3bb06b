#pragma once

#include <QAccessible>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QEvent;
class QMouseEvent;
class QPlainTextEdit;
class QTextDocument;

// A change of the note's text: positions count each line break as one
// character.
struct MemoChange {
    qsizetype position = 0;
    qsizetype removed = 0;
    QString inserted;
};

// What an editor's report of a change (at `from`, `removed` characters
// gone, `added` come) did to a text of `before` characters that now has
// `after`: the characters that really went and came. The editor counts the
// last paragraph's end in both when a change reaches it. Nothing when the
// report does not add up, as when a whole text is replaced in two reports
// that each see the final text.
struct TextChange {
    qsizetype removed = 0, added = 0;
};
std::optional<TextChange> ReportedChange(qsizetype from, qsizetype removed, qsizetype added,
                                         qsizetype before, qsizetype after);

// The shown note's text, its one owner: the document the memo shows, and
// the file's text still to go into it (held until the notepad is first
// shown, or going in a slice at a time between events, each piece let go
// once in). Writers and the search read the text through Size and Slice;
// the user's changes come out as edits, which always add up to what the
// document holds. While text comes in, or while the notepad holds its
// input, what is typed into the memo waits, under the busy cursor, and
// lands in order once it can; the memo is read-only where typing can't go
// in. The memo's state is set here alone.
class NoteBuffer : public QObject {
    Q_OBJECT

  public:
    explicit NoteBuffer(QObject *parent = nullptr);
    ~NoteBuffer() override;

    QTextDocument *Document() const { return document_; }

    // The text as it is once all is in: its length, and its characters from
    // `from` on, `n` of them at most, a line break one character (U+2029 in
    // the document, '\n' in what is still to come).
    qsizetype Size() const;
    QString Slice(qsizetype from, qsizetype n) const;
    QString Text() const { return Slice(0, Size()); }
    // Whether the text is that of `pieces` joined, told to `done` at once
    // when their lengths differ, else once compared a slice at a time
    // between events: Changed when the text changed meanwhile, or another
    // comparison began.
    enum class Likeness { Same, Differs, Changed };
    void Compare(QStringList pieces, std::function<void(Likeness)> done);

    // The file's text in place of this one, told as no edit: it goes in at
    // once when small, else a slice at a time; `held`, it waits for Release.
    void Replace(QStringList pieces, bool held = false);
    void Release();
    // Text held, or still going in.
    bool Coming() const { return flow_ != Flow::Nothing; }
    bool Held() const { return flow_ == Flow::Held; }

    // The memo that shows the text, and takes the user's input for it;
    // none, before it goes.
    void SetView(QPlainTextEdit *memo);
    // While held (as many times as asked), what the user does in the memo
    // waits; keys that leave it (Escape, Tab) act at once.
    void HoldInput(bool hold);
    // Whether typing may go in at all.
    void SetEditable(bool editable);
    // What was held lands now, the text still to come put in at once first:
    // the program is ending.
    void LandInput();
    bool Incoming() const { return holds_ > 0 || Coming(); }

    // How memory is given back once a large text's pieces are let go.
    void SetMemoryRelease(std::function<void()> release) { release_ = std::move(release); }

  signals:
    // A change of the text by the user (typing, a paste, Undo) or by a
    // command (Now!, Clear).
    void edited(const MemoChange &change);
    // The text that came in is all in.
    void filled();

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    enum class Flow { Nothing, Held, Filling };

    void StartFill();
    void FillSlice() { Fill(4); }
    void Fill(int forMs);
    void FillFor(int ms); // slices of what is to come, for `ms` at most
    void EndFill();
    void Changed(int from, int removed, int added);
    void UpdateView();
    // Assistive tools learn what UpdateView changed.
    void TellState();
    void Replay(bool evenIncoming = false);
    bool HoldEvent(QEvent *event);
    bool replaying_ = false; // held input on its way in: not held again
    bool HoldPlace(QMouseEvent *mouse);
    void CompareSlice(unsigned which);
    void ReleaseMemory() const;

    QTextDocument *document_;
    int length_ = 0;        // the document's, as its last change left it
    unsigned revision_ = 0; // one more at every change
    bool changing_ = false; // the buffer's own change: no edit
    Flow flow_ = Flow::Nothing;
    QStringList pending_; // the text still to go in, from piece_, at_ on
    qsizetype piece_ = 0, at_ = 0;
    int caret_ = 0; // where the memo's caret was as the text began to go in
    QPointer<QPlainTextEdit> view_;
    // The memo and its viewport as objects, for the event filter: one on its
    // way out is no memo any more.
    QObject *viewObject_ = nullptr, *viewport_ = nullptr;
    int holds_ = 0;
    bool editable_ = true;
    QAccessible::State told_; // the memo's, as assistive tools were last told
    // What the user did in the memo while text came in: a key, a paste's
    // text as the clipboard had it, or a click's or drag's place (anchor -1:
    // where the caret's anchor is).
    struct HeldInput {
        std::unique_ptr<QEvent> event;
        std::optional<QString> pasted;
        int anchor = -1, position = -1;
    };
    std::deque<HeldInput> input_;
    // A comparison under way.
    struct Comparison {
        QStringList pieces;
        qsizetype piece = 0, at = 0;
        unsigned revision = 0;
        std::function<void(Likeness)> done;
        unsigned which = 0;
    };
    std::optional<Comparison> comparison_;
    unsigned comparisons_ = 0;
    std::function<void()> release_;
};
