#include "platform/InstanceGuard.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

namespace {
QString runtimeDir()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

const QByteArray kActivate = "activate\n";
} // namespace

InstanceGuard::InstanceGuard(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
}

InstanceGuard::~InstanceGuard() = default;

QString InstanceGuard::socketName() const
{
    // Per user, so two people on one machine each get their own copy.
    return m_name + QLatin1Char('-') + QString::number(::getuid());
}

bool InstanceGuard::tryAcquire()
{
    m_lock = std::make_unique<QLockFile>(runtimeDir() + QLatin1Char('/') + socketName()
                                         + QStringLiteral(".lock"));
    // A lock left by a crashed copy is stale (its process is gone) and is taken over.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    m_lock.reset();
    return false;
}

bool InstanceGuard::notifyRunningCopy()
{
    QLocalSocket socket;
    socket.connectToServer(socketName());
    if (!socket.waitForConnected(2000))
        return false;
    socket.write(kActivate);
    socket.flush();
    const bool sent = socket.waitForBytesWritten(2000);
    socket.disconnectFromServer();
    return sent;
}

bool InstanceGuard::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a crashed copy would block the name.
    QLocalServer::removeServer(socketName());
    if (!m_server->listen(socketName()))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains(kActivate.trimmed()))
                    emit activateRequested();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return true;
}
