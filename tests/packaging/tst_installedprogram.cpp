#include "FakeNotifications.h"
#include "InstallLayout.h"
#include "PrivateBus.h"
#include "config/FirstInstall.h"
#include "config/IniFile.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace brevant;

// The installed program as a new user meets it: the staged installation's own brevant, started
// with a home directory of its own, on the simulated UPS driven by the installed halvic-sim, its
// notifications going to a fake notification service on a private session bus and its shutdown
// to a recorder. The UPS goes to low battery; the first-install settings must carry the shutdown
// through.
class TestInstalledProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void freshUserIsProtectedFromTheFirstStart();

private:
    bool halvicSim(const QString& state);
    QStringList tableMessages(const QString& table) const;

    std::unique_ptr<PrivateBus> m_bus;
    FakeNotifications m_notifications;
    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
};

void TestInstalledProgram::initTestCase()
{
    m_bus = std::make_unique<PrivateBus>();
    const QString noBus = m_bus->start();
    QVERIFY2(noBus.isEmpty(), qPrintable(noBus));
    QDBusConnection service =
        QDBusConnection::connectToBus(m_bus->address(), QStringLiteral("notifications"));
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_notifications,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    QVERIFY(m_home.isValid());
    const QString runtime = m_home.filePath(QStringLiteral("runtime"));
    QVERIFY(QDir().mkdir(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.remove(QStringLiteral("BREVANT_APP_DIR"));
    const QList<QPair<QString, QString>> variables{
        {"HOME", m_home.path()},
        {"XDG_CONFIG_HOME", m_home.filePath("config")},
        {"XDG_DATA_HOME", m_home.filePath("data")},
        {"XDG_RUNTIME_DIR", runtime},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"HALVIC_BACKEND", "sim"},
        {"HALVIC_SIM_FILE", m_home.filePath("ups.state")},
        // Nothing here may power the machine off: a recorder stands in, and logind is out of reach.
        {"BREVANT_SHUTDOWN_COMMAND", RECORDER_SCRIPT},
        {"BREVANT_TEST_MARKER", m_home.filePath("shutdown-ran")},
        {"DBUS_SESSION_BUS_ADDRESS", m_bus->address()},
        {"DBUS_SYSTEM_BUS_ADDRESS", m_bus->address()},
    };
    for (const auto& [name, value] : variables)
        m_environment.insert(name, value);
}

void TestInstalledProgram::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("notifications"));
    m_bus.reset();
}

bool TestInstalledProgram::halvicSim(const QString& state)
{
    QProcess sim;
    sim.setProcessEnvironment(m_environment);
    sim.start(QStringLiteral(STAGE_PREFIX "/bin/halvic-sim"), {state});
    return sim.waitForFinished(10000) && sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == 0;
}

QStringList TestInstalledProgram::tableMessages(const QString& table) const
{
    QStringList messages;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(m_home.filePath(QStringLiteral("data/brevant/EventRecord.mdb")));
        if (db.open()) {
            QSqlQuery query(QStringLiteral("SELECT Message FROM ") + table, db);
            while (query.next())
                messages.append(query.value(0).toString());
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    return messages;
}

void TestInstalledProgram::freshUserIsProtectedFromTheFirstStart()
{
    const QString settings = m_home.filePath(QStringLiteral("config/brevant/UpsConfigure.ini"));
    const QString dataDir = m_home.filePath(QStringLiteral("data/brevant"));
    QVERIFY(halvicSim(QStringLiteral("online")));

    QProcess brevant;
    brevant.setProcessEnvironment(m_environment);
    brevant.setProcessChannelMode(QProcess::ForwardedChannels);
    brevant.start(QStringLiteral(STAGE_PREFIX "/bin/brevant"), {});
    QVERIFY(brevant.waitForStarted(10000));
    const auto stop = qScopeGuard([&] {
        if (brevant.state() != QProcess::NotRunning) {
            brevant.terminate(); // SIGTERM to its process id: the program's orderly exit
            if (!brevant.waitForFinished(10000))
                brevant.kill();
        }
    });

    // The first start writes the first-install settings into the user's private directories.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(settings).size() == firstInstallSettings().size(), 20000);
    QFile written(settings);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), firstInstallSettings());
    for (const QString& dir : {QFileInfo(settings).path(), dataDir})
        QCOMPARE(QFileInfo(dir).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    // Two records, each committed on its own: a read between them sees only the first.
    QTRY_VERIFY_WITH_TIMEOUT(
        tableMessages(QStringLiteral("record"))
            .contains(QStringLiteral("First start: settings written with the first-install values")),
        20000);
    QVERIFY(tableMessages(QStringLiteral("record")).contains(QStringLiteral("Program start")));
    // They shut down one minute after the battery runs low; three seconds keep the test short.
    QVERIFY(WriteIni(settings, key::Delaytime(EventSection::LowBattery), QStringLiteral("0.05")).ok());

    QVERIFY(halvicSim(QStringLiteral("lowbattery")));
    QTRY_VERIFY_WITH_TIMEOUT(
        tableMessages(QStringLiteral("UpsEvent")).contains(QStringLiteral("Attention!! UPS Battery Low")),
        20000);
    QTRY_VERIFY_WITH_TIMEOUT(!m_notifications.shown.isEmpty(), 20000);
    const QString told = m_notifications.shown.first();
    QVERIFY2(told.startsWith(u"UPS battery low|") && told.contains(u"3 seconds"), qPrintable(told));

    // Countdown, alarm window, UPS off through the installed libHalvic, then the shutdown command.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_home.filePath(QStringLiteral("shutdown-ran"))), 30000);
    QVERIFY(QFile::exists(m_home.filePath(QStringLiteral("ups.state.off-log"))));

    brevant.terminate();
    QVERIFY(brevant.waitForFinished(10000));
    QCOMPARE(brevant.exitStatus(), QProcess::NormalExit);
    QCOMPARE(brevant.exitCode(), 0);
    QCOMPARE(tableMessages(QStringLiteral("record")).constLast(), QStringLiteral("Program quit"));
    QVERIFY(!QFile::exists(QStringLiteral(STAGE_PREFIX "/") + QLatin1StringView(build::BinDir) +
                           u"/UpsConfigure.ini"));
}

QTEST_GUILESS_MAIN(TestInstalledProgram)
#include "tst_installedprogram.moc"
