#include "notedisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Stat(const QString &path, struct stat &st)
{
    return ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

void TakeStat(const struct stat &st, FileIdentity &id)
{
    id.size = st.st_size;
    id.mtimeNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.ctimeNs = std::int64_t(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    id.inode = st.st_ino;
}

std::size_t HashOf(const QByteArray &bytes)
{
    return qHashBits(bytes.constData(), std::size_t(bytes.size()), 0);
}

// Every byte through the file's descriptor, so that a failure keeps its errno.
bool WriteAll(int fd, const QByteArray &bytes, int &error)
{
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, std::size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        p += n;
        left -= n;
    }
    // A full disk may show only now, when the blocks are allocated.
    if (::fsync(fd) != 0 && errno != EINVAL) {
        error = errno;
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
    if (!WriteFileAtomically(to, bytes, reason)) {
        reason = QString("Cannot create file \"%1\". %2").arg(to, reason);
        return false;
    }
    return true;
}

} // namespace

FileIdentity IdentityOf(const QString &path, const QByteArray &bytes)
{
    FileIdentity id;
    struct stat st {};
    id.exists = Stat(path, st);
    if (id.exists)
        TakeStat(st, id);
    id.size = bytes.size();
    id.hash = HashOf(bytes);
    return id;
}

bool ChangedOnDisk(const QString &path, FileIdentity &known)
{
    struct stat st {};
    // A note that has gone is written again: the notepad's text is the
    // newest there is.
    if (!Stat(path, st))
        return false;
    if (!known.exists || !S_ISREG(st.st_mode))
        return true;
    FileIdentity now = known;
    TakeStat(st, now);
    if (now.size == known.size && now.mtimeNs == known.mtimeNs && now.ctimeNs == known.ctimeNs
        && now.inode == known.inode)
        return false;
    if (now.size != known.size)
        return true;
    QByteArray bytes;
    QString unused;
    if (!ReadWholeFile(path, bytes, unused) || HashOf(bytes) != known.hash)
        return true;
    known = now;
    return false;
}

bool ReadWholeFile(const QString &path, QByteArray &bytes, QString &reason)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        reason = f.errorString();
        return false;
    }
    bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        reason = f.errorString();
        return false;
    }
    return true;
}

bool WriteFileAtomically(const QString &path, const QByteArray &bytes, QString &reason,
                         bool inPlaceIfNeeded)
{
    QSaveFile f(path);
    f.setDirectWriteFallback(inPlaceIfNeeded);
    if (!f.open(QIODevice::WriteOnly)) {
        reason = f.errorString();
        return false;
    }
    int error = 0;
    if (!WriteAll(f.handle(), bytes, error)) {
        reason = qt_error_string(error);
        f.cancelWriting();
        return false;
    }
    errno = 0;
    if (!f.commit()) {
        const int commitError = errno;
        reason = f.errorString();
        if (commitError != 0 && (reason.isEmpty() || reason == qt_error_string(-1)))
            reason = qt_error_string(commitError);
        return false;
    }
    return true;
}

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

QString ChooseNoteFolder(const QString &programFolder, bool usable, const QString &dataFolder)
{
    return WithSeparator(usable ? programFolder : dataFolder);
}

CarryOutcome CarryNoteAcross(const QString &from, const QString &to, QString &reason)
{
    const QDir src(from), dst(to);
    if (!QFileInfo::exists(src.filePath("npad.txt")) || QFileInfo::exists(dst.filePath("npad.txt")))
        return CarryOutcome::NothingToCarry;
    if (!QDir().mkpath(to)) {
        reason = QString("Cannot create folder \"%1\".").arg(to);
        return CarryOutcome::Failed;
    }
    // The settings first: the note's arrival is what marks the carry as done.
    if (QFileInfo::exists(src.filePath("npad.ini")) && !QFileInfo::exists(dst.filePath("npad.ini"))
        && !CopyFile(src.filePath("npad.ini"), dst.filePath("npad.ini"), reason))
        return CarryOutcome::Failed;
    if (!CopyFile(src.filePath("npad.txt"), dst.filePath("npad.txt"), reason))
        return CarryOutcome::Failed;
    return CarryOutcome::Carried;
}

QString UnsavedNotePath(const QString &folder, const QDateTime &now)
{
    const QString stem = QDir(folder).filePath("npad-unsaved-" + now.toString("yyyyMMdd-HHmmss"));
    QString path = stem + ".txt";
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QString("%1-%2.txt").arg(stem).arg(n);
    return path;
}

void NoteRead::Run()
{
    if (!ReadWholeFile(path, bytes, failure))
        return;
    failure = NoteRefusal(bytes);
    if (failure.isEmpty())
        disk = IdentityOf(path, bytes);
    else
        bytes.clear();
}

void NoteWrite::Run()
{
    if (!replaceChanged && ChangedOnDisk(path, disk)) {
        outcome = Outcome::ChangedOutside;
        return;
    }
    const QByteArray bytes = EncodeNote(text, encoding);
    text = QString();
    QDir().mkpath(QFileInfo(path).path());
    if (!WriteFileAtomically(path, bytes, reason)) {
        outcome = Outcome::Failed;
        return;
    }
    disk = IdentityOf(path, bytes);
    outcome = Outcome::Written;
}
