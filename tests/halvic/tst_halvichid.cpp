// libHalvic with HALVIC_BACKEND=hid, as the monitor calls it, on a stand-in for the UPS's hidraw
// node: a pseudo-terminal that the preloaded hidshim makes answer hidraw requests from files.
#include "HalvicClient.h"
#include "HidFamilies.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class TestHalvicHid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_halvic.close(); }
    void readsAndSwitchesOff_data();
    void readsAndSwitchesOff();
    void saysWhenTheDeviceCannotBeOpened();

private:
    QString shimFile(const QString& name) const { return m_dir.filePath(name); }

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
    QTest::newRow("Powercom: shutdown delay cannot hold 60 s, nothing written")
        << "powercom-bnt" << QByteArray() << true << HalvicClient::silence() << QByteArray();
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
    for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
        QFile::remove(shimFile(name));
    testsupport::writeFile(shimFile(QStringLiteral("unplugged")), {});
    QTRY_VERIFY(!m_halvic.exchange(HALVIC_COMMAND_STATUS).answered());
    testsupport::writeFile(shimFile(QStringLiteral("descriptor")), familyDescriptor(family));
    // On mains for the APC and Powercom layouts.
    testsupport::writeFile(shimFile(QStringLiteral("feature-16")), fromHex("16 0c 00 00 00"));
    testsupport::writeFile(shimFile(QStringLiteral("feature-0a")), fromHex("0a 0c 00"));
    QFile::remove(shimFile(QStringLiteral("unplugged")));
    const QByteArray bytes = fromHex(sent);
    QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));

    QFETCH(bool, onMains);
    QFETCH(QByteArray, code);
    QTRY_VERIFY(m_halvic.exchange(HALVIC_COMMAND_STATUS).is(onMains, false));
    QCOMPARE(m_halvic.switchOffUntil(code), code);
    // The worker goes on sending the command after the call: the first writes tell the order.
    const QByteArray sentToUps = testsupport::readFile(shimFile(QStringLiteral("written")));
    QCOMPARE(sentToUps.left(written.isEmpty() ? -1 : written.size()), written);
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

QTEST_GUILESS_MAIN(TestHalvicHid)
#include "tst_halvichid.moc"
