#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace {

constexpr char kRaise[] = "raise\n";
constexpr char kRaised[] = "raised\n";

} // namespace

SingleInstance::SingleInstance(const QString &noteFolder, QObject *parent)
    : QObject(parent), folder_(noteFolder), lock_(QDir(noteFolder).filePath("quorvin.lock"))
{
    // A lock is stale only when its process is gone, never by its age: a
    // program may run for weeks.
    lock_.setStaleLockTime(0);
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::Answer);
}

QString SingleInstance::ServerName(const QString &noteFolder)
{
    const QByteArray folder = QDir(noteFolder).absolutePath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("quorvin-%1-%2").arg(getuid()).arg(QString::fromLatin1(hash.left(24)));
}

SingleInstance::Outcome SingleInstance::Claim(int answerMs)
{
    QDir().mkpath(folder_);
    const QString name = ServerName(folder_);
    if (lock_.tryLock(0)) {
        // Holding the lock, any socket of that name was left by a dead copy.
        QLocalServer::removeServer(name);
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        server_.listen(name);
        return Outcome::First;
    }
    if (lock_.error() != QLockFile::LockFailedError)
        return Outcome::First; // no lock can be had here: nothing to guard against

    const QDeadlineTimer deadline(answerMs);
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return Outcome::OtherSilent;
    socket.write(kRaise);
    socket.flush();
    QByteArray reply;
    while (!reply.endsWith('\n') && socket.waitForReadyRead(int(deadline.remainingTime())))
        reply += socket.readAll();
    return reply == kRaised ? Outcome::OtherRaised : Outcome::OtherSilent;
}

void SingleInstance::Release()
{
    server_.close();
    if (lock_.isLocked())
        lock_.unlock();
}

void SingleInstance::Answer()
{
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine() == kRaise) {
                if (raise_)
                    raise_();
                socket->write(kRaised);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}
