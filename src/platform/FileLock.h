#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <optional>

namespace brevant {

// Exclusive advisory lock on a lock file, held for the object's lifetime. The operating system
// drops it when the holder dies, so a crashed writer never leaves the settings locked. A lock file
// this creates is readable and writable by its owner only (the umask can only take bits away). A
// symbolic link in the lock file's place is not followed: the lock is then not taken.
class FileLock
{
public:
    // Waits at most `maxWait` for a lock that another holder keeps, so that a holder that hangs
    // cannot block the caller for longer.
    FileLock(const QString& lockFilePath, std::chrono::milliseconds maxWait);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Success while the lock is held; otherwise why it was not taken.
    const Status& status() const { return m_status; }

private:
    int m_handle = -1;
    Status m_status = Status::success();
};

// The whole contents of a regular file of at most `maxBytes`, read without ever blocking: a FIFO,
// a device, a directory or a larger file is refused with the reason, and so is a file that cannot
// be opened. An absent file (or a symbolic link to nothing) is no file: success without contents.
// A symbolic link to a regular file is followed.
Result<std::optional<QByteArray>> readRegularFile(const QString& path, qint64 maxBytes);

// Replaces the file at `path` with `contents` so that a crash, a power cut or a full disk leaves
// either the old file byte for byte or the new one: a temporary file beside it, every write
// checked, synced, renamed over the old file, then the directory synced. The new file keeps the
// mode of the file it replaces; a file created here gets `newFileMode`, whatever the umask.
// A symbolic link to a regular file is followed: its target is replaced, the link stays. A link to
// nothing, or to anything but a regular file, is refused, so that no file is created where a
// planted link points.
Status replaceFileAtomically(const QString& path, QByteArrayView contents, unsigned newFileMode);

// Creates the file at `path` with `contents` and `newFileMode` (whatever the umask), whole or not
// at all, unless something is already there: true when it was created, false when a file, a
// directory or a symbolic link (even one to nothing) holds the name.
Result<bool> createFileAtomically(const QString& path, QByteArrayView contents, unsigned newFileMode);

} // namespace brevant
