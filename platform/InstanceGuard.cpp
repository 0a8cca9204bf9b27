#include "platform/InstanceGuard.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kActivate = "activate\n";
constexpr int kNotifyPatienceMs = 3000;

// Takes the folder only when it is a real folder (not a link) owned by this user; creates it
// 0700 when missing and closes it to others when it was not yet.
bool makePrivate(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid())
        return false;
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return false;
    return true;
}

// A file of that name that this user did not make (possible while the folder was open to
// others) is not taken for a lock or a socket of ours.
void removeIfForeign(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0 && info.st_uid != ::geteuid())
        QFile::remove(path);
}

} // namespace

InstanceGuard::InstanceGuard(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
{
}

InstanceGuard::~InstanceGuard() = default;

QString InstanceGuard::choosePrivateFolder()
{
    QStringList candidates;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime))
        candidates << runtime + QStringLiteral("/lumra");
    candidates << QDir::tempPath() + QStringLiteral("/lumra-") + QString::number(::geteuid());
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (QDir::isAbsolutePath(cache) && QDir().mkpath(cache))
        candidates << cache + QStringLiteral("/lumra");
    for (const QString &candidate : qAsConst(candidates)) {
        if (makePrivate(candidate))
            return candidate;
    }
    return QString();
}

QString InstanceGuard::lockPath() const
{
    return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".lock");
}

QString InstanceGuard::socketPath() const
{
    return m_folder + QLatin1Char('/') + m_name + QStringLiteral(".socket");
}

bool InstanceGuard::tryAcquire()
{
    m_folder = choosePrivateFolder();
    if (m_folder.isEmpty()) {
        qWarning("lumra: no private folder for the single-instance guard; starting without it");
        return true;
    }
    removeIfForeign(lockPath());
    removeIfForeign(socketPath());
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock left by a crashed copy is stale (its process is gone) and is taken over.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() != QLockFile::LockFailedError) {
        // Not a lock another copy holds but one that cannot be read or replaced: in our own
        // folder it can go.
        QFile::remove(lockPath());
        if (m_lock->tryLock(0))
            return true;
        qWarning("lumra: the single-instance lock %s cannot be taken; starting without it",
                 qPrintable(lockPath()));
        m_lock.reset();
        return true;
    }
    m_lock.reset();
    return false;
}

bool InstanceGuard::notifyRunningCopy()
{
    if (m_folder.isEmpty())
        return false;
    // The first copy listens right after it took the lock; a start in that moment waits.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kNotifyPatienceMs) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(1000)) {
            socket.write(kActivate);
            socket.flush();
            if (socket.bytesToWrite() > 0)
                socket.waitForBytesWritten(2000);
            const bool sent = socket.bytesToWrite() == 0;
            socket.disconnectFromServer();
            return sent;
        }
        QThread::msleep(100);
    }
    return false;
}

bool InstanceGuard::listen()
{
    if (!m_lock || !m_lock->isLocked())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a crashed copy would block the name; the folder is ours alone.
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath())) {
        qWarning("lumra: cannot listen at %s: %s", qPrintable(socketPath()),
                 qPrintable(m_server->errorString()));
        return false;
    }
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
