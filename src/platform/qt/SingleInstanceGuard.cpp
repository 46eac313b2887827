#include "platform/qt/SingleInstanceGuard.h"

#include "base/Logging.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <sys/stat.h>
#include <unistd.h>

namespace brevant {
namespace {

constexpr int maxMessageSize = 64;
// How long a later instance keeps knocking while the first one may still be setting up its socket.
constexpr int knockPatienceMs = 2000;

// A directory only this user can reach: ours, a directory and not a link, no access for others.
bool isPrivate(const QString& dir)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(dir).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool makePrivate(const QString& dir)
{
    ::mkdir(QFile::encodeName(dir).constData(), 0700); // fails harmlessly when it exists
    return isPrivate(dir);
}

} // namespace

QString SingleInstanceGuard::privateRuntimeDirectory(const QString& tempRoot, const QString& fallback)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivate(runtime))
        return runtime;
    // Without a runtime directory, never the shared temporary directory itself: another user
    // could plant the lock there and keep the program from starting.
    const QString perUser = QDir(tempRoot).filePath(QStringLiteral("brevant-%1").arg(::geteuid()));
    if (makePrivate(perUser))
        return perUser;
    qCWarning(lcPlatform) << perUser << "belongs to someone else or is open to others; using" << fallback;
    QDir().mkpath(QFileInfo(fallback).absolutePath());
    if (!makePrivate(fallback))
        qCWarning(lcPlatform) << "cannot make the private directory" << fallback;
    return fallback;
}

SingleInstanceGuard::SingleInstanceGuard(const QString& key, const QString& runtimeDir, QObject* parent)
    : QObject(parent)
    , m_basePath(QDir(runtimeDir.isEmpty()
                          ? privateRuntimeDirectory(QDir::tempPath(), QStandardPaths::writableLocation(
                                                                          QStandardPaths::CacheLocation))
                          : runtimeDir)
                     .absoluteFilePath(key))
    , m_lock(lockFilePath())
{
    // The lock is held for the program's whole life, so its age says nothing; only a holder that
    // no longer runs makes it stale.
    m_lock.setStaleLockTime(0);
}

void SingleInstanceGuard::guardFolders(const QStringList& folders)
{
    m_folders.clear();
    for (const QString& folder : folders) {
        const QString absolute = QDir(folder).absolutePath();
        if (!m_folders.contains(absolute))
            m_folders.append(absolute);
    }
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (m_server)
        m_server->close(); // removes the socket file before the lock goes
}

bool SingleInstanceGuard::tryAcquire()
{
    if (m_server) // already the running instance
        return true;
    QDir().mkpath(QFileInfo(m_basePath).absolutePath());
    if (m_lock.tryLock(0)) {
        if (!lockFolders()) {
            m_lock.unlock();
            return false;
        }
        listen();
        return true;
    }
    if (m_lock.error() == QLockFile::LockFailedError) {
        if (!knock())
            qCWarning(lcPlatform) << "another instance holds" << lockFilePath() << "but did not answer";
        return false;
    }
    // Without a usable lock file, a listening socket is the only sign of another instance. A UPS
    // monitor that refuses to run at all would be worse than two of them.
    qCWarning(lcPlatform) << "cannot create the instance lock" << lockFilePath();
    if (knock() || !lockFolders())
        return false;
    listen();
    return true;
}

bool SingleInstanceGuard::lockFolders()
{
    const QString name = QFileInfo(m_basePath).fileName() + QStringLiteral(".lock");
    for (const QString& folder : std::as_const(m_folders)) {
        auto lock = std::make_unique<QLockFile>(QDir(folder).filePath(name));
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            m_folderLocks.push_back(std::move(lock));
            continue;
        }
        if (lock->error() == QLockFile::LockFailedError) {
            qint64 pid = 0;
            QString host;
            QString program;
            lock->getLockInfo(&pid, &host, &program);
            qCCritical(lcPlatform).noquote()
                << QStringLiteral("another monitor (process %1 on %2) uses the files in %3; this one ends")
                       .arg(pid)
                       .arg(host, folder);
            m_folderLocks.clear();
            return false;
        }
        // As with the runtime lock: a folder that cannot take the lock file does not stop the monitor.
        qCWarning(lcPlatform) << "cannot create the instance lock" << lock->fileName();
    }
    return true;
}

void SingleInstanceGuard::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket file still there was left by an instance that crashed.
    QLocalServer::removeServer(socketPath());
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstanceGuard::acceptConnection);
    if (!m_server->listen(socketPath()))
        qCWarning(lcPlatform) << "cannot listen on" << socketPath() << m_server->errorString();
}

void SingleInstanceGuard::acceptConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readKnock(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void SingleInstanceGuard::readKnock(QLocalSocket* socket)
{
    if (socket->canReadLine()) {
        disconnect(socket, nullptr, this, nullptr); // one message per connection
        emit messageReceived(socket->readLine(maxMessageSize).trimmed());
        socket->disconnectFromServer();
    } else if (socket->bytesAvailable() >= maxMessageSize) {
        socket->abort(); // not one of ours
    }
}

bool SingleInstanceGuard::knock()
{
    QLocalSocket socket;
    const QDeadlineTimer deadline(knockPatienceMs);
    for (;;) {
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(int(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50); // the first instance holds the lock but is not listening yet
    }
    socket.write(knockMessage() + '\n');
    const bool sent = socket.waitForBytesWritten(int(deadline.remainingTime()));
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(int(deadline.remainingTime()));
    return sent;
}

} // namespace brevant
