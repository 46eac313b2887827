#include "TestFiles.h"
#include "config/IniFile.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
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
        QStringList events; // "type@t text" (or tip, or reply), records as "table:text"
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
                                  (e.contains(u"icon") ? e.value(u"icon").toString() + u'|' : QString()) +
                                  e.value(u"text").toString() + e.value(u"tip").toString() +
                                  e.value(u"reply").toString());
        }
        return run;
    }

    // A scenario as shipped in docs/drills.
    static QByteArray shipped(const char* name)
    {
        return testsupport::readFile(QStringLiteral(BREVANT_DRILLS_DIR "/%1.txt").arg(QLatin1String(name)));
    }

    QTemporaryDir m_dir;

private slots:
    void badScenariosAreRefusedBeforeRunning_data()
    {
        QTest::addColumn<QByteArray>("scenario"); // empty: /dev/zero, endless
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("error");
        const auto row = [](const char* name, const QByteArray& scenario, int exitCode,
                            const QString& error) { QTest::newRow(name) << scenario << exitCode << error; };
        const QString upsOff = QStringLiteral("usb upsoff needs accepted, notmine, or underway <seconds>");
        // clang-format off
        row("unknown command", "1 usb online\n2 jump\n3 end\n", 1, "line 2: unknown command 'jump'");
        row("time backwards", "5 usb onbattery\n# note\n4 usb online\n9 end\n", 1, "line 3: time goes backwards");
        row("missing end", "1 usb silent\n", 1, "must end with");
        row("time too large", "1 usb online\n99999999999999999999.5 end\n", 1, "line 2: time 99999999999999999999.5 s is beyond the longest drill");
        // A misspelt setting would give a drill without the shutdown the user meant to try.
        row("unknown key", "# try it\n0 set upsonbattery Shutdwon 1\n2 end\n", 1, "line 2: the settings section [upsonbattery] has no key 'Shutdwon'");
        row("line too long", "1 usb online # " + QByteArray(1000, 'x') + "\n2 end\n", 1, "line 1: longer than 1000 characters");
        row("file too large", QByteArray(1 << 20, '\n') + "1 end\n", 2, "longer than 1048576 bytes: not a scenario");
        // An endless scenario is refused at its size, not read until the memory is full.
        row("endless file", {}, 2, "longer than 1048576 bytes");
        row("fsd neither on nor off", "1 usb fsd yes\n2 end\n", 1, "line 1: usb fsd needs on or off");
        row("fsd without a word", "1 usb fsd\n2 end\n", 1, "line 1: usb fsd needs on or off");
        row("unknown UPS-off answer", "1 usb upsoff maybe\n2 end\n", 1, "line 1: " + upsOff);
        row("under way without seconds", "1 usb upsoff underway\n2 end\n", 1, upsOff);
        row("under way for negative seconds", "1 usb upsoff underway -5\n2 end\n", 1, upsOff);
        row("under way for no number", "1 usb upsoff underway soon\n2 end\n", 1, upsOff);
        row("under way for ever", "1 usb upsoff underway inf\n2 end\n", 1, upsOff);
        row("not mine takes no seconds", "1 usb upsoff notmine 5\n2 end\n", 1, upsOff);
        // clang-format on
    }

    void badScenariosAreRefusedBeforeRunning()
    {
        QFETCH(QByteArray, scenario);
        const Run run = scenario.isEmpty() ? drillFile(QStringLiteral("/dev/zero")) : drill(scenario);
        QTEST(run.exitCode, "exitCode");
        QVERIFY(run.events.isEmpty());
        QFETCH(QString, error);
        QVERIFY2(run.output.join(u'\n').contains(error), qPrintable(run.output.join(u'\n')));
    }

    // A battery run low, the UPS's server asking for a forced shutdown, and a shared UPS answering
    // the command to switch off "under way" (this computer is its primary and waits for the others)
    // or "not this computer's" (a secondary). `events` must come in this order; `summary` lines
    // must be told.
    void shutdownsPlayOut_data()
    {
        QTest::addColumn<QByteArray>("scenario");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("underWay"); // UPS-off commands answered "under way"
        QTest::addColumn<int>("accepted"); // UPS-off commands accepted
        QTest::addColumn<QStringList>("summary");
        const QString fsd = QStringLiteral("Forced shutdown requested by the UPS server");

        // clang-format off
        // First-install settings: the low battery shuts down after one minute, the UPS is told three
        // times to switch off, then the system goes down.
        QTest::newRow("low battery outage") << shipped("outage-low-battery")
            << QStringList{"UpsEvent:Attention!! System Power Failed", "UpsEvent:Attention!! UPS Battery Low", "countdown@23000 System ShutDown After 60  Seconds",
                           "alarm@82000 ", "ups-off@86200 ", "ups-off@86220 ", "system-shutdown@86220 "}
            << 0 << 3 << QStringList{"In this drill of 1:40.0 the system would be shut down at 1:26.2."};
        // Set at 3 s, seen by the poll at 4.4 s: the alarm at once, whatever the delay.
        QTest::newRow("forced shutdown on mains") << shipped("forced-shutdown-on-mains")
            << QStringList{"status@4400 " + fsd, "tray@4400 ImaSLow|" + fsd, "record:" + fsd, "alarm@4400 ", "ups-off@8600 ", "system-shutdown@8620 "}
            << 0 << 3
            << QStringList{"  0:04.4  The status page shows \"" + fsd + "\".", "  0:04.4  The alarm window opens: about four seconds to cancel the shutdown.",
                           "In this drill of 0:20.0 the system would be shut down at 0:08.6."};
        QTest::newRow("forced shutdown on battery, 5-minute delay") << shipped("forced-shutdown-on-battery-with-5-minute-delay")
            << QStringList{"countdown@5400 System ShutDown After 300  Seconds", "countdown@30400 System ShutDown After 275  Seconds",
                           "status@30800 " + fsd, "countdown@30800 ", "alarm@30800 ", "system-shutdown@35020 "}
            << 0 << 3 << QStringList{"  0:30.8  The shutdown countdown stops."};
        // The UPS-off is asked again every 0.5 s until it is accepted 15 s after the first.
        QTest::newRow("primary waits for the others") << shipped("primary-waits-for-others")
            << QStringList{"ups-off@14600 underway", "ups-off@14620 underway", "ups-off@15120 underway", "ups-off@29120 underway", "ups-off@29620 ", "system-shutdown@29620 "}
            << 32 << 1
            << QStringList{"  0:14.6  The UPS is told to switch off (over USB, 32 times up to 0:29.1) and answers \"under way\" each time: it waits for the other computers on the UPS to shut down.",
                           "  0:29.6  The UPS accepts the command to switch off (over USB), 15.0 s after its first \"under way\".",
                           "  0:29.6  The system is shut down."};
        // Beyond a minute of "under way" the system goes down all the same.
        QTest::newRow("primary waits no longer than a minute") << QByteArray("0 usb upsoff underway 100\n3 usb onbattery\n5 press shutdown\n6 press yes\n90 end\n")
            << QStringList{"ups-off@6100 underway", "ups-off@66120 underway", "system-shutdown@66120 "} << 123 << 0
            << QStringList{"  1:06.1  The UPS still answers \"under way\" after 60.0 s: the system is shut down without waiting longer."};
        QTest::newRow("secondary leaves the UPS to the primary") << shipped("secondary-leaves-the-ups-to-the-primary")
            << QStringList{"alarm@41800 ", "ups-off@46000 notmine", "ups-off@46020 notmine", "system-shutdown@46020 "} << 0 << 0
            << QStringList{"  0:46.0  The UPS is told to switch off (over USB, 3 times) and answers \"not this computer's\": this computer leaves the UPS to its primary computer, which switches it off.",
                           "  0:46.0  The system is shut down."};
        // clang-format on
    }

    void shutdownsPlayOut()
    {
        QFETCH(QByteArray, scenario);
        const Run run = drill(scenario);
        QCOMPARE(run.exitCode, 0);
        QFETCH(QStringList, events);
        qsizetype at = 0;
        for (const QString& wanted : events) {
            at = run.events.indexOf(wanted, at);
            QVERIFY2(at >= 0, qPrintable(wanted + QStringLiteral(" missing or out of order in:\n") +
                                         run.events.join(u'\n')));
        }
        QFETCH(int, underWay);
        QFETCH(int, accepted);
        QCOMPARE(run.events.filter(QRegularExpression(QStringLiteral("^ups-off@\\d+ underway$"))).size(),
                 underWay);
        QCOMPARE(run.events.filter(QRegularExpression(QStringLiteral("^ups-off@\\d+ $"))).size(), accepted);
        QCOMPARE(run.events.filter(QStringLiteral("system-shutdown@")).size(), 1);
        // An event is recorded once, however long it lasts.
        const QStringList records = run.events.filter(QRegularExpression(QStringLiteral("^\\w+:")));
        QCOMPARE(QSet<QString>(records.begin(), records.end()).size(), records.size());

        const QStringList told = drill(scenario, {QStringLiteral("--summary")}).output;
        QFETCH(QStringList, summary);
        for (const QString& line : std::as_const(summary))
            QVERIFY2(told.contains(line),
                     qPrintable(line + QStringLiteral(" not told in:\n") + told.join(u'\n')));
        // It ends with the monitor's verdict on this computer, with the user's real settings.
        QVERIFY2(told.last().startsWith(u"On this computer now, with your settings (the UPS not asked): "),
                 qPrintable(told.last()));
    }

    // Settings the drill cannot read would drill a monitor that does nothing: said, and a failure.
    void unreadableAppDirIsAFailure_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        // clang-format off
        QTest::newRow("settings file is a FIFO")      << "fifo"      << "is a named pipe";
        QTest::newRow("settings file is a directory") << "directory" << "is a directory";
        QTest::newRow("directory without access")     << "mode"      << "cannot read the directory";
        // clang-format on
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
    // Which thresholds count is the monitor's; the drill plays the values and the setting.
    void ownThresholdBringsBatteryLowEarlier()
    {
        const Run run =
            drill("0 set Battery LowCharge 30\n0 usb charge 100\n0 usb runtime 1800\n5 usb onbattery\n"
                  "10 usb charge 31\n10 usb runtime 600\n20 usb charge 30\n20 usb runtime 540\n30 end\n");
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.events.filter(QStringLiteral("countdown@")).value(0),
                 QStringLiteral("countdown@23000 System ShutDown After 60  Seconds"));
        QCOMPARE(run.events.filter(QStringLiteral("UpsEvent:")),
                 QStringList(
                     {"UpsEvent:Attention!! System Power Failed", "UpsEvent:Attention!! UPS Battery Low"}));
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
