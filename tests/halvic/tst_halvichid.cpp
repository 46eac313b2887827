// libHalvic with HALVIC_BACKEND=hid, as the monitor calls it, on a stand-in for the UPS's hidraw
// node: a pseudo-terminal that the preloaded hidshim makes answer hidraw requests from files.
#include "HalvicClient.h"
#include "HidFamilies.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <dlfcn.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class TestHalvicHid : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void followsPowerEvents();
    void switchOffWritesTheDelays_data();
    void switchOffWritesTheDelays();
    void takesInputReportsTheDeviceSends();
    void findsTheUpsAgainAfterReplug();
    void saysWhenTheDeviceCannotBeOpened();

private:
    void useFamily(const QString& family);
    void setFeature(const QByteArray& spacedHex);
    QString shimFile(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    int m_master = -1;
    int m_slave = -1;
    HalvicClient m_halvic;
};

void TestHalvicHid::initTestCase()
{
    if (dlsym(RTLD_DEFAULT, "brevant_hidshim_active") == nullptr)
        QSKIP("the hidraw stand-in (libhalvic_hidshim.so) is not preloaded");
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        QSKIP("this machine gives no pseudo-terminal to stand in for the UPS");
    const QByteArray slave = ::ptsname(m_master);
    // Raw mode, so that an input report written to the master arrives as it was written.
    m_slave = ::open(slave.constData(), O_RDWR | O_NOCTTY);
    termios raw{};
    QVERIFY(m_slave >= 0 && ::tcgetattr(m_slave, &raw) == 0);
    ::cfmakeraw(&raw);
    QVERIFY(::tcsetattr(m_slave, TCSANOW, &raw) == 0);
    QVERIFY2(m_halvic.isLoaded(), qPrintable(m_halvic.errorString()));
    qputenv("BREVANT_HIDSHIM_DIR", QFile::encodeName(m_dir.path()));
    qputenv("HALVIC_BACKEND", "hid");
    qputenv("HALVIC_HID_DEVICE", slave);
}

void TestHalvicHid::cleanupTestCase()
{
    m_halvic.close();
    for (const int fd : {m_slave, m_master}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void TestHalvicHid::init()
{
    for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
        QFile::remove(shimFile(name));
    m_halvic.open();
}

// Unplugs the stand-in until the library has let go of it, then plugs in a UPS of the family.
void TestHalvicHid::useFamily(const QString& family)
{
    testsupport::writeFile(shimFile(QStringLiteral("unplugged")), {});
    QTRY_VERIFY(!m_halvic.poll().answered());
    testsupport::writeFile(shimFile(QStringLiteral("descriptor")), familyDescriptor(family));
    QFile::remove(shimFile(QStringLiteral("unplugged")));
}

void TestHalvicHid::setFeature(const QByteArray& spacedHex)
{
    const QByteArray report = fromHex(spacedHex);
    testsupport::writeFile(
        shimFile(QStringLiteral("feature-%1").arg(quint8(report.at(0)), 2, 16, QChar(u'0'))), report);
}

void TestHalvicHid::followsPowerEvents()
{
    useFamily(QStringLiteral("apc-back-ups"));
    struct Step
    {
        QByteArray status;
        QByteArray limits;
        bool onMains;
        bool batteryLow;
    };
    for (const Step& step :
         {Step{"16 0a 00 00 00", "14 00 00", false, false}, Step{"16 0a 00 00 00", "14 01 00", false, true},
          Step{"16 0c 00 00 00", "14 00 00", true, false}}) {
        setFeature(step.status);
        setFeature(step.limits);
        QTRY_VERIFY2(m_halvic.poll().is(step.onMains, step.batteryLow), step.status.constData());
    }
}

void TestHalvicHid::switchOffWritesTheDelays_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("startup delay 70 s, then shutdown delay 60 s")
        << "apc-back-ups" << QByteArray(HALVIC_REPLY_ACCEPTED) << QByteArray("17 46 00\n15 3c 00\n");
    QTest::newRow("shutdown delay cannot hold 60 s: nothing written")
        << "powercom-bnt" << HalvicClient::silence() << QByteArray();
}

void TestHalvicHid::switchOffWritesTheDelays()
{
    QFETCH(QString, family);
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, written);
    useFamily(family);
    setFeature("16 0c 00 00 00");
    setFeature("0a 0c 00");
    QTRY_VERIFY(m_halvic.poll().answered());
    QTRY_COMPARE(m_halvic.exchange(HALVIC_COMMAND_UPS_OFF).code, code);
    QCOMPARE(testsupport::readFile(shimFile(QStringLiteral("written"))).left(written.size()), written);
}

// The CyberPower layout has its status in an input report only, which this stand-in does not
// give on request: the library must take the reports the device sends.
void TestHalvicHid::takesInputReportsTheDeviceSends()
{
    useFamily(QStringLiteral("cyberpower-ols"));
    for (const auto& [report, onMains] :
         {std::pair{QByteArray("0b 03"), true}, std::pair{QByteArray("0b 04"), false}}) {
        const QByteArray bytes = fromHex(report);
        QCOMPARE(::write(m_master, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        QTRY_VERIFY2(m_halvic.poll().is(onMains, false), report.constData());
    }
}

void TestHalvicHid::findsTheUpsAgainAfterReplug()
{
    setFeature("16 0c 00 00 00");
    for (int plugged = 0; plugged < 2; ++plugged) {
        useFamily(QStringLiteral("apc-back-ups"));
        QTRY_VERIFY(m_halvic.poll().answered());
    }
}

// The library's one message about it goes to standard error, caught here in a file.
void TestHalvicHid::saysWhenTheDeviceCannotBeOpened()
{
    QTemporaryFile log;
    QVERIFY(log.open());
    const int savedStderr = ::dup(STDERR_FILENO);
    QVERIFY(::dup2(log.handle(), STDERR_FILENO) >= 0);
    setFeature("16 0c 00 00 00");
    testsupport::writeFile(shimFile(QStringLiteral("denied")), {});
    useFamily(QStringLiteral("apc-back-ups"));
    const QByteArray message("exists but cannot be opened: permission denied");
    const bool said = QTest::qWaitFor([&] {
        return !m_halvic.poll().answered() && testsupport::readFile(log.fileName()).contains(message);
    });
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);
    QVERIFY2(said, testsupport::readFile(log.fileName()).constData());
}

QTEST_GUILESS_MAIN(TestHalvicHid)
#include "tst_halvichid.moc"
