#include "TestFiles.h"
#include "config/IniFile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

// The fire drill as a user runs it: the real executable, a scenario file, JSON lines out.
class TestDrill : public QObject
{
    Q_OBJECT

private slots:
    void badScenariosAreRefusedBeforeRunning_data();
    void badScenariosAreRefusedBeforeRunning();
    void lowBatteryOutageShutsDownAfterTheAlarm();
    void appDirIsCopiedNeverWritten();
    void summaryTellsWhenTheSystemGoesDown();

private:
    struct Run
    {
        int exitCode = -1;
        QList<QJsonObject> events;
        QStringList output;
        QString errors;
    };
    Run drill(const QByteArray& scenario, const QStringList& options = {});
    static QList<QJsonObject> only(const QList<QJsonObject>& events, const QString& type);

    QTemporaryDir m_dir;
};

TestDrill::Run TestDrill::drill(const QByteArray& scenario, const QStringList& options)
{
    const QString file = m_dir.filePath(QStringLiteral("scenario.txt"));
    testsupport::writeFile(file, scenario);
    QProcess p;
    p.start(testsupport::binDir() + QStringLiteral("/brevant-drill"), QStringList{file} + options);
    Run run;
    if (!p.waitForFinished(60000))
        return run;
    run.exitCode = p.exitCode();
    run.errors = QString::fromUtf8(p.readAllStandardError());
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            run.events.append(QJsonDocument::fromJson(line).object());
        run.output.append(QString::fromUtf8(line));
    }
    return run;
}

QList<QJsonObject> TestDrill::only(const QList<QJsonObject>& events, const QString& type)
{
    QList<QJsonObject> picked;
    for (const QJsonObject& e : events) {
        if (e.value(u"event").toString() == type)
            picked.append(e);
    }
    return picked;
}

void TestDrill::badScenariosAreRefusedBeforeRunning_data()
{
    QTest::addColumn<QByteArray>("scenario");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown command") << QByteArray("1 usb online\n2 jump\n3 end\n")
                                     << "line 2: unknown command 'jump'";
    QTest::newRow("time backwards") << QByteArray("5 usb onbattery\n# note\n4 usb online\n9 end\n")
                                    << "line 3: time goes backwards";
    QTest::newRow("missing end") << QByteArray("1 usb silent\n") << "must end with";
    QTest::newRow("serial one line") << QByteArray("1 serial cts=1\n2 end\n") << "line 1: serial needs both";
    QTest::newRow("time too large") << QByteArray("1 usb online\n99999999999999999999.5 end\n")
                                    << "line 2: time 99999999999999999999.5 s is beyond the longest drill";
    // A misspelt setting would give a drill without the shutdown the user meant to try.
    QTest::newRow("unknown section") << QByteArray("0 set UpsOnBatery Shutdown 1\n2 end\n")
                                     << "line 1: unknown settings section [UpsOnBatery]";
    QTest::newRow("unknown key") << QByteArray("# try it\n0 set upsonbattery Shutdwon 1\n2 end\n")
                                 << "line 2: the settings section [upsonbattery] has no key 'Shutdwon'";
}

void TestDrill::badScenariosAreRefusedBeforeRunning()
{
    QFETCH(QByteArray, scenario);
    QFETCH(QString, error);
    const Run run = drill(scenario);
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.errors.contains(error), qPrintable(run.errors));
    QVERIFY(run.events.isEmpty());
}

void TestDrill::lowBatteryOutageShutsDownAfterTheAlarm()
{
    // First-install settings: the low battery shuts down after one minute.
    const Run run = drill("5 usb onbattery\n20 usb lowbattery\n100 end\n");
    QCOMPARE(run.exitCode, 0);
    const auto countdown = only(run.events, QStringLiteral("countdown"));
    QCOMPARE(countdown.first().value(u"text").toString(),
             QStringLiteral("System ShutDown After 60  Seconds"));
    QCOMPARE(countdown.first().value(u"t").toInteger(), 23000);
    const auto alarm = only(run.events, QStringLiteral("alarm"));
    QCOMPARE(alarm.first().value(u"action").toString(), QStringLiteral("show"));
    QCOMPARE(alarm.first().value(u"t").toInteger(), 82000);
    const auto off = only(run.events, QStringLiteral("ups-off"));
    QCOMPARE(off.size(), 3);
    QCOMPARE(off.first().value(u"t").toInteger(), 86200);
    QCOMPARE(off.last().value(u"t").toInteger(), 86220);
    const auto shutdown = only(run.events, QStringLiteral("system-shutdown"));
    QCOMPARE(shutdown.size(), 1);
    QCOMPARE(shutdown.first().value(u"t").toInteger(), 86220);
    QStringList texts;
    for (const QJsonObject& r : only(run.events, QStringLiteral("record")))
        texts.append(r.value(u"table").toString() + u':' + r.value(u"text").toString());
    QCOMPARE(texts, (QStringList{QStringLiteral("record:Program start"),
                                 QStringLiteral("record:Attention!! System Power Failed"),
                                 QStringLiteral("UpsEvent:Attention!! System Power Failed"),
                                 QStringLiteral("record:Attention!! UPS Battery Low"),
                                 QStringLiteral("UpsEvent:Attention!! UPS Battery Low"),
                                 QStringLiteral("record:Program quit")}));
}

void TestDrill::appDirIsCopiedNeverWritten()
{
    QTemporaryDir appDir;
    QTemporaryDir out;
    const QString ini = appDir.filePath(QStringLiteral("UpsConfigure.ini"));
    QVERIFY(brevant::WriteIni(ini, brevant::key::ComboPort, QStringLiteral("2")).ok());
    QVERIFY(
        brevant::WriteIni(ini, brevant::key::Recordlog(brevant::EventSection::OnBattery), QStringLiteral("0"))
            .ok());
    // A first drill leaves its final databases in the application directory, as a monitor would.
    const QStringList inAppDir{QStringLiteral("--app-dir"), appDir.path(), QStringLiteral("--result-dir"),
                               appDir.path()};
    const Run first = drill("3 serial cts=1 dcd=0\n6 serial cts=0 dcd=0\n7 end\n", inAppDir);
    QCOMPARE(first.exitCode, 0);
    QCOMPARE(only(first.events, QStringLiteral("tray")).last().value(u"tip").toString(),
             QStringLiteral("Quillon System")); // the serial link's tip: the settings were read
    QStringList records;
    for (const QJsonObject& r : only(first.events, QStringLiteral("record")))
        records.append(r.value(u"text").toString());
    QVERIFY(!records.contains(QStringLiteral("Attention!! System Power Failed")));
    QVERIFY(records.contains(QStringLiteral("System AC Power Recovered")));

    const QStringList files{QStringLiteral("UpsConfigure.ini"), QStringLiteral("EventRecord.mdb"),
                            QStringLiteral("CloseAppRecord.mdb")};
    QList<QByteArray> before;
    for (const QString& f : files)
        before.append(testsupport::readFile(appDir.filePath(f)));
    QVERIFY(!before.at(1).isEmpty());

    // A shutdown by hand with application saving, clearing the log: writes settings and tables.
    const Run second =
        drill("0 set OSEvent Saveapllication 1\n3 serial cts=1 dcd=0\n4.5 press shutdown\n"
              "4.5 press clear-log\n5 press yes\n8 end\n",
              {QStringLiteral("--app-dir"), appDir.path(), QStringLiteral("--result-dir"), out.path()});
    QCOMPARE(second.exitCode, 0);
    QCOMPARE(only(second.events, QStringLiteral("system-shutdown")).size(), 1);
    for (qsizetype i = 0; i < files.size(); ++i)
        QVERIFY2(testsupport::readFile(appDir.filePath(files[i])) == before[i], qPrintable(files[i]));

    QCOMPARE(brevant::ReadIni(out.filePath(files[0]), brevant::key::Saveapllication), QStringLiteral("1"));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("result"));
    db.setDatabaseName(out.filePath(files[1]));
    QVERIFY(db.open());
    QSqlQuery query(QStringLiteral("SELECT Message FROM UpsEvent"), db);
    QStringList events;
    while (query.next())
        events.append(query.value(0).toString());
    QCOMPARE(events, QStringList{QStringLiteral("System AC Power Recovered")}); // the first drill's, copied
    QVERIFY(query.exec(QStringLiteral("SELECT Message FROM record")) && query.next());
    QCOMPARE(query.value(0).toString(), QStringLiteral("Program quit")); // written after the clear
    QVERIFY(!query.next());
}

void TestDrill::summaryTellsWhenTheSystemGoesDown()
{
    const Run run = drill("5 usb onbattery\n20 usb lowbattery\n100 end\n", {QStringLiteral("--summary")});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(only(run.events, QStringLiteral("record")).isEmpty()); // sentences, not JSON
    for (const QString& sentence :
         {QStringLiteral("0:23.0  The shutdown countdown starts: 60 seconds to go."),
          QStringLiteral("1:26.2  The UPS is told to switch off (over USB, 3 times)."),
          QStringLiteral("In this drill of 1:40.0 the system would be shut down at 1:26.2.")})
        QVERIFY2(run.output.contains(sentence) || run.output.contains(u"  " + sentence),
                 qPrintable(sentence));
}

QTEST_GUILESS_MAIN(TestDrill)
#include "tst_drill.moc"
