#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace brevant::fuzz {

const QString& scratchDir()
{
    static const QString parent =
        QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    static const QTemporaryDir dir(parent + QStringLiteral("/brevant-fuzz-XXXXXX"));
    static const QString path = dir.path();
    if (path.isEmpty())
        invariantBroken("no scratch directory");
    return path;
}

QString scratchFile(const QString& name, QByteArrayView bytes)
{
    const QString path = scratchDir() + u'/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), bytes.size()) != bytes.size())
        invariantBroken("cannot write a scratch file");
    return path;
}

} // namespace brevant::fuzz
