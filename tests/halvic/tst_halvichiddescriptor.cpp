// The HID report descriptor parser and the power device mapping, on descriptors of common UPS
// families (tests/halvic/data/hid, each with its origin) and on broken ones.
#include "HidDescriptor.h"
#include "HidFamilies.h"
#include "HidPowerDevice.h"
#include "HidQuirks.h"
#include "HidrawDevice.h"
#include "TestFiles.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

using namespace halvic;

namespace {

std::vector<uint8_t> bytes(const QByteArray& data)
{
    return {data.cbegin(), data.cend()};
}

} // namespace

class TestHalvicHidDescriptor : public QObject
{
    Q_OBJECT

private slots:
    void readsTheStatusAndMeasures_data();
    void readsTheStatusAndMeasures();
    void findsTheFieldsOfRealDevices_data();
    void findsTheFieldsOfRealDevices();
    void convertsUnits_data();
    void convertsUnits();
    void saysWhetherTheUpsCanBeSwitchedOff_data();
    void saysWhetherTheUpsCanBeSwitchedOff();
    void correctsKnownFirmwareFaults();
    void readsUsbStringsFromSysfs();
    void rejectsBrokenDescriptors_data();
    void rejectsBrokenDescriptors();
    void findsPowerDevicesAmongHidrawNodes();
};

// Each family's status and measures read where it keeps them, from reports made up here and from
// the report bytes the devices' owners published.
void TestHalvicHidDescriptor::readsTheStatusAndMeasures_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<QString>("reading");
    QTest::addColumn<QString>("measures"); // capacity %, runtime s, load %, input V; empty: not checked
    const QString apc = QStringLiteral("apc-back-ups");
    // clang-format off
    QTest::newRow("APC on battery, below the limit") << apc << QStringList{"16 0a 00 00 00", "14 01 00"} << "battery low" << "";
    QTest::newRow("APC shutdown imminent")           << apc << QStringList{"16 0a 00 00 00", "14 00 01"} << "battery low" << "";
    QTest::newRow("APC status report too short")     << apc << QStringList{"16"} << "none" << "";
    QTest::newRow("CyberPower, status as input only") << "cyberpower-ols" << QStringList{"0b 04"} << "battery" << "";
    QTest::newRow("PowerWalker VI RT discharging below the limit") << "powerwalker-vi-rt" << QStringList{"01 06"} << "battery low" << "";
    QTest::newRow("Powercom BNT on mains")           << "powercom-bnt" << QStringList{"0a 0c 00"} << "mains" << "";
    QTest::newRow("APC Back-UPS 500") << "apc-back-ups-500"
        << QStringList{"0c 64 00 00 14 0a", "11 0a 00 00", "13 01", "14 00 00", "06 00 00 08"} << "mains" << "100 2580 - -";
    QTest::newRow("APC Smart-UPS 3000, Constant items") << "apc-smart-ups-3000"
        << QStringList{"07 0c 00", "0c 64", "0d bc 04 00 00", "11 0a"} << "mains" << "100 1212 - -";
    QTest::newRow("CyberPower CP1500PFCLCD, Constant items") << "cyberpower-cp1500pfclcd"
        << QStringList{"08 64 dc 23 2c 01", "07 64 05 0a 14 0a 64", "0b 11", "13 03", "0f 79 00"} << "mains" << "100 9180 3 121";
    QTest::newRow("Legrand on mains, voltage in tenths") << "legrand-ups"
        << QStringList{"32 00 00 19", "34 64", "35 6a 0a", "1e 0b", "31 58 09"} << "mains" << "100 2666 11 239.2";
    QTest::newRow("Legrand on battery") << "legrand-ups" << QStringList{"32 00 00 28"} << "battery" << "- - - -";
    QTest::newRow("Liebert GXT5, Constant items") << "liebert-gxt5"
        << QStringList{"07 64 24 00 ff ff", "08 23 10", "10 09 00 00 00"} << "mains" << "100 36 9 -";
    QTest::newRow("PowerWalker VI 1200 SHL, Constant 8-bit flags") << "powerwalker-vi-1200-shl"
        << QStringList{"01 01 00 01 00 01 00 00", "06 64 7d 14", "07 08 10 01", "31 ea 00"} << "mains" << "100 5245 8 234";
    // clang-format on
}

void TestHalvicHidDescriptor::readsTheStatusAndMeasures()
{
    QFETCH(QString, family);
    QFETCH(QStringList, reports);
    QFETCH(QString, measures);
    std::string error;
    auto layout = parseReportDescriptor(bytes(familyDescriptor(family)), &error);
    QVERIFY2(layout, error.c_str());
    QVERIFY(isPowerDevice(*layout));
    const auto [vendorId, productId] = corpusDeviceIds(family);
    applyHidQuirks(vendorId, productId, *layout);
    const auto reading = readingFromFields(PowerDeviceFields::find(*layout), [&](const HidField& field) {
        for (const QString& report : reports) {
            const auto data = bytes(fromHex(report.toLatin1()));
            if (data.front() == field.reportId)
                return fieldValue(field, data);
        }
        return std::optional<int64_t>();
    });
    QTEST(!reading                     ? QStringLiteral("none")
          : reading->status.onMains    ? QStringLiteral("mains")
          : reading->status.batteryLow ? QStringLiteral("battery low")
                                       : QStringLiteral("battery"),
          "reading");
    if (!reading || measures.isEmpty())
        return;
    const auto text = [](const std::optional<double>& value) {
        return value ? QString::number(*value) : QStringLiteral("-");
    };
    QCOMPARE(QStringList({text(reading->remainingCapacityPercent), text(reading->runTimeToEmptySeconds),
                          text(reading->percentLoad), text(reading->inputVolts)})
                 .join(u' '),
             measures);
}

// Every descriptor of the corpus: the status found (often in Constant items), the delay's step in
// seconds, and the unit RunTimeToEmpty declares.
void TestHalvicHidDescriptor::findsTheFieldsOfRealDevices_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("statusConstant");
    QTest::addColumn<double>("delayStep"); // 0: no DelayBeforeShutdown
    QTest::addColumn<QString>("runTimeUnit");
    const QSet<QString> constant = {
        "apc-smart-ups-3000", "cyberpower-cp1500pfclcd", "cyberpower-or600erm1u", "eaton-protection-station",
        "liebert-gxt5",       "powerwalker-vi-1200-shl", "salicru-slc-twin-pro2"};
    const QSet<QString> minuteSteps = {"cyberpower-cp1500pfclcd", "cyberpower-ec850lcd",
                                       "cyberpower-or600erm1u"};
    const QSet<QString> withoutDelay = {"apc-back-ups-500", "liebert-gxt5"};
    const QSet<QString> plainRunTime = {"liebert-gxt5", "powercom-hid-ups-battery"};
    for (const CorpusDevice& device : corpusDevices()) {
        const QString family = QLatin1String(device.family);
        QTest::newRow(device.family) << family << constant.contains(family)
                                     << (withoutDelay.contains(family)  ? 0.0
                                         : minuteSteps.contains(family) ? 60.0
                                                                        : 1.0)
                                     << (plainRunTime.contains(family) ? QString() : QStringLiteral("s"));
    }
}

void TestHalvicHidDescriptor::findsTheFieldsOfRealDevices()
{
    QFETCH(QString, family);
    std::string error;
    const auto layout = parseReportDescriptor(bytes(familyDescriptor(family)), &error);
    QVERIFY2(layout, error.c_str());
    QVERIFY(isPowerDevice(*layout));
    const auto fields = PowerDeviceFields::find(*layout);
    QVERIFY(fields.acPresent && fields.discharging && fields.remainingCapacity && fields.runTimeToEmpty);
    QTEST(fields.acPresent->constant, "statusConstant");
    QTEST(QString::fromStdString(fields.runTimeToEmpty->unit.symbol()), "runTimeUnit");
    const auto& delay = fields.delayBeforeShutdown;
    QTEST(delay ? physicalValue(*delay, 1) - physicalValue(*delay, 0) : 0.0, "delayStep");
    QVERIFY(!delay || !delay->constant);
}

// Unit codes as real devices write them, and delays rounded up to the field's step.
void TestHalvicHidDescriptor::convertsUnits_data()
{
    QTest::addColumn<QByteArray>("descriptor"); // one feature field, report 1
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("logical");
    QTest::addColumn<double>("physical");
    QTest::addColumn<double>("wanted"); // a value to write
    QTest::addColumn<int>("written");   // its logical value, -99: out of range
    const QByteArray head("05 84 09 04 a1 01 85 01 09 30 75 10 95 01 ");
    const QByteArray tail(" b1 02 c0");
    // clang-format off
    QTest::newRow("volts, exponent 7")      << head + "15 00 26 ff 00 67 21 d1 f0 00 55 07" + tail << "V" << 230 << 230.0 << 0.0 << 0;
    QTest::newRow("centivolts, exponent 5") << head + "15 00 27 fe ff 00 00 67 21 d1 f0 00 55 05" + tail << "V" << 1214 << 12.14 << 0.0 << 0;
    QTest::newRow("minutes by physical range, 60 s")
        << head + "15 ff 26 ff 7f 35 c4 47 c4 ff 1d 00 66 01 10" + tail << "s" << 2 << 120.0 << 60.0 << 1;
    QTest::newRow("minutes by physical range, 61 s rounds up")
        << head + "15 ff 26 ff 7f 35 c4 47 c4 ff 1d 00 66 01 10" + tail << "s" << -1 << -60.0 << 61.0 << 2;
    QTest::newRow("seconds, too long for the field")
        << head + "15 00 25 12 66 01 10" + tail << "s" << 18 << 18.0 << 60.0 << -99;
    QTest::newRow("exponent as a whole byte (0xfe)")
        << head + "15 00 26 ff 00 66 01 10 55 fe" + tail << "s" << 250 << 2.5 << 60.0 << -99;
    QTest::newRow("hertz")                  << head + "15 00 26 ff 00 66 01 f0" + tail << "Hz" << 50 << 50.0 << 0.0 << 0;
    QTest::newRow("watts")                  << head + "15 00 26 ff 00 66 21 d1 55 07" + tail << "W" << 90 << 90.0 << 0.0 << 0;
    QTest::newRow("amperes")                << head + "15 00 26 ff 00 67 01 00 10 00 55 0e" + tail << "A" << 150 << 1.5 << 0.0 << 0;
    QTest::newRow("vendor-defined system")  << head + "15 00 26 ff 00 66 0f 10" + tail << "" << 7 << 7.0 << 0.0 << 0;
    // clang-format on
}

void TestHalvicHidDescriptor::convertsUnits()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(double, wanted);
    QFETCH(int, written);
    const auto layout = parseReportDescriptor(bytes(fromHex(descriptor)));
    QVERIFY(layout && layout->fields.size() == 1);
    const HidField& field = layout->fields.front();
    QTEST(QString::fromStdString(field.unit.symbol()), "unit");
    QFETCH(int, logical);
    QFETCH(double, physical);
    QVERIFY2(qAbs(physicalValue(field, logical) - physical) < 1e-9,
             QByteArray::number(physicalValue(field, logical)).constData());
    if (wanted > 0)
        QCOMPARE(logicalValueAtLeast(field, wanted).value_or(-99), written);
}

void TestHalvicHidDescriptor::saysWhetherTheUpsCanBeSwitchedOff_data()
{
    QTest::addColumn<QByteArray>("field"); // usage, range, unit and main item of one field, report 1
    QTest::addColumn<int>("delay");
    QTest::addColumn<QString>("reason"); // empty: it can
    const QString none = QStringLiteral("the UPS has no writable DelayBeforeShutdown");
    // clang-format off
    QTest::newRow("writable, holds the delay")   << QByteArray("09 57 15 00 26 ff 7f 66 01 10 b1 02") << 60 << "";
    QTest::newRow("holds 18 s at most")          << QByteArray("09 57 15 00 25 12 66 01 10 b1 02") << 60
                                                 << "DelayBeforeShutdown holds 0 s to 18 s, not the 60 s the computer needs";
    QTest::newRow("a shorter delay fits")        << QByteArray("09 57 15 00 25 12 66 01 10 b1 02") << 10 << "";
    QTest::newRow("constant: the host never writes it") << QByteArray("09 57 15 00 26 ff 7f 66 01 10 b1 03") << 60 << none;
    QTest::newRow("an input, not a feature")     << QByteArray("09 57 15 00 26 ff 7f 66 01 10 81 02") << 60 << none;
    QTest::newRow("no DelayBeforeShutdown")      << QByteArray("09 56 15 00 26 ff 7f 66 01 10 b1 02") << 60 << none;
    // clang-format on
}

// Told with every reading, without writing anything to the UPS.
void TestHalvicHidDescriptor::saysWhetherTheUpsCanBeSwitchedOff()
{
    QFETCH(QByteArray, field);
    QFETCH(int, delay);
    QFETCH(QString, reason);
    const auto layout =
        parseReportDescriptor(bytes(fromHex("05 84 09 04 a1 01 85 01 75 10 95 01 " + field + " c0")));
    QVERIFY(layout && layout->fields.size() == 1);
    const UpsOff upsOff = upsOffAbility(PowerDeviceFields::find(*layout), delay);
    QCOMPARE(upsOff.ability, reason.isEmpty() ? OffAbility::Yes : OffAbility::No);
    QCOMPARE(QString::fromStdString(upsOff.reason), reason);
}

// A CyberPower's voltages take another field's logical range, a Tripp Lite's are in tenths with
// exponent 1: without the quirks the values are refused or a million times too small.
void TestHalvicHidDescriptor::correctsKnownFirmwareFaults()
{
    auto cyberPower =
        parseReportDescriptor(bytes(familyDescriptor(QStringLiteral("cyberpower-cp1500pfclcd"))));
    QVERIFY(cyberPower);
    const auto readVolts = [](const HidReportLayout& layout, const char* report) {
        const auto fields = PowerDeviceFields::find(layout);
        const auto reading = readingFromFields(fields, [&](const HidField& field) -> std::optional<int64_t> {
            if (field.usage == hidusage::ACPresent)
                return 1;
            const auto data = bytes(fromHex(report));
            return field.usage == hidusage::Voltage && field.reportId == data.front()
                       ? fieldValue(field, data)
                       : std::nullopt;
        });
        return reading ? reading->outputVolts.value_or(reading->inputVolts.value_or(-1)) : -2;
    };
    QCOMPARE(readVolts(*cyberPower, "12 e6 00"), -1.0); // 230 V outside 136..142: refused
    QCOMPARE(applyHidQuirks(0x0764, 0x0501, *cyberPower).size(), size_t(1));
    QCOMPARE(readVolts(*cyberPower, "12 e6 00"), 230.0);

    auto trippLite = parseReportDescriptor(bytes(familyDescriptor(QStringLiteral("tripplite-3016"))));
    QVERIFY(trippLite);
    QCOMPARE(applyHidQuirks(0x09ae, 0x3016, *trippLite).size(), size_t(1));
    QVERIFY(qAbs(readVolts(*trippLite, "31 be 04") - 121.4) < 1e-9); // logged in nut issue 414
    QVERIFY(applyHidQuirks(0x051d, 0x0002, *trippLite).empty());
    for (const HidQuirk& quirk : hidQuirks())
        QVERIFY(quirk.source && std::strlen(quirk.source) > 10);
}

// The USB device's strings sit two levels above the node's device in sysfs.
void TestHalvicHidDescriptor::readsUsbStringsFromSysfs()
{
    QTemporaryDir root;
    int error = 0;
    const auto device = HidrawDevice::open("/dev/null", error); // character device 1:3
    QVERIFY(device);
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("1:3/device"))));
    testsupport::writeFile(root.filePath(QStringLiteral("manufacturer")), "American Power Conversion\n");
    testsupport::writeFile(root.filePath(QStringLiteral("product")), "Back-UPS RS 1000G FW:870.O3 .I\n");
    const auto strings = device->usbStrings(root.path().toStdString());
    QCOMPARE(strings,
             (std::array<std::string, 3>{"American Power Conversion", "Back-UPS RS 1000G FW:870.O3 .I", ""}));
}

void TestHalvicHidDescriptor::rejectsBrokenDescriptors_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::newRow("item cut off") << QByteArray("05 84 26 ff");
    QTest::newRow("collection never closed") << QByteArray("05 84 09 04 a1 01");
    QTest::newRow("report longer than 4 KiB") << QByteArray("75 20 96 ff 7f 81 02");
    QTest::newRow("collections nested 33 deep")
        << QByteArray("a1 02 ").repeated(33) + QByteArray("c0 ").repeated(33);
    QTest::newRow("push 9 deep") << QByteArray("a4 ").repeated(9);
}

void TestHalvicHidDescriptor::rejectsBrokenDescriptors()
{
    QFETCH(QByteArray, descriptor);
    std::string error;
    QVERIFY(!parseReportDescriptor(bytes(fromHex(descriptor)), &error));
    QVERIFY(!error.empty());
}

// The automatic choice: every hidraw node whose descriptor is a power device that tells its
// status, in number order; the others with the reason.
void TestHalvicHidDescriptor::findsPowerDevicesAmongHidrawNodes()
{
    QTemporaryDir root;
    const auto node = [&](const char* name, const QByteArray& descriptor) {
        const QString dir = root.filePath(QStringLiteral("class/%1/device").arg(QLatin1String(name)));
        QVERIFY(QDir().mkpath(dir));
        testsupport::writeFile(dir + QStringLiteral("/report_descriptor"), descriptor);
    };
    node("hidraw0", fromHex("05 01 09 06 a1 01 05 07 19 e0 29 e7 25 01 75 01 95 08 81 02 c0")); // a keyboard
    node("hidraw10", familyDescriptor(QStringLiteral("apc-back-ups")));
    node("hidraw2", familyDescriptor(QStringLiteral("cyberpower-ols")));
    node("hidraw3", fromHex("05 84 09 04 a1 01"));                          // cut off
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("class/hidraw4")))); // no descriptor
    // Made for this test: a power device with only RemainingCapacity.
    node("hidraw5", fromHex("05 84 09 04 a1 01 85 01 05 85 09 66 75 08 95 01 15 00 25 64 b1 02 c0"));
    const std::string dev = root.filePath(QStringLiteral("dev")).toStdString();
    const auto search = searchPowerDevices(root.filePath(QStringLiteral("class")).toStdString(), dev);
    QCOMPARE(search.usable, (std::vector<std::string>{dev + "/hidraw2", dev + "/hidraw10"}));
    QCOMPARE(search.refused,
             (std::vector<std::string>{dev + "/hidraw0: not a power device",
                                       dev + "/hidraw3: broken report descriptor (collection not closed)",
                                       dev + "/hidraw4: no report descriptor in sysfs",
                                       dev + "/hidraw5: a power device without ACPresent or Discharging"}));
}

QTEST_GUILESS_MAIN(TestHalvicHidDescriptor)
#include "tst_halvichiddescriptor.moc"
