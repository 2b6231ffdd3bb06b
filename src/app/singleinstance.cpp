#include "singleinstance.h"

#include "notedisk.h"

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>

#include <sys/stat.h>

namespace {

constexpr char kInterface[] = "org.quorvin.Quorvin";
constexpr char kPath[] = "/org/quorvin/Quorvin";

} // namespace

SingleInstance::SingleInstance(const QString &noteFolder, QObject *parent)
    : QObject(parent), folder_(noteFolder), lock_(QDir(noteFolder).filePath("quorvin.lock"))
{
    // A lock is stale only when its process is gone, never by its age: a
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
    const bool locked = lock_.tryLock(0);
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
