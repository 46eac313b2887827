#pragma once

// One UPS served by a private upsd on loopback, and the computers it powers: real Brevant
// programs (offscreen) and Network UPS Tools' own upsmon, each with a recorder for a shutdown
// command. Every recorder appends "<name> <UPS-off commands upsd had run when it started>" to its
// own file and to the office's timeline, so a test reads both who shut down and in which order
// against the UPS-off.
//
// Log lines and behaviour relied on are those of Debian 12's nut-server and nut-client 2.8.0.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

class QTcpSocket;

namespace testsupport {

// dummy-ups and upsd of tests/support/nut/nut-fixture.sh in a directory of their own.
class NutServer
{
public:
    explicit NutServer(QString dir);
    ~NutServer();
    NutServer(const NutServer&) = delete;
    NutServer& operator=(const NutServer&) = delete;

    // False (and the fixture's complaint on stderr) when the server did not come up.
    bool start();
    void stop();

    QByteArray port() const { return m_port; }
    QString ups() const { return QStringLiteral("dummy@127.0.0.1:") + QString::fromLatin1(m_port); }
    QString upsdLog() const { return m_dir + QStringLiteral("/upsd.log"); }
    // Writes the driver's state file with a time stamp of its own, which the driver reads within
    // about a second.
    bool setUpsStatus(const QByteArray& status);

    // upsd's first answer line to one request on a connection of its own.
    QByteArray ask(const QByteArray& request) const;
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
    QString m_dir;
    QByteArray m_port;
    qint64 m_statusStamp = 0;
};

// A shutdown command for a test: notes itself in `own` and `timeline`, then stops the process
// whose PID is in `pidFile` (when given), as a power-off would end that computer's login.
void writeShutdownRecorder(const QString& path, const QString& name, const NutServer& server,
                           const QString& own, const QString& timeline, const QString& pidFile = {});

// The timeline's lines, in the order the recorders ran.
QStringList readTimeline(const QString& timeline);

// One Brevant program offscreen, with application and runtime directories of its own under
// `home`, logged in to the server as `user` in `role`; its power-off is a recorder.
class BrevantComputer
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

    BrevantComputer(const QString& home, const QString& name, const NutServer& server,
                    const QString& timeline, const Options& options);
    ~BrevantComputer();
    BrevantComputer(const BrevantComputer&) = delete;
    BrevantComputer& operator=(const BrevantComputer&) = delete;

    bool start();
    QString name() const { return m_name; }
    bool hasShutDown() const;
    // The recorder's line ("<name> <UPS-off commands before>"), empty before it ran.
    QByteArray shutdownRecord() const;

private:
    QString m_home;
    QString m_name;
    QProcessEnvironment m_env;
    QProcess m_process;
};

// Network UPS Tools' upsmon (/lib/nut/upsmon) in a mount namespace of its own: a private tmpfs on
// /run for its PID file, and a silent wall, so that nothing reaches the machine's own NUT or the
// terminals of its users. It runs as one privileged process (-p), which stays logged in to upsd
// until its SHUTDOWNCMD, a recorder, has returned: what a power-off does to a real secondary.
class Upsmon
{
public:
    // Empty when upsmon can run here, else why not.
    static QString unavailableReason();

    // `role` primary or secondary; `hostsync` seconds a primary waits for the secondaries.
    Upsmon(const QString& dir, const NutServer& server, const QByteArray& user, const QByteArray& role,
           const QString& timeline, int hostsync);
    ~Upsmon();
    Upsmon(const Upsmon&) = delete;
    Upsmon& operator=(const Upsmon&) = delete;

    bool start();
    bool hasShutDown() const;
    QByteArray shutdownRecord() const;
    // What upsmon wrote to stdout and stderr so far.
    QByteArray output() const;

private:
    QString m_dir;
    QProcess m_process;
};

} // namespace testsupport
