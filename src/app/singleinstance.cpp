#include "singleinstance.h"

#include "filewriting.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kInterface[] = "org.quorvin.Quorvin";
constexpr char kPath[] = "/org/quorvin/Quorvin";
// Far longer than a start takes to look at the lock and take it.
constexpr int kGuardMs = 5000;

// Held by a start while it looks at the folder's lock and takes it, so that
// a lock file is whole before another start reads it: one whose owner can't
// be read was left by a start that died, or lost power, while writing it.
// The kernel lets it go when its holder ends, however that ends.
class ClaimGuard {
  public:
    explicit ClaimGuard(const QString &folder)
        : fd_(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        // A start stopped while holding it is waited for a while only.
        const QDeadlineTimer deadline(kGuardMs);
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
                ::close(fd_);
                fd_ = -1;
            } else {
                QThread::msleep(5);
            }
        }
    }
    ~ClaimGuard()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ClaimGuard(const ClaimGuard &) = delete;
    ClaimGuard &operator=(const ClaimGuard &) = delete;

    bool Held() const { return fd_ >= 0; }

  private:
    int fd_;
};

// Whether the lock's record of its owner is missing or cut short: every line
// of a whole one ends in a newline.
bool OwnerUnreadable(const QLockFile &lock)
{
    QFile file(lock.fileName());
    return !file.open(QIODevice::ReadOnly) || !file.readAll().endsWith('\n')
           || !lock.getLockInfo(nullptr, nullptr, nullptr);
}

} // namespace

SingleInstance::SingleInstance(const QString &noteFolder, QObject *parent)
    : QObject(parent), folder_(noteFolder), lock_(QDir(noteFolder).filePath("quorvin.lock"))
{
    // A lock is stale only when no running copy owns it, never by its age: a
    // program may run for weeks.
    lock_.setStaleLockTime(0);
}

QString SingleInstance::ServiceName(const QString &noteFolder)
{
    const QByteArray folder = QDir(noteFolder).absolutePath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("%1.folder_%2").arg(kInterface, QString::fromLatin1(hash.left(24)));
}

SingleInstance::Outcome SingleInstance::Claim(int answerMs)
{
    QString unused; // a folder that can't be made holds no lock either
    MakePrivateFolder(folder_, unused);
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The lock file lies beside the note, and is no more readable than it.
    const mode_t mask = ::umask(077);
    const bool locked = TakeLock();
    ::umask(mask);
    if (locked) {
        // Without a session bus the lock still keeps a second copy out; it
        // then only cannot be asked to come forward.
        registered_ = bus.isConnected() && bus.registerService(ServiceName(folder_))
                      && bus.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots);
        return Outcome::First;
    }
    if (lock_.error() != QLockFile::LockFailedError)
        return Outcome::First; // no lock can be had here: nothing to guard against
    if (!bus.isConnected())
        return Outcome::OtherSilent;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(ServiceName(folder_), kPath, kInterface, "Raise");
    const QDBusMessage reply = bus.call(call, QDBus::Block, answerMs);
    return reply.type() == QDBusMessage::ReplyMessage ? Outcome::OtherRaised : Outcome::OtherSilent;
}

bool SingleInstance::TakeLock()
{
    const ClaimGuard guard(folder_);
    // Qt's own lock for taking a lock over, left by a start that died doing
    // it, would keep every start out for half a minute; one held stays.
    if (guard.Held())
        QLockFile(lock_.fileName() + ".rmlock").removeStaleLockFile();
    // Qt takes over the lock of a process that is gone or is no copy of
    // this program; not one whose owner can't be read.
    if (lock_.tryLock(0))
        return true;
    if (!guard.Held() || lock_.error() != QLockFile::LockFailedError || !OwnerUnreadable(lock_))
        return false;
    // Qt removes no lock file that a running copy holds, even one that
    // took it without the guard.
    lock_.removeStaleLockFile();
    return lock_.tryLock(0);
}

void SingleInstance::Release()
{
    if (registered_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(kPath);
        bus.unregisterService(ServiceName(folder_));
        registered_ = false;
    }
    if (lock_.isLocked())
        lock_.unlock();
}

void SingleInstance::Raise()
{
    if (raise_)
        raise_();
}
