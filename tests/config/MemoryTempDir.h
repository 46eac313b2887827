#pragma once

#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

namespace configtest {

// A temporary directory on the memory file system when the machine has one, else the usual one.
inline std::unique_ptr<QTemporaryDir> memoryTempDir()
{
    if (const QFileInfo shm(QStringLiteral("/dev/shm")); shm.isDir() && shm.isWritable()) {
        auto dir = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/brevant-test-XXXXXX"));
        if (dir->isValid())
            return dir;
    }
    return std::make_unique<QTemporaryDir>();
}

} // namespace configtest
