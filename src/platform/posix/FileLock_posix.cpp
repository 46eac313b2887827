#include "base/Logging.h"
#include "platform/FileLock.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
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
    // Never blocks in open (a FIFO planted in its place) and never follows a link (one planted to
    // have the lock file created elsewhere).
    constexpr int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | flags, 0600);
    // A lock file left by another user, or on a read-only file system, may be read-only to us;
    // flock needs no write access.
    if (fd < 0 && (errno == EACCES || errno == EROFS))
        fd = ::open(path.constData(), O_RDONLY | flags);
    if (fd < 0) {
        m_status = Status::failure(
            errno == ELOOP ? QStringLiteral("it is a symbolic link, which is not followed") : systemError());
        return;
    }
    if (struct stat info; ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_status = Status::failure(QStringLiteral("it is not a regular file"));
        ::close(fd);
        return;
    }
    switch (lockWithin(fd, maxWait)) {
    case LockOutcome::Locked:
        m_handle = fd;
        return;
    case LockOutcome::TimedOut:
        m_status = Status::failure(
            QStringLiteral("held by another writer for more than %1 ms").arg(maxWait.count()));
        return;
    case LockOutcome::Failed:
        m_status = Status::failure(systemError());
        ::close(fd);
        return;
    }
}

FileLock::~FileLock()
{
    if (m_handle >= 0)
        ::close(m_handle); // closing the descriptor releases the flock
}

Result<std::optional<QByteArray>> readRegularFile(const QString& path, qint64 maxBytes)
{
    using Contents = Result<std::optional<QByteArray>>;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error != ENOENT)
            return Contents::failure(QStringLiteral("cannot read %1: %2").arg(path, qt_error_string(error)));
        if (struct stat link; ::lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode))
            return Contents::failure(
                QStringLiteral("%1 is a symbolic link to a file that does not exist").arg(path));
        return Contents::success(std::nullopt);
    }
    struct stat info
    {};
    QString refusal;
    if (::fstat(fd, &info) != 0)
        refusal = QStringLiteral("cannot examine %1: %2").arg(path, systemError());
    else if (S_ISDIR(info.st_mode))
        refusal = QStringLiteral("%1 is a directory, not a file").arg(path);
    else if (S_ISFIFO(info.st_mode))
        refusal = QStringLiteral("%1 is a named pipe (FIFO), not a file").arg(path);
    else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        refusal = QStringLiteral("%1 is a device, not a file").arg(path);
    else if (!S_ISREG(info.st_mode))
        refusal = QStringLiteral("%1 is not a regular file").arg(path);
    else if (info.st_size > maxBytes)
        refusal = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes);
    QByteArray contents;
    if (refusal.isEmpty()) {
        // Sized by fstat, grown for a file that grows (or that says 0, as /proc does), and one byte
        // of room past the limit to see a file that is larger than it.
        contents.resize(qsizetype(std::min<qint64>(info.st_size, maxBytes)) + 1);
        qsizetype length = 0;
        ssize_t got = 0;
        for (;;) {
            if (length == contents.size()) {
                if (length > maxBytes)
                    break;
                contents.resize(qsizetype(std::min<qint64>(2 * qint64(length), maxBytes + 1)));
            }
            got = ::read(fd, contents.data() + length, size_t(contents.size() - length));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            length += got;
        }
        if (got < 0)
            refusal = QStringLiteral("cannot read %1: %2").arg(path, systemError());
        else if (length > maxBytes)
            refusal = QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(maxBytes);
        contents.truncate(length);
    }
    ::close(fd);
    if (!refusal.isEmpty())
        return Contents::failure(refusal);
    return Contents::success(std::move(contents));
}

namespace {

// A synced temporary file beside `target` holding `contents` with `mode`; its name, or why not.
Result<QByteArray> temporaryBeside(const QByteArray& target, const QString& path, QByteArrayView contents,
                                   mode_t mode)
{
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return Result<QByteArray>::failure(
            QStringLiteral("cannot create a temporary file beside %1: %2").arg(path, systemError()));
    QString reason;
    // fsync rather than fdatasync: the mode is metadata that must survive too.
    if (::fchmod(fd, mode) != 0 || !writeAll(fd, contents) || ::fsync(fd) != 0)
        reason = systemError();
    if (::close(fd) != 0 && reason.isEmpty()) // a deferred write error shows at close
        reason = systemError();
    if (!reason.isEmpty()) {
        ::unlink(temporary.constData());
        return Result<QByteArray>::failure(QStringLiteral("cannot write %1: %2").arg(path, reason));
    }
    return Result<QByteArray>::success(temporary);
}

void syncDirectoryOrWarn(const QString& path)
{
    // The new contents are in place; only their survival of a power cut is in doubt.
    if (!syncDirectoryOf(path))
        qCWarning(lcPlatform) << "the directory of" << path << "was not synced:" << systemError();
}

} // namespace

Status replaceFileAtomically(const QString& path, QByteArrayView contents, unsigned newFileMode)
{
    QByteArray target = QFile::encodeName(path);
    if (struct stat link; ::lstat(target.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char resolved[PATH_MAX];
        struct stat pointed
        {};
        if (::realpath(target.constData(), resolved) == nullptr || ::stat(resolved, &pointed) != 0 ||
            !S_ISREG(pointed.st_mode))
            return Status::failure(
                QStringLiteral("%1 is a symbolic link to something that is not a file: not written")
                    .arg(path));
        target = resolved;
    }
    const QString shownTarget = QFile::decodeName(target);
    mode_t mode = newFileMode;
    if (struct stat existing; ::stat(target.constData(), &existing) == 0)
        mode = existing.st_mode & 07777;
    else if (errno != ENOENT)
        return Status::failure(QStringLiteral("cannot examine %1: %2").arg(path, systemError()));

    const Result<QByteArray> temporary = temporaryBeside(target, shownTarget, contents, mode);
    if (!temporary.ok())
        return Status::failure(temporary.error());
    if (::rename(temporary.value().constData(), target.constData()) != 0) {
        const QString reason = systemError();
        ::unlink(temporary.value().constData());
        return Status::failure(QStringLiteral("cannot write %1: %2").arg(path, reason));
    }
    syncDirectoryOrWarn(shownTarget);
    return Status::success();
}

Result<bool> createFileAtomically(const QString& path, QByteArrayView contents, unsigned newFileMode)
{
    const QByteArray target = QFile::encodeName(path);
    if (struct stat existing; ::lstat(target.constData(), &existing) == 0)
        return Result<bool>::success(false);
    const Result<QByteArray> temporary = temporaryBeside(target, path, contents, newFileMode);
    if (!temporary.ok())
        return Result<bool>::failure(temporary.error());
    // Unlike rename, these never replace what another process put there meanwhile.
    const char* from = temporary.value().constData();
    const bool renamed = ::renameat2(AT_FDCWD, from, AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0;
    int error = renamed ? 0 : errno;
    if (error == EINVAL) // a file system without RENAME_NOREPLACE
        error = ::link(from, target.constData()) == 0 ? 0 : errno;
    if (!renamed)
        ::unlink(from);
    if (error == EEXIST)
        return Result<bool>::success(false);
    if (error != 0)
        return Result<bool>::failure(
            QStringLiteral("cannot create %1: %2").arg(path, qt_error_string(error)));
    syncDirectoryOrWarn(path);
    return Result<bool>::success(true);
}

} // namespace brevant
