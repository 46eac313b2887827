#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// Directory of the build's executables and libraries (bin/), as CTest passes it.
QString binDir();

QByteArray readFile(const QString& path);
void writeFile(const QString& path, const QByteArray& contents);

} // namespace testsupport
