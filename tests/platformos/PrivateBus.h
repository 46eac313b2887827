#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// A D-Bus daemon of the test's own, listening on a socket in a temporary directory. Lives as long
// as this object; the daemon is ended by its process id.
class PrivateBus
{
public:
    ~PrivateBus()
    {
        m_daemon.terminate();
        m_daemon.waitForFinished(3000); // else QProcess kills it
    }

    // Empty when the daemon runs, else why it does not.
    QString start()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        const QString socket = m_dir.filePath(QStringLiteral("bus"));
        QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
        // No service directories: nothing on this bus is ever started on demand.
        if (daemon.isEmpty() || !config.open(QIODevice::WriteOnly) ||
            config.write(
                "<busconfig><type>session</type><listen>unix:path=" + QFile::encodeName(socket) +
                "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>") < 0)
            return QStringLiteral("no dbus-daemon, or cannot write ") + config.fileName();
        config.close();
        m_daemon.start(daemon,
                       {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                        QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        const QDeadlineTimer deadline(10000);
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(int(deadline.remainingTime()))) {
        }
        m_address = QString::fromLocal8Bit(m_daemon.readLine().trimmed());
        if (m_address.contains(socket))
            return {};
        return QStringLiteral("dbus-daemon does not listen on ") + socket + u' ' +
               m_daemon.readAllStandardError();
    }
    const QString& address() const { return m_address; }
    QString directory() const { return m_dir.path(); } // for the test's own files too

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
