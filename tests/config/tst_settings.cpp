// The value conversions and the typed settings, with the documented result for every value that
// cannot be read as expected, and every reader of a settings file that gives none.
#include "TestFiles.h"
#include "config/IniFile.h"
#include "config/Settings.h"
#include "config/ValueConversion.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <limits>

using namespace brevant;
using namespace Qt::StringLiterals;

namespace {

const QString Max = QString::number(std::numeric_limits<qint32>::max());
const QString Min = QString::number(std::numeric_limits<qint32>::min());

// Booleans as 0 or 1, "-" for no value.
template <typename T>
QString shown(const T& v)
{
    if constexpr (std::is_same_v<T, bool>)
        return QString::number(int(v));
    else
        return v ? QString::number(*v) : QStringLiteral("-");
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    // Each text as a number equal to 0 and to 1, a boolean, a whole number and minutes in seconds.
    void conversions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const QString& text, const QString& expected) {
            QTest::newRow(qPrintable(text.left(40))) << text << expected;
        };
        row("0.1e1", "0 1 1 1 60");
        row("-0", "1 0 0 0 0");
        row("-2.5", "0 0 1 -2 -150"); // halves to the even neighbour
        row("3.5", "0 0 1 4 210");
        row("0.025", "0 0 1 0 2");                          // 1.5 s
        row("0.0416666666666666666666666667", "0 0 1 0 3"); // just above 2.5 s
        row("35791394.12", "0 0 1 35791394 " + Max);        // rounds down onto the limit
        row("1e400", "0 0 1 " + Max + ' ' + Max);
        row("-" + QString(400, u'9'), "0 0 1 " + Min + ' ' + Min);
        row("True", "0 0 1 - -");
        row(" false ", "0 0 0 - -");
        row("", "0 0 - - -");
        for (const char* noNumber : {"1abc", "0x1", "1,0"})
            row(noNumber, "0 0 - - -");
    }

    void conversions()
    {
        QFETCH(QString, text);
        QTEST(QStringList({shown(conversion::numberEquals(text, 0)), shown(conversion::numberEquals(text, 1)),
                           shown(conversion::boolean(text)), shown(conversion::wholeNumber(text)),
                           shown(conversion::minutesToSeconds(text))})
                  .join(u' '),
              "expected");
    }

    // Every typed setting: link, delays, record limits, the On Battery and Low Battery event flags,
    // then saving applications and the three hand-over flags.
    void accessors_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("absent") << QByteArray() << "USB 120 120 1000 1000 1000 0 0 0 0 0 0 0 0 0 0";
        QTest::newRow("odd values")
            << QByteArray(
                   "[Mscomm]\nComboPort=03\n[UpsOnBattery]\nDelaytime=abc\nDisableevent=2\nRecordlog=-1\n"
                   "[UpsLowBattery]\nDelaytime=0.075\nDisableevent=abc\nShutdown=0.5\n"
                   "[OSEvent]\nEventcount=abc\nLogcount=1e999\nClosecount=0500\nSaveapllication=1\n"
                   "[Schema]\nShutDown=01\nCloseAppFlag= 1 \nSaveList=2\n")
            << "COM3 120 4 1000 1000 500 1 1 0 0 1 0 1 1 1 1";
        QTest::newRow("limits at the ends of the range")
            << QByteArray("[OSEvent]\nLogcount=10\nEventcount=1000\nClosecount=250.5\n")
            << "USB 120 120 10 1000 250.5 0 0 0 0 0 0 0 0 0 0";
        // As Windows editors save it: the file must not be taken for one without settings.
        QTest::newRow("UTF-16 LE, CR line ends")
            << QByteArray("\xFF\xFE") + QByteArray(QStringEncoder(QStringConverter::Utf16LE)(
                                            u"[UpsLowBattery]\rShutdown=1\rDelaytime=3\r"))
            << "USB 120 180 1000 1000 1000 0 0 0 0 1 1 0 0 0 0";
    }

    void accessors()
    {
        QFETCH(QByteArray, file);
        using E = EventSection;
        QTemporaryDir dir;
        const Settings s(dir.filePath(QStringLiteral("UpsConfigure.ini")));
        if (!file.isEmpty())
            testsupport::writeFile(s.fileName(), file);
        QCOMPARE(s.fileProblem().ok(), !file.isEmpty());
        const QStringList readings{s.link().serial ? QStringLiteral("COM%1").arg(s.link().port)
                                                   : QStringLiteral("USB"),
                                   QString::number(s.delaySeconds(E::OnBattery)),
                                   QString::number(s.delaySeconds(E::LowBattery)),
                                   QString::number(s.recordLimit(RecordList::Log)),
                                   QString::number(s.recordLimit(RecordList::Event)),
                                   QString::number(s.recordLimit(RecordList::Close)),
                                   shown(s.eventDisabled(E::OnBattery)),
                                   shown(s.recordLog(E::OnBattery)),
                                   shown(s.shutdownOnEvent(E::OnBattery)),
                                   shown(s.eventDisabled(E::LowBattery)),
                                   shown(s.shutdownOnEvent(E::LowBattery)),
                                   shown(s.lowBatteryShutdownIsOne()),
                                   shown(s.saveApplications()),
                                   shown(s.shutdownRequested()),
                                   shown(s.closeAppFlagSet()),
                                   shown(s.saveListWanted())};
        QTEST(readings.join(u' '), "expected");
    }

    // A file that gives no settings says why, for the start-up log and the "not protected" reason.
    void unusableFileSaysWhy_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char* kind, const char* reason) { QTest::newRow(kind) << kind << reason; };
        row("missing", "does not exist");
        row("garbage", "holds none of the settings");
        row("empty", "holds none of the settings");
        row("directory", "is a directory");
        row("fifo", "is a named pipe");
        row("device", "is a device");
        row("large", "is larger than 1048576 bytes");
        row("dangling", "symbolic link to a file that does not exist");
    }

    void unusableFileSaysWhy()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("UpsConfigure.ini"));
        if (kind == u"garbage")
            testsupport::writeFile(file, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
        else if (kind == u"empty")
            testsupport::writeFile(file, QByteArray());
        else if (kind == u"large")
            testsupport::writeFile(file,
                                   "[UpsLowBattery]\nShutdown=1\n" + QByteArray(SettingsFileMaxBytes, ';'));
        else if (kind != u"missing")
            QVERIFY(testsupport::plantSpecialFile(file, kind));
        Settings s(file);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("nothing is shut down")));
        const Status problem = s.reportFileProblem();
        QFETCH(QString, reason);
        QVERIFY2(!problem.ok() && problem.error().contains(reason), qPrintable(problem.error()));
        // Read at every poll, told once; nothing blocks, and the defaults stand: no shutdown.
        QVERIFY(!s.shutdownOnEvent(EventSection::LowBattery));
        QCOMPARE(s.recordLimit(RecordList::Log), 1000);
        QVERIFY(!s.reportFileProblem().ok());
        if (!QStringList{"directory", "fifo", "device"}.contains(kind))
            return;
        // Nothing is written over what is not a file.
        const Status written = s.write(key::ShutDown, QStringLiteral("1"));
        QVERIFY2(!written.ok() && written.error().contains(reason), qPrintable(written.error()));
        // The other readers refuse it at once too (a FIFO would block open(), a device fill memory):
        // the default or the reason, and the warning once.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(reason));
        QCOMPARE(ReadIni(file, u"A"_s, u"k"_s, u"d"_s), u"d"_s);
        QCOMPARE(IniSnapshot::read(file).value(u"A"_s, u"k"_s, u"d"_s), u"d"_s);
        const Result<QByteArray> list = readSaveList(file);
        QVERIFY2(!list.ok() && list.error().contains(reason), qPrintable(list.error()));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
