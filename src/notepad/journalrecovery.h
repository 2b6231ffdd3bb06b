#pragma once

#include "journalformat.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What a journal left by a run that did not end well asks for, weighed
// against the note as it is now.
struct RecoveryPlan {
    enum class Step {
        Discard,   // nothing typed is missing from the note
        Replay,    // the note with what was typed, as unsaved text
        KeepAside, // the note has changed since: the text goes to a file of its own
        SetAside,  // the journal can't be read: renamed, never deleted
    };
    Step step = Step::Discard;
    QString text; // Replay, KeepAside: the text with every change
    // Replay: the changes after the note file's state, for the journal that
    // goes on.
    std::vector<JournalEdit> rest;
    NoteEncoding encoding = NoteEncoding::Utf8; // KeepAside: as the note was
    NoteBreaks breaks = NoteBreaks::CrLf;
};

// The plan for `journal` over the note whose text is `note`: `noteExists`,
// and `noteIsBase` when the note file is still the state the journal began
// over. The changes go over that state, or over the note as an autosave cut
// short by the end left it: after some of them.
RecoveryPlan PlanRecovery(const JournalContents &journal, const QString &note, bool noteExists,
                          bool noteIsBase);

// What was done with a journal left behind, as its plan asked, and what the
// user is told of it, in turn: notices, and failures of file access.
struct RecoveryDone {
    bool replay = false; // the plan's text is for the note, as unsaved text
    bool kept = false;   // the journal could not be set aside: none goes over it
    struct Message {
        bool failure;
        QString text;
    };
    std::vector<Message> messages;
};

// Carries out `plan` for the journal at `path` (`own`: the user's own, no
// other user may write it): removes it, sets it aside as
// "<path>.bad-<yyyymmdd>-<hhmmss>" (never deleted unread), or keeps the text
// it holds in a file of its own in the first of `unsavedFolders` that takes
// it. A replay is the caller's.
RecoveryDone CarryOutRecovery(const RecoveryPlan &plan, bool own, const QString &path,
                              const QStringList &unsavedFolders);

// A journal left beside the note by a run that did not end well, read and
// planned.
struct LeftJournal {
    bool own = true; // the user's own file, no other user may write
    RecoveryPlan plan;
};

// Reads the journal at `path` and plans it over the note at `notePath`
// whose text is `note` (none: there is no note file). Touches nothing else,
// so it may run on any thread.
LeftJournal ReadLeftJournal(const QString &path, const QString &notePath,
                            const std::optional<QString> &note);
