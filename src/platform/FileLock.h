#pragma once

#include <QString>

namespace brevant {

// Exclusive advisory lock on a lock file, held for the object's lifetime. The operating system
// drops it when the holder dies, so a crashed writer never leaves the settings locked.
class FileLock
{
public:
    explicit FileLock(const QString& lockFilePath);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool isLocked() const { return m_handle >= 0; }

private:
    int m_handle = -1;
};

// Makes a completed rename inside the directory of filePath survive a power cut.
void syncDirectoryOf(const QString& filePath);

} // namespace brevant
