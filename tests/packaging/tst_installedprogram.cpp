#include "FakeNotifications.h"
#include "PrivateBus.h"
#include "TestFiles.h"
#include "config/FirstInstall.h"
#include "config/IniFile.h"

#include <QDBusConnection>
#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
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

    QString home(const char* path) const { return m_bus.directory() + u"/home/" + QLatin1StringView(path); }
    bool halvicSim(const char* state)
    {
        QProcess sim;
        sim.setProcessEnvironment(m_environment);
        sim.start(QStringLiteral(STAGE_PREFIX "/bin/halvic-sim"), {QLatin1StringView(state)});
        return sim.waitForFinished(10000) && sim.exitStatus() == QProcess::NormalExit && sim.exitCode() == 0;
    }
    QStringList messages(const char* table) const
    {
        QStringList messages;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
            db.setDatabaseName(home("data/brevant/EventRecord.mdb"));
            QSqlQuery query(db);
            if (db.open() && query.exec(QStringLiteral("SELECT Message FROM ") + QLatin1StringView(table)))
                while (query.next())
                    messages.append(query.value(0).toString());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
        return messages;
    }

    PrivateBus m_bus; // its directory holds the user's home too
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();

private slots:
    void freshUserIsProtectedFromTheFirstStart();
};

void TestInstalledProgram::freshUserIsProtectedFromTheFirstStart()
{
    const QString noBus = m_bus.start();
    QVERIFY2(noBus.isEmpty(), qPrintable(noBus));
    FakeNotifications notifications;
    QDBusConnection service = QDBusConnection::connectToBus(m_bus.address(), QStringLiteral("notifications"));
    const auto disconnect =
        qScopeGuard([] { QDBusConnection::disconnectFromBus(QStringLiteral("notifications")); });
    QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &notifications,
                                   QDBusConnection::ExportAllSlots));
    QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    QVERIFY(QDir().mkpath(home("runtime")));
    QVERIFY(QFile::setPermissions(home("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_environment.remove(QStringLiteral("BREVANT_APP_DIR"));
    // Nothing here may power the machine off: a recorder stands in, and logind is out of reach.
    const QList<QPair<QString, QString>> variables{{"HOME", home("")},
                                                   {"XDG_CONFIG_HOME", home("config")},
                                                   {"XDG_DATA_HOME", home("data")},
                                                   {"XDG_RUNTIME_DIR", home("runtime")},
                                                   {"QT_QPA_PLATFORM", "offscreen"},
                                                   {"HALVIC_BACKEND", "sim"},
                                                   {"HALVIC_SIM_FILE", home("ups.state")},
                                                   {"BREVANT_SHUTDOWN_COMMAND", RECORDER_SCRIPT},
                                                   {"BREVANT_TEST_MARKER", home("shutdown-ran")},
                                                   {"DBUS_SESSION_BUS_ADDRESS", m_bus.address()},
                                                   {"DBUS_SYSTEM_BUS_ADDRESS", m_bus.address()}};
    for (const auto& [name, value] : variables)
        m_environment.insert(name, value);
    QVERIFY(halvicSim("online"));

    QProcess brevant; // killed by its process id if the test ends early
    brevant.setProcessEnvironment(m_environment);
    brevant.setProcessChannelMode(QProcess::ForwardedChannels);
    brevant.start(QStringLiteral(STAGE_PREFIX "/bin/brevant"), {});

    // The first start writes the first-install settings into the user's private directories.
    const QString settings = home("config/brevant/UpsConfigure.ini");
    QTRY_COMPARE_WITH_TIMEOUT(testsupport::readFile(settings), firstInstallSettings(), 20000);
    for (const QString& dir : {home("config/brevant"), home("data/brevant")})
        QCOMPARE(QFileInfo(dir).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    // Two records, each committed on its own, the program start first.
    QTRY_VERIFY_WITH_TIMEOUT(
        messages("record").contains(u"First start: settings written with the first-install values"), 20000);
    QVERIFY(messages("record").contains(u"Program start"));
    // They shut down one minute after the battery runs low; three seconds keep the test short.
    QVERIFY(WriteIni(settings, key::Delaytime(EventSection::LowBattery), QStringLiteral("0.05")).ok());

    QVERIFY(halvicSim("lowbattery"));
    QTRY_VERIFY_WITH_TIMEOUT(messages("UpsEvent").contains(u"Attention!! UPS Battery Low"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!notifications.shown.isEmpty(), 20000);
    const QString told = notifications.shown.first();
    QVERIFY2(told.startsWith(u"UPS battery low|") && told.contains(u"3 seconds"), qPrintable(told));

    // Countdown, alarm window, UPS off through the installed libHalvic, then the shutdown command.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home("shutdown-ran")), 30000);
    QVERIFY(QFile::exists(home("ups.state.off-log")));

    brevant.terminate(); // SIGTERM to its process id: the program's orderly exit
    QVERIFY(brevant.waitForFinished(10000));
    QCOMPARE(std::pair(brevant.exitStatus(), brevant.exitCode()), std::pair(QProcess::NormalExit, 0));
    QCOMPARE(messages("record").constLast(), QStringLiteral("Program quit"));
    QVERIFY(!QFile::exists(QStringLiteral(STAGE_PREFIX "/bin/UpsConfigure.ini")));
}

QTEST_GUILESS_MAIN(TestInstalledProgram)
#include "tst_installedprogram.moc"
