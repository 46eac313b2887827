// The pieces of libHalvic that decide what a reply means: configuration, NUT names and status.
#include "Config.h"
#include "NutProtocol.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <map>
#include <optional>
#include <string>

using namespace halvic;

Q_DECLARE_METATYPE(std::optional<NutTarget>)
Q_DECLARE_METATYPE(std::optional<UpsReading>)

class HalvicPartsTest : public QObject
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
    void flagsPasswordReadableByOthers_data();
    void flagsPasswordReadableByOthers();
};

void HalvicPartsTest::parsesNutTarget_data()
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

void HalvicPartsTest::parsesNutTarget()
{
    QFETCH(QString, text);
    QFETCH(std::optional<NutTarget>, target);
    QCOMPARE(parseNutTarget(text.toStdString()), target);
}

void HalvicPartsTest::mapsUpsStatus_data()
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

void HalvicPartsTest::mapsUpsStatus()
{
    QFETCH(QString, status);
    QFETCH(std::optional<UpsReading>, reading);
    QCOMPARE(readingFromUpsStatus(status.toStdString()), reading);
}

void HalvicPartsTest::splitsAndQuotesProtocolWords()
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

void HalvicPartsTest::prefersOffCommandThatReturns_data()
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

void HalvicPartsTest::prefersOffCommandThatReturns()
{
    QFETCH(QStringList, offered);
    QFETCH(QString, chosen);
    std::vector<std::string> commands;
    for (const QString& command : offered)
        commands.push_back(command.toStdString());
    QCOMPARE(QString::fromStdString(preferredOffCommand(commands)), chosen);
}

void HalvicPartsTest::environmentOverridesConfFile()
{
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("Halvic.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("; comment\n# comment\n BACKEND = SIM \nsim_file = states/ups.state\nnut_ups = a@b\n"
               "nut_user = monitor\nnut_offcmd = load.off\n");
    conf.close();
    const std::map<std::string, std::string> environment{{"HALVIC_NUT_UPS", "c@d:1"},
                                                         {"HALVIC_NUT_PASSWORD", "from env"}};
    const auto lookup = [&](const char* name) -> std::optional<std::string> {
        const auto it = environment.find(name);
        return it == environment.end() ? std::nullopt : std::optional(it->second);
    };

    const Config config = loadConfig(dir.path().toStdString(), lookup);

    QCOMPARE(config.backend, "sim");
    QCOMPARE(config.simFile, dir.path().toStdString() + "/states/ups.state");
    QCOMPARE(config.nutUps, "c@d:1");
    QCOMPARE(config.nutUser, "monitor");
    QCOMPARE(config.nutPassword, "from env");
    QCOMPARE(config.nutOffCmd, "load.off");
    QVERIFY(!config.passwordExposed);
}

void HalvicPartsTest::defaultsWithoutAnyConfiguration()
{
    QTemporaryDir dir;
    const Config config = loadConfig(dir.path().toStdString(), [](const char*) { return std::nullopt; });
    QCOMPARE(config.backend, "nut");
    QCOMPARE(parseNutTarget(config.nutUps), std::optional(NutTarget{}));
    QCOMPARE(config.simFile, dir.path().toStdString() + "/halvic-sim.state");
    QVERIFY(config.nutOffCmd.empty());
}

void HalvicPartsTest::flagsPasswordReadableByOthers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("permissions");
    QTest::addColumn<bool>("exposed");
    const int ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    QTest::newRow("password, owner only") << QByteArray("nut_password = x\n") << ownerOnly << false;
    QTest::newRow("password, world readable")
        << QByteArray("nut_password = x\n") << (ownerOnly | QFile::ReadOther) << true;
    QTest::newRow("password, group readable")
        << QByteArray("nut_password = x\n") << (ownerOnly | QFile::ReadGroup) << true;
    QTest::newRow("no password, world readable")
        << QByteArray("nut_user = x\n") << (ownerOnly | QFile::ReadOther) << false;
}

void HalvicPartsTest::flagsPasswordReadableByOthers()
{
    QFETCH(QByteArray, text);
    QFETCH(int, permissions);
    QTemporaryDir dir;
    QFile conf(dir.filePath(QStringLiteral("Halvic.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(text);
    conf.close();
    QVERIFY(conf.setPermissions(QFile::Permissions(permissions)));
    const Config config = loadConfig(dir.path().toStdString(), [](const char*) { return std::nullopt; });
    QTEST(config.passwordExposed, "exposed");
}

QTEST_GUILESS_MAIN(HalvicPartsTest)
#include "tst_HalvicParts.moc"
