#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// Directory of the build's executables and libraries (bin/), as CTest passes it.
QString binDir();

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& contents);

// Puts what a settings or list reader must refuse at path: "fifo" (a real named pipe), "device" (a
// link to /dev/zero), "directory" or "dangling" (a link to nothing). False when it cannot.
bool plantSpecialFile(const QString& path, const QString& kind);

} // namespace testsupport
