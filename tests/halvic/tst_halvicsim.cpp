// The simulated UPS as the monitor sees it through libHalvic, driven by halvic-sim.
#include "HalvicClient.h"
#include "ScopedEnvironment.h"
#include "TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
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
    void init();
    void reportsEachState_data();
    void reportsEachState();
    void stateFileThatIsNoFileIsSilent_data();
    void stateFileThatIsNoFileIsSilent();
    void switchOff_data();
    void switchOff();
    void closedDeviceDoesNotAnswer();
    void concurrentSettingNeverTearsTheState();
    void readsHalvicConfBesideTheLibrary();

private:
    QString simFile() const { return m_dir.filePath(QStringLiteral("ups.state")); }
    static QString simTool() { return testsupport::binDir() + QStringLiteral("/halvic-sim"); }
    static QByteArray runSim(const QStringList& arguments, int* exitCode = nullptr);

    QTemporaryDir m_dir;
    std::unique_ptr<HalvicClient> m_halvic;
};

QByteArray TestHalvicSim::runSim(const QStringList& arguments, int* exitCode)
{
    QProcess sim;
    sim.start(simTool(), arguments);
    if (!sim.waitForFinished(10000))
        return {};
    if (exitCode)
        *exitCode = sim.exitCode();
    return sim.readAllStandardOutput();
}

void TestHalvicSim::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("HALVIC_BACKEND", "sim");
    qputenv("HALVIC_SIM_FILE", QFile::encodeName(simFile()));
    m_halvic = std::make_unique<HalvicClient>();
    QVERIFY2(m_halvic->isLoaded(), qPrintable(m_halvic->errorString()));
    QCOMPARE(QFileInfo(m_halvic->loadedFrom()).canonicalPath(),
             QFileInfo(testsupport::binDir()).canonicalFilePath());
}

void TestHalvicSim::init()
{
    QFile::remove(simFile());
    QFile::remove(simFile() + QStringLiteral(".off-log"));
    m_halvic->open();
}

void TestHalvicSim::reportsEachState_data()
{
    QTest::addColumn<QString>("state"); // empty: no state file
    QTest::addColumn<bool>("answers");
    QTest::addColumn<bool>("onMains");
    QTest::addColumn<bool>("batteryLow");
    QTest::newRow("no state file: on mains") << "" << true << true << false;
    QTest::newRow("online") << "online" << true << true << false;
    QTest::newRow("onbattery") << "onbattery" << true << false << false;
    QTest::newRow("lowbattery") << "lowbattery" << true << false << true;
    QTest::newRow("lowonline") << "lowonline" << true << true << true;
    QTest::newRow("silent") << "silent" << false << false << false;
    QTest::newRow("unknown state refused by the tool") << "offline" << true << true << false;
}

void TestHalvicSim::reportsEachState()
{
    QFETCH(QString, state);
    QFETCH(bool, answers);
    if (!state.isEmpty()) {
        int exitCode = 0;
        runSim({state}, &exitCode);
        QCOMPARE(exitCode, state == u"offline" ? 2 : 0);
        QCOMPARE(QFile::exists(simFile()), exitCode == 0);
    }
    if (QFile::exists(simFile()))
        QCOMPARE(runSim({QStringLiteral("status")}).trimmed(), state.toUtf8());

    const auto reply = m_halvic->exchange(HALVIC_COMMAND_STATUS);
    QVERIFY(reply.buffersIntact);
    QCOMPARE(reply.answered(), answers);
    if (answers) {
        QTEST(reply.onMains(), "onMains");
        QTEST(reply.batteryLow(), "batteryLow");
    } else {
        QCOMPARE(reply.code, HalvicClient::silence());
    }
}

void TestHalvicSim::stateFileThatIsNoFileIsSilent_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("endless device") << QStringLiteral("/dev/zero");
    QTest::newRow("FIFO without a writer") << m_dir.filePath(QStringLiteral("fifo"));
}

// Before, /dev/zero filled the memory and a FIFO blocked the caller for good.
void TestHalvicSim::stateFileThatIsNoFileIsSilent()
{
    QFETCH(QString, path);
    const QByteArray file = QFile::encodeName(path);
    QVERIFY(path.startsWith(QStringLiteral("/dev/")) || ::mkfifo(file.constData(), 0600) == 0);
    const ScopedEnvironment stateFile("HALVIC_SIM_FILE", file);
    m_halvic->open();
    QCOMPARE(m_halvic->exchange(HALVIC_COMMAND_STATUS).code, HalvicClient::silence());
    QCOMPARE(runSim({QStringLiteral("status")}).trimmed(), QByteArray("silent"));
    QCOMPARE(runSim({QStringLiteral("off-log")}), QByteArray());
}

void TestHalvicSim::switchOff_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QByteArray>("code");
    QTest::newRow("answering UPS accepts") << "lowbattery" << QByteArray(HALVIC_REPLY_ACCEPTED);
    QTest::newRow("silent UPS hears nothing") << "silent" << HalvicClient::silence();
}

void TestHalvicSim::switchOff()
{
    QFETCH(QString, state);
    QFETCH(QByteArray, code);
    runSim({state});
    for (int i = 0; i < 3; ++i) {
        const auto reply = m_halvic->exchange(HALVIC_COMMAND_UPS_OFF);
        QVERIFY(reply.buffersIntact);
        QCOMPARE(reply.code, code);
    }
    const QList<QByteArray> lines = runSim({QStringLiteral("off-log")}).split('\n');
    QCOMPARE(lines.size() - 1, code == HALVIC_REPLY_ACCEPTED ? 3 : 0);
    static const QRegularExpression line(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} UPS-off$"));
    for (const QByteArray& entry : lines.first(lines.size() - 1))
        QVERIFY2(line.match(QString::fromUtf8(entry)).hasMatch(), entry.constData());
}

void TestHalvicSim::closedDeviceDoesNotAnswer()
{
    m_halvic->close();
    m_halvic->close();
    QCOMPARE(m_halvic->exchange(HALVIC_COMMAND_STATUS).code, HalvicClient::silence());
    QCOMPARE(m_halvic->exchange(HALVIC_COMMAND_UPS_OFF).code, HalvicClient::silence());
    m_halvic->open();
    QVERIFY(m_halvic->exchange(HALVIC_COMMAND_STATUS).answered());
}

// Writers and the reader race; a reader that ever saw a half-written file would find no state
// and report a UPS that does not answer.
void TestHalvicSim::concurrentSettingNeverTearsTheState()
{
    const QStringList answeringStates{"online", "onbattery", "lowbattery", "lowonline"};
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int i = 0; i < 40; ++i) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->start(simTool(), {answeringStates.at(i % 4)});
    }
    const auto running = [&] {
        return std::ranges::any_of(writers, [](const auto& w) { return w->state() != QProcess::NotRunning; });
    };
    for (int exchanges = 0; running() || exchanges < 200; ++exchanges) {
        QVERIFY(m_halvic->exchange(HALVIC_COMMAND_STATUS).answered());
        for (auto& writer : writers)
            writer->waitForFinished(0);
    }
    for (auto& writer : writers) {
        QVERIFY(writer->state() == QProcess::NotRunning || writer->waitForFinished(10000));
        QCOMPARE(writer->exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer->exitCode(), 0);
    }
}

void TestHalvicSim::readsHalvicConfBesideTheLibrary()
{
    QTemporaryDir elsewhere;
    const QString library = elsewhere.filePath(QStringLiteral("libHalvic.so"));
    QVERIFY(QFile::copy(m_halvic->loadedFrom(), library));
    testsupport::writeFile(elsewhere.filePath(QStringLiteral("Halvic.conf")),
                           "# simulated UPS for a demo\nBackend = sim\nsim_file = demo.state\n");
    testsupport::writeFile(elsewhere.filePath(QStringLiteral("demo.state")), "lowonline\n");
    const ScopedEnvironment noBackend("HALVIC_BACKEND", QByteArray());
    const ScopedEnvironment noSimFile("HALVIC_SIM_FILE", QByteArray());

    const HalvicClient copy(library);
    QVERIFY2(copy.isLoaded(), qPrintable(copy.errorString()));
    copy.open();
    QVERIFY(copy.exchange(HALVIC_COMMAND_STATUS).is(true, true));
    copy.close();
}

QTEST_GUILESS_MAIN(TestHalvicSim)
#include "tst_halvicsim.moc"
