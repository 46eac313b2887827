#include "MemoryTempDir.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"

#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <limits>

using namespace brevant;

namespace {

constexpr qint32 Int32Max = std::numeric_limits<qint32>::max();
constexpr qint32 Int32Min = std::numeric_limits<qint32>::min();

// "-" stands for "no value" in the optional columns below.
QString shown(const std::optional<qint32>& v)
{
    return v ? QString::number(*v) : QStringLiteral("-");
}
QString shown(bool v)
{
    return QString::fromLatin1(v ? "true" : "false");
}
QString shown(const std::optional<bool>& v)
{
    return v ? shown(*v) : QStringLiteral("-");
}

using Probe = std::function<QString(const Settings&)>;

QString shown(LinkChoice link)
{
    return link.serial ? QStringLiteral("COM%1").arg(link.port) : QStringLiteral("USB");
}

const QHash<QString, Probe>& probes()
{
    static const QHash<QString, Probe> table = {
        {"link", [](const Settings& s) { return shown(s.link()); }},
        {"onBattDelay",
         [](const Settings& s) { return QString::number(s.delaySeconds(EventSection::OnBattery)); }},
        {"lowBattDelay",
         [](const Settings& s) { return QString::number(s.delaySeconds(EventSection::LowBattery)); }},
        {"logLimit", [](const Settings& s) { return QString::number(s.recordLimit(RecordList::Log)); }},
        {"eventLimit", [](const Settings& s) { return QString::number(s.recordLimit(RecordList::Event)); }},
        {"closeLimit", [](const Settings& s) { return QString::number(s.recordLimit(RecordList::Close)); }},
        {"onBattDisabled", [](const Settings& s) { return shown(s.eventDisabled(EventSection::OnBattery)); }},
        {"lowBattDisabled",
         [](const Settings& s) { return shown(s.eventDisabled(EventSection::LowBattery)); }},
        {"onBattRecord", [](const Settings& s) { return shown(s.recordLog(EventSection::OnBattery)); }},
        {"lowBattShutdown",
         [](const Settings& s) { return shown(s.shutdownOnEvent(EventSection::LowBattery)); }},
        {"lowBattShutdownIsOne", [](const Settings& s) { return shown(s.lowBatteryShutdownIsOne()); }},
        {"saveApplications", [](const Settings& s) { return shown(s.saveApplications()); }},
        {"shutdownRequested", [](const Settings& s) { return shown(s.shutdownRequested()); }},
        {"closeAppFlag", [](const Settings& s) { return shown(s.closeAppFlagSet()); }},
        {"saveList", [](const Settings& s) { return shown(s.saveListWanted()); }},
    };
    return table;
}

} // namespace

class SettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void numberEquals_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("equal");
        QTest::newRow("01") << "01" << 1 << true;
        QTest::newRow("1.0") << "1.0" << 1 << true;
        QTest::newRow("blanks") << " 1 " << 1 << true;
        QTest::newRow("plus sign") << "+1" << 1 << true;
        QTest::newRow("exponent") << "0.1e1" << 1 << true;
        QTest::newRow("trailing point") << "1." << 1 << true;
        QTest::newRow("0") << "0" << 1 << false;
        QTest::newRow("2") << "2" << 1 << false;
        QTest::newRow("1.5") << "1.5" << 1 << false;
        QTest::newRow("empty") << "" << 1 << false;
        QTest::newRow("empty is not 0") << "" << 0 << false;
        QTest::newRow("abc") << "abc" << 1 << false;
        QTest::newRow("trailing letters") << "1abc" << 1 << false;
        QTest::newRow("hex") << "0x1" << 1 << false;
        QTest::newRow("decimal comma") << "1,0" << 1 << false;
        QTest::newRow("inner blank") << "1 0" << 10 << false;
        QTest::newRow("negative zero") << "-0" << 0 << true;
        QTest::newRow("underflow is 0") << "1e-400" << 0 << true;
        QTest::newRow("dangling exponent") << "1e" << 1 << false;
        QTest::newRow("point alone") << "." << 0 << false;
        QTest::newRow("infinity word") << "inf" << 0 << false;
    }

    void numberEquals()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(bool, equal);
        QCOMPARE(conversion::numberEquals(text, value), equal);
    }

    void boolean_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("1") << "1"
                           << "true";
        QTest::newRow("-1, the stored True") << "-1"
                                             << "true";
        QTest::newRow("any non-zero") << "0.5"
                                      << "true";
        QTest::newRow("huge") << "1e400"
                              << "true";
        QTest::newRow("0") << "0"
                           << "false";
        QTest::newRow("0.0") << "0.0"
                             << "false";
        QTest::newRow("True") << "True"
                              << "true";
        QTest::newRow("false") << " false "
                               << "false";
        QTest::newRow("empty") << ""
                               << "-";
        QTest::newRow("abc") << "abc"
                             << "-";
    }

    void boolean()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(shown(conversion::boolean(text)), expected);
    }

    void wholeNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("3") << "3"
                           << "3";
        QTest::newRow("half to even down") << "2.5"
                                           << "2";
        QTest::newRow("half to even up") << "3.5"
                                         << "4";
        QTest::newRow("negative half") << "-2.5"
                                       << "-2";
        QTest::newRow("above half") << "0.51"
                                    << "1";
        QTest::newRow("clamped high") << "1e10" << QString::number(Int32Max);
        QTest::newRow("clamped low") << "-1e10" << QString::number(Int32Min);
        QTest::newRow("beyond double") << "1e400" << QString::number(Int32Max);
        QTest::newRow("empty") << ""
                               << "-";
        QTest::newRow("abc") << "abc"
                             << "-";
    }

    void wholeNumber()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(shown(conversion::wholeNumber(text)), expected);
    }

    void minutesToSeconds_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0.5") << "0.5"
                             << "30";
        QTest::newRow("1.5 s to 2") << "0.025"
                                    << "2";
        QTest::newRow("4.5 s to 4") << "0.075"
                                    << "4";
        QTest::newRow("just above 2.5 s") << "0.0416666666666666666666666667"
                                          << "3";
        QTest::newRow("negative 1.5 s") << "-0.025"
                                        << "-2";
        QTest::newRow("2") << "2"
                           << "120";
        QTest::newRow("blanks") << "  2  "
                                << "120";
        QTest::newRow("fraction only") << ".5"
                                       << "30";
        QTest::newRow("leading zeros") << "0002.0000"
                                       << "120";
        QTest::newRow("-1") << "-1"
                            << "-60";
        QTest::newRow("exponent") << "2.5e-2"
                                  << "2";
        QTest::newRow("below the limit") << "35791394.1"
                                         << "2147483646";
        QTest::newRow("rounds down to the limit") << "35791394.12" << QString::number(Int32Max);
        QTest::newRow("rounds up past the limit") << "35791394.13" << QString::number(Int32Max);
        QTest::newRow("far below the limit") << "-35791395" << QString::number(Int32Min);
        QTest::newRow("huge") << "99999999999999999999999999999999999999999" << QString::number(Int32Max);
        QTest::newRow("beyond double") << "1e400" << QString::number(Int32Max);
        QTest::newRow("hugely negative") << "-" + QString(400, u'9') << QString::number(Int32Min);
        QTest::newRow("abc") << "abc"
                             << "-";
        QTest::newRow("empty") << ""
                               << "-";
    }

    void minutesToSeconds()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(shown(conversion::minutesToSeconds(text)), expected);
    }

    // Every accessor with its documented result for an unreadable value.
    void accessors_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // null: the key is absent
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("expected");

        const QString absent;
        auto row = [](const char* name, const char* section, const char* key, const QString& value,
                      const char* probe, const QString& expected) {
            QTest::newRow(name) << section << key << value << probe << expected;
        };
        row("port absent", "Mscomm", "ComboPort", absent, "link", "USB");
        row("port empty", "Mscomm", "ComboPort", "", "link", "USB");
        row("port abc", "Mscomm", "ComboPort", "abc", "link", "USB");
        row("port 0", "Mscomm", "ComboPort", "0", "link", "USB");
        row("port 3", "Mscomm", "ComboPort", "3", "link", "COM3");
        row("port 3 in [MsComm]", "MsComm", "ComboPort", "3", "link", "COM3");
        row("port 03", "Mscomm", "ComboPort", "03", "link", "COM3");
        row("port -1", "Mscomm", "ComboPort", "-1", "link", "USB");
        row("port below 1 after rounding", "Mscomm", "ComboPort", "0.4", "link", "USB");

        row("delay absent", "UpsOnBattery", "Delaytime", absent, "onBattDelay", "120");
        row("delay abc", "UpsOnBattery", "Delaytime", "abc", "onBattDelay", "120");
        row("delay empty", "UpsLowBattery", "Delaytime", "", "lowBattDelay", "120");
        row("delay 0.5", "UpsOnBattery", "Delaytime", "0.5", "onBattDelay", "30");
        row("delay 0.075", "UpsLowBattery", "Delaytime", "0.075", "lowBattDelay", "4");
        row("delay huge", "UpsLowBattery", "Delaytime", "1e12", "lowBattDelay", QString::number(Int32Max));

        row("limit absent", "OSEvent", "Logcount", absent, "logLimit", "1000");
        row("limit abc", "OSEvent", "Eventcount", "abc", "eventLimit", "1000");
        row("limit empty", "OSEvent", "Closecount", "", "closeLimit", "1000");
        row("limit beyond double", "OSEvent", "Logcount", "1e999", "logLimit", "1000");
        row("limit 10", "OSEvent", "Closecount", "10", "closeLimit", "10");
        row("limit 0500", "OSEvent", "Eventcount", "0500", "eventLimit", "500");

        row("disable absent", "UpsOnBattery", "Disableevent", absent, "onBattDisabled", "false");
        row("disable abc", "UpsLowBattery", "Disableevent", "abc", "lowBattDisabled", "false");
        row("disable 1", "UpsLowBattery", "Disableevent", "1", "lowBattDisabled", "true");
        row("disable 2 is not 0", "UpsOnBattery", "Disableevent", "2", "onBattDisabled", "true");

        row("record abc", "UpsOnBattery", "Recordlog", "abc", "onBattRecord", "false");
        row("record -1", "UpsOnBattery", "Recordlog", "-1", "onBattRecord", "true");
        row("shutdown 0.5 is set", "UpsLowBattery", "Shutdown", "0.5", "lowBattShutdown", "true");
        row("shutdown 0.5 is not 1", "UpsLowBattery", "Shutdown", "0.5", "lowBattShutdownIsOne", "false");
        row("shutdown 1.0 is 1", "UpsLowBattery", "Shutdown", "1.0", "lowBattShutdownIsOne", "true");
        row("shutdown empty", "UpsLowBattery", "Shutdown", "", "lowBattShutdown", "false");
        row("shutdown abc is not 1", "UpsLowBattery", "Shutdown", "abc", "lowBattShutdownIsOne", "false");

        row("save apps abc", "OSEvent", "Saveapllication", "abc", "saveApplications", "false");
        row("save apps empty", "OSEvent", "Saveapllication", "", "saveApplications", "false");
        row("save apps 1", "OSEvent", "Saveapllication", "1", "saveApplications", "true");

        row("ShutDown 1", "Schema", "ShutDown", "1", "shutdownRequested", "true");
        row("ShutDown 01", "Schema", "ShutDown", "01", "shutdownRequested", "true");
        row("ShutDown 2", "Schema", "ShutDown", "2", "shutdownRequested", "false");
        row("ShutDown abc", "Schema", "ShutDown", "abc", "shutdownRequested", "false");
        row("ShutDown absent", "Schema", "ShutDown", absent, "shutdownRequested", "false");
        row("CloseAppFlag 1", "Schema", "CloseAppFlag", " 1 ", "closeAppFlag", "true");
        row("CloseAppFlag empty", "Schema", "CloseAppFlag", "", "closeAppFlag", "false");
        row("SaveList 2", "Schema", "SaveList", "2", "saveList", "true");
        row("SaveList abc", "Schema", "SaveList", "abc", "saveList", "false");
        row("SaveList absent", "Schema", "SaveList", absent, "saveList", "false");
    }

    void accessors()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, probe);
        QFETCH(QString, expected);
        const auto dir = configtest::memoryTempDir();
        const Settings settings(dir->filePath(QStringLiteral("UpsConfigure.ini")));
        QVERIFY(
            WriteIni(settings.fileName(), QStringLiteral("Other"), QStringLiteral("Key"), QStringLiteral("1"))
                .ok());
        if (!value.isNull())
            QVERIFY(WriteIni(settings.fileName(), section, key, value).ok());
        QVERIFY(probes().contains(probe));
        QCOMPARE(probes()[probe](settings), expected);
    }

    // An outside writer (close.exe) governs the very next read.
    void everyReadSeesTheLastWrite()
    {
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("UpsConfigure.ini")));
        QStringList observed;
        settings.setWriteObserver([&](IniKey key, const QString& value) {
            observed << key.section + u' ' + key.name + u'=' + value;
        });
        QVERIFY(settings.write(key::ShutDown, QStringLiteral("1")).ok());
        QVERIFY(settings.shutdownRequested());
        QVERIFY(WriteIni(settings.fileName(), QStringLiteral("schema"), QStringLiteral("shutdown"),
                         QStringLiteral("0"))
                    .ok());
        QVERIFY(!settings.shutdownRequested());
        QCOMPARE(observed, QStringList{QStringLiteral("Schema ShutDown=1")});
    }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
