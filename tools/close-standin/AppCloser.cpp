#include "AppCloser.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <chrono>
#include <signal.h>
#include <unistd.h>

namespace closestandin {

namespace {

struct RunningProcess
{
    pid_t pid = 0;
    QString name;
    QString commandLine;
};

QList<QByteArray> arguments(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> parts = file.readAll().split('\0');
    while (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

// Gone, or a zombie that only waits for its parent to collect it.
bool hasEnded(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype afterName = line.lastIndexOf(')');
    return afterName < 0 || line.mid(afterName + 2, 1) == "Z";
}

QList<RunningProcess> processesOfThisUser()
{
    const pid_t self = ::getpid();
    const pid_t parent = ::getppid();
    QList<RunningProcess> processes;
    const auto entries = QDir(QStringLiteral("/proc")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        bool isNumber = false;
        const pid_t pid = entry.fileName().toInt(&isNumber);
        if (!isNumber || pid == self || pid == parent || entry.ownerId() != ::getuid() || hasEnded(pid))
            continue;
        const QList<QByteArray> argv = arguments(pid);
        if (argv.isEmpty())
            continue;
        QStringList words;
        for (const QByteArray& word : argv)
            words << QString::fromLocal8Bit(word);
        processes.append({pid, QFileInfo(words.first()).fileName(), words.join(u' ')});
    }
    return processes;
}

} // namespace

QStringList readCloseList(const QString& confFile)
{
    QFile file(confFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList names;
    for (const QByteArray& rawLine : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (!line.isEmpty() && !line.startsWith(u'#'))
            names << line;
    }
    return names;
}

QList<ClosedApp> closeApplications(const QStringList& names, std::chrono::milliseconds grace)
{
    QList<RunningProcess> asked;
    for (const RunningProcess& process : processesOfThisUser()) {
        if (names.contains(process.name) && ::kill(process.pid, SIGTERM) == 0)
            asked.append(process);
    }
    QList<ClosedApp> closed;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!asked.isEmpty()) {
        for (qsizetype i = asked.size() - 1; i >= 0; --i) {
            if (hasEnded(asked[i].pid)) {
                closed.append({asked[i].name, asked[i].commandLine, QDateTime::currentDateTime()});
                asked.removeAt(i);
            }
        }
        if (asked.isEmpty() || std::chrono::steady_clock::now() >= deadline)
            break;
        QThread::msleep(50);
    }
    return closed;
}

} // namespace closestandin
