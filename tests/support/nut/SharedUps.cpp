#include "SharedUps.h"

#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTcpSocket>
#include <algorithm>
#include <unistd.h>

namespace testsupport {

namespace {

constexpr int NetworkWaitMs = 5000;
const QByteArray UpsOffLine = "did load.off on dummy";

void ownerOnly(const QString& path)
{
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Sends the requests one by one on `socket` and returns upsd's answer line to each; stops at the
// first request left unanswered.
QList<QByteArray> converse(QTcpSocket& socket, quint16 port, const QList<QByteArray>& requests)
{
    QList<QByteArray> answers;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(NetworkWaitMs))
        return answers;
    for (const QByteArray& request : requests) {
        socket.write(request + '\n');
        while (!socket.canReadLine() && socket.waitForReadyRead(NetworkWaitMs)) {
        }
        if (!socket.canReadLine())
            break;
        answers.append(socket.readLine().trimmed());
    }
    return answers;
}

bool allOk(const QList<QByteArray>& answers, qsizetype expected)
{
    return answers.size() == expected && std::all_of(answers.begin(), answers.end(),
                                                     [](const QByteArray& a) { return a.startsWith("OK"); });
}

QByteArray quoted(const QString& path)
{
    return '\'' + QFile::encodeName(path) + '\'';
}

} // namespace

NutServer::~NutServer()
{
    if (!m_port.isEmpty())
        QProcess::execute(QStringLiteral("bash"),
                          {QStringLiteral(NUT_FIXTURE), QStringLiteral("stop"), path(QStringLiteral("nut"))});
}

bool NutServer::start()
{
    const QString dir = path(QStringLiteral("nut"));
    if (QProcess::execute(QStringLiteral("bash"),
                          {QStringLiteral(NUT_FIXTURE), QStringLiteral("start"), dir}) != 0)
        return false;
    m_port = readFile(dir + QStringLiteral("/port")).trimmed();
    return !m_port.isEmpty();
}

QStringList NutServer::timeline() const
{
    return QString::fromUtf8(readFile(path(QStringLiteral("timeline")))).split('\n', Qt::SkipEmptyParts);
}

bool NutServer::setUpsStatus(const QByteArray& status)
{
    const QString devFile = path(QStringLiteral("nut/etc/dummy.dev"));
    QSaveFile file(devFile);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("ups.status: " + status + "\nbattery.charge: 50\nbattery.runtime: 600\n");
    if (!file.commit())
        return false;
    // The driver notices a change by the time stamp, to the second: every write gets one of its
    // own, ahead of the clock when two writes fall into the same second.
    m_statusStamp = std::max(QDateTime::currentSecsSinceEpoch(), m_statusStamp + 1);
    QFile touched(devFile);
    return touched.open(QIODevice::ReadWrite) &&
           touched.setFileTime(QDateTime::fromSecsSinceEpoch(m_statusStamp),
                               QFileDevice::FileModificationTime);
}

int NutServer::logins() const
{
    QTcpSocket socket;
    return converse(socket, m_port.toUShort(), {"GET NUMLOGINS dummy"}).value(0).split(' ').value(2).toInt();
}

int NutServer::upsOffCommands() const
{
    return int(readFile(upsdLog()).count(UpsOffLine));
}

double NutServer::loggedAt(const QByteArray& text) const
{
    // upsd -D starts every line with the seconds since its start: "  12.345678\t<message>".
    for (const QByteArray& line : readFile(upsdLog()).split('\n')) {
        if (line.contains(text))
            return line.split('\t').value(0).trimmed().toDouble();
    }
    return -1;
}

std::unique_ptr<QTcpSocket> NutServer::logIn(const QByteArray& user) const
{
    auto socket = std::make_unique<QTcpSocket>();
    const auto answers =
        converse(*socket, m_port.toUShort(), {"USERNAME " + user, "PASSWORD secret", "LOGIN dummy"});
    return allOk(answers, 3) ? std::move(socket) : nullptr;
}

bool NutServer::setForcedShutdown() const
{
    QTcpSocket socket;
    const auto answers = converse(
        socket, m_port.toUShort(),
        {"USERNAME admin", "PASSWORD secret", "LOGIN dummy", "PRIMARY dummy", "FSD dummy", "LOGOUT"});
    return allOk(answers, 6) && answers.at(4) == "OK FSD-SET";
}

Computer::Computer(const NutServer& server, const QString& name, bool endsOnShutdown)
    : m_name(name)
    , m_dir(server.path(name))
    , m_endsOnShutdown(endsOnShutdown)
{
    QDir().mkpath(m_dir);
    ownerOnly(m_dir);
    // The timeline first: once the own file exists, the timeline holds the line as well.
    QByteArray script = "#!/bin/sh\n# Stands in for a power-off.\n";
    script +=
        "line=\"" + name.toUtf8() + " $(grep -c '" + UpsOffLine + "' " + quoted(server.upsdLog()) + ")\"\n";
    script += "echo \"$line\" >>" + quoted(server.path(QStringLiteral("timeline"))) + '\n';
    script += "echo \"$line\" >>" + quoted(file("shutdown")) + '\n';
    if (endsOnShutdown)
        script += "kill -TERM \"$(cat " + quoted(file("pid")) + ")\"\n";
    writeFile(file("shutdown-command"), script);
    ownerOnly(file("shutdown-command"));
}

Computer::~Computer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(NetworkWaitMs);
    }
}

QByteArray Computer::shutdownRecord() const
{
    return readFile(file("shutdown")).trimmed();
}

QByteArray Computer::output() const
{
    return readFile(file("output"));
}

void Computer::launch(const QString& program, const QStringList& arguments, const QProcessEnvironment& env)
{
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(file("output"));
    m_process.start(program, arguments);
    if (m_process.waitForStarted(NetworkWaitMs) && m_endsOnShutdown)
        writeFile(file("pid"), QByteArray::number(m_process.processId()));
}

BrevantComputer::BrevantComputer(const NutServer& server, const QString& name, const Options& options)
    : Computer(server, name, true)
{
    QDir().mkpath(file("app"));
    QDir().mkpath(file("runtime"));
    ownerOnly(file("runtime"));
    if (!options.delayMinutes.isEmpty()) {
        QByteArray settings;
        for (const char* event : {"UpsOnBattery", "UpsLowBattery"})
            settings += QByteArray("[") + event +
                        "]\nDisableevent=0\nRecordlog=1\nShutdown=1\nDelaytime=" + options.delayMinutes +
                        '\n';
        writeFile(file("app/UpsConfigure.ini"), settings);
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("BREVANT_APP_DIR"), file("app"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), file("runtime"));
    env.insert(QStringLiteral("BREVANT_SHUTDOWN_COMMAND"), file("shutdown-command"));
    // No serial device, whatever the settings say.
    for (int port = 1; port <= 4; ++port)
        env.insert(QStringLiteral("BREVANT_COM%1").arg(port), file("no-port"));
    env.insert(QStringLiteral("HALVIC_BACKEND"), QStringLiteral("nut"));
    env.insert(QStringLiteral("HALVIC_NUT_UPS"), server.ups());
    env.insert(QStringLiteral("HALVIC_NUT_USER"), QString::fromLatin1(options.user));
    env.insert(QStringLiteral("HALVIC_NUT_PASSWORD"), QStringLiteral("secret"));
    env.insert(QStringLiteral("HALVIC_NUT_ROLE"), QString::fromLatin1(options.role));
    if (!options.hostsync.isEmpty())
        env.insert(QStringLiteral("HALVIC_NUT_HOSTSYNC"), QString::fromLatin1(options.hostsync));
    // The dummy driver offers only load.off, which the library otherwise does not use.
    env.insert(QStringLiteral("HALVIC_NUT_OFFCMD"), QStringLiteral("load.off"));
    launch(binDir() + QStringLiteral("/brevant"), {}, env);
}

QString Upsmon::unavailableReason()
{
    if (::geteuid() != 0)
        return QStringLiteral(
            "not root: upsmon needs a mount namespace of its own for its PID file under /run");
    if (!QFile::exists(QStringLiteral("/lib/nut/upsmon")))
        return QStringLiteral("/lib/nut/upsmon is missing (scripts/deps.sh installs nut-client)");
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-m"), QStringLiteral("true")}) != 0)
        return QStringLiteral("unshare -m is refused here");
    return {};
}

Upsmon::Upsmon(const NutServer& server, const QByteArray& user, const QByteArray& role, int hostsync)
    : Computer(server, QStringLiteral("upsmon-") + QString::fromLatin1(role), false)
{
    // Polled every second, no final delay: the test waits for upsmon's decisions, not its pauses.
    writeFile(file("upsmon.conf"), "RUN_AS_USER root\nMONITOR " + server.ups().toLatin1() + " 1 " + user +
                                       " secret " + role + "\nMINSUPPLIES 1\nSHUTDOWNCMD \"" +
                                       QFile::encodeName(file("shutdown-command")) + "\"\nPOWERDOWNFLAG " +
                                       QFile::encodeName(file("killpower")) +
                                       "\nPOLLFREQ 1\nPOLLFREQALERT 1\nFINALDELAY 0\nHOSTSYNC " +
                                       QByteArray::number(hostsync) + '\n');
    QFile::setPermissions(file("upsmon.conf"), QFile::ReadOwner | QFile::WriteOwner);
    writeFile(file("nut.conf"), "MODE=netclient\n");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NUT_CONFPATH"), file("."));
    env.insert(QStringLiteral("NUT_STATEPATH"), file("."));
    // upsmon keeps the PID of the unshare and sh before it (both exec), so the test ends it by
    // that PID.
    const QString script = QStringLiteral(
        "set -e; mount -t tmpfs -o mode=755 tmpfs /run; mkdir -p /run/nut; "
        "if wall=$(command -v wall); then mount --bind /bin/true \"$wall\"; fi; exec /lib/nut/upsmon -F -p");
    launch(QStringLiteral("unshare"),
           {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script}, env);
}

} // namespace testsupport
