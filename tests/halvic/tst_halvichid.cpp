// libHalvic with HALVIC_BACKEND=hid, as the monitor calls it, on a stand-in for the UPS's hidraw
// node: a pseudo-terminal that the preloaded hidshim makes answer hidraw requests from files.
#include "HalvicClient.h"
#include "HidBackend.h"
#include "HidFamilies.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <map>
#include <termios.h>
#include <unistd.h>

using namespace halvic;

class TestHalvicHid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_halvic.close(); }
    void readsAndSwitchesOff_data();
    void readsAndSwitchesOff();
    void saysWhenTheDeviceCannotBeOpened();
    void readsAndSwitchesOffRealDevices_data();
    void readsAndSwitchesOffRealDevices();
    void namesTheValuesAsNutDoes_data();
    void namesTheValuesAsNutDoes();

private:
    QString shimFile(const QString& name) const { return m_dir.filePath(name); }
    void clearShimFiles() const;
    void writeReports(const HidReportLayout& layout, const PowerDeviceFields& fields, bool mains,
                      bool low) const;

    QTemporaryDir m_dir;
    int m_master = -1;
    HalvicClient m_halvic;
};

void TestHalvicHid::initTestCase()
{
    QVERIFY2(qEnvironmentVariable("LD_PRELOAD").contains(u"hidshim"),
             "run through CTest: the hidraw stand-in is missing");
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0);
    // Raw mode, so that an input report written to the master arrives as it was written.
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY); // kept open: raw mode stays
    termios raw{};
    QVERIFY(slave >= 0 && ::tcgetattr(slave, &raw) == 0);
    ::cfmakeraw(&raw);
    QVERIFY(::tcsetattr(slave, TCSANOW, &raw) == 0);
    QVERIFY2(m_halvic.isLoaded(), qPrintable(m_halvic.errorString()));
    qputenv("BREVANT_HIDSHIM_DIR", QFile::encodeName(m_dir.path()));
    qputenv("HALVIC_BACKEND", "hid");
    qputenv("HALVIC_HID_DEVICE", ::ptsname(m_master));
    m_halvic.open();
}

void TestHalvicHid::readsAndSwitchesOff_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QByteArray>("sent"); // an input report the device sends on its own
    QTest::addColumn<bool>("onMains");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("written");
    const QByteArray accepted(HALVIC_REPLY_ACCEPTED);
    QTest::newRow("APC: startup delay 70 s, then shutdown delay 60 s")
        << "apc-back-ups" << QByteArray() << true << accepted << QByteArray("17 46 00\n15 3c 00\n");
    // Its status is in an input report only, which this stand-in does not give on request.
    QTest::newRow("CyberPower: status from the reports it sends")
        << "cyberpower-ols" << QByteArray("0b 04") << false << accepted << QByteArray("16 46 00\n15 3c 00\n");
}

// Each row unplugs the stand-in until the library has let go of it, then plugs in a UPS of the
// family: the library finds it again on its own, without being closed and opened.
void TestHalvicHid::readsAndSwitchesOff()
{
    QFETCH(QString, family);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, written);
    clearShimFiles();
    testsupport::writeFile(shimFile(QStringLiteral("unplugged")), {});
    QTRY_VERIFY(!m_halvic.exchange(HALVIC_COMMAND_STATUS).answered());
    testsupport::writeFile(shimFile(QStringLiteral("descriptor")), familyDescriptor(family));
    // On mains for the APC layout.
    testsupport::writeFile(shimFile(QStringLiteral("feature-16")), fromHex("16 0c 00 00 00"));
    QFile::remove(shimFile(QStringLiteral("unplugged")));
    const QByteArray bytes = fromHex(sent);
    QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));

    QFETCH(bool, onMains);
    QFETCH(QByteArray, code);
    QTRY_VERIFY(m_halvic.exchange(HALVIC_COMMAND_STATUS).is(onMains, false));
    QCOMPARE(m_halvic.switchOffUntil(code), code);
    // The worker goes on sending the command after the call: the first writes tell the order.
    const QByteArray sentToUps = testsupport::readFile(shimFile(QStringLiteral("written")));
    QCOMPARE(sentToUps.left(written.size()), written);
}

// The library's one message about it goes to standard error, caught here in a file.
void TestHalvicHid::saysWhenTheDeviceCannotBeOpened()
{
    QTemporaryFile log;
    QVERIFY(log.open());
    const int savedStderr = ::dup(STDERR_FILENO);
    QVERIFY(::dup2(log.handle(), STDERR_FILENO) >= 0);
    // Unplugged, then back with permissions the user lacks.
    testsupport::writeFile(shimFile(QStringLiteral("denied")), {});
    testsupport::writeFile(shimFile(QStringLiteral("unplugged")), {});
    QTRY_VERIFY(!m_halvic.exchange(HALVIC_COMMAND_STATUS).answered());
    QFile::remove(shimFile(QStringLiteral("unplugged")));
    const bool said = QTest::qWaitFor([&] {
        return !m_halvic.exchange(HALVIC_COMMAND_STATUS).answered() &&
               testsupport::readFile(log.fileName())
                   .contains("exists but cannot be opened: permission denied");
    });
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    QFile::remove(shimFile(QStringLiteral("denied")));
    QVERIFY2(said, testsupport::readFile(log.fileName()).constData());
}

void TestHalvicHid::clearShimFiles() const
{
    for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
        QFile::remove(shimFile(name));
}

// The reports of a device in the state asked for, as feature-XX and input-XX files: on mains or
// not, battery low by its flags and by a remaining capacity of 5 % under a limit of 10 %.
void TestHalvicHid::writeReports(const HidReportLayout& layout, const PowerDeviceFields& fields, bool mains,
                                 bool low) const
{
    const std::pair<const std::optional<HidField>*, int64_t> values[] = {
        {&fields.acPresent, mains},
        {&fields.discharging, !mains},
        {&fields.belowRemainingCapacityLimit, low},
        {&fields.shutdownImminent, low},
        {&fields.remainingCapacity, low ? 5 : 100},
        {&fields.remainingCapacityLimit, 10},
        {&fields.runTimeToEmpty, low ? 60 : 3600}};
    std::map<std::pair<HidReportKind, uint8_t>, std::vector<uint8_t>> reports;
    for (const auto& [field, value] : values) {
        if (!*field)
            continue;
        auto& bytes = reports[{(*field)->kind, (*field)->reportId}];
        bytes.resize(layout.reportBytes((*field)->kind, (*field)->reportId), 0);
        bytes[0] = (*field)->reportId;
        setFieldValue(
            **field, bytes,
            uint32_t(std::clamp<int64_t>(value, (*field)->logicalMinimum, (*field)->logicalMaximum)));
    }
    for (const auto& [key, bytes] : reports) {
        const QString name = QStringLiteral("%1-%2")
                                 .arg(key.first == HidReportKind::Input ? u"input" : u"feature")
                                 .arg(key.second, 2, 16, QLatin1Char('0'));
        testsupport::writeFile(
            shimFile(name), QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    }
}

void TestHalvicHid::readsAndSwitchesOffRealDevices_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QByteArray>("ids");
    QTest::addColumn<bool>("canSwitchOff");
    const QSet<QString> withoutDelay = {"apc-back-ups-500", "liebert-gxt5"};
    for (const CorpusDevice& device : corpusDevices()) {
        const QString family = QString::fromLatin1(device.family);
        QTest::newRow(device.family) << family << QByteArray(device.ids) << !withoutDelay.contains(family);
    }
    // Its DelayBeforeShutdown holds 0..18 s: 60 s is not cut short to fit.
    QTest::newRow("powercom-bnt") << QStringLiteral("powercom-bnt") << QByteArray() << false;
}

void TestHalvicHid::readsAndSwitchesOffRealDevices()
{
    QFETCH(QString, family);
    QFETCH(QByteArray, ids);
    clearShimFiles();
    const QByteArray descriptor = familyDescriptor(family);
    testsupport::writeFile(shimFile(QStringLiteral("descriptor")), descriptor);
    if (!ids.isEmpty())
        testsupport::writeFile(shimFile(QStringLiteral("ids")), ids);
    const auto layout = parseReportDescriptor(std::vector<uint8_t>(descriptor.cbegin(), descriptor.cend()));
    QVERIFY(layout);
    const auto fields = PowerDeviceFields::find(*layout);
    HidBackend backend({.device = ::ptsname(m_master), .offDelaySeconds = 60});
    for (const auto& [mains, low] :
         {std::pair(true, false), std::pair(false, false), std::pair(false, true)}) {
        writeReports(*layout, fields, mains, low);
        const auto reading = backend.readStatus();
        QVERIFY(reading);
        QCOMPARE(std::pair(reading->onMains, reading->batteryLow), std::pair(mains, low));
        // The measures the family has, as NUT names them, from the same reports.
        const auto count = [&](const char* name, const char* value) {
            return std::ranges::count(reading->values, UpsValues::value_type{name, value});
        };
        QCOMPARE(count("battery.charge", low ? "5" : "100"), fields.remainingCapacity ? 1 : 0);
        QCOMPARE(count("battery.runtime", low ? "60" : "3600"), fields.runTimeToEmpty ? 1 : 0);
    }
    QCOMPARE(backend.lastReading().remainingCapacityPercent.value_or(-1), 5.0);

    // What the last reading said about the UPS-off before it was sent; a refused one writes nothing.
    QFETCH(bool, canSwitchOff);
    const auto told = offAbilityIn(backend.readStatus().value_or(UpsReading{}).values);
    QCOMPARE(told, std::optional(canSwitchOff ? OffAbility::Yes : OffAbility::No));
    const bool switchedOff = backend.switchOff();
    QCOMPARE(switchedOff, canSwitchOff);
    if (!canSwitchOff) {
        QVERIFY(!QFile::exists(shimFile(QStringLiteral("written"))));
        return;
    }
    const auto& shutdown = fields.delayBeforeShutdown;
    // The last report written is DelayBeforeShutdown's: 60 s, or the next step up.
    const QList<QByteArray> written =
        testsupport::readFile(shimFile(QStringLiteral("written"))).trimmed().split('\n');
    const QByteArray last = QByteArray::fromHex(written.last());
    const auto logical = fieldValue(*shutdown, std::vector<uint8_t>(last.cbegin(), last.cend()));
    QVERIFY(logical && last.front() == char(shutdown->reportId));
    const double seconds = physicalValue(*shutdown, *logical);
    const double step = physicalValue(*shutdown, *logical + 1) - seconds;
    QVERIFY2(seconds >= 60 && seconds < 60 + step, QByteArray::number(seconds).constData());
}

void TestHalvicHid::namesTheValuesAsNutDoes_data()
{
    QTest::addColumn<HidReading>("reading");
    QTest::addColumn<QByteArray>("values");
    QTest::newRow("all told") << HidReading{.remainingCapacityPercent = 87,
                                            .runTimeToEmptySeconds = 1380.4,
                                            .percentLoad = 23,
                                            .inputVolts = 230.46,
                                            .outputVolts = 230,
                                            .manufacturer = "EATON",
                                            .product = "Ellipse PRO 650",
                                            .serialNumber = "G355B12345"}
                              << QByteArray("battery.charge 87\nbattery.runtime 1380\nups.load 23\n"
                                            "input.voltage 230.5\noutput.voltage 230\ndevice.mfr EATON\n"
                                            "device.model Ellipse PRO 650\ndevice.serial G355B12345\n");
    QTest::newRow("only what the device tells")
        << HidReading{.runTimeToEmptySeconds = 0, .product = "Back-UPS"}
        << QByteArray("battery.runtime 0\ndevice.model Back-UPS\n");
}

void TestHalvicHid::namesTheValuesAsNutDoes()
{
    QFETCH(HidReading, reading);
    QFETCH(QByteArray, values);
    QByteArray buffer(HALVIC_VALUES_BUFFER_SIZE, '\0');
    const int written = writeValueLines(nutValues(reading), buffer.data(), int(buffer.size()));
    QCOMPARE(buffer.left(written), values);
}

QTEST_GUILESS_MAIN(TestHalvicHid)
#include "tst_halvichid.moc"
