#include "noteplace.h"

#include "filereading.h"
#include "filewriting.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Into a file of the program's own, never through a link.
bool WriteCopy(const QByteArray &bytes, const QString &to, QString &reason)
{
    WriteOptions options;
    options.followLink = false;
    if (!WriteFileAtomically(to, bytes, reason, options)) {
        reason = CannotCreateText(to, reason);
        return false;
    }
    return true;
}

bool CopyFile(const QString &from, const QString &to, QString &reason)
{
    QByteArray bytes;
    if (!ReadWholeFile(from, bytes, reason)) {
        reason = QString("Cannot open file \"%1\". %2").arg(from, reason);
        return false;
    }
    return WriteCopy(bytes, to, reason);
}

constexpr char kCarriedRecord[] = "npad.carried";

QString Canonical(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

} // namespace

bool CanCreateFilesIn(const QString &folder)
{
    QTemporaryFile probe(WithSeparator(folder) + ".quorvin-probe-XXXXXX");
    return probe.open();
}

bool IsProgramsFolder(const QString &folder, const QString &installBinFolder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    const QString standard[] = {
        installBinFolder, "/usr/bin", "/usr/local/bin", "/bin",
        "/usr/sbin",      "/sbin",    "/usr/games",     QDir::homePath() + "/.local/bin",
    };
    for (const QString &s : standard)
        if (!s.isEmpty() && QFileInfo(s).canonicalFilePath() == canonical)
            return true;
    return false;
}

QString WithSeparator(const QString &folder)
{
    return folder.endsWith('/') ? folder : folder + '/';
}

QStringList CarriedFrom(const QString &folder)
{
    QByteArray bytes;
    QString unused;
    QStringList folders;
    if (!ReadWholeFile(QDir(folder).filePath(kCarriedRecord), bytes, unused))
        return folders;
    for (const QString &line : QString::fromUtf8(bytes).split('\n', Qt::SkipEmptyParts))
        if (!line.startsWith('#'))
            folders << line;
    return folders;
}

NotePlace ChooseNotePlace(const QString &programFolder, bool usable, const QString &dataFolder)
{
    if (!usable)
        return NotePlace(WithSeparator(dataFolder), WithSeparator(programFolder));
    if (CarriedFrom(dataFolder).contains(Canonical(programFolder)))
        return NotePlace(WithSeparator(dataFolder));
    return NotePlace(WithSeparator(programFolder));
}

CarryOutcome CarryNoteAcross(const QString &from, const QString &to, QString &reason,
                             QString *journalLeft)
{
    const QDir src(from), dst(to);
    if (!QFileInfo::exists(src.filePath("npad.txt")) || QFileInfo::exists(dst.filePath("npad.txt")))
        return CarryOutcome::NothingToCarry;
    if (!MakePrivateFolder(to, reason)) {
        reason = QString("Cannot create folder \"%1\". %2").arg(to, reason);
        return CarryOutcome::Failed;
    }
    // The settings first: the note's arrival is what marks the carry as done.
    if (QFileInfo::exists(src.filePath("npad.ini")) && !QFileInfo::exists(dst.filePath("npad.ini"))
        && !CopyFile(src.filePath("npad.ini"), dst.filePath("npad.ini"), reason))
        return CarryOutcome::Failed;
    // What was typed into the note there and never saved comes along, from
    // a journal judged as its recovery judges it: one another user could
    // have written is never replayed, and stays where it is.
    const QString journal = src.filePath("npad.journal");
    if (QFileInfo::exists(journal) || QFileInfo(journal).isSymLink()) {
        QByteArray bytes;
        switch (ReadOwnFile(journal, bytes, reason)) {
        case OwnRead::NotOwn:
            if (journalLeft)
                *journalLeft = journal;
            break;
        case OwnRead::Unreadable:
            reason = QString("Cannot open file \"%1\". %2").arg(journal, reason);
            return CarryOutcome::Failed;
        case OwnRead::Read:
            if (!WriteCopy(bytes, dst.filePath("npad.journal"), reason))
                return CarryOutcome::Failed;
        }
    }
    if (!CopyFile(src.filePath("npad.txt"), dst.filePath("npad.txt"), reason))
        return CarryOutcome::Failed;
    // Without the record, a program folder writable again would bring back
    // the note as it was before the carry.
    QStringList record = CarriedFrom(to);
    const QString origin = Canonical(from);
    if (!record.contains(origin)) {
        record.prepend("# Program folders whose note was carried here. Each uses the note here "
                       "until its line is removed.");
        record << origin;
        const QString path = dst.filePath(kCarriedRecord);
        WriteOptions options;
        options.followLink = false;
        if (!WriteFileAtomically(path, (record.join('\n') + '\n').toUtf8(), reason, options)) {
            reason = CannotCreateText(path, reason);
            return CarryOutcome::Failed;
        }
    }
    return CarryOutcome::Carried;
}

NotePlace DefaultNotePlace()
{
    const QString program = WithSeparator(QCoreApplication::applicationDirPath());
    const bool usable = !program.isEmpty() && !IsProgramsFolder(program, QUORVIN_INSTALL_BINDIR)
                        && CanCreateFilesIn(program);
    return ChooseNotePlace(program, usable,
                           QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

NoteFiles OpenNoteFiles(const NotePlace &place)
{
    NoteFiles files;
    files.folder = WithSeparator(place.folder);
    files.note = files.folder + "npad.txt";
    files.settings = files.folder + "npad.ini";
    QString reason, journalLeft;
    const CarryOutcome carried =
        place.leftBehind.isEmpty()
            ? CarryOutcome::NothingToCarry
            : CarryNoteAcross(place.leftBehind, files.folder, reason, &journalLeft);
    if (carried == CarryOutcome::Carried)
        files.notice =
            QString("The note could not be kept beside the program, so it was copied to \"%1\".")
                .arg(QDir::cleanPath(files.folder));
    if (carried == CarryOutcome::Carried && !journalLeft.isEmpty())
        files.notice += QString(" Its journal \"%1\" is not a file of this user's alone, so what "
                                "it holds was not used. It was left where it is.")
                            .arg(journalLeft);
    if (carried == CarryOutcome::Failed) {
        files.failure = reason;
        files.note = QDir(place.leftBehind).filePath("npad.txt");
        files.settings = QDir(place.leftBehind).filePath("npad.ini");
        files.readOnly = true;
    }
    return files;
}

void RemoveLeftovers(const QString &folder)
{
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({".npad.*", "npad.journal.new"}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        if (name != "npad.journal.new" && !IsTemporaryName(name, "npad.txt")
            && !IsTemporaryName(name, "npad.ini") && !IsTemporaryName(name, kCarriedRecord))
            continue;
        // Only files the program made: a link or a folder of that name is
        // someone else's.
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        struct stat st {};
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(path.constData());
    }
}
