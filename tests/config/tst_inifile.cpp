#include "TestFiles.h"
#include "config/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace brevant;

namespace {

const QByteArray Absent = QByteArrayLiteral("<absent>");
constexpr const char* WriteChildFlag = "--write";
constexpr const char* HoldLockChildFlag = "--hold-lock";
constexpr int HoldLockSeconds = 10;

// Child: one WriteIni; exit code 1 and the reason on stderr when it reports a failure.
int runWriteChild(char** argv)
{
    const Status written = WriteIni(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                                    QString::fromLocal8Bit(argv[4]), QString::fromLocal8Bit(argv[5]));
    if (written.ok())
        return 0;
    std::fprintf(stderr, "%s\n", qPrintable(written.error()));
    return 1;
}

// Child: holds the lock file's lock until its standard input closes, or for HoldLockSeconds.
int runHoldLockChild(const char* lockFile)
{
    const int fd = ::open(lockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
        return 2;
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    pollfd input{STDIN_FILENO, POLLIN, 0};
    ::poll(&input, 1, HoldLockSeconds * 1000);
    return 0;
}

} // namespace

class IniFileTest : public QObject
{
    Q_OBJECT

private:
    QString prepare(const QByteArray& contents)
    {
        const QString path = m_dir.filePath(QStringLiteral("UpsConfigure.ini"));
        QFile::remove(path);
        if (contents != Absent)
            testsupport::writeFile(path, contents);
        return path;
    }

    QTemporaryDir m_dir;

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QString fallback = QStringLiteral("<default>");
        QTest::newRow("section spelt MsComm") << QByteArray("[MsComm]\nComboPort=3\n") << "Mscomm"
                                              << "ComboPort"
                                              << "3";
        QTest::newRow("key in other case") << QByteArray("[Mscomm]\ncomboPORT=2\n") << "Mscomm"
                                           << "ComboPort"
                                           << "2";
        QTest::newRow("absent file") << Absent << "Mscomm"
                                     << "ComboPort" << fallback;
        QTest::newRow("absent section") << QByteArray("[OSEvent]\nComboPort=1\n") << "Mscomm"
                                        << "ComboPort" << fallback;
        QTest::newRow("absent key") << QByteArray("[Mscomm]\nOther=1\n[Next]\nComboPort=4\n") << "Mscomm"
                                    << "ComboPort" << fallback;
        QTest::newRow("empty value is not absent") << QByteArray("[A]\nk=\n") << "A"
                                                   << "k"
                                                   << "";
        QTest::newRow("first section wins") << QByteArray("[A]\nk=1\n[a]\nk=2\nj=3\n") << "A"
                                            << "k"
                                            << "1";
        QTest::newRow("later duplicate section unseen") << QByteArray("[A]\nk=1\n[a]\nk=2\nj=3\n") << "A"
                                                        << "j" << fallback;
        QTest::newRow("first key wins") << QByteArray("[A]\nk=1\nK=2\n") << "A"
                                        << "k"
                                        << "1";
        QTest::newRow("blanks around name and value") << QByteArray("[ A ]\n  k \t=  5 \t\n") << "A"
                                                      << "k"
                                                      << "5";
        QTest::newRow("leading zero kept as text") << QByteArray("[A]\nk=01\n") << "A"
                                                   << "k"
                                                   << "01";
        QTest::newRow("double quotes") << QByteArray("[A]\nk=\"x y\"\n") << "A"
                                       << "k"
                                       << "x y";
        QTest::newRow("single quotes") << QByteArray("[A]\nk='z'\n") << "A"
                                       << "k"
                                       << "z";
        QTest::newRow("unbalanced quote") << QByteArray("[A]\nk=\"x\n") << "A"
                                          << "k"
                                          << "\"x";
        QTest::newRow("equals sign in value") << QByteArray("[A]\nk=a=b\n") << "A"
                                              << "k"
                                              << "a=b";
        QTest::newRow("commented key") << QByteArray("[A]\n;k=1\n") << "A"
                                       << "k" << fallback;
        QTest::newRow("CRLF") << QByteArray("[A]\r\nk=1\r\nj=2\r\n") << "A"
                              << "j"
                              << "2";
        QTest::newRow("no final line break") << QByteArray("[A]\nk=7") << "A"
                                             << "k"
                                             << "7";
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[A]\nk=1\n") << "A"
                                         << "k"
                                         << "1";
        QTest::newRow("253 characters seen whole") << "[A]\nk=" + QByteArray(253, 'v') + "\n"
                                                   << "A"
                                                   << "k" << QString(253, u'v');
        QTest::newRow("cut never splits a character")
            << "[A]\nk=" + QByteArray(252, 'v') + "\xF0\x9F\x94\x8B\n"
            << "A"
            << "k" << QString(252, u'v');
        QTest::newRow("longer value cut to 253") << "[A]\nk=" + QByteArray(252, 'v') + "xyz\n"
                                                 << "A"
                                                 << "k" << QString(252, u'v') + u'x';
    }

    void read()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(ReadIni(prepare(contents), section, key, QStringLiteral("<default>")), expected);
    }

    // The snapshot that the save-list import reads once must see every value as ReadIni does.
    void snapshotReadsAsReadIni_data() { read_data(); }

    void snapshotReadsAsReadIni()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(IniSnapshot::read(prepare(contents)).value(section, key, QStringLiteral("<default>")),
                 expected);
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("creates file") << Absent << "Mscomm"
                                      << "ComboPort"
                                      << "0" << QByteArray("[Mscomm]\nComboPort=0\n");
        QTest::newRow("empty file") << QByteArray() << "A"
                                    << "k"
                                    << "v" << QByteArray("[A]\nk=v\n");
        QTest::newRow("new section at the end") << QByteArray("[B]\nx=1\n\n") << "A"
                                                << "k"
                                                << "v" << QByteArray("[B]\nx=1\n\n[A]\nk=v\n");
        QTest::newRow("new section after unterminated line") << QByteArray("[B]\nx=1") << "A"
                                                             << "k"
                                                             << "v" << QByteArray("[B]\nx=1\n[A]\nk=v\n");
        QTest::newRow("replaced in place, other lines kept")
            << QByteArray("; UPS settings\n\n[A]\n; note\nk = old value\nz=2\n\n[B]\nk=3\n") << "A"
            << "k"
            << "new" << QByteArray("; UPS settings\n\n[A]\n; note\nk=new\nz=2\n\n[B]\nk=3\n");
        QTest::newRow("stored spelling kept") << QByteArray("[MsComm]\ncomboport=0\n") << "Mscomm"
                                              << "ComboPort"
                                              << "3" << QByteArray("[MsComm]\ncomboport=3\n");
        QTest::newRow("CRLF replaced") << QByteArray("[A]\r\nk=1\r\n\r\n[B]\r\nj=2\r\n") << "A"
                                       << "k"
                                       << "5" << QByteArray("[A]\r\nk=5\r\n\r\n[B]\r\nj=2\r\n");
        QTest::newRow("CRLF key added") << QByteArray("[A]\r\nk=1\r\n\r\n[B]\r\nj=2\r\n") << "A"
                                        << "m"
                                        << "5" << QByteArray("[A]\r\nk=1\r\nm=5\r\n\r\n[B]\r\nj=2\r\n");
        QTest::newRow("CRLF section added") << QByteArray("[B]\r\nj=2\r\n") << "A"
                                            << "k"
                                            << "1" << QByteArray("[B]\r\nj=2\r\n[A]\r\nk=1\r\n");
        QTest::newRow("key after the last key of its section")
            << QByteArray("[A]\nk=1\n; trailing note\nj=2\n\n\n[B]\nx=1\n") << "a"
            << "m"
            << "5" << QByteArray("[A]\nk=1\n; trailing note\nj=2\nm=5\n\n\n[B]\nx=1\n");
        QTest::newRow("key before a comment that ends the section")
            << QByteArray("[A]\nk=1\n; the B section\n[B]\n") << "A"
            << "m"
            << "5" << QByteArray("[A]\nk=1\nm=5\n; the B section\n[B]\n");
        QTest::newRow("key into a section without keys") << QByteArray("[A]\n[B]\nx=1\n") << "A"
                                                         << "m"
                                                         << "5" << QByteArray("[A]\nm=5\n[B]\nx=1\n");
        QTest::newRow("key into last section without final break") << QByteArray("[A]\nk=1") << "A"
                                                                   << "m"
                                                                   << "5" << QByteArray("[A]\nk=1\nm=5\n");
        QTest::newRow("first of duplicate sections") << QByteArray("[A]\nk=1\n[A]\nk=2\n") << "A"
                                                     << "k"
                                                     << "9" << QByteArray("[A]\nk=9\n[A]\nk=2\n");
        QTest::newRow("Delaytime=abc as typed")
            << QByteArray("[UpsOnBattery]\nDelaytime=2\n") << "UpsOnBattery"
            << "Delaytime"
            << "abc" << QByteArray("[UpsOnBattery]\nDelaytime=abc\n");
        QTest::newRow("01 as typed") << QByteArray() << "Schema"
                                     << "ShutDown"
                                     << "01" << QByteArray("[Schema]\nShutDown=01\n");
        QTest::newRow("empty value") << QByteArray("[A]\nk=1\n") << "A"
                                     << "k"
                                     << "" << QByteArray("[A]\nk=\n");
        QTest::newRow("value cut at line break") << QByteArray() << "A"
                                                 << "k"
                                                 << "1\r\n[X]" << QByteArray("[A]\nk=1\n");
        QTest::newRow("byte order mark kept") << QByteArray("\xEF\xBB\xBF[A]\nk=1\n") << "A"
                                              << "k"
                                              << "2" << QByteArray("\xEF\xBB\xBF[A]\nk=2\n");
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const QString path = prepare(before);
        QVERIFY(WriteIni(path, section, key, value).ok());
        QCOMPARE(testsupport::readFile(path), after);
        // The write leaves nothing behind but the file and its lock.
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("UpsConfigure.ini"), QStringLiteral("UpsConfigure.ini.lock")}));
    }

    // The settings are readable by all and writable by their owner, their lock file private,
    // whatever the umask of the writer; a rewrite keeps the mode the file had.
    void fileModes_data()
    {
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("existingMode"); // -1: no file yet
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("lockMode");
        QTest::newRow("created under umask 000") << 0000 << -1 << 0644 << 0600;
        QTest::newRow("created under umask 077") << 0077 << -1 << 0644 << 0600;
        QTest::newRow("rewrite keeps 0640") << 0000 << 0640 << 0640 << 0600;
        QTest::newRow("rewrite keeps 0600") << 0022 << 0600 << 0600 << 0600;
    }

    void fileModes()
    {
        QFETCH(int, umask);
        QFETCH(int, existingMode);
        const QString path = prepare(existingMode < 0 ? Absent : QByteArray("[A]\nk=1\n"));
        QFile::remove(path + QStringLiteral(".lock"));
        if (existingMode >= 0)
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(existingMode)), 0);

        const mode_t before = ::umask(mode_t(umask));
        const Status written = WriteIni(path, QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("2"));
        ::umask(before);
        QVERIFY2(written.ok(), qPrintable(written.error()));
        const auto modeOf = [](const QString& file) {
            struct stat status
            {};
            return ::stat(QFile::encodeName(file).constData(), &status) == 0 ? int(status.st_mode & 07777)
                                                                             : -1;
        };
        QTEST(modeOf(path), "fileMode");
        QTEST(modeOf(path + QStringLiteral(".lock")), "lockMode");
    }

    // A full disk (here: a file size limit, which fails write() the same way without root) must
    // leave the old file exactly as it was and report the failure.
    void fullDiskKeepsOldFile_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("replacing a value") << "k"
                                           << "1";
        QTest::newRow("adding a key") << "Extra" << QString(300, u'x');
    }

    void fullDiskKeepsOldFile()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QByteArray before = "[A]\r\nk=0\r\n";
        for (int i = 0; i < 40; ++i)
            before += "Key" + QByteArray::number(i) + "=" + QByteArray(20, 'k') + "\r\n";
        const QString path = prepare(before);

        QProcess child;
        child.setChildProcessModifier([] {
            const rlimit limit{512, 512}; // smaller than the file
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the writer
        });
        child.start(QCoreApplication::applicationFilePath(),
                    {QLatin1String(WriteChildFlag), path, QStringLiteral("A"), key, value});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
        QVERIFY(!child.readAllStandardError().trimmed().isEmpty());
        QCOMPARE(testsupport::readFile(path), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({QStringLiteral("UpsConfigure.ini"), QStringLiteral("UpsConfigure.ini.lock")}));
    }

    // Another process that keeps the lock (a hung writer) delays a write by the bounded wait only;
    // the value is written all the same.
    void heldLockDelaysTheWriteOnlyBriefly()
    {
        const QString path = prepare("[Schema]\nShutDown=0\n");
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(),
                     {QLatin1String(HoldLockChildFlag), path + QStringLiteral(".lock")});
        while (!holder.canReadLine())
            QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine(), QByteArray("held\n"));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("without its lock")));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(WriteIni(path, key::ShutDown, QStringLiteral("1")).ok());
        const qint64 elapsed = clock.elapsed();
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(HoldLockSeconds * 1000));
        QCOMPARE(holder.exitCode(), 0);

        QVERIFY2(elapsed >= IniLockWait.count() && elapsed < IniLockWait.count() + 700,
                 qPrintable(QStringLiteral("the write took %1 ms").arg(elapsed)));
        QCOMPARE(ReadIni(path, key::ShutDown), QStringLiteral("1"));
    }

    void longValueRoundTripsCut()
    {
        const QString path = prepare(Absent);
        QVERIFY(WriteIni(path, QStringLiteral("A"), QStringLiteral("k"), QString(300, u'é')).ok());
        QCOMPARE(ReadIni(path, QStringLiteral("a"), QStringLiteral("K")), QString(253, u'é'));
    }
};

int main(int argc, char** argv)
{
    if (argc == 6 && qstrcmp(argv[1], WriteChildFlag) == 0)
        return runWriteChild(argv);
    if (argc == 3 && qstrcmp(argv[1], HoldLockChildFlag) == 0)
        return runHoldLockChild(argv[2]);
    QCoreApplication app(argc, argv);
    IniFileTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_inifile.moc"
