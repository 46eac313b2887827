// The pieces of libHalvic that decide what a reply means (configuration, NUT names and status),
// and the worker thread behind the NUT and HID backends.
#include "Config.h"
#include "NutProtocol.h"
#include "TestFiles.h"
#include "ThreadedBackend.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <map>
#include <optional>
#include <poll.h>
#include <string>

using namespace halvic;

Q_DECLARE_METATYPE(std::optional<NutTarget>)
Q_DECLARE_METATYPE(std::optional<UpsReading>)

namespace {

using Environment = std::map<std::string, std::string>;

EnvironmentLookup lookupIn(const Environment& environment)
{
    return [environment](const char* name) -> std::optional<std::string> {
        const auto it = environment.find(name);
        return it == environment.end() ? std::nullopt : std::optional(it->second);
    };
}

void writeConf(const QString& path, const QByteArray& text,
               QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    testsupport::writeFile(path, text);
    QVERIFY(QFile::setPermissions(path, permissions));
}

struct Script
{
    std::atomic<bool> hang{false};
    std::atomic<int> opened{0};
    std::atomic<int> closed{0};
    std::atomic<int> switchedOff{0};
};

// A device that answers on mains, or hangs while told to or until the worker is stopped.
class ScriptedDevice : public Backend
{
public:
    ScriptedDevice(Script& script, const Interrupt& interrupt)
        : m_script(script)
        , m_interrupt(interrupt)
    {
        ++m_script.opened;
    }
    ~ScriptedDevice() override { ++m_script.closed; }

    std::optional<UpsReading> readStatus() override
    {
        hangIfTold();
        return UpsReading{};
    }
    bool switchOff() override
    {
        hangIfTold();
        ++m_script.switchedOff;
        return true;
    }

private:
    void hangIfTold()
    {
        while (m_script.hang && !m_interrupt.isRaised())
            waitFor(-1, POLLIN, Clock::now() + std::chrono::milliseconds(5), m_interrupt);
    }

    Script& m_script;
    const Interrupt& m_interrupt;
};

std::unique_ptr<ThreadedBackend> makeWorker(Script& script)
{
    using std::chrono::milliseconds;
    return std::make_unique<ThreadedBackend>(
        [&script](const Interrupt& interrupt) { return std::make_unique<ScriptedDevice>(script, interrupt); },
        WorkerTiming{.pollInterval = milliseconds(10),
                     .staleAfter = milliseconds(300),
                     .firstReadingWait = milliseconds(20),
                     .commandWait = milliseconds(20),
                     .commandDeadline = milliseconds(10000),
                     .releaseAfterClose = milliseconds(50)});
}

} // namespace

class TestHalvicParts : public QObject
{
    Q_OBJECT

private slots:
    void parsesNutTarget_data();
    void parsesNutTarget();
    void mapsUpsStatus_data();
    void mapsUpsStatus();
    void splitsAndQuotesProtocolWords();
    void validatesNutNames_data();
    void validatesNutNames();
    void readsConfFile();
    void findsConfigurationFiles_data();
    void findsConfigurationFiles();
    void refusesPasswordReadableByOthers_data();
    void refusesPasswordReadableByOthers();
    void workerAnswersWhileTheDeviceHangs();
    void workerReleasesAndReopensTheDevice();
};

void TestHalvicParts::parsesNutTarget_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<NutTarget>>("target");
    const auto target = [](std::string ups, std::string host, uint16_t port) {
        return std::optional<NutTarget>(NutTarget{std::move(ups), std::move(host), port});
    };
    const std::optional<NutTarget> invalid;
    QTest::newRow("empty: first UPS on localhost") << "" << target("", "localhost", 3493);
    QTest::newRow("name and host") << "eaton@nas" << target("eaton", "nas", 3493);
    QTest::newRow("name, host, port") << "eaton@127.0.0.1:3500" << target("eaton", "127.0.0.1", 3500);
    QTest::newRow("first UPS of a server") << "@127.0.0.1:3500" << target("", "127.0.0.1", 3500);
    QTest::newRow("IPv6 with port") << "ups@[::1]:3500" << target("ups", "::1", 3500);
    QTest::newRow("no host") << "ups@" << invalid;
    QTest::newRow("port zero") << "ups@h:0" << invalid;
    QTest::newRow("port too big") << "ups@h:65536" << invalid;
    QTest::newRow("port not a number") << "ups@h:x1" << invalid;
    QTest::newRow("unclosed bracket") << "ups@[::1:3500" << invalid;
}

void TestHalvicParts::parsesNutTarget()
{
    QFETCH(QString, text);
    QTEST(parseNutTarget(text.toStdString()), "target");
}

void TestHalvicParts::mapsUpsStatus_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<std::optional<UpsReading>>("reading");
    const auto reading = [](bool onMains, bool low) {
        return std::optional<UpsReading>(UpsReading{onMains, low});
    };
    const std::optional<UpsReading> noAnswer;
    QTest::newRow("OL CHRG") << "OL CHRG" << reading(true, false);
    QTest::newRow("OB DISCHRG") << "OB DISCHRG" << reading(false, false);
    QTest::newRow("LB before OB") << "LB OB" << reading(false, true);
    QTest::newRow("OL LB") << "OL LB" << reading(true, true);
    QTest::newRow("token inside a word is no token") << "OLD" << noAnswer;
    QTest::newRow("empty") << "" << noAnswer;
    QTest::newRow("only LB") << "LB" << noAnswer;
    QTest::newRow("OL and OB contradict") << "OL OB" << noAnswer;
    QTest::newRow("lower case") << "ol" << noAnswer;
    QTest::newRow("quotes are part of a word") << "OL \"L\"B" << reading(true, false);
    QTest::newRow("blanks around") << "\tOB  LB \r\n" << reading(false, true);
}

void TestHalvicParts::mapsUpsStatus()
{
    QFETCH(QString, status);
    QTEST(readingFromUpsStatus(status.toStdString()), "reading");
}

void TestHalvicParts::splitsAndQuotesProtocolWords()
{
    using Words = std::vector<std::string>;
    QCOMPARE(splitNutLine("VAR ups ups.status \"OB LB\""), (Words{"VAR", "ups", "ups.status", "OB LB"}));
    QCOMPARE(splitNutLine("UPS dummy \"a \\\"quoted\\\" \\\\ desc\""),
             (Words{"UPS", "dummy", "a \"quoted\" \\ desc"}));
    QCOMPARE(splitNutLine("VAR ups ups.status \"\""), (Words{"VAR", "ups", "ups.status", ""}));
    QCOMPARE(splitNutLine("  OK  \r\n"), Words{"OK"});
    const std::string awkward = "pa ss\"wo\\rd";
    QCOMPARE(splitNutLine("PASSWORD " + quotedNutWord(awkward)), (Words{"PASSWORD", awkward}));
}

void TestHalvicParts::validatesNutNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("dots, dashes, underscores") << "rack-1.ups_a" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("leading dash") << "-ups" << false;
    QTest::newRow("line end smuggles a request") << "ups\nSET VAR" << false;
    QTest::newRow("65 characters") << QString(65, 'u') << false;
}

void TestHalvicParts::validatesNutNames()
{
    QFETCH(QString, name);
    QTEST(isValidNutName(name.toStdString()), "valid");
}

void TestHalvicParts::readsConfFile()
{
    QTemporaryDir dir;
    writeConf(dir.filePath(QStringLiteral("Halvic.conf")),
              "; comment\n# comment\n BACKEND = SIM \nsim_file = states/ups.state\nnut_ups = a@b\n"
              "nut_user = monitor\nnut_offcmd = load.off\n");
    const Config config =
        loadConfig(dir.path().toStdString(),
                   lookupIn({{"HALVIC_NUT_UPS", "c@d:1"}, {"HALVIC_NUT_PASSWORD", "from env"}}));
    QCOMPARE(config.backend, "sim");
    QCOMPARE(config.simFile, dir.path().toStdString() + "/states/ups.state");
    QCOMPARE(config.nutUps, "c@d:1");
    QCOMPARE(config.nutUser, "monitor");
    QCOMPARE(config.nutPassword, "from env");
    QCOMPARE(config.nutOffCmd, "load.off");
}

// Each file names itself in nut_ups; only the system file sets nut_user.
void TestHalvicParts::findsConfigurationFiles_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("nutUps");
    QTest::addColumn<QString>("nutUser");
    QTest::newRow("beside the library: only that one")
        << QStringList{"lib", "etc", "xdg/brevant"} << QStringList{"XDG_CONFIG_HOME=xdg"} << "lib"
        << "";
    QTest::newRow("user file overrides the system file's keys")
        << QStringList{"etc", "xdg/brevant"} << QStringList{"XDG_CONFIG_HOME=xdg"} << "xdg/brevant"
        << "system";
    QTest::newRow("user folder defaults to ~/.config")
        << QStringList{"etc", "home/.config/brevant"} << QStringList{"HOME=home"} << "home/.config/brevant"
        << "system";
    QTest::newRow("HALVIC_CONF names the one file")
        << QStringList{"lib", "etc", "named"} << QStringList{"HALVIC_CONF=named/Halvic.conf"} << "named"
        << "";
    QTest::newRow("environment overrides every file")
        << QStringList{"etc"} << QStringList{"HALVIC_NUT_UPS=env"} << "env"
        << "system";
    QTest::newRow("nothing anywhere") << QStringList{} << QStringList{} << ""
                                      << "";
}

void TestHalvicParts::findsConfigurationFiles()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, environment);
    QTemporaryDir root;
    const auto at = [&](const QString& relative) { return root.filePath(relative).toStdString(); };
    QDir().mkpath(root.filePath(QStringLiteral("lib")));
    for (const QString& file : files) {
        writeConf(root.filePath(file + QStringLiteral("/Halvic.conf")),
                  "nut_ups = " + file.toUtf8() + (file == "etc" ? "\nnut_user = system\n" : "\n"));
    }
    Environment variables;
    for (const QString& variable : environment) {
        const QString value = variable.section('=', 1);
        variables[variable.section('=', 0, 0).toStdString()] = value == "env" ? "env" : at(value);
    }

    const Config config = loadConfig(at("lib"), lookupIn(variables), at("etc"));
    QTEST(QString::fromStdString(config.nutUps), "nutUps");
    QTEST(QString::fromStdString(config.nutUser), "nutUser");
    QCOMPARE(config.files.empty(), files.isEmpty());
}

void TestHalvicParts::refusesPasswordReadableByOthers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("permissions");
    QTest::addColumn<bool>("refused");
    const int ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QByteArray withPassword("backend = sim\nnut_password = x\n");
    QTest::newRow("password, world readable") << withPassword << (ownerOnly | QFile::ReadOther) << true;
    QTest::newRow("password, group readable") << withPassword << (ownerOnly | QFile::ReadGroup) << true;
    QTest::newRow("no password, world readable")
        << QByteArray("backend = sim\n") << (ownerOnly | QFile::ReadOther) << false;
}

void TestHalvicParts::refusesPasswordReadableByOthers()
{
    QFETCH(QByteArray, text);
    QFETCH(int, permissions);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Halvic.conf"));
    writeConf(path, text, QFile::Permissions(permissions));
    const Config config = loadConfig(dir.path().toStdString(), lookupIn({}));
    QCOMPARE(config.backend, refused ? "" : "sim");
    QCOMPARE(config.refusedFiles, refused ? std::vector{path.toStdString()} : std::vector<std::string>());
}

// While the device hangs, the reading goes stale and UPS-off calls are answered "not accepted"
// within commandWait; the worker sends the command once the device is free, once for all the
// calls that came while it waited; stopping a hung worker is prompt.
void TestHalvicParts::workerAnswersWhileTheDeviceHangs()
{
    Script script;
    auto worker = makeWorker(script);
    QVERIFY(worker->readStatus().has_value());
    script.hang = true;
    QTRY_VERIFY(!worker->readStatus().has_value());
    QVERIFY(!worker->switchOff());
    QVERIFY(!worker->switchOff());
    QCOMPARE(script.switchedOff.load(), 0);

    script.hang = false;
    QTRY_COMPARE(script.switchedOff.load(), 1);
    QVERIFY(worker->switchOff());
    QCOMPARE(script.switchedOff.load(), 2);

    script.hang = true;
    QTRY_VERIFY(!worker->readStatus().has_value());
    QElapsedTimer stopping;
    stopping.start();
    worker.reset();
    QVERIFY2(stopping.elapsed() < 1000, "the interrupt did not end the device's wait");
    QCOMPARE(script.closed.load(), 1);
}

void TestHalvicParts::workerReleasesAndReopensTheDevice()
{
    Script script;
    auto worker = makeWorker(script);
    QVERIFY(worker->readStatus().has_value());
    worker->suspend();
    QTRY_COMPARE(script.closed.load(), 1);
    worker->resume();
    QVERIFY(worker->readStatus().has_value());
    QCOMPARE(script.opened.load(), 2);
}

QTEST_GUILESS_MAIN(TestHalvicParts)
#include "tst_halvicparts.moc"
