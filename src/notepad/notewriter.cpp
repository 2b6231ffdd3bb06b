#include "notewriter.h"

#include "notebuffer.h"

#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>

#include <cerrno>
#include <sys/stat.h>
#include <vector>

// The buffer's text taken for a write a slice at a time, between events,
// and put in the write's queue encoded. A change before what was taken
// takes the text again from the slice it falls in, so that what the write
// gets is the text as it is once the last slice is taken. A full queue
// waits until the write has taken some of it.
class TextTaker {
  public:
    TextTaker(NoteBuffer &text, NoteEncoding encoding, NoteBreaks breaks,
              std::shared_ptr<WriteQueue> queue, std::function<void(NoteEncoding)> taken)
        : text_(text), encoding_(encoding), breaks_(breaks), encoder_(encoding, breaks),
          queue_(std::move(queue)), taken_(std::move(taken))
    {
        reading_ = text_.Read(
            0, kSlice,
            {[this](qsizetype at, const QString &slice) { return Take(at, slice); },
             [this] { return End(); },
             [this](qsizetype position, qsizetype at) { return Changed(position, at); }});
    }

    const WriteQueue *Queue() const { return queue_.get(); }
    void Resume()
    {
        if (reading_)
            reading_->Resume();
    }
    // Takes the rest at once, waiting for the write where it falls behind.
    void TakeAll()
    {
        all_ = true;
        if (reading_)
            reading_->ReadAll();
    }
    void Cancel()
    {
        if (reading_)
            reading_->Cancel();
        queue_->Cancel();
    }

  private:
    qsizetype Take(qsizetype at, const QString &slice);
    qsizetype End();
    qsizetype Changed(qsizetype position, qsizetype at);
    qsizetype StartOver()
    {
        bytesAt_ = 0; // from the start, in UTF-8
        starts_.clear();
        return 0;
    }

    static constexpr qsizetype kSlice = 256 * 1024;             // characters
    static constexpr qsizetype kWaitingBytes = 8 * 1024 * 1024; // at most, in the queue

    NoteBuffer &text_;
    NoteEncoding encoding_;
    NoteBreaks breaks_;
    NoteEncoder encoder_;
    std::shared_ptr<WriteQueue> queue_;
    std::function<void(NoteEncoding)> taken_;
    QPointer<TextReading> reading_;
    std::int64_t bytesAt_ = 0; // the bytes of what was taken
    bool whole_ = false;       // as one slice
    bool all_ = false;
    // Where each slice taken begins, in the text and in the bytes.
    std::vector<std::pair<qsizetype, std::int64_t>> starts_;
};

qsizetype TextTaker::Changed(qsizetype position, qsizetype at)
{
    // A text taken whole is taken whole again, whatever the change.
    if (position >= at && !whole_)
        return at;
    // The slices before the one `position` falls in are kept.
    std::size_t keep = starts_.size();
    while (keep > 0 && starts_[keep - 1].first > position)
        --keep;
    keep = keep > 0 ? keep - 1 : 0;
    if (keep == 0) // from the first slice, the encoding is chosen again
        encoder_ = NoteEncoder(encoding_, breaks_);
    else
        encoder_.Rewind(keep);
    const qsizetype from = keep < starts_.size() ? starts_[keep].first : 0;
    bytesAt_ = keep < starts_.size() ? starts_[keep].second : 0;
    starts_.resize(keep);
    return from;
}

qsizetype TextTaker::Take(qsizetype at, const QString &slice)
{
    if (queue_->Closed())
        return ReadSteps::kStop; // the write ended without it
    if (queue_->Waiting() >= kWaitingBytes) {
        if (!all_ && queue_->AskForRoom(kWaitingBytes))
            return ReadSteps::kWait;
        queue_->WaitBelow(kWaitingBytes);
    }
    const bool first = starts_.empty();
    if (first)
        whole_ = NoteEncoder::NeedsWholeText(text_.Slice(0, 2), encoding_);
    const QString text = whole_ ? text_.Text() : slice;
    QByteArray bytes;
    if (!encoder_.Encode(text, first, bytes))
        return StartOver();
    starts_.emplace_back(at, bytesAt_);
    const auto length = bytes.size();
    if (!queue_->Put(bytesAt_, std::move(bytes)))
        return ReadSteps::kStop;
    bytesAt_ += length;
    return at + text.size();
}

qsizetype TextTaker::End()
{
    if (queue_->Closed())
        return ReadSteps::kStop;
    if (starts_.empty())
        return Take(0, QString()); // an empty text: its encoding's mark, if any
    if (!encoder_.Finish())
        return StartOver();
    taken_(encoder_.Encoding());
    queue_->Finish();
    return ReadSteps::kStop;
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

NoteWriter::NoteWriter(NoteBuffer &text, QObject *parent) : QObject(parent), text_(text) {}

NoteWriter::~NoteWriter()
{
    for (TextTaker *taker : std::as_const(takers_)) {
        taker->Cancel();
        delete taker;
    }
}

TextTaker *NoteWriter::TakeText(const std::shared_ptr<WriteQueue> &queue, NoteEncoding encoding,
                                NoteBreaks breaks, std::function<void(NoteEncoding)> whenTaken)
{
    // A full queue's room is told here, where its taker goes on.
    queue->SetRoom([this, q = queue.get()] {
        QMetaObject::invokeMethod(
            this,
            [this, q] {
                for (TextTaker *taker : std::as_const(takers_))
                    if (taker->Queue() == q)
                        taker->Resume();
            },
            Qt::QueuedConnection);
    });
    auto *taker = new TextTaker(text_, encoding, breaks, queue, std::move(whenTaken));
    takers_.append(taker);
    return taker;
}

void NoteWriter::DropTaker(TextTaker *taker)
{
    if (!taker)
        return;
    takers_.removeOne(taker);
    taker->Cancel();
    delete taker;
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

void NoteWriter::FinishTaking()
{
    for (TextTaker *taker : std::as_const(takers_))
        taker->TakeAll();
}
