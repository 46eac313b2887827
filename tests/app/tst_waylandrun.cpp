#include "TestFiles.h"
#include "config/IniFile.h"
#include "config/SettingKeys.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace brevant;

// The real program on Qt's Wayland platform, under a headless Weston: it comes up frameless,
// polls the simulated UPS (a mains failure is recorded) and ends cleanly on SIGTERM.
class TestWaylandRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pollsAndEndsCleanly();
    void cleanupTestCase();

private:
    QStringList records() const;
    QProcessEnvironment environment() const;

    QTemporaryDir m_runtime;
    QTemporaryDir m_appDir;
    QProcess m_weston;
    const QString m_socket = QStringLiteral("brevant-wayland-test");
};

void TestWaylandRun::initTestCase()
{
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    if (weston.isEmpty())
        QSKIP("weston is not installed (scripts/deps.sh installs it)");
    const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    if (QDir(plugin).entryList({QStringLiteral("libqwayland-generic*")}).isEmpty())
        QSKIP("Qt's Wayland platform (qt6-wayland) is not installed");
    QVERIFY(QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_weston.setProcessEnvironment(env);
    m_weston.setProcessChannelMode(QProcess::MergedChannels);
    m_weston.start(weston, {QStringLiteral("--backend=headless-backend.so"), u"--socket=" + m_socket,
                            QStringLiteral("--idle-time=0"), QStringLiteral("--no-config")});
    const QString socket = m_runtime.filePath(m_socket);
    const bool up = QTest::qWaitFor(
        [&] { return QFile::exists(socket) || m_weston.state() == QProcess::NotRunning; }, 10000);
    if (!up || !QFile::exists(socket))
        QSKIP(qPrintable(u"weston cannot start here: " + QString::fromLocal8Bit(m_weston.readAll())));
}

QProcessEnvironment TestWaylandRun::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY")); // no way back to X11
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), m_socket);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    env.insert(QStringLiteral("BREVANT_APP_DIR"), m_appDir.path());
    env.insert(QStringLiteral("HALVIC_BACKEND"), QStringLiteral("sim"));
    env.insert(QStringLiteral("HALVIC_SIM_FILE"), m_appDir.filePath(QStringLiteral("halvic-sim.state")));
    // Never the machine's own power-off: a recorder that only notes it was asked.
    env.insert(QStringLiteral("BREVANT_SHUTDOWN_COMMAND"), QStringLiteral(RECORDER_SCRIPT));
    env.insert(QStringLiteral("BREVANT_TEST_MARKER"), m_appDir.filePath(QStringLiteral("shutdown-asked")));
    return env;
}

QStringList TestWaylandRun::records() const
{
    QStringList messages;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(m_appDir.filePath(QStringLiteral("EventRecord.mdb")));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery query(QStringLiteral("select Message from record order by rowid"), db);
            while (query.next())
                messages.append(query.value(0).toString());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return messages;
}

void TestWaylandRun::pollsAndEndsCleanly()
{
    const QString ini = m_appDir.filePath(QStringLiteral("UpsConfigure.ini"));
    for (const auto& [key, value] : {std::pair{key::ComboPort, "0"},
                                     {key::Disableevent(EventSection::OnBattery), "0"},
                                     {key::Recordlog(EventSection::OnBattery), "1"},
                                     {key::Shutdown(EventSection::OnBattery), "0"}})
        QVERIFY(WriteIni(ini, key.section.toString(), key.name.toString(), QString::fromLatin1(value)).ok());

    QProcess sim;
    sim.setProcessEnvironment(environment());
    sim.start(testsupport::binDir() + QStringLiteral("/halvic-sim"), {QStringLiteral("onbattery")});
    QVERIFY(sim.waitForFinished(10000));
    QCOMPARE(sim.exitCode(), 0);

    QProcess brevant;
    brevant.setProcessEnvironment(environment());
    brevant.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    brevant.start(testsupport::binDir() + QStringLiteral("/brevant"), {});
    QVERIFY(brevant.waitForStarted(10000));

    // The splash (2 s), the load, then the first poll 2.2 s later finds the mains failed.
    const QString failed = QStringLiteral("Attention!! System Power Failed");
    QTRY_VERIFY_WITH_TIMEOUT(records().contains(failed) || brevant.state() == QProcess::NotRunning, 30000);
    QVERIFY2(brevant.state() == QProcess::Running, "the program ended on Wayland before it polled");
    QCOMPARE(records().first(), QStringLiteral("Program start"));

    QCOMPARE(::kill(pid_t(brevant.processId()), SIGTERM), 0);
    QVERIFY(brevant.waitForFinished(15000));
    QCOMPARE(brevant.exitStatus(), QProcess::NormalExit);
    QCOMPARE(brevant.exitCode(), 0);
    QCOMPARE(records().last(), QStringLiteral("Program quit"));
    QVERIFY(!QFile::exists(m_appDir.filePath(QStringLiteral("shutdown-asked"))));
}

void TestWaylandRun::cleanupTestCase()
{
    if (m_weston.state() == QProcess::NotRunning)
        return;
    m_weston.terminate(); // SIGTERM to the compositor this test started
    if (!m_weston.waitForFinished(5000))
        m_weston.kill();
}

QTEST_GUILESS_MAIN(TestWaylandRun)
#include "tst_waylandrun.moc"
