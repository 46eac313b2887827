// The simulated UPS as the monitor sees it through libHalvic, driven by halvic-sim.
#include "HalvicClient.h"
#include "TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

class TestHalvicSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportsEachStateAndSwitchesOff_data();
    void reportsEachStateAndSwitchesOff();
    void reportsTheValuesSet_data();
    void reportsTheValuesSet();
    void switchesOffAsSet_data();
    void switchesOffAsSet();

private:
    QString simFile() const { return m_dir.filePath(QStringLiteral("ups.state")); }
    static QString simTool() { return testsupport::binDir() + QStringLiteral("/halvic-sim"); }
    static QByteArray runSim(const QString& argument) { return runSim(QStringList{argument}); }
    static QByteArray runSim(const QStringList& arguments)
    {
        QProcess sim;
        sim.start(simTool(), arguments);
        sim.waitForFinished(10000);
        return sim.readAllStandardOutput();
    }

    QTemporaryDir m_dir;
    HalvicClient m_halvic;
};

void TestHalvicSim::initTestCase()
{
    QVERIFY2(m_halvic.isLoaded(), qPrintable(m_halvic.errorString()));
    qputenv("HALVIC_BACKEND", "sim");
}

void TestHalvicSim::reportsEachStateAndSwitchesOff_data()
{
    QTest::addColumn<QString>("file");     // the state file; empty: the usual one
    QTest::addColumn<QString>("state");    // set with the tool
    QTest::addColumn<QByteArray>("shown"); // what the tool's status says
    QTest::addColumn<QString>("reading");
    // clang-format off
    QTest::newRow("no state file: on mains")         << ""     << ""           << QByteArray()             << "mains";
    QTest::newRow("lowbattery")                      << ""     << "lowbattery" << QByteArray("lowbattery") << "battery low";
    QTest::newRow("lowonline")                       << ""     << "lowonline"  << QByteArray("lowonline")  << "mains low";
    QTest::newRow("fsd: a forced shutdown")          << ""     << "fsd"        << QByteArray("fsd")        << "mains forced";
    QTest::newRow("silent: hears no UPS-off either") << ""     << "silent"     << QByteArray("silent")     << "none";
    // Before, /dev/zero filled the memory and a FIFO blocked the caller for good.
    QTest::newRow("endless device")        << "/dev/zero" << "" << QByteArray("silent") << "none";
    QTest::newRow("FIFO without a writer") << "fifo"      << "" << QByteArray("silent") << "none";
    // clang-format on
}

// Every UPS-off command an answering UPS accepts is logged, one line each.
void TestHalvicSim::reportsEachStateAndSwitchesOff()
{
    QFETCH(QString, file);
    QFETCH(QString, state);
    QFETCH(QByteArray, shown);
    QFETCH(QString, reading);
    const QString path = file.isEmpty() ? simFile() : file.startsWith(u'/') ? file : m_dir.filePath(file);
    QVERIFY(file != u"fifo" || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    QFile::remove(simFile());
    QFile::remove(simFile() + QStringLiteral(".off-log"));
    qputenv("HALVIC_SIM_FILE", QFile::encodeName(path));
    m_halvic.open();
    if (!state.isEmpty())
        QCOMPARE(QProcess::execute(simTool(), {state}), 0);
    if (!shown.isEmpty())
        QCOMPARE(runSim(QStringLiteral("status")).split('\n').constFirst(), shown);
    const bool answers = reading != u"none";
    const auto status = m_halvic.exchange(HALVIC_COMMAND_STATUS);
    QVERIFY(status.buffersIntact);
    QVERIFY(answers ? status.is(reading.startsWith(u"mains"), reading.endsWith(u"low")) &&
                          status.forcedShutdown() == (reading.endsWith(u"forced") ? 1 : 0)
                    : status.code == HalvicClient::silence());
    for (int i = 0; i < 3; ++i) {
        const auto off = m_halvic.exchange(HALVIC_COMMAND_UPS_OFF);
        QVERIFY(off.buffersIntact);
        QCOMPARE(off.code, answers ? QByteArray(HALVIC_REPLY_ACCEPTED) : HalvicClient::silence());
    }
    const QByteArray log = runSim(QStringLiteral("off-log"));
    QCOMPARE(log.count(" UPS-off\n"), answers ? 3 : 0);
    QCOMPARE(log.count('\n'), answers ? 3 : 0);
}

void TestHalvicSim::reportsTheValuesSet_data()
{
    QTest::addColumn<QString>("contents"); // the state file before; "-": none
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("values");
    const QByteArray defaults = "battery.charge 100\nbattery.runtime 1800\nups.load 20\ndevice.mfr "
                                "Brevant\ndevice.model Simulated UPS\n";
    // clang-format off
    QTest::newRow("before the first call")  << "-" << QStringList() << 0 << defaults;
    QTest::newRow("set in place")           << "-" << QStringList{"charge", "87.25"} << 0
                                            << QByteArray(defaults).replace("charge 100", "charge 87.2");
    QTest::newRow("unset")                  << "-" << QStringList{"unset", "ups.load"} << 0
                                            << QByteArray(defaults).replace("ups.load 20\n", "");
    QTest::newRow("a state word alone: no values") << "online\n" << QStringList() << 0 << QByteArray();
    QTest::newRow("charge over 100")        << "-" << QStringList{"charge", "101"} << 2 << defaults;
    QTest::newRow("name of two words")      << "-" << QStringList{"set", "a b", "1"} << 2 << defaults;
    QTest::newRow("silent: nothing known")  << "-" << QStringList{"silent"} << 0 << QByteArray();
    QTest::newRow("cannot be switched off") << "online\n" << QStringList{"upsoff", "no"} << 0
        << QByteArray("halvic.ups_off no\nhalvic.ups_off.reason the simulated UPS is set so that it cannot be switched off\n");
    QTest::newRow("cannot, and why")        << "online\n" << QStringList{"upsoff", "no", "no delay field"} << 0
                                            << QByteArray("halvic.ups_off no\nhalvic.ups_off.reason no delay field\n");
    QTest::newRow("can again: the reason goes") << "online\nhalvic.ups_off no\nhalvic.ups_off.reason x\n"
                                            << QStringList{"upsoff", "yes"} << 0 << QByteArray("halvic.ups_off yes\n");
    QTest::newRow("secondary")              << "online\n" << QStringList{"upsoff", "secondary"} << 0
                                            << QByteArray("halvic.ups_off secondary\n");
    QTest::newRow("an answer it does not know") << "online\n" << QStringList{"upsoff", "maybe"} << 2 << QByteArray();
    // clang-format on
}

// What halvic-sim sets is what HalvicValues hands out after the next status query, and a wrong
// argument changes nothing.
void TestHalvicSim::reportsTheValuesSet()
{
    QFETCH(QString, contents);
    QFETCH(QStringList, command);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, values);
    QFile::remove(simFile());
    if (contents != u"-")
        testsupport::writeFile(simFile(), contents.toUtf8());
    qputenv("HALVIC_SIM_FILE", QFile::encodeName(simFile()));
    m_halvic.open();
    QCOMPARE(m_halvic.values(), QByteArray());
    if (!command.isEmpty())
        QCOMPARE(QProcess::execute(simTool(), command), exitCode);
    m_halvic.exchange(HALVIC_COMMAND_STATUS);
    QCOMPARE(m_halvic.values(), values);
    m_halvic.close();
    QCOMPARE(m_halvic.values(), QByteArray());
}

void TestHalvicSim::switchesOffAsSet_data()
{
    QTest::addColumn<QString>("upsOff");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("yes") << "yes" << QByteArray(HALVIC_REPLY_ACCEPTED);
    QTest::newRow("no: unanswered") << "no" << HalvicClient::silence();
    QTest::newRow("secondary: not this computer's") << "secondary" << QByteArray(HALVIC_REPLY_NOT_MINE);
}

// The UPS-off command comes to what the values said beforehand; only an accepted one is logged.
void TestHalvicSim::switchesOffAsSet()
{
    QFETCH(QString, upsOff);
    QFETCH(QByteArray, code);
    QFile::remove(simFile());
    QFile::remove(simFile() + QStringLiteral(".off-log"));
    qputenv("HALVIC_SIM_FILE", QFile::encodeName(simFile()));
    QCOMPARE(QProcess::execute(simTool(), {"upsoff", upsOff}), 0);
    m_halvic.open();
    QVERIFY(m_halvic.exchange(HALVIC_COMMAND_STATUS).answered());
    QVERIFY(m_halvic.values().contains(QByteArray("halvic.ups_off " + upsOff.toUtf8() + '\n')));
    QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_UPS_OFF).code, code);
    QCOMPARE(runSim(QStringLiteral("off-log")).count(" UPS-off\n"), code == HALVIC_REPLY_ACCEPTED ? 1 : 0);
    m_halvic.close();
}

QTEST_GUILESS_MAIN(TestHalvicSim)
#include "tst_halvicsim.moc"
