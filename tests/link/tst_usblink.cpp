#include "link/UsbLink.h"
#include "platform/sim/RecordingMessageBox.h"
#include "platform/sim/SimulatedHalvic.h"

#include <QTest>
#include <algorithm>
#include <cstring>

using namespace brevant;

namespace {

// The three link flags as "CBL": Connected, on Battery, battery Low; '-' for a flag not set.
QString flags(UpsState state)
{
    return QString(state.connected ? u'C' : u'-') + (state.onBattery ? u'B' : u'-') +
           (state.batteryLow ? u'L' : u'-');
}

// Answers every exchange with the reply code and status block it was given, and checks that each
// buffer arrives zeroed, terminating zero included.
class ScriptedHalvic : public HalvicApi
{
public:
    QByteArray replyCode;
    QByteArray statusBlock;
    bool buffersFresh = true;

    Status hidHandle() override { return Status::success(); }
    Status closeHandleDevice() override { return Status::success(); }
    Status cmdOutput(int, char* reply) override
    {
        fill(reply, ReplyCodeSize, replyCode);
        return Status::success();
    }
    Status cmdInput(char* block, char* second) override
    {
        fill(block, StatusBlockSize, statusBlock);
        fill(second, SecondBufferSize, QByteArray(SecondBufferSize, 'x'));
        return Status::success();
    }

private:
    void fill(char* buffer, int size, const QByteArray& with)
    {
        buffersFresh = buffersFresh && std::all_of(buffer, buffer + size + 1, [](char c) { return c == 0; });
        std::memcpy(buffer, with.constData(), std::min<qsizetype>(with.size(), size));
    }
};

// A 50-byte status block; positions counted from 1 as the UPS documents them.
QByteArray block(std::initializer_list<std::pair<int, char>> bytes)
{
    QByteArray result(HalvicApi::StatusBlockSize, '\0');
    for (const auto& [position, value] : bytes)
        result[position - 1] = value;
    return result;
}

// Charge, runtime, load, input and output volts, then manufacturer, model, serial, each "-" when
// not known.
QString detailsText(const UpsDetails& d)
{
    QStringList fields;
    for (const std::optional<double>& v :
         {d.chargePercent, d.runtimeSeconds, d.loadPercent, d.inputVolts, d.outputVolts})
        fields.append(v ? QString::number(*v) : QStringLiteral("-"));
    for (const QString& text : {d.manufacturer, d.model, d.serial})
        fields.append(text.isEmpty() ? QStringLiteral("-") : text);
    // Only when the library said it, so that the other rows need not name it.
    const QStringList upsOff{QString(), QStringLiteral("off yes"), QStringLiteral("off no"),
                             QStringLiteral("off secondary")};
    if (d.upsOff != UpsDetails::UpsOff::Unknown)
        fields.append(upsOff.at(int(d.upsOff)));
    if (!d.upsOffReason.isEmpty())
        fields.append(d.upsOffReason);
    return fields.join(u'|');
}

} // namespace

class TestUsbLink : public QObject
{
    Q_OBJECT

private slots:
    // A link that has not answered yet ("---"), or one that saw the UPS on battery, low ("CBL").
    void exchange_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("command");
        QTest::addColumn<QByteArray>("replyCode");
        QTest::addColumn<QByteArray>("statusBlock");
        QTest::addColumn<QString>("after");
        const QByteArray t1("T1");
        const QByteArray valid = block({{1, 'T'}, {3, 1}, {4, 0}});
        // clang-format off
        QTest::newRow("T at byte 1, on battery, low")     << "---" << 1 << t1 << block({{1, 'T'}, {3, 0}, {4, 1}}) << "CBL";
        QTest::newRow("T at byte 50, on mains, not low")  << "CBL" << 1 << t1 << block({{50, 'T'}, {3, 1}, {4, 0}}) << "C--";
        QTest::newRow("digits are no numbers: kept set")  << "CBL" << 1 << t1 << block({{1, 'T'}, {3, '1'}, {4, '0'}}) << "CBL";
        QTest::newRow("other values: kept clear")         << "---" << 1 << t1 << block({{1, 'T'}, {3, 2}, {4, char(0xff)}}) << "C--";
        QTest::newRow("lower-case t is no marker")        << "CBL" << 1 << t1 << block({{1, 't'}, {3, 1}, {4, 0}}) << "-BL";
        QTest::newRow("status query answered t1")         << "CBL" << 1 << QByteArray("t1") << valid << "-BL";
        QTest::newRow("UPS off answered S1")              << "CBL" << 2 << QByteArray("S1") << valid << "CBL";
        QTest::newRow("UPS off unanswered")               << "CBL" << 2 << QByteArray() << valid << "-BL";
        QTest::newRow("unknown command reads nothing")    << "CBL" << 3 << t1 << valid << "-BL";
        // clang-format on
    }

    void exchange()
    {
        QFETCH(QString, before);
        ScriptedHalvic library;
        RecordingMessageBox messages;
        UsbLink link(library, messages);
        if (before == u"CBL") {
            library.replyCode = "T1";
            library.statusBlock = block({{1, 'T'}, {3, 0}, {4, 1}});
            link.usbExchange(UsbLink::StatusQuery);
        }
        QCOMPARE(flags(link.state()), before);
        QFETCH(int, command);
        QFETCH(QByteArray, replyCode);
        QFETCH(QByteArray, statusBlock);
        library.replyCode = replyCode;
        library.statusBlock = statusBlock;
        link.usbExchange(command);
        QTEST(flags(link.state()), "after");
        QVERIFY(library.buffersFresh);
        QVERIFY(messages.shown().isEmpty());
    }

    void valuesAreReadDefensively_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("details");
        QTest::addColumn<QString>("battery");
        // clang-format off
        const QString none = QStringLiteral("-|-|-|-|-|-|-|-");
        QTest::newRow("all known") << QByteArray("battery.charge 87\nbattery.runtime 1380\nups.load 23\ninput.voltage 230.5\noutput.voltage 230.0\n"
                                                 "device.mfr EATON\ndevice.model Ellipse PRO 650\ndevice.serial G355B12345\n")
                                   << "87|1380|23|230.5|230|EATON|Ellipse PRO 650|G355B12345" << "87 %, about 23 min left";
        QTest::newRow("nothing") << QByteArray() << none << "";
        QTest::newRow("unknown names and malformed lines skipped")
            << QByteArray("ups.status OB\nbattery.charge\nbattery.charge  \nbattery.runtime 12,5\nups.load -3\ngarbage\n battery.charge 40.6 \nups.load 120\n")
            << "40.6|-|120|-|-|-|-|-" << "41 %";
        QTest::newRow("charge above 100, nan") << QByteArray("battery.charge 101\ninput.voltage nan\n") << none << "";
        QTest::newRow("runtime under half a minute, no line end") << QByteArray("battery.runtime 20") << "-|20|-|-|-|-|-|-" << "less than 1 min left";
        QTest::newRow("the UPS can be switched off") << QByteArray("halvic.ups_off yes\n") << none + "|off yes" << "";
        QTest::newRow("it cannot, and why") << QByteArray("halvic.ups_off no\nhalvic.ups_off.reason UPS 'ups' offers no delayed off command\n")
                                            << none + "|off no|UPS 'ups' offers no delayed off command" << "";
        QTest::newRow("a secondary") << QByteArray("halvic.ups_off secondary\n") << none + "|off secondary" << "";
        QTest::newRow("an answer not known: cannot tell") << QByteArray("halvic.ups_off No\nhalvic.ups_off maybe\n") << none << "";
        // clang-format on
    }

    void valuesAreReadDefensively()
    {
        QFETCH(QByteArray, lines);
        const UpsDetails details = UpsDetails::parse(lines);
        QTEST(detailsText(details), "details");
        QTEST(details.batteryText(), "battery");
    }

    // The device is reopened before the first query and after the UPS went silent, never while it
    // answers. One values call with each status query that the UPS answers; nothing known while it
    // is silent, and never anything from the serial link's base.
    void pollsFollowTheUps()
    {
        SimulatedHalvic library;
        RecordingMessageBox messages;
        UsbLink link(library, messages);
        library.setValue("battery.charge", "55");
        library.setValue("device.model", "Back-UPS ES 700");
        link.query();
        link.query();
        QCOMPARE(library.valuesCount(), 2);
        QCOMPARE(link.details().batteryText(), QStringLiteral("55 %"));
        QCOMPARE(link.details().model, QStringLiteral("Back-UPS ES 700"));
        library.setUpsState(SimulatedHalvic::UpsState::Silent);
        link.query();
        QVERIFY(link.details().isEmpty());
        QCOMPARE(library.valuesCount(), 2);
        library.setUpsState(SimulatedHalvic::UpsState::LowBattery);
        link.query();
        QCOMPARE(library.hidHandleCount(), 2);
        QCOMPARE(flags(link.state()), QStringLiteral("CBL"));
        library.setUpsState(SimulatedHalvic::UpsState::Online);
        library.setValuesSupported(false);
        link.query();
        QVERIFY(link.details().isEmpty());
        QCOMPARE(flags(link.state()), QStringLiteral("C--"));
        QCOMPARE(library.hidHandleCount(), 2);
    }

    void ownThresholdsRaiseAndClearBatteryLow_data()
    {
        QTest::addColumn<int>("lowCharge");  // %, 0 = off
        QTest::addColumn<int>("lowRuntime"); // minutes, 0 = off
        // One status query each: "b" on battery or "m" on mains, charge %, runtime s ('-': not given).
        QTest::addColumn<QStringList>("readings");
        QTest::addColumn<QString>("low"); // battery low after each reading
        // clang-format off
        QTest::newRow("charge: at the threshold, held up to 5 % above it") << 20 << 0 << QStringList{"b 30 -", "b 21 -", "b 20 -", "b 24 -", "b 25 -", "b 25.1 -", "b 22 -", "b 20 -"} << "--LLL--L";
        QTest::newRow("runtime: at the threshold, held up to 2 min above it") << 0 << 5 << QStringList{"b - 301", "b - 300", "b - 420", "b - 421"} << "-LL-";
        QTest::newRow("either threshold raises; both must clear") << 20 << 5 << QStringList{"b 50 301", "b 50 300", "b 24 421", "b 26 421"} << "-LL-";
        QTest::newRow("mains back clears, mains never raises") << 20 << 0 << QStringList{"b 10 -", "m 10 -", "m 5 -"} << "L--";
        QTest::newRow("value no longer given clears") << 20 << 0 << QStringList{"b 10 -", "b - 60"} << "L-";
        QTest::newRow("off by default") << 0 << 0 << QStringList{"b 1 10"} << "-";
        // clang-format on
    }

    // The user's thresholds make the link report battery low (the UPS's own flag stays clear).
    void ownThresholdsRaiseAndClearBatteryLow()
    {
        QFETCH(int, lowCharge);
        QFETCH(int, lowRuntime);
        QFETCH(QStringList, readings);
        SimulatedHalvic library;
        RecordingMessageBox messages;
        UsbLink link(library, messages);
        auto limit = [](int value) { return value > 0 ? std::optional<int>(value) : std::nullopt; };
        link.setLowBatteryLimits({limit(lowCharge), limit(lowRuntime)});
        QString low;
        for (const QString& reading : readings) {
            const QStringList fields = reading.split(u' ');
            library.setUpsState(fields[0] == u"b" ? SimulatedHalvic::UpsState::OnBattery
                                                  : SimulatedHalvic::UpsState::Online);
            library.setValue("battery.charge", fields[1] == u"-" ? QByteArray() : fields[1].toUtf8());
            library.setValue("battery.runtime", fields[2] == u"-" ? QByteArray() : fields[2].toUtf8());
            link.query();
            low += link.state().batteryLow ? u'L' : u'-';
            QVERIFY(!link.usbLowBattery());
        }
        QTEST(low, "low");
    }
};

QTEST_GUILESS_MAIN(TestUsbLink)
#include "tst_usblink.moc"
