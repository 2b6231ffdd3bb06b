#pragma once

#include <QAccessible>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

class QEvent;
class QTimer;
class QMouseEvent;
class QPlainTextEdit;
class QTextDocument;

// A change of the note's text: positions count each line break as one
// character.
struct MemoChange {
    qsizetype position = 0;
    qsizetype removed = 0;
    QString inserted;
    std::uint64_t number = 0; // the buffer's count of changes, this one included
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

class NoteBuffer;

// What a reading of the text a slice at a time does (NoteBuffer::Read).
struct ReadSteps {
    static constexpr qsizetype kWait = -1; // until Resume
    static constexpr qsizetype kStop = -2; // the reading is over
    // A slice, read at `at`: where to read on from (as a rule, just after
    // it), or kWait, or kStop.
    std::function<qsizetype(qsizetype at, const QString &slice)> each;
    // The end of the text reached: where to read on from, or kStop.
    std::function<qsizetype()> end;
    // The text changed from `position` on, with the reading at `at`: where
    // to read on from, or kStop. None: the reading is over.
    std::function<qsizetype(qsizetype position, qsizetype at)> changed;
};

// A reading of the buffer's text a slice at a time, a few milliseconds a
// turn between events; it goes once over, or with the buffer.
class TextReading : public QObject {
  public:
    TextReading(NoteBuffer &text, qsizetype from, qsizetype slice, ReadSteps steps);

    // Reads on, after kWait.
    void Resume();
    // Reads the rest now, without letting events in.
    void ReadAll();
    // Over, with nothing more told.
    void Cancel();

  private:
    friend class NoteBuffer; // takes the first turn
    void Turn(int forMs);
    void Changed(qsizetype position);

    NoteBuffer &text_;
    qsizetype at_, slice_;
    ReadSteps steps_;
    bool waiting_ = false, over_ = false;
    QTimer *turn_;
};

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
    // Reads the text from `from` on, `slice` characters at a time (never
    // between the halves of a pair), in turns between events, as `steps`
    // say. The one way to go through a large text.
    TextReading *Read(qsizetype from, qsizetype slice, ReadSteps steps);
    // How many times the text has changed: edits, and texts put in place.
    std::uint64_t Changes() const { return changes_; }
    // Whether the text is that of `pieces` joined, told to `done` at once
    // when their lengths differ, else once compared a slice at a time
    // between events: Changed when the text changed meanwhile, or another
    // comparison began.
    enum class Likeness { Same, Differs, Changed };
    void Compare(QStringList pieces, std::function<void(Likeness)> done);

    // Empties the text, as an edit (Clear).
    void Clear();
    // The index in the text of `position` as counted in the note file,
    // where each line break is two characters.
    qsizetype IndexOfFilePosition(qsizetype position) const;

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
    // What the user did is held, still to land.
    bool HoldsInput() const { return !input_.empty(); }

    // How memory is given back once a large text's pieces are let go.
    void SetMemoryRelease(std::function<void()> release) { release_ = std::move(release); }

  signals:
    // A change of the text by the user (typing, a paste, Undo) or by a
    // command (Now!, Clear).
    void edited(const MemoChange &change);
    // Another text put in place of this one (Replace), change number
    // Changes().
    void replaced();
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
    void ReleaseMemory() const;

    QTextDocument *document_;
    int length_ = 0;            // the document's, as its last change left it
    unsigned revision_ = 0;     // one more at every change
    std::uint64_t changes_ = 0; // ... of the text as a whole, not as it goes in
    bool changing_ = false;     // the buffer's own change: no edit
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
    QPointer<TextReading> comparison_;                        // one at a time
    std::shared_ptr<std::function<void(Likeness)>> compared_; // ... and who hears of it
    std::function<void()> release_;
};
