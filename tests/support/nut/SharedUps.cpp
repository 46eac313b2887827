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

void makePrivateDirectory(const QString& path)
{
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void writeExecutable(const QString& path, const QByteArray& contents)
{
    writeFile(path, contents);
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

NutServer::NutServer(QString dir)
    : m_dir(std::move(dir))
{}

NutServer::~NutServer()
{
    stop();
}

bool NutServer::start()
{
    if (QProcess::execute(QStringLiteral("bash"),
                          {QStringLiteral(NUT_FIXTURE), QStringLiteral("start"), m_dir}) != 0)
        return false;
    m_port = readFile(m_dir + QStringLiteral("/port")).trimmed();
    return !m_port.isEmpty();
}

void NutServer::stop()
{
    if (m_port.isEmpty())
        return;
    QProcess::execute(QStringLiteral("bash"), {QStringLiteral(NUT_FIXTURE), QStringLiteral("stop"), m_dir});
    m_port.clear();
}

bool NutServer::setUpsStatus(const QByteArray& status)
{
    const QString devFile = m_dir + QStringLiteral("/etc/dummy.dev");
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

QByteArray NutServer::ask(const QByteArray& request) const
{
    QTcpSocket socket;
    return converse(socket, m_port.toUShort(), {request}).value(0);
}

int NutServer::logins() const
{
    return ask("GET NUMLOGINS dummy").split(' ').value(2).toInt();
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

void writeShutdownRecorder(const QString& path, const QString& name, const NutServer& server,
                           const QString& own, const QString& timeline, const QString& pidFile)
{
    // The timeline first: once the own file exists, the timeline holds the line as well.
    QByteArray script = "#!/bin/sh\n# Stands in for a power-off.\n";
    script +=
        "line=\"" + name.toUtf8() + " $(grep -c '" + UpsOffLine + "' " + quoted(server.upsdLog()) + ")\"\n";
    script += "echo \"$line\" >>" + quoted(timeline) + '\n';
    script += "echo \"$line\" >>" + quoted(own) + '\n';
    if (!pidFile.isEmpty())
        script += "kill -TERM \"$(cat " + quoted(pidFile) + ")\"\n";
    writeExecutable(path, script);
}

QStringList readTimeline(const QString& timeline)
{
    return QString::fromUtf8(readFile(timeline)).split('\n', Qt::SkipEmptyParts);
}

BrevantComputer::BrevantComputer(const QString& home, const QString& name, const NutServer& server,
                                 const QString& timeline, const Options& options)
    : m_home(home + '/' + name)
    , m_name(name)
{
    QDir(m_home).removeRecursively();
    const QString app = m_home + QStringLiteral("/app");
    const QString runtime = m_home + QStringLiteral("/runtime");
    QDir().mkpath(app);
    makePrivateDirectory(runtime);
    const QString recorder = m_home + QStringLiteral("/shutdown-command");
    writeShutdownRecorder(recorder, name, server, m_home + QStringLiteral("/shutdown"), timeline,
                          m_home + QStringLiteral("/pid"));
    if (!options.delayMinutes.isEmpty()) {
        QByteArray settings;
        for (const char* event : {"UpsOnBattery", "UpsLowBattery"})
            settings += QByteArray("[") + event +
                        "]\nDisableevent=0\nRecordlog=1\nShutdown=1\nDelaytime=" + options.delayMinutes +
                        '\n';
        writeFile(app + QStringLiteral("/UpsConfigure.ini"), settings);
    }

    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_env.insert(QStringLiteral("BREVANT_APP_DIR"), app);
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    m_env.insert(QStringLiteral("BREVANT_SHUTDOWN_COMMAND"), recorder);
    // No serial device, whatever the settings say.
    for (int port = 1; port <= 4; ++port)
        m_env.insert(QStringLiteral("BREVANT_COM%1").arg(port), m_home + QStringLiteral("/no-port"));
    m_env.insert(QStringLiteral("HALVIC_BACKEND"), QStringLiteral("nut"));
    m_env.insert(QStringLiteral("HALVIC_NUT_UPS"), server.ups());
    m_env.insert(QStringLiteral("HALVIC_NUT_USER"), QString::fromLatin1(options.user));
    m_env.insert(QStringLiteral("HALVIC_NUT_PASSWORD"), QStringLiteral("secret"));
    m_env.insert(QStringLiteral("HALVIC_NUT_ROLE"), QString::fromLatin1(options.role));
    if (!options.hostsync.isEmpty())
        m_env.insert(QStringLiteral("HALVIC_NUT_HOSTSYNC"), QString::fromLatin1(options.hostsync));
    // The dummy driver offers only load.off, which the library otherwise does not use.
    m_env.insert(QStringLiteral("HALVIC_NUT_OFFCMD"), QStringLiteral("load.off"));
}

BrevantComputer::~BrevantComputer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(NetworkWaitMs);
    }
}

bool BrevantComputer::start()
{
    m_process.setProcessEnvironment(m_env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(binDir() + QStringLiteral("/brevant"), {});
    if (!m_process.waitForStarted(NetworkWaitMs))
        return false;
    writeFile(m_home + QStringLiteral("/pid"), QByteArray::number(m_process.processId()));
    return true;
}

bool BrevantComputer::hasShutDown() const
{
    return QFile::exists(m_home + QStringLiteral("/shutdown"));
}

QByteArray BrevantComputer::shutdownRecord() const
{
    return readFile(m_home + QStringLiteral("/shutdown")).trimmed();
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

Upsmon::Upsmon(const QString& dir, const NutServer& server, const QByteArray& user, const QByteArray& role,
               const QString& timeline, int hostsync)
    : m_dir(dir)
{
    QDir(m_dir).removeRecursively();
    makePrivateDirectory(m_dir);
    const QString recorder = m_dir + QStringLiteral("/shutdown-command");
    writeShutdownRecorder(recorder, QStringLiteral("upsmon-") + QString::fromLatin1(role), server,
                          m_dir + QStringLiteral("/shutdown"), timeline);
    // Polled every second, no final delay: the test waits for upsmon's decisions, not its pauses.
    const QString conf = m_dir + QStringLiteral("/upsmon.conf");
    writeFile(conf, "RUN_AS_USER root\nMONITOR " + server.ups().toLatin1() + " 1 " + user + " secret " +
                        role + "\nMINSUPPLIES 1\nSHUTDOWNCMD \"" + QFile::encodeName(recorder) +
                        "\"\nPOWERDOWNFLAG " + QFile::encodeName(m_dir) +
                        "/killpower\nPOLLFREQ 1\nPOLLFREQALERT 1\nFINALDELAY 0\nHOSTSYNC " +
                        QByteArray::number(hostsync) + '\n');
    QFile::setPermissions(conf, QFile::ReadOwner | QFile::WriteOwner);
    writeFile(m_dir + QStringLiteral("/nut.conf"), "MODE=netclient\n");
}

Upsmon::~Upsmon()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(NetworkWaitMs)) {
            m_process.kill();
            m_process.waitForFinished(NetworkWaitMs);
        }
    }
}

bool Upsmon::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("NUT_CONFPATH"), m_dir);
    env.insert(QStringLiteral("NUT_STATEPATH"), m_dir);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir + QStringLiteral("/upsmon.log"));
    // upsmon keeps the PID of the unshare and sh before it (both exec), so the test ends it by
    // that PID.
    const QString script = QStringLiteral(
        "set -e; mount -t tmpfs -o mode=755 tmpfs /run; mkdir -p /run/nut; "
        "if wall=$(command -v wall); then mount --bind /bin/true \"$wall\"; fi; exec /lib/nut/upsmon -F -p");
    m_process.start(QStringLiteral("unshare"),
                    {QStringLiteral("-m"), QStringLiteral("sh"), QStringLiteral("-c"), script});
    return m_process.waitForStarted(NetworkWaitMs);
}

bool Upsmon::hasShutDown() const
{
    return QFile::exists(m_dir + QStringLiteral("/shutdown"));
}

QByteArray Upsmon::shutdownRecord() const
{
    return readFile(m_dir + QStringLiteral("/shutdown")).trimmed();
}

QByteArray Upsmon::output() const
{
    return readFile(m_dir + QStringLiteral("/upsmon.log"));
}

} // namespace testsupport
