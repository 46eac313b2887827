#include "TestFiles.h"
#include "config/IniFile.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace brevant;

// The fire drill as a user runs it: the real executable, a scenario file, JSON lines out.
class TestDrill : public QObject
{
    Q_OBJECT

    struct Run
    {
        int exitCode = -1;
        QStringList events; // "type@t text", records as "table:text"
        QStringList output; // with the errors
    };
    Run drill(const QByteArray& scenario, const QStringList& options = {})
    {
        const QString file = m_dir.filePath(QStringLiteral("scenario.txt"));
        testsupport::writeFile(file, scenario);
        return drillFile(file, options);
    }
    Run drillFile(const QString& file, const QStringList& options = {})
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(testsupport::binDir() + QStringLiteral("/brevant-drill"), QStringList{file} + options);
        Run run;
        run.exitCode = p.waitForFinished(60000) ? p.exitCode() : -1;
        run.output = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        for (const QString& line : run.output) {
            const QJsonObject e = QJsonDocument::fromJson(line.toUtf8()).object();
            const QString type = e.value(u"event").toString();
            if (type == u"record")
                run.events.append(e.value(u"table").toString() + u':' + e.value(u"text").toString());
            else if (!type.isEmpty())
                run.events.append(type + u'@' + QString::number(e.value(u"t").toInteger()) + u' ' +
                                  e.value(u"text").toString());
        }
        return run;
    }

    QTemporaryDir m_dir;

private slots:
    void badScenariosAreRefusedBeforeRunning_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown command")
            << QByteArray("1 usb online\n2 jump\n3 end\n") << "line 2: unknown command 'jump'";
        QTest::newRow("time backwards")
            << QByteArray("5 usb onbattery\n# note\n4 usb online\n9 end\n") << "line 3: time goes backwards";
        QTest::newRow("missing end") << QByteArray("1 usb silent\n") << "must end with";
        QTest::newRow("time too large")
            << QByteArray("1 usb online\n99999999999999999999.5 end\n")
            << "line 2: time 99999999999999999999.5 s is beyond the longest drill";
        // A misspelt setting would give a drill without the shutdown the user meant to try.
        QTest::newRow("unknown key") << QByteArray("# try it\n0 set upsonbattery Shutdwon 1\n2 end\n")
                                     << "line 2: the settings section [upsonbattery] has no key 'Shutdwon'";
        QTest::newRow("line too long") << "1 usb online # " + QByteArray(1000, 'x') + "\n2 end\n"
                                       << "line 1: longer than 1000 characters";
        QTest::newRow("file too large") << QByteArray(1 << 20, '\n') + "1 end\n"
                                        << "longer than 1048576 bytes: not a scenario";
    }

    void badScenariosAreRefusedBeforeRunning()
    {
        QFETCH(QByteArray, scenario);
        const Run run = drill(scenario);
        QVERIFY(run.exitCode > 0 && run.events.isEmpty());
        QFETCH(QString, error);
        QVERIFY2(run.output.join(u'\n').contains(error), qPrintable(run.output.join(u'\n')));
    }

    // First-install settings: the low battery shuts down after one minute, the UPS is told three
    // times to switch off, then the system goes down. The summary tells it in sentences.
    void lowBatteryOutageShutsDownAfterTheAlarm()
    {
        const QByteArray outage("5 usb onbattery\n20 usb lowbattery\n100 end\n");
        const Run run = drill(outage);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events.filter(QStringLiteral("UpsEvent:")),
                 QStringList(
                     {"UpsEvent:Attention!! System Power Failed", "UpsEvent:Attention!! UPS Battery Low"}));
        QCOMPARE(run.events.filter(QStringLiteral("countdown@")).first(),
                 QStringLiteral("countdown@23000 System ShutDown After 60  Seconds"));
        QVERIFY(run.events.filter(QStringLiteral("alarm@")).first().startsWith(u"alarm@82000"));
        QCOMPARE(
            run.events.filter(QRegularExpression(QStringLiteral("^(ups-off|system-shutdown)@"))),
            QStringList({"ups-off@86200 ", "ups-off@86210 ", "ups-off@86220 ", "system-shutdown@86220 "}));

        const QStringList summary = drill(outage, {QStringLiteral("--summary")}).output;
        QVERIFY(summary.contains(
            QStringLiteral("In this drill of 1:40.0 the system would be shut down at 1:26.2.")));
        // It ends with the monitor's verdict on this computer, with the user's real settings.
        QVERIFY2(summary.last().startsWith(u"On this computer now, with your settings (the UPS not asked): "),
                 qPrintable(summary.last()));
    }

    // An endless scenario is refused at its size, not read until the memory is full.
    void endlessScenarioIsRefused()
    {
        const Run run = drillFile(QStringLiteral("/dev/zero"));
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.output.join(u'\n').contains(u"longer than 1048576 bytes"),
                 qPrintable(run.output.join(u'\n')));
    }

    // Settings the drill cannot read would drill a monitor that does nothing: said, and a failure.
    void unreadableAppDirIsAFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("settings file is a FIFO") << "fifo"
                                                 << "is a named pipe";
        QTest::newRow("settings file is a directory") << "directory"
                                                      << "is a directory";
        QTest::newRow("directory without access") << "mode"
                                                  << "cannot read the directory";
    }

    void unreadableAppDirIsAFailure()
    {
        QFETCH(QString, kind);
        QTemporaryDir appDir;
        const QString ini = appDir.filePath(QStringLiteral("UpsConfigure.ini"));
        if (kind == u"mode") {
            if (::geteuid() == 0)
                QSKIP("root reads a directory of mode 000");
            testsupport::writeFile(ini, "[UpsLowBattery]\nShutdown=1\n");
            QVERIFY(QFile::setPermissions(appDir.path(), QFileDevice::WriteOwner));
        } else {
            QVERIFY(testsupport::plantSpecialFile(ini, kind));
        }
        const Run run = drill("5 usb lowbattery\n100 end\n", {"--app-dir", appDir.path()});
        QFile::setPermissions(appDir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(run.exitCode, 2);
        QFETCH(QString, reason);
        QVERIFY2(run.output.join(u'\n').contains(reason), qPrintable(run.output.join(u'\n')));
    }

    // The UPS's charge and runtime played: battery low comes at the user's own threshold, on the
    // first poll after the charge reaches it, long before the UPS's own flag; the log notes them.
    void ownThresholdBringsBatteryLowEarlier_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QString>("countdown"); // the first countdown text; empty: none
        const QByteArray played("0 usb charge 100\n0 usb runtime 1800\n5 usb onbattery\n10 usb charge 31\n"
                                "10 usb runtime 600\n20 usb charge 30\n20 usb runtime 540\n30 end\n");
        QTest::newRow("charge 30 %") << "0 set Battery LowCharge 30\n" + played
                                     << "countdown@23000 System ShutDown After 60  Seconds";
        QTest::newRow("runtime 9 minutes")
            << "0 set Battery LowRuntime 9\n" + played << "countdown@23000 System ShutDown After 60  Seconds";
        QTest::newRow("thresholds off") << played << "";
    }

    void ownThresholdBringsBatteryLowEarlier()
    {
        QFETCH(QByteArray, scenario);
        const Run run = drill(scenario);
        QCOMPARE(run.exitCode, 0);
        QFETCH(QString, countdown);
        QCOMPARE(run.events.filter(QStringLiteral("countdown@")).value(0), countdown);
        QStringList expected{"UpsEvent:Attention!! System Power Failed"};
        if (!countdown.isEmpty())
            expected.append(QStringLiteral("UpsEvent:Attention!! UPS Battery Low"));
        QCOMPARE(run.events.filter(QStringLiteral("UpsEvent:")), expected);
        QVERIFY(run.events.contains(QStringLiteral("record:UPS battery: 100 %, about 30 min left")));
    }

    // The drill reads the user's settings and databases from a copy and writes its results only
    // where it is told to.
    void appDirIsCopiedNeverWritten()
    {
        QTemporaryDir appDir;
        QTemporaryDir out;
        const QString ini = appDir.filePath(QStringLiteral("UpsConfigure.ini"));
        QVERIFY(WriteIni(ini, key::ComboPort, QStringLiteral("2")).ok());
        QVERIFY(WriteIni(ini, key::Recordlog(EventSection::OnBattery), QStringLiteral("0")).ok());
        // A first drill leaves its final databases in the application directory, as a monitor would.
        const Run first = drill("3 serial cts=1 dcd=0\n6 serial cts=0 dcd=0\n7 end\n",
                                {"--app-dir", appDir.path(), "--result-dir", appDir.path()});
        // The settings were read: a serial link, and no record of the power failure.
        QCOMPARE(first.events.filter(QStringLiteral("record:")).mid(1, 1),
                 QStringList{"record:System AC Power Recovered"});

        const QStringList files{"UpsConfigure.ini", "EventRecord.mdb", "CloseAppRecord.mdb"};
        const auto contents = [&] {
            QByteArrayList all;
            for (const QString& f : files)
                all.append(testsupport::readFile(appDir.filePath(f)));
            return all;
        };
        const QByteArrayList before = contents();
        // A shutdown by hand with application saving, clearing the log: writes settings and tables.
        const Run second = drill("0 set OSEvent Saveapllication 1\n3 serial cts=1 dcd=0\n4.5 press shutdown\n"
                                 "4.5 press clear-log\n5 press yes\n8 end\n",
                                 {"--app-dir", appDir.path(), "--result-dir", out.path()});
        QCOMPARE(second.events.filter(QStringLiteral("system-shutdown@")).size(), 1);
        QVERIFY(contents() == before);

        QCOMPARE(ReadIni(out.filePath(files[0]), key::Saveapllication), QStringLiteral("1"));
        // The first drill's event came with the copy.
        QVERIFY(testsupport::readFile(out.filePath(files[1])).contains("System AC Power Recovered"));
    }
};

QTEST_GUILESS_MAIN(TestDrill)
#include "tst_drill.moc"
