// ReadIni/WriteIni on real files, and the writers as separate processes: killed, starved of disk,
// blocked by a held lock or racing each other.
#include "TestFiles.h"
#include "config/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
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
constexpr int HoldLockSeconds = 10;
constexpr int KeysPerWriter = 2000;
constexpr int LocklessExit = 3;
constexpr int OtherKeys = 40;

// The child modes this executable runs in when the tests start it as a separate writer.
namespace child {

// One WriteIni; exit code 1 and the reason on stderr when it reports a failure.
int write(char** argv)
{
    const Status written = WriteIni(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                                    QString::fromLocal8Bit(argv[4]), QString::fromLocal8Bit(argv[5]));
    if (!written.ok())
        std::fprintf(stderr, "%s\n", qPrintable(written.error()));
    return written.ok() ? 0 : 1;
}

// Holds the lock file's lock until its standard input closes, or for HoldLockSeconds.
int holdLock(const char* lockFile)
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

// Waits for a start line so that all writers run at once, then writes its own keys.
int writeKeys(const QString& file, const QString& writer)
{
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 2;
    // A write that had to go ahead without the lock (the other writer held it past IniLockWait, as
    // happens on a heavily loaded machine) may lose the other's key by design: say so in the exit
    // code, so that the parent knows which guarantee holds.
    static bool lockless = false;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& message) {
        lockless = lockless || message.contains(u"without its lock");
    });
    for (int i = 0; i < KeysPerWriter; ++i) {
        if (!WriteIni(file, QStringLiteral("Section%1").arg(i % 5), writer + QString::number(i),
                      writer + QString::number(i * 7))
                 .ok())
            return 1;
    }
    return lockless ? LocklessExit : 0;
}

// Increments [Head] Counter for ever, reporting every completed write on stdout.
int countForever(const QString& file)
{
    for (qint64 counter = ReadIni(file, QStringLiteral("Head"), QStringLiteral("Counter")).toLongLong() + 1;;
         ++counter) {
        if (!WriteIni(file, QStringLiteral("Head"), QStringLiteral("Counter"), QString::number(counter)).ok())
            return 1;
        std::printf("%lld\n", counter);
        std::fflush(stdout);
    }
}

} // namespace child

// The whole file after the counter reached `counter`: each write replaces one line in place.
QByteArray counterFile(qint64 counter)
{
    QByteArray text =
        "; written by the crash test\r\n[Head]\r\nCounter=" + QByteArray::number(counter) + "\r\n";
    for (int i = 0; i < OtherKeys; ++i)
        text += "Key" + QByteArray::number(i) + '=' + QByteArray(40, char('a' + i % 26)) + "\r\n";
    return text;
}

// A temporary directory in memory where there is one: syncs to a loaded disk would dominate the
// run time, while the locking and the rename behave the same.
QString memoryDirTemplate()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? QStringLiteral("/dev/shm/brevant-test-XXXXXX")
                                           : QDir::tempPath() + QStringLiteral("/brevant-test-XXXXXX");
}

QStringList lines(QProcess& process)
{
    QStringList read;
    while (process.canReadLine())
        read.append(QString::fromUtf8(process.readLine().trimmed()));
    return read;
}

} // namespace

class TestIniFile : public QObject
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
    QStringList filesLeft() const { return QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden); }
    QProcess* startChild(const QStringList& arguments)
    {
        auto* process = new QProcess(this);
        process->setProcessChannelMode(
            QProcess::ForwardedErrorChannel); // a child's warnings explain a failure
        process->start(QCoreApplication::applicationFilePath(), arguments);
        return process;
    }

    QTemporaryDir m_dir;

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& contents, const char* section,
                            const char* key, const QString& expected) {
            QTest::newRow(name) << contents << section << key << expected;
        };
        const QString fallback = QStringLiteral("<default>");
        row("names in other case", "[MsComm]\ncomboPORT=3\n", "Mscomm", "ComboPort", "3");
        row("absent file", Absent, "Mscomm", "ComboPort", fallback);
        row("absent section", "[OSEvent]\nComboPort=1\n", "Mscomm", "ComboPort", fallback);
        row("key only in a later section", "[Mscomm]\nOther=1\n[Next]\nComboPort=4\n", "Mscomm", "ComboPort",
            fallback);
        row("empty value is not absent", "[A]\nk=\n", "A", "k", "");
        row("first section wins", "[A]\nk=1\n[a]\nk=2\nj=3\n", "A", "k", "1");
        row("later duplicate section unseen", "[A]\nk=1\n[a]\nk=2\nj=3\n", "A", "j", fallback);
        row("first key wins", "[A]\nk=1\nK=2\n", "A", "k", "1");
        row("blanks around name and value", "[ A ]\n  k \t=  5 \t\n", "A", "k", "5");
        row("quotes", "[A]\nk=\"x y\"\n", "A", "k", "x y");
        row("unbalanced quote", "[A]\nk=\"x\n", "A", "k", "\"x");
        row("equals sign in value", "[A]\nk=a=b\n", "A", "k", "a=b");
        row("commented key", "[A]\n;k=1\n", "A", "k", fallback);
        row("CRLF", "[A]\r\nk=1\r\nj=2\r\n", "A", "j", "2");
        row("no final line break", "[A]\nk=7", "A", "k", "7");
        row("byte order mark", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "1");
        row("253 characters seen whole", "[A]\nk=" + QByteArray(253, 'v') + "\n", "A", "k",
            QString(253, u'v'));
        row("longer value cut to 253", "[A]\nk=" + QByteArray(252, 'v') + "xyz\n", "A", "k",
            QString(252, u'v') + u'x');
        row("cut never splits a character", "[A]\nk=" + QByteArray(252, 'v') + "\xF0\x9F\x94\x8B\n", "A", "k",
            QString(252, u'v'));
    }

    void read()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, section);
        QFETCH(QString, key);
        const QString path = prepare(contents);
        QTEST(ReadIni(path, section, key, QStringLiteral("<default>")), "expected");
        // The snapshot that the save-list import reads once must see every value as ReadIni does.
        QTEST(IniSnapshot::read(path).value(section, key, QStringLiteral("<default>")), "expected");
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        const auto row = [](const char* name, const QByteArray& before, const char* section, const char* key,
                            const char* value, const QByteArray& after) {
            QTest::newRow(name) << before << section << key << value << after;
        };
        row("creates file", Absent, "Mscomm", "ComboPort", "0", "[Mscomm]\nComboPort=0\n");
        row("new section at the end", "[B]\nx=1\n\n", "A", "k", "v", "[B]\nx=1\n\n[A]\nk=v\n");
        row("new section after unterminated line", "[B]\nx=1", "A", "k", "v", "[B]\nx=1\n[A]\nk=v\n");
        row("replaced in place, other lines kept",
            "; UPS settings\n\n[A]\n; note\nk = old value\nz=2\n\n[B]\nk=3\n", "A", "k", "new",
            "; UPS settings\n\n[A]\n; note\nk=new\nz=2\n\n[B]\nk=3\n");
        row("stored spelling kept", "[MsComm]\ncomboport=0\n", "Mscomm", "ComboPort", "3",
            "[MsComm]\ncomboport=3\n");
        row("CRLF replaced", "[A]\r\nk=1\r\n\r\n[B]\r\nj=2\r\n", "A", "k", "5",
            "[A]\r\nk=5\r\n\r\n[B]\r\nj=2\r\n");
        row("CRLF key added", "[A]\r\nk=1\r\n\r\n[B]\r\nj=2\r\n", "A", "m", "5",
            "[A]\r\nk=1\r\nm=5\r\n\r\n[B]\r\nj=2\r\n");
        row("CRLF section added", "[B]\r\nj=2\r\n", "A", "k", "1", "[B]\r\nj=2\r\n[A]\r\nk=1\r\n");
        row("key after the last key of its section", "[A]\nk=1\n; trailing note\nj=2\n\n\n[B]\nx=1\n", "a",
            "m", "5", "[A]\nk=1\n; trailing note\nj=2\nm=5\n\n\n[B]\nx=1\n");
        row("key before a comment that ends the section", "[A]\nk=1\n; the B section\n[B]\n", "A", "m", "5",
            "[A]\nk=1\nm=5\n; the B section\n[B]\n");
        row("key into a section without keys", "[A]\n[B]\nx=1\n", "A", "m", "5", "[A]\nm=5\n[B]\nx=1\n");
        row("key into last section without final break", "[A]\nk=1", "A", "m", "5", "[A]\nk=1\nm=5\n");
        row("first of duplicate sections", "[A]\nk=1\n[A]\nk=2\n", "A", "k", "9", "[A]\nk=9\n[A]\nk=2\n");
        row("empty value", "[A]\nk=1\n", "A", "k", "", "[A]\nk=\n");
        row("value cut at line break", "", "A", "k", "1\r\n[X]", "[A]\nk=1\n");
        row("byte order mark kept", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2", "\xEF\xBB\xBF[A]\nk=2\n");
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QString path = prepare(before);
        QVERIFY(WriteIni(path, section, key, value).ok());
        QTEST(testsupport::readFile(path), "after");
        QCOMPARE(filesLeft(), QStringList({"UpsConfigure.ini", "UpsConfigure.ini.lock"}));
    }

    // The settings are readable by all and writable by their owner, their lock file private,
    // whatever the umask of the writer; a rewrite keeps the mode the file had.
    void fileModes_data()
    {
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("existingMode"); // -1: no file yet
        QTest::addColumn<int>("fileMode");
        QTest::newRow("created under umask 000") << 0000 << -1 << 0644;
        QTest::newRow("created under umask 077") << 0077 << -1 << 0644;
        QTest::newRow("rewrite keeps 0600") << 0022 << 0600 << 0600;
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
        QCOMPARE(modeOf(path + QStringLiteral(".lock")), 0600);
    }

    // A full disk (here: a file size limit, which fails write() the same way without root) must
    // leave the old file exactly as it was and report the failure.
    void fullDiskKeepsOldFile_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("replacing a value") << "Counter"
                                           << "1";
        QTest::newRow("adding a key") << "Extra" << QString(300, u'x');
    }

    void fullDiskKeepsOldFile()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QByteArray before = counterFile(0);
        const QString path = prepare(before);

        QProcess writer;
        writer.setChildProcessModifier([] {
            const rlimit limit{512, 512}; // smaller than the file
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the writer
        });
        writer.start(QCoreApplication::applicationFilePath(), {"--write", path, "Head", key, value});
        QVERIFY(writer.waitForFinished(30000));
        QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer.exitCode(), 1);
        QVERIFY(!writer.readAllStandardError().trimmed().isEmpty());
        QCOMPARE(testsupport::readFile(path), before);
        QCOMPARE(filesLeft(), QStringList({"UpsConfigure.ini", "UpsConfigure.ini.lock"}));
    }

    // Another process that keeps the lock (a hung writer) delays a write by the bounded wait only;
    // the value is written all the same.
    void heldLockDelaysTheWriteOnlyBriefly()
    {
        const QString path = prepare("[Schema]\nShutDown=0\n");
        QProcess* holder = startChild({"--hold-lock", path + QStringLiteral(".lock")});
        while (!holder->canReadLine())
            QVERIFY(holder->waitForReadyRead(10000));
        QCOMPARE(holder->readLine(), QByteArray("held\n"));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("without its lock")));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(WriteIni(path, key::ShutDown, QStringLiteral("1")).ok());
        const qint64 elapsed = clock.elapsed();
        holder->closeWriteChannel();
        QVERIFY(holder->waitForFinished(HoldLockSeconds * 1000));
        QCOMPARE(holder->exitCode(), 0);

        QVERIFY2(elapsed >= IniLockWait.count() && elapsed < IniLockWait.count() + 700,
                 qPrintable(QStringLiteral("the write took %1 ms").arg(elapsed)));
        QCOMPARE(ReadIni(path, key::ShutDown), QStringLiteral("1"));
    }

    void twoProcessesLoseNoKey()
    {
        QTemporaryDir dir(memoryDirTemplate());
        const QString file = dir.filePath(QStringLiteral("UpsConfigure.ini"));
        const QStringList writers{QStringLiteral("a"), QStringLiteral("b")};
        QList<QProcess*> children;
        for (const QString& writer : writers)
            children.append(startChild({"--write-keys", file, writer}));
        for (QProcess* child : children) {
            while (!child->canReadLine())
                QVERIFY(child->waitForReadyRead(10000));
            QCOMPARE(child->readLine(), QByteArray("ready\n"));
        }
        for (QProcess* child : children) {
            child->write("go\n");
            QVERIFY(child->waitForBytesWritten(10000)); // else the line waits for the event loop
        }
        bool lockless = false;
        for (QProcess* child : children) {
            QVERIFY(child->waitForFinished(50000));
            QCOMPARE(child->exitStatus(), QProcess::NormalExit);
            QVERIFY(child->exitCode() == 0 || child->exitCode() == LocklessExit);
            lockless = lockless || child->exitCode() == LocklessExit;
        }
        for (const QString& writer : writers) {
            for (int i = 0; i < KeysPerWriter; ++i) {
                const QString value =
                    ReadIni(file, QStringLiteral("Section%1").arg(i % 5), writer + QString::number(i));
                // Without the lock only a key may go missing; none is ever torn or wrong.
                if (!(lockless && value.isEmpty()))
                    QCOMPARE(value, writer + QString::number(i * 7));
            }
        }
        if (lockless)
            QSKIP("the lock wait ran out on this loaded machine: only checked that no key was torn");
    }

    void killedWriterLeavesWholeFile()
    {
        QTemporaryDir dir(memoryDirTemplate());
        const QString file = dir.filePath(QStringLiteral("UpsConfigure.ini"));
        testsupport::writeFile(file, counterFile(0));
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);

        for (int round = 0; round < 50; ++round) {
            QProcess* writer = startChild({"--count", file});
            // Kill after a random number of completed writes, in the middle of the next one or
            // between two.
            const int writesBeforeKill = random.bounded(1, 40);
            QStringList reported;
            while (reported.size() < writesBeforeKill) {
                QVERIFY2(writer->canReadLine() || writer->waitForReadyRead(10000), "the writer is stuck");
                reported += lines(*writer);
            }
            ::kill(static_cast<pid_t>(writer->processId()), SIGKILL);
            QVERIFY(writer->waitForFinished(10000));
            QCOMPARE(writer->exitStatus(), QProcess::CrashExit);
            reported += lines(*writer);
            delete writer;

            // The write after the last report may have completed before the kill.
            const qint64 last = reported.constLast().toLongLong();
            const qint64 counter =
                ReadIni(file, QStringLiteral("Head"), QStringLiteral("Counter")).toLongLong();
            QVERIFY2(counter == last || counter == last + 1,
                     qPrintable(QStringLiteral("round %1: file holds %2, last write %3")
                                    .arg(round)
                                    .arg(counter)
                                    .arg(last)));
            QCOMPARE(testsupport::readFile(file), counterFile(counter));
        }
    }
};

int main(int argc, char** argv)
{
    const auto mode = [&](const char* flag, int arguments) {
        return argc == arguments && qstrcmp(argv[1], flag) == 0;
    };
    if (mode("--write", 6))
        return child::write(argv);
    if (mode("--hold-lock", 3))
        return child::holdLock(argv[2]);
    if (mode("--write-keys", 4))
        return child::writeKeys(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (mode("--count", 3))
        return child::countForever(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestIniFile test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_inifile.moc"
