// The simulated UPS as the monitor sees it through libHalvic, set with halvic-sim.
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
    void reportsTheValuesSetAndSwitchesOffAsSet_data();
    void reportsTheValuesSetAndSwitchesOffAsSet();

private:
    QString simFile() const { return m_dir.filePath(QStringLiteral("ups.state")); }
    // The UPS-off commands the library logged, one line each.
    QByteArray offLog() const { return testsupport::readFile(simFile() + QStringLiteral(".off-log")); }
    // A UPS nobody set yet, read by the library from `path`.
    void freshUps(const QString& path) const
    {
        QFile::remove(simFile());
        QFile::remove(simFile() + QStringLiteral(".off-log"));
        qputenv("HALVIC_SIM_FILE", QFile::encodeName(path));
    }
    static int runSim(const QStringList& arguments)
    {
        return QProcess::execute(testsupport::binDir() + QStringLiteral("/halvic-sim"), arguments);
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
    QTest::addColumn<QString>("file");  // the state file; empty: the usual one
    QTest::addColumn<QString>("state"); // set with the tool
    QTest::addColumn<QString>("reading");
    // clang-format off
    QTest::newRow("no state file: on mains")         << ""     << ""           << "mains";
    QTest::newRow("lowbattery")                      << ""     << "lowbattery" << "battery low";
    QTest::newRow("lowonline")                       << ""     << "lowonline"  << "mains low";
    QTest::newRow("fsd: a forced shutdown")          << ""     << "fsd"        << "mains forced";
    QTest::newRow("silent: hears no UPS-off either") << ""     << "silent"     << "none";
    // Before, /dev/zero filled the memory and a FIFO blocked the caller for good.
    QTest::newRow("endless device")        << "/dev/zero" << "" << "none";
    QTest::newRow("FIFO without a writer") << "fifo"      << "" << "none";
    // clang-format on
}

// Every UPS-off command an answering UPS accepts is logged, one line each.
void TestHalvicSim::reportsEachStateAndSwitchesOff()
{
    QFETCH(QString, file);
    QFETCH(QString, state);
    QFETCH(QString, reading);
    const QString path = file.isEmpty() ? simFile() : file.startsWith(u'/') ? file : m_dir.filePath(file);
    QVERIFY(file != u"fifo" || ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
    freshUps(path);
    m_halvic.open();
    if (!state.isEmpty())
        QCOMPARE(runSim({state}), 0);
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
    QCOMPARE(offLog().count(" UPS-off\n"), answers ? 3 : 0);
    QCOMPARE(offLog().count('\n'), answers ? 3 : 0);
}

void TestHalvicSim::reportsTheValuesSetAndSwitchesOffAsSet_data()
{
    QTest::addColumn<QByteArray>("contents"); // the state file before; empty: none
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QByteArray>("offCode");
    const QByteArray defaults = "battery.charge 100\nbattery.runtime 1800\nups.load 20\ndevice.mfr "
                                "Brevant\ndevice.model Simulated UPS\n";
    const QByteArray accepted(HALVIC_REPLY_ACCEPTED);
    // clang-format off
    QTest::newRow("before the first call")  << QByteArray() << QStringList() << defaults << accepted;
    QTest::newRow("set in place")           << QByteArray() << QStringList{"charge", "87.25"}
                                            << QByteArray(defaults).replace("charge 100", "charge 87.2") << accepted;
    QTest::newRow("a state word alone: no values") << QByteArray("online\n") << QStringList() << QByteArray() << accepted;
    QTest::newRow("silent: nothing known")  << QByteArray() << QStringList{"silent"} << QByteArray() << HalvicClient::silence();
    QTest::newRow("can be switched off")    << QByteArray("online\n") << QStringList{"upsoff", "yes"}
                                            << QByteArray("halvic.ups_off yes\n") << accepted;
    QTest::newRow("cannot, and why: unanswered") << QByteArray("online\n") << QStringList{"upsoff", "no", "no delay field"}
        << QByteArray("halvic.ups_off no\nhalvic.ups_off.reason no delay field\n") << HalvicClient::silence();
    QTest::newRow("secondary: not this computer's") << QByteArray("online\n") << QStringList{"upsoff", "secondary"}
        << QByteArray("halvic.ups_off secondary\n") << QByteArray(HALVIC_REPLY_NOT_MINE);
    // clang-format on
}

// What halvic-sim sets is what HalvicValues hands out after the next status query, and the
// UPS-off command comes to what those values said; only an accepted one is logged.
void TestHalvicSim::reportsTheValuesSetAndSwitchesOffAsSet()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, command);
    QFETCH(QByteArray, offCode);
    freshUps(simFile());
    if (!contents.isEmpty())
        testsupport::writeFile(simFile(), contents);
    m_halvic.open();
    QCOMPARE(m_halvic.values(), QByteArray());
    if (!command.isEmpty())
        QCOMPARE(runSim(command), 0);
    m_halvic.exchange(HALVIC_COMMAND_STATUS);
    QTEST(m_halvic.values(), "values");
    QCOMPARE(m_halvic.exchange(HALVIC_COMMAND_UPS_OFF).code, offCode);
    QCOMPARE(offLog().count(" UPS-off\n"), offCode == HALVIC_REPLY_ACCEPTED ? 1 : 0);
    m_halvic.close();
    QCOMPARE(m_halvic.values(), QByteArray());
}

QTEST_GUILESS_MAIN(TestHalvicSim)
#include "tst_halvicsim.moc"
