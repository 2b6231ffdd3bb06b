#include "notebuffer.h"

#include "announce.h"
#include "notecommands.h"
#include "noteencoding.h"

#include <QAbstractTextDocumentLayout>
#include <QAccessible>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <limits>

namespace {

// A large text goes in this many characters at a time.
constexpr qsizetype kFillSlice = 64 * 1024;
// ... and is compared this many at a time.
constexpr qsizetype kCompareSlice = 256 * 1024;

// Up to this many characters, Clear removes the text as an edit that Undo
// brings back; a larger note is emptied at once, which takes a moment
// where the edit would take seconds.
constexpr int kUndoableClear = 2'000'000;

qsizetype SizeOf(const QStringList &pieces)
{
    qsizetype size = 0;
    for (const QString &piece : pieces)
        size += piece.size();
    return size;
}

// The characters from `from` on, `n` of them at most, of `pieces` joined,
// the first `skip` characters of piece `first` left out.
QString SliceOfPieces(const QStringList &pieces, qsizetype first, qsizetype skip, qsizetype from,
                      qsizetype n)
{
    QString text;
    for (qsizetype i = first; i < pieces.size() && text.size() < n; ++i) {
        const QStringView piece = QStringView(pieces.at(i)).sliced(i == first ? skip : 0);
        if (from < piece.size())
            text += piece.sliced(from, std::min(n - text.size(), piece.size() - from));
        from = std::max<qsizetype>(0, from - piece.size());
    }
    return text;
}

// The layout of a text no memo shows: none. The document tells its changes
// only with a layout.
class NoLayout : public QAbstractTextDocumentLayout {
  public:
    using QAbstractTextDocumentLayout::QAbstractTextDocumentLayout;
    void draw(QPainter *, const PaintContext &) override {}
    int hitTest(const QPointF &, Qt::HitTestAccuracy) const override { return -1; }
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override { return {}; }
    QRectF frameBoundingRect(QTextFrame *) const override { return {}; }
    QRectF blockBoundingRect(const QTextBlock &) const override { return {}; }

  protected:
    void documentChanged(int, int, int) override {}
};

} // namespace

std::optional<TextChange> ReportedChange(qsizetype from, qsizetype removed, qsizetype added,
                                         qsizetype before, qsizetype after)
{
    if (from < 0 || removed < 0 || added < 0 || from > before)
        return std::nullopt;
    const qsizetype went = std::min(removed, before - from);
    const qsizetype endCounted = removed - went;
    if (endCounted > 1 || added < endCounted || before - went + added - endCounted != after)
        return std::nullopt;
    return TextChange{went, added - endCounted};
}

NoteBuffer::NoteBuffer(QObject *parent) : QObject(parent), document_(new QTextDocument(this))
{
    document_->setDocumentLayout(new NoLayout(document_));
    connect(document_, &QTextDocument::contentsChange, this, &NoteBuffer::Changed);
}

NoteBuffer::~NoteBuffer()
{
    SetView(nullptr);
}

qsizetype NoteBuffer::Size() const
{
    qsizetype size = document_->characterCount() - 1;
    for (qsizetype i = piece_; i < pending_.size(); ++i)
        size += pending_.at(i).size() - (i == piece_ ? at_ : 0);
    return size;
}

QString NoteBuffer::Slice(qsizetype from, qsizetype n) const
{
    const qsizetype in = document_->characterCount() - 1;
    QString text;
    if (from == 0 && n >= in) {
        text = document_->toRawText(); // at once: no slice to find
    } else if (from < in) {
        QTextCursor c(document_);
        c.setPosition(int(from));
        c.setPosition(int(std::min(in, from + n)), QTextCursor::KeepAnchor);
        text = c.selectedText();
    }
    if (text.size() < n && piece_ < pending_.size())
        text += SliceOfPieces(pending_, piece_, at_, std::max<qsizetype>(0, from - in),
                              n - text.size());
    return text;
}

TextReading::TextReading(NoteBuffer &text, qsizetype from, qsizetype slice, ReadSteps steps)
    : QObject(&text), text_(text), at_(from), slice_(slice), steps_(std::move(steps)),
      turn_(new QTimer(this))
{
    // A timer, not a posted call: a loop run from inside a posted call (a
    // box, a wait) takes no older posted call until a new one comes.
    turn_->setSingleShot(true);
    turn_->setInterval(0);
    connect(turn_, &QTimer::timeout, this, [this] { Turn(4); });
    connect(&text, &NoteBuffer::edited, this,
            [this](const MemoChange &change) { Changed(change.position); });
    connect(&text, &NoteBuffer::replaced, this, [this] { Changed(0); });
}

void TextReading::Resume()
{
    if (!over_ && std::exchange(waiting_, false))
        turn_->start();
}

void TextReading::ReadAll()
{
    waiting_ = false;
    Turn(std::numeric_limits<int>::max());
}

void TextReading::Cancel()
{
    over_ = true;
    turn_->stop();
    deleteLater();
}

void TextReading::Changed(qsizetype position)
{
    if (over_)
        return;
    const qsizetype next = steps_.changed(position, at_);
    if (next == ReadSteps::kStop)
        Cancel();
    else
        at_ = next;
}

void TextReading::Turn(int forMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!over_ && !waiting_ && clock.elapsed() < forMs) {
        const qsizetype size = text_.Size();
        qsizetype next;
        if (at_ >= size) {
            next = steps_.end();
        } else {
            qsizetype n = std::min(slice_, size - at_);
            QString slice = text_.Slice(at_, n);
            if (at_ + n < size && slice.back().isHighSurrogate())
                slice += text_.Slice(at_ + n, 1); // never between the halves of a pair
            next = steps_.each(at_, slice);
        }
        if (over_)
            return; // cancelled by what it told
        if (next == ReadSteps::kStop) {
            Cancel();
            return;
        }
        waiting_ = next == ReadSteps::kWait;
        if (!waiting_)
            at_ = next;
    }
    if (!over_ && !waiting_)
        turn_->start();
}

TextReading *NoteBuffer::Read(qsizetype from, qsizetype slice, ReadSteps steps)
{
    QPointer reading = new TextReading(*this, from, slice, std::move(steps));
    reading->Turn(4); // a text of a few slices is read at once
    return reading;
}

void NoteBuffer::Compare(QStringList pieces, std::function<void(Likeness)> done)
{
    // One comparison at a time: one under way is over, its text as good as
    // changed.
    if (comparison_)
        comparison_->Cancel();
    if (const auto earlier = compared_ ? std::exchange(*compared_, {}) : nullptr)
        earlier(Likeness::Changed);
    if (Size() != SizeOf(pieces)) {
        done(Likeness::Differs);
        return;
    }
    auto whole = std::make_shared<QStringList>(std::move(pieces));
    compared_ = std::make_shared<std::function<void(Likeness)>>(std::move(done));
    const auto tell = [told = compared_](Likeness likeness) {
        if (const auto d = std::exchange(*told, {}))
            d(likeness);
    };
    comparison_ = Read(0, kCompareSlice,
                       {[whole, tell](qsizetype at, const QString &slice) {
                            if (SameNoteText(slice, SliceOfPieces(*whole, 0, 0, at, slice.size())))
                                return at + slice.size();
                            tell(Likeness::Differs);
                            return ReadSteps::kStop;
                        },
                        [tell] {
                            tell(Likeness::Same);
                            return ReadSteps::kStop;
                        },
                        [tell](qsizetype, qsizetype) {
                            tell(Likeness::Changed);
                            return ReadSteps::kStop;
                        }});
}

void NoteBuffer::Clear()
{
    // A screen reader is told the notepad is empty, not every character
    // that went.
    const QuietText quiet(view_);
    if (document_->characterCount() <= kUndoableClear) {
        QTextCursor c(document_);
        c.select(QTextCursor::Document);
        c.removeSelectedText();
    } else {
        document_->setPlainText(QString());
    }
}

qsizetype NoteBuffer::IndexOfFilePosition(qsizetype position) const
{
    // Block by block: only the block the place falls in is read.
    qsizetype left = position;
    for (QTextBlock b = document_->begin(); b.isValid(); b = b.next()) {
        const int chars = b.length() - 1; // without its break
        if (left <= chars || !b.next().isValid())
            return b.position() + CaretIndexForFilePosition(b.text(), left);
        left -= chars + 2; // the break is CR LF in the file
        if (left <= 0)
            return b.next().position();
    }
    return 0;
}

void NoteBuffer::Replace(QStringList pieces, bool held)
{
    ++revision_;
    if (flow_ != Flow::Filling && view_)
        caret_ = view_->textCursor().position();
    {
        const QScopedValueRollback changing(changing_, true);
        const QuietText quiet(view_);
        document_->clear();
    }
    pending_ = std::move(pieces);
    piece_ = at_ = 0;
    flow_ = Flow::Held;
    ++changes_;
    emit replaced();
    if (!held)
        StartFill();
    UpdateView();
}

void NoteBuffer::Release()
{
    if (flow_ == Flow::Held)
        StartFill();
    UpdateView();
}

void NoteBuffer::StartFill()
{
    if (SizeOf(pending_) <= kFillSlice) {
        {
            const QScopedValueRollback changing(changing_, true);
            const QuietText quiet(view_);
            document_->setPlainText(pending_.join(QString()));
        }
        pending_.clear();
        EndFill();
        return;
    }
    // A large text goes in a slice at a time, between events: at once, the
    // window would stop answering for seconds.
    flow_ = Flow::Filling;
    document_->setUndoRedoEnabled(false);
    QTimer::singleShot(0, this, &NoteBuffer::FillSlice);
}

void NoteBuffer::Fill(int forMs)
{
    if (flow_ != Flow::Filling)
        return;
    FillFor(forMs);
    if (piece_ < pending_.size()) {
        QTimer::singleShot(0, this, &NoteBuffer::FillSlice);
        return;
    }
    pending_.clear();
    EndFill();
}

void NoteBuffer::FillFor(int ms)
{
    QTextCursor end(document_);
    end.movePosition(QTextCursor::End);
    // Told slice by slice, a screen reader would take in the whole text
    // before it could speak again: it learns where the caret is once all is
    // in.
    const QuietText quiet(view_);
    // A few milliseconds a turn: the memo's repaint between turns costs as
    // much again.
    QElapsedTimer clock;
    clock.start();
    while (piece_ < pending_.size() && clock.elapsed() < ms) {
        const QString &piece = pending_.at(piece_);
        qsizetype n = std::min(kFillSlice, piece.size() - at_);
        if (at_ + n < piece.size() && piece[at_ + n - 1].isHighSurrogate())
            --n; // never between the halves of a pair
        end.insertText(piece.sliced(at_, n));
        at_ += n;
        if (at_ == piece.size()) {
            // In the document now: let go, and its memory given back at
            // once, else the text would be held twice by the time it is in.
            pending_[piece_++] = QString();
            at_ = 0;
            ReleaseMemory();
        }
    }
}

void NoteBuffer::EndFill()
{
    piece_ = at_ = 0;
    flow_ = Flow::Nothing;
    ReleaseMemory(); // the text, now the document's alone
    document_->setUndoRedoEnabled(true);
    if (view_) {
        // The caret stays where it was, as far as the new text reaches.
        QTextCursor c(document_);
        c.setPosition(std::min(caret_, document_->characterCount() - 1));
        view_->setTextCursor(c);
        QAccessibleTextCursorEvent caret(view_.data(), c.position());
        QAccessible::updateAccessibility(&caret);
    }
    emit filled(); // a show puts the caret in its place, before what was held
    UpdateView();
}

void NoteBuffer::Changed(int from, int removed, int added)
{
    // A change of format only (the font) is no change of the text.
    if (removed == 0 && added == 0)
        return;
    const int length = document_->characterCount() - 1;
    const int before = std::exchange(length_, length);
    ++revision_;
    if (changing_ || flow_ == Flow::Filling)
        return; // the text going in, told as no edit
    // What the document holds, whatever the report says.
    const std::optional<TextChange> real = ReportedChange(from, removed, added, before, length);
    ++changes_;
    if (!real) {
        emit edited({0, before, Text(), changes_});
        return;
    }
    MemoChange change{from, real->removed, {}, changes_};
    if (real->added > 0) {
        QTextCursor c(document_);
        c.setPosition(from);
        c.setPosition(from + int(real->added), QTextCursor::KeepAnchor);
        change.inserted = c.selectedText();
    }
    emit edited(change);
}

void NoteBuffer::SetView(QPlainTextEdit *memo)
{
    if (view_) {
        view_->removeEventFilter(this);
        view_->viewport()->removeEventFilter(this);
    }
    view_ = memo;
    viewObject_ = memo;
    viewport_ = memo ? memo->viewport() : nullptr;
    if (!memo)
        return;
    {
        // Laid out only once shown: a text no memo shows costs no layout.
        const QScopedValueRollback changing(changing_, true);
        document_->setDocumentLayout(new QPlainTextDocumentLayout(document_));
        memo->setDocument(document_);
    }
    memo->installEventFilter(this);
    viewport_->installEventFilter(this);
    told_ = {}; // as a memo is made
    UpdateView();
}

void NoteBuffer::HoldInput(bool hold)
{
    holds_ += hold ? 1 : -1;
    UpdateView();
}

void NoteBuffer::SetEditable(bool editable)
{
    editable_ = editable;
    UpdateView();
}

void NoteBuffer::UpdateView()
{
    if (!view_)
        return;
    const bool incoming = Incoming();
    view_->setReadOnly(incoming || !editable_);
    view_->viewport()->setCursor(incoming ? Qt::BusyCursor : Qt::IBeamCursor);
    TellState();
    if (!incoming)
        Replay();
}

void NoteBuffer::TellState()
{
    QAccessible::State now, changed;
    now.readOnly = view_->isReadOnly();
    now.editable = !now.readOnly;
    now.busy = Incoming();
    changed.readOnly = changed.editable = now.readOnly != told_.readOnly;
    changed.busy = now.busy != told_.busy;
    told_ = now;
    if (changed.readOnly || changed.busy)
        TellStates(view_, changed, now);
}

void NoteBuffer::LandInput()
{
    if (input_.empty())
        return;
    Fill(std::numeric_limits<int>::max());
    if (view_)
        view_->setReadOnly(!editable_);
    Replay(true);
    UpdateView();
}

void NoteBuffer::Replay(bool evenIncoming)
{
    // In order, as if the text had been in: a read-only memo refuses what
    // would change the text, as it does typing.
    const QScopedValueRollback replaying(replaying_, true);
    while (!input_.empty() && (evenIncoming || !Incoming()) && view_) {
        const HeldInput input = std::move(input_.front());
        input_.pop_front();
        if (input.event) {
            QCoreApplication::sendEvent(view_, input.event.get());
        } else if (input.pasted) {
            if (!view_->isReadOnly())
                view_->textCursor().insertText(QString(*input.pasted).remove(QChar(0)));
            view_->ensureCursorVisible();
        } else {
            QTextCursor c = view_->textCursor();
            const int end = document_->characterCount() - 1;
            if (input.anchor >= 0)
                c.setPosition(std::min(input.anchor, end));
            c.setPosition(std::min(input.position, end), QTextCursor::KeepAnchor);
            view_->setTextCursor(c);
        }
    }
}

bool NoteBuffer::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched != viewObject_ && watched != viewport_) || replaying_ || !Incoming()
        || view_.isNull())
        return QObject::eventFilter(watched, event);
    return HoldEvent(event);
}

bool NoteBuffer::HoldEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Keys that leave the memo act at once: what comes after goes where
        // they lead.
        if (key->key() == Qt::Key_Escape || key->key() == Qt::Key_Tab
            || key->key() == Qt::Key_Backtab)
            return false;
        // A paste takes the clipboard as it is now.
        if (key->matches(QKeySequence::Paste))
            input_.push_back({nullptr, QGuiApplication::clipboard()->text(), -1, -1});
        else
            input_.push_back({std::unique_ptr<QEvent>(event->clone()), std::nullopt, -1, -1});
        return true;
    }
    case QEvent::InputMethod:
        input_.push_back({std::unique_ptr<QEvent>(event->clone()), std::nullopt, -1, -1});
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        return HoldPlace(static_cast<QMouseEvent *>(event));
    case QEvent::MouseButtonRelease:
        return true;
    default:
        return false;
    }
}

bool NoteBuffer::HoldPlace(QMouseEvent *mouse)
{
    // A place in what is in already: the text before it stays as it is.
    if (!(mouse->buttons() & (Qt::LeftButton | Qt::MiddleButton)))
        return false;
    const int at = view_->cursorForPosition(mouse->position().toPoint()).position();
    const bool press = mouse->type() != QEvent::MouseMove;
    if (!press && !input_.empty() && !input_.back().event && !input_.back().pasted)
        input_.back().position = at; // a drag
    else
        input_.push_back(
            {nullptr, std::nullopt, mouse->modifiers() & Qt::ShiftModifier ? -1 : at, at});
    if (press && mouse->button() == Qt::MiddleButton)
        input_.push_back(
            {nullptr, QGuiApplication::clipboard()->text(QClipboard::Selection), -1, -1});
    return true;
}

void NoteBuffer::ReleaseMemory() const
{
    if (release_)
        release_();
}
