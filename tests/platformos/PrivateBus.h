#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A D-Bus daemon of the test's own, listening on a socket in a temporary directory. Lives as long
// as this object; the daemon is ended by its process id.
class PrivateBus
{
public:
    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // False, with error() saying why, when no daemon could be started.
    bool start();
    const QString& address() const { return m_address; }
    const QString& error() const { return m_error; }

private:
    bool fail(const QString& why);

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_error;
};
