// The simulated UPS as the monitor sees it through libHalvic, driven by halvic-sim.
#include "HalvicClient.h"
#include "TestFiles.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>
#include <sys/stat.h>
#include <vector>

class TestHalvicSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void reportsEachStateAndSwitchesOff_data();
    void reportsEachStateAndSwitchesOff();
    void concurrentSettingNeverTearsTheState();

private:
    QString simFile() const { return m_dir.filePath(QStringLiteral("ups.state")); }
    static QString simTool() { return testsupport::binDir() + QStringLiteral("/halvic-sim"); }
    static QByteArray runSim(const QString& argument)
    {
        QProcess sim;
        sim.start(simTool(), {argument});
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
        QCOMPARE(runSim(QStringLiteral("status")).trimmed(), shown);
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

// Writers and the reader race; a reader that ever saw a half-written file would find no state
// and report a UPS that does not answer.
void TestHalvicSim::concurrentSettingNeverTearsTheState()
{
    qputenv("HALVIC_SIM_FILE", QFile::encodeName(simFile()));
    m_halvic.open();
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int i = 0; i < 40; ++i) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->start(simTool(), {i % 2 ? QStringLiteral("onbattery") : QStringLiteral("lowonline")});
    }
    const auto running = [](const auto& writer) {
        return !writer->waitForFinished(0) && writer->state() != QProcess::NotRunning;
    };
    for (int exchanges = 0; exchanges < 200 || std::ranges::any_of(writers, running); ++exchanges)
        QVERIFY(m_halvic.exchange(HALVIC_COMMAND_STATUS).answered());
    for (const auto& writer : writers) {
        QVERIFY(writer->state() == QProcess::NotRunning || writer->waitForFinished(10000));
        QCOMPARE(std::pair(writer->exitStatus(), writer->exitCode()), std::pair(QProcess::NormalExit, 0));
    }
}

QTEST_GUILESS_MAIN(TestHalvicSim)
#include "tst_halvicsim.moc"
