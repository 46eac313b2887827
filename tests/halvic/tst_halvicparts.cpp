// The pieces of libHalvic that decide what a reply means: configuration, NUT names and status.
#include "Config.h"
#include "NutProtocol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <optional>
#include <string>

using namespace halvic;

Q_DECLARE_METATYPE(std::optional<NutTarget>)
Q_DECLARE_METATYPE(std::optional<UpsReading>)

class TestHalvicParts : public QObject
{
    Q_OBJECT

private slots:
    void parsesNutTarget_data();
    void parsesNutTarget();
    void mapsUpsStatus_data();
    void mapsUpsStatus();
    void splitsAndQuotesProtocolWords();
    void prefersOffCommandThatReturns_data();
    void prefersOffCommandThatReturns();
    void environmentOverridesConfFile();
    void defaultsWithoutAnyConfiguration();
    void findsConfigurationFiles_data();
    void findsConfigurationFiles();
    void refusesPasswordReadableByOthers_data();
    void refusesPasswordReadableByOthers();
    void validatesNutNames_data();
    void validatesNutNames();
};

void TestHalvicParts::parsesNutTarget_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<NutTarget>>("target");
    const auto target = [](std::string ups, std::string host, uint16_t port) {
        return std::optional<NutTarget>(NutTarget{std::move(ups), std::move(host), port});
    };
    QTest::newRow("empty: first UPS on localhost") << "" << target("", "localhost", 3493);
    QTest::newRow("bare name") << "eaton" << target("eaton", "localhost", 3493);
    QTest::newRow("name and host") << "eaton@nas" << target("eaton", "nas", 3493);
    QTest::newRow("name, host, port") << "eaton@127.0.0.1:3500" << target("eaton", "127.0.0.1", 3500);
    QTest::newRow("first UPS of a server") << "@127.0.0.1:3500" << target("", "127.0.0.1", 3500);
    QTest::newRow("IPv6 with port") << "ups@[::1]:3500" << target("ups", "::1", 3500);
    QTest::newRow("IPv6 without port") << "ups@[::1]" << target("ups", "::1", 3493);
    QTest::newRow("no host") << "ups@" << std::optional<NutTarget>();
    QTest::newRow("port zero") << "ups@h:0" << std::optional<NutTarget>();
    QTest::newRow("port too big") << "ups@h:65536" << std::optional<NutTarget>();
    QTest::newRow("port not a number") << "ups@h:x1" << std::optional<NutTarget>();
    QTest::newRow("unclosed bracket") << "ups@[::1:3500" << std::optional<NutTarget>();
}

void TestHalvicParts::parsesNutTarget()
{
    QFETCH(QString, text);
    QFETCH(std::optional<NutTarget>, target);
    QCOMPARE(parseNutTarget(text.toStdString()), target);
}

void TestHalvicParts::mapsUpsStatus_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<std::optional<UpsReading>>("reading");
    const auto reading = [](bool onMains, bool low) {
        return std::optional<UpsReading>(UpsReading{onMains, low});
    };
    QTest::newRow("OL") << "OL" << reading(true, false);
    QTest::newRow("OL CHRG") << "OL CHRG" << reading(true, false);
    QTest::newRow("OB DISCHRG") << "OB DISCHRG" << reading(false, false);
    QTest::newRow("OB LB") << "OB LB" << reading(false, true);
    QTest::newRow("LB before OB") << "LB OB" << reading(false, true);
    QTest::newRow("OL LB") << "OL LB" << reading(true, true);
    QTest::newRow("FSD OB LB") << "FSD OB LB" << reading(false, true);
    QTest::newRow("token inside a word is no token") << "OLD" << std::optional<UpsReading>();
    QTest::newRow("empty") << "" << std::optional<UpsReading>();
    QTest::newRow("OFF") << "OFF" << std::optional<UpsReading>();
    QTest::newRow("only LB") << "LB" << std::optional<UpsReading>();
    QTest::newRow("OL and OB contradict") << "OL OB" << std::optional<UpsReading>();
    QTest::newRow("lower case") << "ol" << std::optional<UpsReading>();
}

void TestHalvicParts::mapsUpsStatus()
{
    QFETCH(QString, status);
    QFETCH(std::optional<UpsReading>, reading);
    QCOMPARE(readingFromUpsStatus(status.toStdString()), reading);
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

void TestHalvicParts::prefersOffCommandThatReturns_data()
{
    QTest::addColumn<QStringList>("offered");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("all") << QStringList{"load.off", "load.off.delay", "shutdown.stayoff", "shutdown.return"}
                         << "shutdown.return";
    QTest::newRow("stays off") << QStringList{"load.off", "load.off.delay", "shutdown.stayoff"}
                               << "shutdown.stayoff";
    QTest::newRow("delayed off") << QStringList{"load.off", "load.off.delay"} << "load.off.delay";
    QTest::newRow("immediate off is never chosen") << QStringList{"load.off"} << "";
    QTest::newRow("none suitable") << QStringList{"test.battery.start", "beeper.on"} << "";
}

void TestHalvicParts::prefersOffCommandThatReturns()
{
    QFETCH(QStringList, offered);
    QFETCH(QString, chosen);
    std::vector<std::string> commands;
    for (const QString& command : offered)
        commands.push_back(command.toStdString());
    QCOMPARE(QString::fromStdString(preferredOffCommand(commands)), chosen);
}

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
    QDir().mkpath(QFileInfo(path).path());
    QFile conf(path);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(text);
    conf.close();
    QVERIFY(conf.setPermissions(permissions));
}

} // namespace

void TestHalvicParts::environmentOverridesConfFile()
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

void TestHalvicParts::defaultsWithoutAnyConfiguration()
{
    QTemporaryDir dir;
    const Config config =
        loadConfig(dir.path().toStdString(), lookupIn({}), dir.filePath("etc").toStdString());
    QCOMPARE(config.backend, "");
    QCOMPARE(parseNutTarget(config.nutUps), std::optional(NutTarget{}));
    QCOMPARE(config.simFile, dir.path().toStdString() + "/halvic-sim.state");
    QVERIFY(config.nutOffCmd.empty());
    QVERIFY(config.files.empty());
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
    QTest::newRow("system file alone") << QStringList{"etc"} << QStringList{"HOME=home"} << "etc"
                                       << "system";
    QTest::newRow("HALVIC_CONF names the one file")
        << QStringList{"lib", "etc", "named"} << QStringList{"HALVIC_CONF=named/Halvic.conf"} << "named"
        << "";
    QTest::newRow("environment overrides every file")
        << QStringList{"etc"} << QStringList{"HALVIC_NUT_UPS=env"} << "env"
        << "system";
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
}

void TestHalvicParts::refusesPasswordReadableByOthers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("permissions");
    QTest::addColumn<bool>("refused");
    const int ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    const QByteArray withPassword("backend = sim\nnut_password = x\n");
    QTest::newRow("password, owner only") << withPassword << ownerOnly << false;
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

void TestHalvicParts::validatesNutNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "eaton" << true;
    QTest::newRow("dots, dashes, underscores") << "rack-1.ups_a" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("leading dash") << "-ups" << false;
    QTest::newRow("space") << "my ups" << false;
    QTest::newRow("line end smuggles a request") << "ups\nSET VAR" << false;
    QTest::newRow("quote") << "ups\"" << false;
    QTest::newRow("65 characters") << QString(65, 'u') << false;
}

void TestHalvicParts::validatesNutNames()
{
    QFETCH(QString, name);
    QTEST(isValidNutName(name.toStdString()), "valid");
}

QTEST_GUILESS_MAIN(TestHalvicParts)
#include "tst_halvicparts.moc"
