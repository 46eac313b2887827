#include "platform/FileLock.h"

#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace brevant {

FileLock::FileLock(const QString& lockFilePath)
{
    const QByteArray path = QFile::encodeName(lockFilePath);
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) // a lock file left by another user may be read-only to us; flock needs no write access
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return;
        }
    }
    m_handle = fd;
}

FileLock::~FileLock()
{
    if (m_handle >= 0)
        ::close(m_handle); // closing the descriptor releases the flock
}

void syncDirectoryOf(const QString& filePath)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(filePath).absolutePath());
    int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace brevant
