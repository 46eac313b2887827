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

using namespace brevant;

// The real program on Qt's Wayland platform, under a headless Weston: it comes up, polls the
// simulated UPS (a mains failure is recorded) and ends cleanly on SIGTERM.
class TestWaylandRun : public QObject
{
    Q_OBJECT

    QStringList records() const
    {
        QStringList messages;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
            db.setDatabaseName(m_appDir.filePath(QStringLiteral("EventRecord.mdb")));
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
            QSqlQuery query(db);
            if (db.open() && query.exec(QStringLiteral("select Message from record order by rowid")))
                while (query.next())
                    messages.append(query.value(0).toString());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        return messages;
    }

    QTemporaryDir m_runtime;
    QTemporaryDir m_appDir;

private slots:
    void pollsAndEndsCleanly();
};

void TestWaylandRun::pollsAndEndsCleanly()
{
    const QString weston = QStandardPaths::findExecutable(QStringLiteral("weston"));
    const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms");
    if (weston.isEmpty() || QDir(plugins).entryList({QStringLiteral("libqwayland-generic*")}).isEmpty())
        QSKIP("weston or qt6-wayland is not installed (scripts/deps.sh installs both)");
    QVERIFY(QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());

    QProcess compositor;
    compositor.setProcessEnvironment(env);
    compositor.setProcessChannelMode(QProcess::MergedChannels);
    compositor.start(weston,
                     {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=wl-test"),
                      QStringLiteral("--idle-time=0"), QStringLiteral("--no-config")});
    const auto stopCompositor = qScopeGuard([&] {
        compositor.terminate(); // SIGTERM to the compositor this test started
        if (!compositor.waitForFinished(5000))
            compositor.kill();
    });
    const QString socket = m_runtime.filePath(QStringLiteral("wl-test"));
    const auto settled = [&] { return QFile::exists(socket) || compositor.state() == QProcess::NotRunning; };
    if (!QTest::qWaitFor(settled, 10000) || !QFile::exists(socket))
        QSKIP(qPrintable(u"weston cannot start here: " + QString::fromLocal8Bit(compositor.readAll())));

    env.remove(QStringLiteral("DISPLAY")); // no way back to X11
    for (const auto& [name, value] : QList<std::pair<QString, QString>>{
             {"QT_QPA_PLATFORM", "wayland"},
             {"WAYLAND_DISPLAY", "wl-test"},
             {"BREVANT_APP_DIR", m_appDir.path()},
             {"HALVIC_BACKEND", "sim"},
             {"HALVIC_SIM_FILE", m_appDir.filePath("halvic-sim.state")},
             // Never the machine's own power-off: a recorder that only notes it was asked.
             {"BREVANT_SHUTDOWN_COMMAND", RECORDER_SCRIPT},
             {"BREVANT_TEST_MARKER", m_appDir.filePath("shutdown-asked")},
         })
        env.insert(name, value);
    const QString ini = m_appDir.filePath(QStringLiteral("UpsConfigure.ini"));
    // USB (never a serial port of this machine), the mains failure recorded, no shutdown.
    for (const auto& [key, value] : {std::pair{key::ComboPort, "0"},
                                     {key::Disableevent(EventSection::OnBattery), "0"},
                                     {key::Recordlog(EventSection::OnBattery), "1"},
                                     {key::Shutdown(EventSection::OnBattery), "0"}})
        QVERIFY(WriteIni(ini, key, QString::fromLatin1(value)).ok());
    QProcess sim;
    sim.setProcessEnvironment(env);
    sim.start(testsupport::binDir() + QStringLiteral("/halvic-sim"), {QStringLiteral("onbattery")});
    QVERIFY(sim.waitForFinished(10000) && sim.exitCode() == 0);

    QProcess brevant;
    brevant.setProcessEnvironment(env);
    brevant.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    brevant.start(testsupport::binDir() + QStringLiteral("/brevant"), {});
    QVERIFY(brevant.waitForStarted(10000));
    // The splash (2 s), the load, then the first poll 2.2 s later finds the mains failed.
    QTRY_VERIFY_WITH_TIMEOUT(records().contains(QStringLiteral("Attention!! System Power Failed")) ||
                                 brevant.state() == QProcess::NotRunning,
                             30000);
    QVERIFY2(brevant.state() == QProcess::Running, "the program ended on Wayland before it polled");

    brevant.terminate(); // SIGTERM: the program's orderly exit
    QVERIFY(brevant.waitForFinished(15000));
    QCOMPARE(std::pair(brevant.exitStatus(), brevant.exitCode()), std::pair(QProcess::NormalExit, 0));
    QCOMPARE(records().constLast(), QStringLiteral("Program quit"));
    QVERIFY(!QFile::exists(m_appDir.filePath(QStringLiteral("shutdown-asked"))));
}

QTEST_GUILESS_MAIN(TestWaylandRun)
#include "tst_waylandrun.moc"
