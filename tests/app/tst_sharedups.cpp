// One UPS, several computers: real Brevant monitors on a real upsd (dummy-ups on loopback), each
// in its own application and runtime directories, every power-off a recorder.
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <memory>

class TestSharedUps : public QObject
{
    Q_OBJECT

    struct Monitor
    {
        std::unique_ptr<QProcess> process;
        QString shutdowns; // one line per power-off the recorder was asked for
    };

    void setUpsStatus(const QByteArray& status)
    {
        const QString devFile = m_dir + QStringLiteral("/etc/dummy.dev");
        // The driver notices a change by the time stamp, to the second: always a later one.
        const QDateTime stamp = QFileInfo(devFile).lastModified().addSecs(2);
        QSaveFile file(devFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("ups.status: " + status + "\nbattery.charge: 50\n");
        QVERIFY(file.commit());
        QFile touched(devFile);
        QVERIFY(touched.open(QIODevice::ReadWrite));
        QVERIFY(touched.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    QByteArray askUpsd(const QByteArray& request) const
    {
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_port.toUShort());
        if (!socket.waitForConnected(5000))
            return {};
        socket.write(request + '\n');
        while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {
        }
        return socket.readLine().trimmed();
    }
    int logins() const { return askUpsd("GET NUMLOGINS dummy").split(' ').value(2).toInt(); }
    int upsOffCommands() const
    {
        return int(testsupport::readFile(m_dir + QStringLiteral("/upsd.log")).count("did load.off on dummy"));
    }

    // A monitor logged in to upsd as `user` in `role`, shutting down `lowDelay` minutes after
    // battery low (first-install settings when empty). Its power-off is recorded, and ends it as
    // the computer's end would: upsd then counts one login less.
    Monitor start(const QString& name, const QByteArray& user,
                  const QString& role = QStringLiteral("secondary"), const QByteArray& lowDelay = {})
    {
        const QDir home(m_work.filePath(name));
        home.mkpath(QStringLiteral("app"));
        home.mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Monitor m{std::make_unique<QProcess>(), home.filePath(QStringLiteral("shutdowns"))};
        const QString recorder = home.filePath(QStringLiteral("recorder.sh"));
        const QString pidFile = home.filePath(QStringLiteral("pid"));
        testsupport::writeFile(recorder, "#!/bin/sh\necho down >>'" + m.shutdowns.toUtf8() +
                                             "'\nkill -TERM \"$(cat '" + pidFile.toUtf8() + "')\"\n");
        if (!lowDelay.isEmpty())
            testsupport::writeFile(
                home.filePath(QStringLiteral("app/UpsConfigure.ini")),
                "[UpsLowBattery]\nDisableevent=0\nRecordlog=1\nShutdown=1\nDelaytime=" + lowDelay + "\n");
        QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("BREVANT_APP_DIR"), home.filePath(QStringLiteral("app")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("BREVANT_SHUTDOWN_COMMAND"), recorder);
        for (int port = 1; port <= 4; ++port)
            env.insert(QStringLiteral("BREVANT_COM%1").arg(port), home.filePath(QStringLiteral("no-port")));
        env.insert(QStringLiteral("HALVIC_BACKEND"), QStringLiteral("nut"));
        env.insert(QStringLiteral("HALVIC_NUT_UPS"), QString::fromLatin1("dummy@127.0.0.1:" + m_port));
        env.insert(QStringLiteral("HALVIC_NUT_USER"), QString::fromLatin1(user));
        env.insert(QStringLiteral("HALVIC_NUT_PASSWORD"), QStringLiteral("secret"));
        env.insert(QStringLiteral("HALVIC_NUT_ROLE"), role);
        // The dummy driver offers only load.off, which the library otherwise does not use.
        env.insert(QStringLiteral("HALVIC_NUT_OFFCMD"), QStringLiteral("load.off"));
        m.process->setProcessEnvironment(env);
        m.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m.process->start(testsupport::binDir() + QStringLiteral("/brevant"), {});
        m.process->waitForStarted(10000);
        testsupport::writeFile(pidFile, QByteArray::number(m.process->processId()));
        return m;
    }

    QString m_dir;
    QByteArray m_port;
    QTemporaryDir m_work;

private slots:
    void initTestCase()
    {
        m_dir = qEnvironmentVariable("BREVANT_NUT_FIXTURE_DIR");
        m_port = testsupport::readFile(m_dir + QStringLiteral("/port")).trimmed();
        QVERIFY2(!m_port.isEmpty(), "the nut_server fixture did not leave its port");
        setUpsStatus("OL");
    }

    // The UPS's server sets a forced shutdown (what NUT's primary monitor does when it decides the
    // UPS is critical, or an administrator by hand), with the mains on: every secondary shuts down
    // whatever its own delay, and none of them sends the UPS-off command.
    void forcedShutdownBringsEverySecondaryDown()
    {
        QTRY_COMPARE_WITH_TIMEOUT(logins(), 0, 10000);
        std::array monitors{start(QStringLiteral("a"), "secondary"), start(QStringLiteral("b"), "admin")};
        // The splash, the start, the first poll: both logged in.
        QTRY_COMPARE_WITH_TIMEOUT(logins(), 2, 30000);
        const int before = upsOffCommands();
        setUpsStatus("OL FSD");
        for (const Monitor& m : monitors)
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m.shutdowns), 30000);
        QCOMPARE(upsOffCommands(), before);
        for (const Monitor& m : monitors) {
            QCOMPARE(testsupport::readFile(m.shutdowns), QByteArray("down\n"));
            QVERIFY(m.process->waitForFinished(30000)); // ended by its power-off
        }
        setUpsStatus("OL");
    }

    // The primary's shutdown sets the forced shutdown at upsd and switches the UPS off only when
    // the secondaries, whose own delay is an hour, have shut down (logged out).
    void primarySwitchesOffAfterTheSecondaries()
    {
        QTRY_COMPARE_WITH_TIMEOUT(logins(), 0, 10000);
        Monitor primary = start(QStringLiteral("primary"), "admin", QStringLiteral("primary"), "0.05");
        std::array secondaries{start(QStringLiteral("s1"), "secondary", QStringLiteral("secondary"), "60"),
                               start(QStringLiteral("s2"), "secondary", QStringLiteral("secondary"), "60")};
        QTRY_COMPARE_WITH_TIMEOUT(logins(), 3, 30000);
        const int before = upsOffCommands();
        setUpsStatus("OB LB");
        QTRY_VERIFY_WITH_TIMEOUT(upsOffCommands() > before, 40000);
        for (const Monitor& s : secondaries)
            QCOMPARE(testsupport::readFile(s.shutdowns), QByteArray("down\n"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(primary.shutdowns), 10000);
        QVERIFY(primary.process->waitForFinished(30000));
        setUpsStatus("OL");
    }
};

QTEST_GUILESS_MAIN(TestSharedUps)
#include "tst_sharedups.moc"
