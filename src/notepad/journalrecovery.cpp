#include "journalrecovery.h"

#include "filewriting.h"
#include "unsavedtext.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

RecoveryPlan PlanRecovery(const JournalContents &journal, const QString &note, bool noteExists,
                          bool noteIsBase)
{
    using Step = RecoveryPlan::Step;
    RecoveryPlan plan;
    // Nothing of it reached the disk (a power cut as it was made): nothing
    // in it was promised, and it goes without a word.
    plan.step = journal.empty ? Step::Discard : Step::SetAside;
    if (!journal.headerRead)
        return plan;
    const std::vector<JournalEdit> &edits = journal.edits;
    // Over the note as it is: the changes after the state it holds.
    std::size_t from = 0;
    bool overNote = noteIsBase;
    if (!overNote) {
        const DecodedNote base = DecodeNote(journal.base);
        if (!journal.baseWhole || !base.refusal.isEmpty())
            return plan;
        plan.text = base.text;
        for (from = 0; noteExists && !overNote; ++from) {
            overNote = plan.text.size() == note.size() && SameNoteText(note, plan.text);
            if (overNote || from == edits.size() || ApplyEdits(plan.text, {edits[from]}) != 1)
                break;
        }
        if (!overNote) {
            from = 0;
            plan.text = base.text;
        }
    }
    if (overNote)
        plan.text = note;
    plan.rest.assign(edits.begin() + std::ptrdiff_t(from), edits.end());
    // A change that does not fit means the journal is not what it seems.
    if (ApplyEdits(plan.text, plan.rest) != plan.rest.size())
        return plan;
    plan.step = noteExists && SameNoteText(note, plan.text) ? Step::Discard
                : overNote                                  ? Step::Replay
                                                            : Step::KeepAside;
    plan.encoding = journal.header.encoding;
    plan.breaks = journal.header.breaks;
    return plan;
}

namespace {

void SetAside(bool own, const QString &path, RecoveryDone &done)
{
    const QString stem = path + ".bad-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss");
    QString aside = stem;
    for (int n = 2; !RenameWithoutReplacing(path, aside) && errno == EEXIST && n < 100; ++n)
        aside = QString("%1-%2").arg(stem).arg(n);
    const QString why = own ? "what was typed after its last save could not be read"
                            : "its journal is not a file of this user's alone, so what it holds "
                              "was not used";
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) {
        done.kept = true;
        done.messages.push_back({true, QString("The notepad was not closed properly, and %1. The "
                                               "journal \"%2\" was left where it is.")
                                           .arg(why, path)});
        return;
    }
    done.messages.push_back(
        {false, QString("The notepad was not closed properly, %1 %2. It was kept as \"%3\".")
                    .arg(own ? "and" : "but", why, aside)});
}

} // namespace

RecoveryDone CarryOutRecovery(const RecoveryPlan &plan, bool own, const QString &path,
                              const QStringList &unsavedFolders)
{
    using Step = RecoveryPlan::Step;
    RecoveryDone done;
    if (!own || plan.step == Step::SetAside) {
        SetAside(own, path, done);
    } else if (plan.step == Step::Discard) {
        ::unlink(QFile::encodeName(path).constData()); // nothing typed is missing
    } else if (plan.step == Step::Replay) {
        done.replay = true;
        done.messages.push_back({false, "The notepad was not closed properly. What was typed "
                                        "after its last save was recovered."});
    } else {
        // The note file has changed since (another program, or a copy
        // running elsewhere): the text as it was goes to a file of its own.
        QString kept, failures;
        if (!KeepUnsaved(plan.text, plan.encoding, plan.breaks, unsavedFolders, kept, failures)) {
            done.messages.push_back({true, failures});
            SetAside(true, path, done);
            return done;
        }
        ::unlink(QFile::encodeName(path).constData());
        done.messages.push_back(
            {false, QString("The notepad was not closed properly, and the note file has changed "
                            "since. What was typed after its last save was kept in \"%1\".")
                        .arg(kept)});
    }
    return done;
}

LeftJournal ReadLeftJournal(const QString &path, const QString &notePath,
                            const std::optional<QString> &note)
{
    LeftJournal left;
    left.plan.step = RecoveryPlan::Step::SetAside;
    QByteArray bytes;
    QString unused;
    switch (ReadOwnFile(path, bytes, unused)) {
    case OwnRead::NotOwn:
        // Another user's, or one others may write, could put any text there.
        left.own = false;
        return left;
    case OwnRead::Unreadable:
        return left;
    case OwnRead::Read:
        break;
    }
    const JournalContents journal = ReadJournal(bytes);
    bytes.clear();
    const bool noteIsBase = journal.headerRead && FileIs(notePath, journal.header.base);
    left.plan = PlanRecovery(journal, note.value_or(QString()), note.has_value(), noteIsBase);
    return left;
}
