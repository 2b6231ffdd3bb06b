#include "singleinstance.h"

#include "filewriting.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
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
    // A start stopped while holding it is waited for a while only, and no
    // longer than until `stopFd` (when not -1) can be read.
    ClaimGuard(const QString &folder, int stopFd)
    {
        const QByteArray path = QFile::encodeName(folder);
        fd_ = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0 || ::flock(fd_, LOCK_EX | LOCK_NB) == 0)
            return;
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        if (error == EWOULDBLOCK)
            Wait(path, stopFd);
    }
    ~ClaimGuard()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ClaimGuard(const ClaimGuard &) = delete;
    ClaimGuard &operator=(const ClaimGuard &) = delete;

    bool Held() const { return fd_ >= 0; }
    bool Stopped() const { return stopped_; }

  private:
    // What the thread that waits for the guard hands over: its descriptor,
    // holding the guard, unless the start has stopped waiting.
    struct Handover {
        std::mutex mutex;
        int fd = -1;
        bool abandoned = false;
        int told[2] = {-1, -1}; // written once the thread is done
        ~Handover()
        {
            for (const int f : {fd, told[0], told[1]})
                if (f >= 0)
                    ::close(f);
        }
    };

    // The guard's holder letting go is an event no descriptor tells of: a
    // thread of its own blocks until it comes, and tells this one.
    void Wait(const QByteArray &path, int stopFd)
    {
        auto handover = std::make_shared<Handover>();
        if (::pipe2(handover->told, O_CLOEXEC) != 0)
            return;
        std::thread([handover, path] {
            int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            while (fd >= 0 && ::flock(fd, LOCK_EX) != 0) {
                if (errno != EINTR) {
                    ::close(fd);
                    fd = -1;
                }
            }
            const std::lock_guard lock(handover->mutex);
            if (handover->abandoned && fd >= 0)
                ::close(fd); // let go at once
            else
                handover->fd = fd;
            [[maybe_unused]] const ssize_t n = ::write(handover->told[1], "", 1);
        }).detach();
        pollfd events[2] = {{handover->told[0], POLLIN, 0}, {stopFd, POLLIN, 0}};
        const QDeadlineTimer deadline(kGuardMs);
        int ready = 0;
        do {
            ready = ::poll(events, 2, int(deadline.remainingTime()));
        } while (ready < 0 && errno == EINTR);
        stopped_ = ready > 0 && (events[1].revents & POLLIN);
        const std::lock_guard lock(handover->mutex);
        handover->abandoned = true;
        fd_ = std::exchange(handover->fd, -1);
        if (stopped_ && fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }

    int fd_ = -1;
    bool stopped_ = false;
};

// What is wrong with what lies at a lock's name, looked at without following
// it or opening it (a FIFO would keep the start waiting for ever): nothing
// when nothing lies there, or a regular file of this user's.
QString LockNameProblem(const QString &path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    if (!S_ISREG(st.st_mode))
        return QString("\"%1\" is not a regular file.").arg(path);
    // Another user's (one a copy run as root left) can be neither read nor
    // taken over.
    if (st.st_uid != ::geteuid())
        return QString("\"%1\" is not this user's own file.").arg(path);
    return {};
}

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

SingleInstance::Outcome SingleInstance::Claim(int answerMs, int stopFd)
{
    QString unused; // a folder that can't be made holds no lock either
    MakePrivateFolder(folder_, unused);
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The lock file lies beside the note, and is no more readable than it.
    const mode_t mask = ::umask(077);
    const Outcome taken = TakeLock(stopFd);
    ::umask(mask);
    if (taken == Outcome::First) {
        // Without a session bus the lock still keeps a second copy out; it
        // then only cannot be asked to come forward.
        registered_ = bus.isConnected() && bus.registerService(ServiceName(folder_))
                      && bus.registerObject(kPath, this, QDBusConnection::ExportScriptableSlots);
        return Outcome::First;
    }
    if (taken != Outcome::OtherSilent)
        return taken;
    if (lock_.error() != QLockFile::LockFailedError)
        return Outcome::First; // no lock can be had here: nothing to guard against
    if (!bus.isConnected())
        return Outcome::OtherSilent;
    const QDBusMessage call =
        QDBusMessage::createMethodCall(ServiceName(folder_), kPath, kInterface, "Raise");
    const QDBusMessage reply = bus.call(call, QDBus::Block, answerMs);
    return reply.type() == QDBusMessage::ReplyMessage ? Outcome::OtherRaised : Outcome::OtherSilent;
}

SingleInstance::Outcome SingleInstance::TakeLock(int stopFd)
{
    const ClaimGuard guard(folder_, stopFd);
    if (guard.Stopped())
        return Outcome::Stopped;
    // Qt opens what lies there, and would wait on a FIFO for ever.
    for (const QString &name : {lock_.fileName(), lock_.fileName() + ".rmlock"}) {
        problem_ = LockNameProblem(name);
        if (!problem_.isEmpty())
            return Outcome::Unusable;
    }
    // Qt's own lock for taking a lock over, left by a start that died doing
    // it, would keep every start out for half a minute; one held stays.
    if (guard.Held())
        QLockFile(lock_.fileName() + ".rmlock").removeStaleLockFile();
    // Qt takes over the lock of a process that is gone or is no copy of
    // this program; not one whose owner can't be read.
    if (lock_.tryLock(0))
        return Outcome::First;
    if (!guard.Held() || lock_.error() != QLockFile::LockFailedError || !OwnerUnreadable(lock_))
        return Outcome::OtherSilent;
    // Qt removes no lock file that a running copy holds, even one that
    // took it without the guard.
    lock_.removeStaleLockFile();
    return lock_.tryLock(0) ? Outcome::First : Outcome::OtherSilent;
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
