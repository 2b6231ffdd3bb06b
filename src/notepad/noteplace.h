#pragma once

#include <QString>
#include <QStringList>

// Where the note lies: beside the program, or in the user's data folder,
// into which a note left beside a program that can no longer write there
// is carried.

// Whether a file can be created in `folder` (tried, then removed).
bool CanCreateFilesIn(const QString &folder);

// Whether `folder` is one where installed programs lie (/usr/bin and the
// like, or `installBinFolder`), where a note has no place.
bool IsProgramsFolder(const QString &folder, const QString &installBinFolder);

// A folder's path with its trailing '/'.
QString WithSeparator(const QString &folder);

// Where the note lies, and the program folder whose note is to be carried
// into it when the note folder has none yet.
struct NotePlace {
    QString folder;
    QString leftBehind; // empty when there is nothing to carry
    NotePlace(const QString &noteFolder = {}, const QString &programFolder = {})
        : folder(noteFolder), leftBehind(programFolder)
    {
    }
};

// Where the note lies for a program in `programFolder`: beside it when the
// program has a folder of its own in which files can be created (`usable`),
// unless its note was once carried into `dataFolder`; else in `dataFolder`,
// into which the note beside the program is carried. Folders end with '/'.
NotePlace ChooseNotePlace(const QString &programFolder, bool usable, const QString &dataFolder);

// Copies "npad.txt", "npad.ini" and "npad.journal" byte for byte from `from`
// into `to` when `to` has no note yet and `from` has one; `from` is left
// untouched. The journal comes along only when it is the user's own regular
// file that no other user may write, looked at as it is read and never
// through a link; else `journalLeft` names it. A carry is recorded in `to`
// ("npad.carried"), so that the program in `from` keeps using the copy even
// once it could write beside itself again.
enum class CarryOutcome { NothingToCarry, Carried, Failed };
CarryOutcome CarryNoteAcross(const QString &from, const QString &to, QString &reason,
                             QString *journalLeft = nullptr);

// The program folders whose note was carried into `folder`, as recorded there.
QStringList CarriedFrom(const QString &folder);

// The note's place for this program: see ChooseNotePlace.
NotePlace DefaultNotePlace();

// The note's files for `place`, the note left beside the program carried
// into its folder first: what the user is told of it, and, where the carry
// fails, the files where they lie, shown read-only (nothing typed could be
// kept there).
struct NoteFiles {
    QString folder, note, settings; // the folder with its trailing '/'
    bool readOnly = false;
    QString notice, failure;
};
NoteFiles OpenNoteFiles(const NotePlace &place);

// Removes what a run cut short left in the note's `folder`: the temporary
// files of its writes ("npad.txt", "npad.ini", "npad.carried") and a journal
// not yet in place. For the run that holds the folder: none may be writing
// there.
void RemoveLeftovers(const QString &folder);
