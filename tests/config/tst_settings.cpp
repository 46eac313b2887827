// The value conversions and the typed settings, with the documented result for every value that
// cannot be read as expected.
#include "TestFiles.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"

#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <limits>

using namespace brevant;

namespace {

const QString Int32Max = QString::number(std::numeric_limits<qint32>::max());
const QString Int32Min = QString::number(std::numeric_limits<qint32>::min());

// "-" stands for "no value".
template <typename T>
QString shown(const std::optional<T>& v)
{
    if (!v)
        return QStringLiteral("-");
    if constexpr (std::is_same_v<T, bool>)
        return QString::fromLatin1(*v ? "true" : "false");
    else
        return QString::number(*v);
}

QString shown(bool v)
{
    return shown(std::optional<bool>(v));
}

QString convert(const QString& conversion, const QString& text)
{
    if (conversion == u"=0" || conversion == u"=1")
        return shown(conversion::numberEquals(text, conversion.back().digitValue()));
    if (conversion == u"bool")
        return shown(conversion::boolean(text));
    if (conversion == u"whole")
        return shown(conversion::wholeNumber(text));
    return shown(conversion::minutesToSeconds(text));
}

using Probe = std::function<QString(const Settings&)>;
const QHash<QString, Probe>& probes()
{
    using E = EventSection;
    static const QHash<QString, Probe> table = {
        {"link",
         [](auto& s) {
             return s.link().serial ? QStringLiteral("COM%1").arg(s.link().port) : QStringLiteral("USB");
         }},
        {"onBattDelay", [](auto& s) { return QString::number(s.delaySeconds(E::OnBattery)); }},
        {"lowBattDelay", [](auto& s) { return QString::number(s.delaySeconds(E::LowBattery)); }},
        {"logLimit", [](auto& s) { return QString::number(s.recordLimit(RecordList::Log)); }},
        {"eventLimit", [](auto& s) { return QString::number(s.recordLimit(RecordList::Event)); }},
        {"closeLimit", [](auto& s) { return QString::number(s.recordLimit(RecordList::Close)); }},
        {"onBattDisabled", [](auto& s) { return shown(s.eventDisabled(E::OnBattery)); }},
        {"lowBattDisabled", [](auto& s) { return shown(s.eventDisabled(E::LowBattery)); }},
        {"onBattRecord", [](auto& s) { return shown(s.recordLog(E::OnBattery)); }},
        {"lowBattShutdown", [](auto& s) { return shown(s.shutdownOnEvent(E::LowBattery)); }},
        {"lowBattShutdownIsOne", [](auto& s) { return shown(s.lowBatteryShutdownIsOne()); }},
        {"saveApplications", [](auto& s) { return shown(s.saveApplications()); }},
        {"shutdownRequested", [](auto& s) { return shown(s.shutdownRequested()); }},
        {"closeAppFlag", [](auto& s) { return shown(s.closeAppFlagSet()); }},
        {"saveList", [](auto& s) { return shown(s.saveListWanted()); }},
    };
    return table;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data()
    {
        QTest::addColumn<QString>("conversion"); // "=n": numeric compare with n
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* conversion, const QString& text, const QString& expected) {
            QTest::addRow("%s %s", conversion, qPrintable(text.left(40))) << conversion << text << expected;
        };
        row("=1", "01", "true");
        row("=1", " +1. ", "true");
        row("=1", "0.1e1", "true");
        row("=1", "1.5", "false");
        row("=0", "", "false");
        row("=0", "-0", "true");
        row("=0", "1e-400", "true");
        for (const char* noNumber : {"1abc", "0x1", "1,0", "1 0", "1e", ".", "inf"})
            row("=1", noNumber, "false");

        row("bool", "-1", "true");
        row("bool", "0.5", "true");
        row("bool", "1e400", "true");
        row("bool", "0.0", "false");
        row("bool", "True", "true");
        row("bool", " false ", "false");
        row("bool", "abc", "-");

        row("whole", "2.5", "2");
        row("whole", "3.5", "4");
        row("whole", "-2.5", "-2");
        row("whole", "-1e10", Int32Min);
        row("whole", "1e400", Int32Max);
        row("whole", "", "-");

        row("seconds", "0.5", "30");
        row("seconds", "0.025", "2"); // 1.5 s to the even neighbour
        row("seconds", "0.075", "4"); // 4.5 s
        row("seconds", "-0.025", "-2");
        row("seconds", "0.0416666666666666666666666667", "3"); // just above 2.5 s
        row("seconds", ".5", "30");
        row("seconds", " 0002.0000 ", "120");
        row("seconds", "2.5e-2", "2");
        row("seconds", "35791394.1", "2147483646");
        row("seconds", "35791394.12", Int32Max); // rounds down onto the limit
        row("seconds", "35791394.13", Int32Max);
        row("seconds", "-35791395", Int32Min);
        row("seconds", "99999999999999999999999999999999999999999", Int32Max);
        row("seconds", "1e400", Int32Max);
        row("seconds", "-" + QString(400, u'9'), Int32Min);
        row("seconds", "abc", "-");
    }

    void conversions()
    {
        QFETCH(QString, conversion);
        QFETCH(QString, text);
        QTEST(convert(conversion, text), "expected");
    }

    void accessors_data()
    {
        QTest::addColumn<QByteArray>("line"); // "[Section]\nKey=value"; empty: the key is absent
        QTest::addColumn<QString>("probe");
        QTest::addColumn<QString>("expected");
        const auto row = [](const QByteArray& line, const char* probe, const QString& expected) {
            QTest::addRow("%s: %s", probe, line.isEmpty() ? "absent" : line.constData())
                << line << probe << expected;
        };
        row("", "link", "USB");
        row("[Mscomm]\nComboPort=abc", "link", "USB");
        row("[Mscomm]\nComboPort=0", "link", "USB");
        row("[Mscomm]\nComboPort=-1", "link", "USB");
        row("[Mscomm]\nComboPort=0.4", "link", "USB");
        row("[Mscomm]\nComboPort=03", "link", "COM3");
        row("", "onBattDelay", "120");
        row("[UpsOnBattery]\nDelaytime=abc", "onBattDelay", "120");
        row("[UpsLowBattery]\nDelaytime=0.075", "lowBattDelay", "4");
        row("[UpsLowBattery]\nDelaytime=1e12", "lowBattDelay", Int32Max);
        row("", "logLimit", "1000");
        row("[OSEvent]\nEventcount=abc", "eventLimit", "1000");
        row("[OSEvent]\nLogcount=1e999", "logLimit", "1000");
        row("[OSEvent]\nClosecount=0500", "closeLimit", "500");
        row("[UpsLowBattery]\nDisableevent=abc", "lowBattDisabled", "false");
        row("[UpsOnBattery]\nDisableevent=2", "onBattDisabled", "true");
        row("[UpsOnBattery]\nRecordlog=-1", "onBattRecord", "true");
        row("[UpsLowBattery]\nShutdown=0.5", "lowBattShutdown", "true");
        row("[UpsLowBattery]\nShutdown=0.5", "lowBattShutdownIsOne", "false");
        row("[UpsLowBattery]\nShutdown=1.0", "lowBattShutdownIsOne", "true");
        row("[OSEvent]\nSaveapllication=abc", "saveApplications", "false");
        row("[OSEvent]\nSaveapllication=1", "saveApplications", "true");
        row("[Schema]\nShutDown=01", "shutdownRequested", "true");
        row("[Schema]\nShutDown=2", "shutdownRequested", "false");
        row("", "shutdownRequested", "false");
        row("[Schema]\nCloseAppFlag= 1 ", "closeAppFlag", "true");
        row("[Schema]\nCloseAppFlag=", "closeAppFlag", "false");
        row("[Schema]\nSaveList=2", "saveList", "true");
        row("[Schema]\nSaveList=abc", "saveList", "false");
    }

    void accessors()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, probe);
        QTemporaryDir dir;
        const Settings settings(dir.filePath(QStringLiteral("UpsConfigure.ini")));
        testsupport::writeFile(settings.fileName(), "[Other]\nKey=1\n" + line + '\n');
        QVERIFY(probes().contains(probe));
        QTEST(probes()[probe](settings), "expected");
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

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
