#include "unsavedtext.h"

#include "filewriting.h"
#include "noteplace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder for unsaved text. Where anyone may make folders (the temporary
// folder), only a real folder of this user's, open to them alone, will do:
// another user could have put a folder or a link there first.
bool UnsavedFolderReady(const QString &folder, QString &reason)
{
    if (!MakePrivateFolder(folder, reason))
        return false;
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    const QByteArray parent = QFile::encodeName(QFileInfo(QDir::cleanPath(folder)).path());
    struct stat st {};
    struct stat up {};
    if (::stat(parent.constData(), &up) != 0 || !(up.st_mode & S_IWOTH))
        return true;
    // Without the sticky bit, anyone could put another folder in its place.
    if ((up.st_mode & S_ISVTX) && ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode)
        && st.st_uid == ::geteuid()
        && ((st.st_mode & 077) == 0 || ::chmod(path.constData(), 0700) == 0))
        return true;
    reason = "The folder is not this user's own.";
    return false;
}

} // namespace

QStringList DefaultUnsavedFolders()
{
    QStringList folders{QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)};
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        folders << QDir(runtime).filePath("quorvin");
    // Shared by every user: the name is this user's, and the folder is
    // checked to be theirs before anything goes into it.
    folders << QDir(QDir::tempPath()).filePath(QString("quorvin-%1").arg(::geteuid()));
    return folders;
}

QString UnsavedNotePath(const QString &folder, const QDateTime &now)
{
    const QString stem = QDir(folder).filePath("npad-unsaved-" + now.toString("yyyyMMdd-HHmmss"));
    // A link is a name taken, even one that leads nowhere.
    const auto taken = [](const QString &name) {
        struct stat st {};
        return ::lstat(QFile::encodeName(name).constData(), &st) == 0;
    };
    QString path = stem + ".txt";
    for (int n = 2; taken(path); ++n)
        path = QString("%1-%2.txt").arg(stem).arg(n);
    return path;
}

bool KeepUnsaved(const QString &text, NoteEncoding encoding, NoteBreaks breaks,
                 const QStringList &folders, QString &path, QString &failures)
{
    const QByteArray bytes = EncodeNote(text, encoding, breaks); // as the note is
    // Another copy of the program may keep its text in the same second:
    // a file is never replaced, the next name is taken. Nor is a link
    // followed: what another user put there would take the text.
    WriteOptions options;
    options.replace = false;
    options.followLink = false;
    QStringList failed;
    for (const QString &folder : folders) {
        // The name the user was told, where it can be kept.
        if (path.isEmpty() || !path.startsWith(WithSeparator(folder)))
            path = UnsavedNotePath(folder, QDateTime::currentDateTime());
        QString reason;
        bool trying = UnsavedFolderReady(folder, reason);
        for (int attempt = 0; trying && attempt < 10; ++attempt) {
            if (WriteFileAtomically(path, bytes, reason, options))
                return true;
            trying = reason == qt_error_string(EEXIST);
            if (trying)
                path = UnsavedNotePath(folder, QDateTime::currentDateTime());
        }
        failed << CannotCreateText(path, reason);
        path.clear();
    }
    failures = failed.join('\n');
    return false;
}
