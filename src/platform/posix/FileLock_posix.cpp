#include "base/Logging.h"
#include "platform/FileLock.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace brevant {

namespace {

QString systemError()
{
    return qt_error_string(errno);
}

bool writeAll(int fd, QByteArrayView data)
{
    while (!data.isEmpty()) {
        const ssize_t written = ::write(fd, data.data(), size_t(data.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = ENOSPC;
        if (written <= 0)
            return false;
        data = data.sliced(written);
    }
    return true;
}

enum class LockOutcome
{
    Locked,
    TimedOut, // the descriptor now belongs to the waiting thread, which closes it
    Failed    // errno says why
};

struct PendingLock
{
    std::mutex mutex;
    std::condition_variable settled;
    bool finished = false;
    bool abandoned = false;
    int error = 0;
};

// flock() has no timeout. A blocked waiter on a thread of its own keeps its place among the
// kernel's waiters (polling with LOCK_NB loses every time against a writer that writes in a loop),
// and the caller stops waiting at the deadline; a waiter that gets the lock after that releases it
// at once.
LockOutcome lockWithin(int fd, std::chrono::milliseconds maxWait)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return LockOutcome::Locked;
    if (errno != EWOULDBLOCK)
        return LockOutcome::Failed;
    auto pending = std::make_shared<PendingLock>();
    std::thread([pending, fd] {
        int result = 0;
        while ((result = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        const int error = result == 0 ? 0 : errno;
        const std::lock_guard guard(pending->mutex);
        if (pending->abandoned) {
            ::close(fd);
            return;
        }
        pending->finished = true;
        pending->error = error;
        pending->settled.notify_one();
    }).detach();
    std::unique_lock guard(pending->mutex);
    if (!pending->settled.wait_for(guard, maxWait, [&] { return pending->finished; })) {
        pending->abandoned = true;
        return LockOutcome::TimedOut;
    }
    errno = pending->error;
    return pending->error == 0 ? LockOutcome::Locked : LockOutcome::Failed;
}

bool syncDirectoryOf(const QString& filePath)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(filePath).absolutePath());
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

FileLock::FileLock(const QString& lockFilePath, std::chrono::milliseconds maxWait)
{
    const QByteArray path = QFile::encodeName(lockFilePath);
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) // a lock file left by another user may be read-only to us; flock needs no write access
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_error = systemError();
        return;
    }
    switch (lockWithin(fd, maxWait)) {
    case LockOutcome::Locked:
        m_handle = fd;
        return;
    case LockOutcome::TimedOut:
        m_error = QStringLiteral("held by another writer for more than %1 ms").arg(maxWait.count());
        return;
    case LockOutcome::Failed:
        m_error = systemError();
        ::close(fd);
        return;
    }
}

FileLock::~FileLock()
{
    if (m_handle >= 0)
        ::close(m_handle); // closing the descriptor releases the flock
}

Status replaceFileAtomically(const QString& path, QByteArrayView contents, unsigned newFileMode)
{
    const QByteArray target = QFile::encodeName(path);
    mode_t mode = newFileMode;
    if (struct stat existing; ::stat(target.constData(), &existing) == 0)
        mode = existing.st_mode & 07777;
    else if (errno != ENOENT)
        return Status::failure(QStringLiteral("cannot examine %1: %2").arg(path, systemError()));

    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return Status::failure(
            QStringLiteral("cannot create a temporary file beside %1: %2").arg(path, systemError()));
    QString reason;
    // fsync rather than fdatasync: the mode is metadata that must survive too.
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, contents) || ::fsync(fd) != 0)
        reason = systemError();
    if (::close(fd) != 0 && reason.isEmpty()) // a deferred write error shows at close
        reason = systemError();
    if (reason.isEmpty() && ::rename(temporary.constData(), target.constData()) != 0)
        reason = systemError();
    if (!reason.isEmpty()) {
        ::unlink(temporary.constData());
        return Status::failure(QStringLiteral("cannot write %1: %2").arg(path, reason));
    }
    if (!syncDirectoryOf(
            path)) // the new contents are in place; only their survival of a power cut is in doubt
        qCWarning(lcPlatform) << "the directory of" << path << "was not synced:" << systemError();
    return Status::success();
}

} // namespace brevant
