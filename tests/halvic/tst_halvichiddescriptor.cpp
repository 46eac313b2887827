// The HID report descriptor parser and the power device mapping, on descriptors of common UPS
// families (tests/halvic/data/hid, each with its origin) and on broken ones.
#include "HidDescriptor.h"
#include "HidFamilies.h"
#include "HidPowerDevice.h"
#include "HidrawDevice.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace halvic;

namespace {

std::vector<uint8_t> bytes(const QByteArray& data)
{
    return {data.cbegin(), data.cend()};
}

// "F16@2+1": a feature field in report 0x16, at bit 2, one bit long.
QString where(const std::optional<HidField>& field)
{
    if (!field)
        return {};
    const char kind = field->kind == HidReportKind::Feature ? 'F'
                      : field->kind == HidReportKind::Input ? 'I'
                                                            : 'O';
    return QStringLiteral("%1%2@%3+%4")
        .arg(QChar::fromLatin1(kind))
        .arg(field->reportId, 2, 16, QChar(u'0'))
        .arg(field->bitOffset)
        .arg(field->bitSize);
}

} // namespace

class TestHalvicHidDescriptor : public QObject
{
    Q_OBJECT

private slots:
    void findsPowerDeviceFields_data();
    void findsPowerDeviceFields();
    void readsStatus_data();
    void readsStatus();
    void rejectsBrokenDescriptors_data();
    void rejectsBrokenDescriptors();
    void findsPowerDevicesAmongHidrawNodes();
};

void TestHalvicHidDescriptor::findsPowerDeviceFields_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("fields"); // ACPresent, Discharging, Below..., ShutdownImminent,
                                             // RemainingCapacity, DelayBeforeShutdown, DelayBeforeStartup
    QTest::newRow("APC Back-UPS") << "apc-back-ups"
                                  << QStringList{"F16@2+1", "F16@1+1",  "F14@0+8", "F14@8+8",
                                                 "F0c@0+8", "F15@0+16", "F17@0+16"};
    QTest::newRow("CyberPower, status as input only")
        << "cyberpower-ols"
        << QStringList{"I0b@0+1", "I0b@2+1", "I0b@3+1", "I0b@4+1", "F08@0+8", "F15@0+16", "F16@0+16"};
    QTest::newRow("PowerWalker VI RT")
        << "powerwalker-vi-rt"
        << QStringList{"F01@0+1", "F01@1+1", "F01@2+1", "F01@3+1", "F06@0+8", "F09@0+32", "F0a@0+32"};
    QTest::newRow("Powercom BNT") << "powercom-bnt" << QStringList{"F0a@2+1", "F0a@1+1", "F0a@4+1", "F0a@5+1",
                                                                   "F0c@0+8", "F23@0+8", ""};
}

void TestHalvicHidDescriptor::findsPowerDeviceFields()
{
    QFETCH(QString, family);
    std::string error;
    const auto layout = parseReportDescriptor(bytes(familyDescriptor(family)), &error);
    QVERIFY2(layout, error.c_str());
    QVERIFY(isPowerDevice(*layout));
    const auto found = PowerDeviceFields::find(*layout);
    QTEST((QStringList{where(found.acPresent), where(found.discharging),
                       where(found.belowRemainingCapacityLimit), where(found.shutdownImminent),
                       where(found.remainingCapacity), where(found.delayBeforeShutdown),
                       where(found.delayBeforeStartup)}),
          "fields");
}

void TestHalvicHidDescriptor::readsStatus_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<bool>("answered");
    QTest::addColumn<bool>("onMains");
    QTest::addColumn<bool>("batteryLow");
    QTest::newRow("APC on mains, as dumped")
        << "apc-back-ups" << QStringList{"16 0c 00 00 00", "14 00 00"} << true << true << false;
    QTest::newRow("APC on battery, below the limit")
        << "apc-back-ups" << QStringList{"16 0a 00 00 00", "14 01 00"} << true << false << true;
    QTest::newRow("APC shutdown imminent")
        << "apc-back-ups" << QStringList{"16 0a 00 00 00", "14 00 01"} << true << false << true;
    QTest::newRow("CyberPower discharging")
        << "cyberpower-ols" << QStringList{"0b 04"} << true << false << false;
    QTest::newRow("PowerWalker discharging below the limit")
        << "powerwalker-vi-rt" << QStringList{"01 06"} << true << false << true;
    QTest::newRow("Powercom on mains, as dumped")
        << "powercom-bnt" << QStringList{"0a 0c 00"} << true << true << false;
    QTest::newRow("status report not answered")
        << "apc-back-ups" << QStringList{"14 01 00"} << false << false << false;
    QTest::newRow("status report too short")
        << "apc-back-ups" << QStringList{"16"} << false << false << false;
}

void TestHalvicHidDescriptor::readsStatus()
{
    QFETCH(QString, family);
    QFETCH(QStringList, reports);
    QFETCH(bool, answered);
    const auto layout = parseReportDescriptor(bytes(familyDescriptor(family)), nullptr);
    QVERIFY(layout);
    const auto reading = readingFromFields(PowerDeviceFields::find(*layout),
                                           [&](const HidField& field) -> std::optional<int64_t> {
                                               for (const QString& report : reports) {
                                                   const auto data = bytes(fromHex(report.toLatin1()));
                                                   if (data.front() == field.reportId)
                                                       return fieldValue(field, data);
                                               }
                                               return std::nullopt;
                                           });
    QCOMPARE(reading.has_value(), answered);
    if (answered) {
        QTEST(reading->onMains, "onMains");
        QTEST(reading->batteryLow, "batteryLow");
    }
}

void TestHalvicHidDescriptor::rejectsBrokenDescriptors_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("item cut off") << QByteArray("05 84 26 ff");
    QTest::newRow("end of a collection never opened") << QByteArray("c0");
    QTest::newRow("collection never closed") << QByteArray("05 84 09 04 a1 01");
    QTest::newRow("pop without push") << QByteArray("b4");
    QTest::newRow("report ID 0") << QByteArray("85 00");
    QTest::newRow("report longer than 4 KiB") << QByteArray("75 20 96 ff 7f 81 02");
    QTest::newRow("unknown main item") << QByteArray("d1 00");
    QTest::newRow("long item cut off") << QByteArray("fe 05 00 01");
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

// A keyboard, two power devices out of order, and a node whose descriptor cannot be read.
void TestHalvicHidDescriptor::findsPowerDevicesAmongHidrawNodes()
{
    QTemporaryDir root;
    const auto node = [&](const QString& name, const QByteArray& descriptor) {
        const QString dir = root.filePath(QStringLiteral("class/%1/device").arg(name));
        QVERIFY(QDir().mkpath(dir));
        testsupport::writeFile(dir + QStringLiteral("/report_descriptor"), descriptor);
    };
    node(QStringLiteral("hidraw0"),
         fromHex("05 01 09 06 a1 01 05 07 19 e0 29 e7 25 01 75 01 95 08 81 02 c0"));
    node(QStringLiteral("hidraw10"), familyDescriptor(QStringLiteral("apc-back-ups")));
    node(QStringLiteral("hidraw2"), familyDescriptor(QStringLiteral("cyberpower-ols")));
    node(QStringLiteral("hidraw3"), fromHex("05 84 09 04 a1 01"));
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("class/hidraw4"))));

    const std::string dev = root.filePath(QStringLiteral("dev")).toStdString();
    QCOMPARE(findPowerDevices(root.filePath(QStringLiteral("class")).toStdString(), dev),
             (std::vector<std::string>{dev + "/hidraw2", dev + "/hidraw10"}));
}

QTEST_GUILESS_MAIN(TestHalvicHidDescriptor)
#include "tst_halvichiddescriptor.moc"
