#pragma once

// One UPS served by a private upsd on loopback, and the computers it powers: real Brevant
// programs (offscreen) and Network UPS Tools' own upsmon, each with a recorder for a shutdown
// command. Every recorder appends "<name> <UPS-off commands upsd had run when it started>" to its
// own file and to the server's timeline, so a test reads both who shut down and in which order
// against the UPS-off.
//
// Log lines and behaviour relied on are those of Debian 12's nut-server and nut-client 2.8.0.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

class QTcpSocket;

namespace testsupport {

// dummy-ups and upsd of tests/support/nut/nut-fixture.sh in a temporary directory of their own,
// which also holds the computers on the server and the timeline.
class NutServer
{
public:
    ~NutServer();

    // False (and the fixture's complaint on stderr) when the server did not come up.
    bool start();

    QString path(const QString& name) const { return m_work.filePath(name); }
    QString ups() const { return QStringLiteral("dummy@127.0.0.1:") + QString::fromLatin1(m_port); }
    QString upsdLog() const { return path(QStringLiteral("nut/upsd.log")); }
    // The timeline's lines, in the order the recorders ran.
    QStringList timeline() const;
    // Writes the driver's state file with a time stamp of its own, which the driver reads within
    // about a second.
    bool setUpsStatus(const QByteArray& status);

    int logins() const;
    int upsOffCommands() const;
    // Seconds since upsd started, from its log, of the first line containing `text`; -1 if none.
    double loggedAt(const QByteArray& text) const;
    // A computer that logged in as `user` and stays logged in while the socket lives; null when
    // upsd refused.
    std::unique_ptr<QTcpSocket> logIn(const QByteArray& user) const;
    // What a primary does when it decides the UPS is critical, or an administrator by hand
    // (upsmon -c fsd): logs in as a primary, sets the forced shutdown and logs out.
    bool setForcedShutdown() const;

private:
    QTemporaryDir m_work;
    QByteArray m_port;
    qint64 m_statusStamp = 0;
};

// A computer on the server, started at once, in a directory of its own named after it; its
// power-off is a recorder. Whether it started shows in upsd's logins.
class Computer
{
public:
    ~Computer();

    QString name() const { return m_name; }
    // The recorder's line ("<name> <UPS-off commands before>"), empty before it ran.
    QByteArray shutdownRecord() const;
    bool hasShutDown() const { return !shutdownRecord().isEmpty(); }
    // What the program wrote to stdout and stderr so far.
    QByteArray output() const;

protected:
    // With `endsOnShutdown` the recorder stops the program, as a power-off ends that computer's
    // login.
    Computer(const NutServer& server, const QString& name, bool endsOnShutdown);
    void launch(const QString& program, const QStringList& arguments, const QProcessEnvironment& env);
    QString file(const char* name) const { return m_dir + '/' + QLatin1String(name); }

private:
    QString m_name;
    QString m_dir;
    bool m_endsOnShutdown;
    QProcess m_process;
};

// One Brevant program offscreen, with application and runtime directories of its own, logged in
// to the server as `user` in `role`.
class BrevantComputer : public Computer
{
public:
    struct Options
    {
        QByteArray user = "secondary";
        QByteArray role = "secondary";
        // Shutdown after battery low (and after the mains failed) in minutes; the first-install
        // settings when empty.
        QByteArray delayMinutes;
        QByteArray hostsync; // nut_hostsync; the library's default when empty
    };

    BrevantComputer(const NutServer& server, const QString& name, const Options& options);
};

// Network UPS Tools' upsmon (/lib/nut/upsmon), named "upsmon-<role>", in a mount namespace of its
// own: a private tmpfs on /run for its PID file, and a silent wall, so that nothing reaches the
// machine's own NUT or the terminals of its users. It runs as one privileged process (-p), which
// stays logged in to upsd until its SHUTDOWNCMD, a recorder, has returned: what a power-off does
// to a real secondary.
class Upsmon : public Computer
{
public:
    // Empty when upsmon can run here, else why not.
    static QString unavailableReason();

    // `role` primary or secondary; `hostsync` seconds a primary waits for the secondaries.
    Upsmon(const NutServer& server, const QByteArray& user, const QByteArray& role, int hostsync);
};

} // namespace testsupport
