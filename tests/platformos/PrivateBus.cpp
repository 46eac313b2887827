#include "PrivateBus.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>

PrivateBus::~PrivateBus()
{
    if (m_daemon.state() == QProcess::NotRunning)
        return;
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(3000)) {
        m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }
}

bool PrivateBus::fail(const QString& why)
{
    m_error = why;
    return false;
}

bool PrivateBus::start()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        return fail(QStringLiteral("dbus-daemon not found"));
    if (!m_dir.isValid())
        return fail(QStringLiteral("no temporary directory"));

    const QString socket = m_dir.filePath(QStringLiteral("bus"));
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("cannot write ") + config);
    // No service directories: nothing on this bus is ever started on demand.
    file.write(R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
               QFile::encodeName(socket) + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
    file.close();

    m_daemon.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                            QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(5000))
        return fail(QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString());
    const QDeadlineTimer deadline(10000);
    while (!m_daemon.canReadLine()) {
        if (deadline.hasExpired() || !m_daemon.waitForReadyRead(int(deadline.remainingTime())))
            return fail(QStringLiteral("dbus-daemon printed no address: ") +
                        QString::fromLocal8Bit(m_daemon.readAllStandardError()));
    }
    m_address = QString::fromLocal8Bit(m_daemon.readLine().trimmed());
    if (!m_address.contains(socket))
        return fail(QStringLiteral("dbus-daemon listens on an unexpected address: ") + m_address);
    return true;
}
