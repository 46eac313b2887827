// The HID report descriptor parser and the power device mapping, on descriptors of common UPS
// families (tests/halvic/data/hid, each with its origin) and on broken ones.
#include "HidDescriptor.h"
#include "HidFamilies.h"
#include "HidPowerDevice.h"
#include "HidrawDevice.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

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
    void readsFamilies_data();
    void readsFamilies();
    void rejectsBrokenDescriptors_data();
    void rejectsBrokenDescriptors();
    void findsPowerDevicesAmongHidrawNodes();
};

// Each family's status fields found where it keeps them, and read.
void TestHalvicHidDescriptor::readsFamilies_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QStringList>("reports");
    QTest::addColumn<QString>("reading");
    const QString apc = QStringLiteral("apc-back-ups");
    // clang-format off
    QTest::newRow("APC on battery, below the limit") << apc << QStringList{"16 0a 00 00 00", "14 01 00"} << "battery low";
    QTest::newRow("APC shutdown imminent")           << apc << QStringList{"16 0a 00 00 00", "14 00 01"} << "battery low";
    QTest::newRow("APC status report too short")     << apc << QStringList{"16"} << "none";
    QTest::newRow("CyberPower, status as input only") << "cyberpower-ols" << QStringList{"0b 04"} << "battery";
    QTest::newRow("PowerWalker VI RT discharging below the limit") << "powerwalker-vi-rt" << QStringList{"01 06"} << "battery low";
    QTest::newRow("Powercom BNT on mains")           << "powercom-bnt" << QStringList{"0a 0c 00"} << "mains";
    // clang-format on
}

void TestHalvicHidDescriptor::readsFamilies()
{
    QFETCH(QString, family);
    QFETCH(QStringList, reports);
    std::string error;
    const auto layout = parseReportDescriptor(bytes(familyDescriptor(family)), &error);
    QVERIFY2(layout, error.c_str());
    QVERIFY(isPowerDevice(*layout));
    const auto read = [&](const HidField& field) -> std::optional<int64_t> {
        for (const QString& report : reports) {
            const auto data = bytes(fromHex(report.toLatin1()));
            if (data.front() == field.reportId)
                return fieldValue(field, data);
        }
        return std::nullopt;
    };
    const auto reading = readingFromFields(PowerDeviceFields::find(*layout), read);
    QTEST(!reading              ? QStringLiteral("none")
          : reading->onMains    ? QStringLiteral("mains")
          : reading->batteryLow ? QStringLiteral("battery low")
                                : QStringLiteral("battery"),
          "reading");
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

// The automatic choice: every hidraw node whose descriptor is a power device, in number order.
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
    const std::string dev = root.filePath(QStringLiteral("dev")).toStdString();
    QCOMPARE(findPowerDevices(root.filePath(QStringLiteral("class")).toStdString(), dev),
             (std::vector<std::string>{dev + "/hidraw2", dev + "/hidraw10"}));
}

QTEST_GUILESS_MAIN(TestHalvicHidDescriptor)
#include "tst_halvichiddescriptor.moc"
