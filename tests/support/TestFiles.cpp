#include "TestFiles.h"

#include <QCoreApplication>
#include <QFile>

namespace testsupport {

QString binDir()
{
    const QString fromEnv = qEnvironmentVariable("BREVANT_TEST_BIN_DIR");
    return fromEnv.isEmpty() ? QCoreApplication::applicationDirPath() : fromEnv;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString& path, const QByteArray& contents)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(contents);
}

} // namespace testsupport
