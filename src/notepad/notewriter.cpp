#include "notewriter.h"

#include "notebuffer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

#include <cerrno>
#include <sys/stat.h>
#include <vector>

// The buffer's text taken for a write a slice at a time, between events,
// and put in the write's queue encoded. A change before what was taken
// takes the text again from the slice it falls in, so that what the write
// gets is the text as it is once the last slice is taken.
class TextTaker : public QObject {
  public:
    TextTaker(const NoteBuffer &text, NoteEncoding encoding, NoteBreaks breaks,
              std::shared_ptr<WriteQueue> queue, std::function<void(NoteEncoding)> taken,
              QObject *parent)
        : QObject(parent), text_(text), encoding_(encoding), breaks_(breaks),
          encoder_(encoding, breaks), queue_(std::move(queue)), taken_(std::move(taken))
    {
        // A timer, not a posted call: a loop run from inside a posted call
        // (a box, a wait) takes no older posted call until a new one comes.
        turn_.setSingleShot(true);
        connect(&turn_, &QTimer::timeout, this, [this] { Take(false); });
    }

    // The text changed from `position` on.
    void Changed(qsizetype position);
    // Takes slices for a few milliseconds, while the write keeps up.
    void Turn() { Take(false); }
    // Takes the rest at once, waiting for the write where it falls behind.
    void TakeAll() { Take(true); }

    void Cancel()
    {
        turn_.stop();
        done_ = true;
        queue_->Cancel();
    }

  private:
    void Take(bool all);
    bool TakeSlice();
    void StartOver();

    static constexpr qsizetype kSlice = 256 * 1024;             // characters
    static constexpr qsizetype kWaitingBytes = 8 * 1024 * 1024; // at most, in the queue
    static constexpr int kTurnMs = 4;

    const NoteBuffer &text_;
    NoteEncoding encoding_;
    NoteBreaks breaks_;
    NoteEncoder encoder_;
    std::shared_ptr<WriteQueue> queue_;
    std::function<void(NoteEncoding)> taken_;
    qsizetype at_ = 0;         // characters taken
    std::int64_t bytesAt_ = 0; // their bytes
    bool done_ = false;
    bool whole_ = false; // as one slice
    QTimer turn_;
    // Where each slice taken begins, in the text and in the bytes.
    std::vector<std::pair<qsizetype, std::int64_t>> starts_;
};

void TextTaker::Changed(qsizetype position)
{
    // A text taken whole is taken whole again, whatever the change.
    if (done_ || (position >= at_ && !whole_))
        return;
    // The slices before the one `position` falls in are kept.
    std::size_t keep = starts_.size();
    while (keep > 0 && starts_[keep - 1].first > position)
        --keep;
    keep = keep > 0 ? keep - 1 : 0;
    if (keep == 0) // from the first slice, the encoding is chosen again
        encoder_ = NoteEncoder(encoding_, breaks_);
    else
        encoder_.Rewind(keep);
    at_ = keep < starts_.size() ? starts_[keep].first : 0;
    bytesAt_ = keep < starts_.size() ? starts_[keep].second : 0;
    starts_.resize(keep);
}

void TextTaker::StartOver()
{
    at_ = bytesAt_ = 0; // from the start, in UTF-8
    starts_.clear();
}

void TextTaker::Take(bool all)
{
    QElapsedTimer clock;
    clock.start();
    while (!done_) {
        if (queue_->Waiting() >= kWaitingBytes) {
            if (!all)
                break;
            queue_->WaitBelow(kWaitingBytes);
        }
        if (queue_->Closed()) { // the write ended without it
            done_ = true;
            return;
        }
        if (!TakeSlice() || (!all && clock.elapsed() >= kTurnMs))
            break;
    }
    // A full queue waits for the write to take some of it.
    if (!done_)
        turn_.start(queue_->Waiting() < kWaitingBytes ? 0 : 1);
}

// False when nothing more is to be taken this turn.
bool TextTaker::TakeSlice()
{
    const qsizetype size = text_.Size();
    if (!starts_.empty() && at_ >= size) {
        if (!encoder_.Finish()) {
            StartOver();
            return true;
        }
        done_ = true;
        taken_(encoder_.Encoding());
        queue_->Finish();
        return false;
    }
    const bool first = starts_.empty();
    if (first)
        whole_ = NoteEncoder::NeedsWholeText(text_.Slice(0, 2), encoding_);
    qsizetype n = whole_ ? size : std::min(kSlice, size - at_);
    QString text = text_.Slice(at_, n);
    if (at_ + n < size && n > 0 && text.back().isHighSurrogate())
        text += text_.Slice(at_ + n++, 1); // never between the halves of a pair
    QByteArray bytes;
    if (!encoder_.Encode(text, first, bytes)) {
        StartOver();
        return true;
    }
    starts_.emplace_back(at_, bytesAt_);
    const auto length = bytes.size();
    if (!queue_->Put(bytesAt_, std::move(bytes))) {
        done_ = true;
        return false;
    }
    bytesAt_ += length;
    at_ += n;
    return true;
}

void NoteWrite::Run()
{
    // Whatever ends the write, the side that takes the text hears of it.
    const auto closeQueue = qScopeGuard([this] { pieces->Close(); });
    try {
        Write();
    } catch (const std::bad_alloc &) {
        reason = qt_error_string(ENOMEM);
        outcome = Outcome::Failed;
    }
}

void NoteWrite::Write()
{
    // Never replaced, and no question about it: a FIFO, a folder.
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        reason = kNotRegularFile;
        outcome = Outcome::Failed;
        return;
    }
    if (!replaceChanged && ChangedOnDisk(path, disk)) {
        outcome = Outcome::ChangedOutside;
        return;
    }
    if (!MakePrivateFolder(QFileInfo(path).path(), reason)) {
        outcome = Outcome::Failed;
        return;
    }
    // Encoding, writing and syncing a large note take long enough for
    // another program to write the note meanwhile: it is looked at again
    // just before the rename.
    bool changed = false;
    WriteOptions options;
    FileIdentity written;
    options.written = &written;
    options.beforeReplace = [&] {
        if (onSynced)
            onSynced();
        changed = !replaceChanged && ChangedOnDisk(path, disk);
        return !changed;
    };
    if (!WriteFromQueue(path, *pieces, reason, options)) {
        outcome = changed ? Outcome::ChangedOutside : Outcome::Failed;
        return;
    }
    disk = written;
    outcome = Outcome::Written;
}

NoteWriter::NoteWriter(NoteBuffer &text, QObject *parent) : QObject(parent), text_(text)
{
    connect(&text_, &NoteBuffer::edited, this,
            [this](const MemoChange &change) { Changed(change.position); });
    connect(&text_, &NoteBuffer::replaced, this, [this] { Changed(0); });
}

NoteWriter::~NoteWriter()
{
    for (TextTaker *taker : std::as_const(takers_))
        taker->Cancel();
}

TextTaker *NoteWriter::TakeText(const std::shared_ptr<WriteQueue> &queue, NoteEncoding encoding,
                                NoteBreaks breaks, std::function<void(NoteEncoding)> whenTaken)
{
    auto *taker = new TextTaker(text_, encoding, breaks, queue, std::move(whenTaken), this);
    takers_.append(taker);
    taker->Turn(); // a note of a few slices is taken at once
    return taker;
}

void NoteWriter::DropTaker(TextTaker *taker)
{
    if (!taker)
        return;
    takers_.removeOne(taker);
    taker->Cancel();
    taker->deleteLater();
}

void NoteWriter::Write(NoteWrite write)
{
    auto w = std::make_shared<NoteWrite>(std::move(write));
    w->pieces = std::make_shared<WriteQueue>();
    write_ = w;
    ended_ = false;
    taking_ = TakeText(w->pieces, w->encoding, w->breaks, [this, raw = w.get()](NoteEncoding used) {
        raw->encoding = used;
        raw->edits = text_.Changes();
    });
    noteWorker_.Run(
        [w, release = release_] {
            w->Run();
            if (release)
                release(); // the note's copies, let go
        },
        [this, w] {
            if (write_ != w)
                return; // taken already
            ended_ = true;
            emit written();
        });
}

std::optional<NoteWrite> NoteWriter::Take()
{
    if (!write_ || !ended_)
        return std::nullopt;
    const std::shared_ptr<NoteWrite> w = std::exchange(write_, nullptr);
    DropTaker(std::exchange(taking_, nullptr)); // a write that failed early
    return std::move(*w);
}

bool NoteWriter::FinishSoon(int ms)
{
    if (write_ && !ended_)
        noteWorker_.Finish(ms);
    return !write_ || ended_;
}

void NoteWriter::Export(const QString &path, NoteEncoding encoding, NoteBreaks breaks,
                        std::function<void(bool, const QString &)> done)
{
    struct Copy {
        std::shared_ptr<WriteQueue> pieces = std::make_shared<WriteQueue>();
        QString reason;
        bool written = false;
    };
    auto copy = std::make_shared<Copy>();
    TextTaker *taker = TakeText(copy->pieces, encoding, breaks, [](NoteEncoding) {});
    exportWorker_.Run(
        [copy, path] {
            WriteOptions options;
            options.privateFile = false; // the user's own file, as the umask says
            // The user chose this file and may write it, though perhaps not
            // its folder.
            options.inPlaceIfNeeded = true;
            copy->written = WriteFromQueue(path, *copy->pieces, copy->reason, options);
        },
        [this, taker, copy, done = std::move(done)] {
            DropTaker(taker);
            done(copy->written, copy->reason);
        });
}

void NoteWriter::Changed(qsizetype position)
{
    for (TextTaker *taker : std::as_const(takers_))
        taker->Changed(position);
}

void NoteWriter::FinishTaking()
{
    for (TextTaker *taker : std::as_const(takers_))
        taker->TakeAll();
}
