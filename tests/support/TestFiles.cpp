#include "TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <sys/stat.h>

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

bool plantSpecialFile(const QString& path, const QString& kind)
{
    if (kind == u"fifo")
        return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
    if (kind == u"device")
        return QFile::link(QStringLiteral("/dev/zero"), path);
    if (kind == u"directory")
        return QDir().mkdir(path);
    if (kind == u"dangling")
        return QFile::link(path + QStringLiteral(".nowhere"), path);
    return false;
}

} // namespace testsupport
