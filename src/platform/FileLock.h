#pragma once

#include "base/Result.h"

#include <QByteArrayView>
#include <QString>
#include <chrono>

namespace brevant {

// Exclusive advisory lock on a lock file, held for the object's lifetime. The operating system
// drops it when the holder dies, so a crashed writer never leaves the settings locked. A lock file
// this creates is readable and writable by its owner only (the umask can only take bits away).
class FileLock
{
public:
    // Waits at most `maxWait` for a lock that another holder keeps, so that a holder that hangs
    // cannot block the caller for longer.
    FileLock(const QString& lockFilePath, std::chrono::milliseconds maxWait);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isLocked() const { return m_handle >= 0; }
    // Why the lock was not taken.
    const QString& error() const { return m_error; }

private:
    int m_handle = -1;
    QString m_error;
};

// Replaces the file at `path` with `contents` so that a crash, a power cut or a full disk leaves
// either the old file byte for byte or the new one: a temporary file beside it, every write
// checked, synced, renamed over the old file, then the directory synced. The new file keeps the
// mode of the file it replaces; a file created here gets `newFileMode`, whatever the umask.
Status replaceFileAtomically(const QString& path, QByteArrayView contents, unsigned newFileMode);

} // namespace brevant
