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
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace brevant;
using namespace Qt::StringLiterals;

namespace {

const QByteArray Absent = QByteArrayLiteral("<absent>");
const QString Default = QStringLiteral("<default>");
constexpr int KeysPerWriter = 2000;
constexpr int LocklessExit = 3;

// The child modes this executable runs in when the tests start it as a separate writer.
namespace child {

// Writes its own keys, each write rereading the file the other writer is rewriting.
int writeKeys(const QString& file, const QString& writer)
{
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

// Increments [Head] Counter for ever, reporting every completed write on stdout; exit code 1 when
// a write reports a failure.
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
    for (int i = 0; i < 40; ++i)
        text += "Key" + QByteArray::number(i) + '=' + QByteArray(40, char('a' + i % 26)) + "\r\n";
    return text;
}

QByteArray utf16(QStringConverter::Encoding encoding, const QByteArray& text)
{
    const QByteArray mark = encoding == QStringConverter::Utf16LE ? "\xFF\xFE" : "\xFE\xFF";
    return mark + QByteArray(QStringEncoder(encoding)(QString::fromUtf8(text)));
}

int modeOf(const QString& file)
{
    struct stat status
    {};
    return ::stat(QFile::encodeName(file).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

// In memory where possible: syncs to a loaded disk would dominate the run time, while the locking
// and the rename behave the same.
const QString MemoryDir =
    (QFileInfo(u"/dev/shm"_s).isWritable() ? u"/dev/shm"_s : QDir::tempPath()) + u"/brevant-XXXXXX"_s;

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT

private:
    QString prepare(const QByteArray& contents)
    {
        const QString path = m_dir.filePath(QStringLiteral("UpsConfigure.ini"));
        QFile::remove(path);
        QFile::remove(path + QStringLiteral(".lock"));
        if (contents != Absent)
            testsupport::writeFile(path, contents);
        return path;
    }
    void expectOnlyTheFileAndItsLock()
    {
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"UpsConfigure.ini", "UpsConfigure.ini.lock"}));
    }
    QProcess* startChild(const QStringList& arguments)
    {
        auto* process = new QProcess(this);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel); // its warnings explain a failure
        process->start(QCoreApplication::applicationFilePath(), arguments);
        return process;
    }

    QTemporaryDir m_dir;

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("key"); // of section A
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const QByteArray& contents, const char* key,
                            const QString& expected) { QTest::newRow(name) << contents << key << expected; };
        row("names in other case", "[a]\nKEY=3\n", "Key", "3");
        row("absent file", Absent, "k", Default);
        row("only in later and duplicate sections", "[A]\nk=1\n[B]\nj=4\n[a]\nj=3\n", "j", Default);
        row("empty value is not absent", "[A]\nk=\n", "k", "");
        row("first uncommented key wins", "[A]\n;k=1\nk=2\nK=3\n", "k", "2");
        row("blanks, quotes, equals sign, CRLF", "[ A ]\r\n  k \t=  \"x = y\" \t\r\n", "k", "x = y");
        row("byte order mark, no final line break", "\xEF\xBB\xBF[A]\nk=7", "k", "7");
        row("cut to 253", "[A]\nk=" + QByteArray(252, 'v') + "xyz\n", "k", QString(252, u'v') + u'x');
        row("cut never splits a character", "[A]\nk=" + QByteArray(252, 'v') + "\xF0\x9F\x94\x8B\n", "k",
            QString(252, u'v'));
        row("UTF-16 LE", utf16(QStringConverter::Utf16LE, "[A]\r\nk=\xC3\xA9t\xC3\xA9\r\n"), "k",
            u"\u00e9t\u00e9"_s);
        row("UTF-16 BE", utf16(QStringConverter::Utf16BE, "[B]\nk=1\n[A]\nk=2\n"), "k", "2");
        row("CR line ends", "[B]\rk=1\r[A]\rj=1\rk=2\r", "k", "2");
        row("NUL bytes as blanks", QByteArray("[A]\nk=1\0\n\0\0", 12), "k", "1");
    }

    void read()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, key);
        const QString path = prepare(contents);
        QTEST(ReadIni(path, QStringLiteral("A"), key, Default), "expected");
        // The snapshot that the save-list import reads once must see every value as ReadIni does.
        QTEST(IniSnapshot::read(path).value(QStringLiteral("A"), key, Default), "expected");
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key"); // of section A
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        const auto row = [](const char* name, const QByteArray& before, const char* key, const char* value,
                            const QByteArray& after) {
            QTest::newRow(name) << before << key << value << after;
        };
        row("creates file", Absent, "k", "0", "[A]\nk=0\n");
        row("replaced in place, other lines and spelling kept",
            "; UPS\n\n[a]\n; note\nK = old\nz=2\n\n[B]\nk=3\n", "k", "new",
            "; UPS\n\n[a]\n; note\nK=new\nz=2\n\n[B]\nk=3\n");
        row("CRLF key added", "[A]\r\nk=1\r\n\r\n[B]\r\nj=2\r\n", "m", "5",
            "[A]\r\nk=1\r\nm=5\r\n\r\n[B]\r\nj=2\r\n");
        row("key after the last key of its section", "[A]\nk=1\n; trailing note\nj=2\n\n\n[B]\nx=1\n", "m",
            "5", "[A]\nk=1\n; trailing note\nj=2\nm=5\n\n\n[B]\nx=1\n");
        row("key before a comment that ends the section", "[A]\nk=1\n; the B section\n[B]\n", "m", "5",
            "[A]\nk=1\nm=5\n; the B section\n[B]\n");
        row("key into last section without final break", "[A]\nk=1", "m", "5", "[A]\nk=1\nm=5\n");
        row("first of duplicate sections", "[A]\nk=1\n[A]\nk=2\n", "k", "9", "[A]\nk=9\n[A]\nk=2\n");
        row("value cut at line break", "", "k", "1\r\n[X]", "[A]\nk=1\n");
        row("CR line ends kept", "[A]\rk=1\r\r[B]\rj=2\r", "m", "5", "[A]\rk=1\rm=5\r\r[B]\rj=2\r");
        row("CR line ends, value replaced", "[A]\rk=1\rj=2", "k", "3", "[A]\rk=3\rj=2");
        row("UTF-16 LE kept", utf16(QStringConverter::Utf16LE, "[A]\r\nk=1\r\nj=\xC3\xA9\r\n"), "k", "0",
            utf16(QStringConverter::Utf16LE, "[A]\r\nk=0\r\nj=\xC3\xA9\r\n"));
        row("UTF-16 BE kept", utf16(QStringConverter::Utf16BE, "[B]\nj=2\n"), "k", "0",
            utf16(QStringConverter::Utf16BE, "[B]\nj=2\n[A]\nk=0\n"));
        row("NUL bytes kept", QByteArray("[A]\nk=1\0\n\0\0", 11), "j", "5",
            QByteArray("[A]\nk=1\0\nj=5\n\0\0", 15));
        row("UTF-8 mark kept", "\xEF\xBB\xBF[A]\nk=1\n", "k", "0", "\xEF\xBB\xBF[A]\nk=0\n");
    }

    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const QString path = prepare(before);
        // An unusual mode, which no umask makes of 0644, for the rewrite to keep.
        const int modeBefore = before == Absent ? 0644 : 0604;
        QVERIFY(before == Absent || ::chmod(QFile::encodeName(path).constData(), 0604) == 0);
        // 027 clears a bit a new file must have and keeps one the lock must not have: the modes
        // below hold whatever the umask only if the writer sets them itself.
        const mode_t umaskBefore = ::umask(0027);
        const Status written = WriteIni(path, QStringLiteral("A"), key, value);
        ::umask(umaskBefore);
        QVERIFY(written.ok());
        QTEST(testsupport::readFile(path), "after");
        expectOnlyTheFileAndItsLock();
        QCOMPARE(modeOf(path), modeBefore); // a new file readable by all, a rewritten one as it was
        QCOMPARE(modeOf(path + QStringLiteral(".lock")), 0600);
    }

    // Links planted in the settings folder: one to nothing is never written through (the file
    // would appear where it points), the lock file is never a link; a link to a real settings file
    // is followed, and the link stays.
    void symbolicLinks()
    {
        const QString path = prepare(Absent);
        const QString lock = path + u".lock"_s;
        const QString elsewhere = m_dir.filePath(u"elsewhere"_s);
        QVERIFY(QFile::link(elsewhere + u"/settings"_s, path) && QFile::link(elsewhere + u"/lock"_s, lock));
        QVERIFY(QDir().mkdir(elsewhere));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"without its lock: it is a symbolic link"_s));
        const Status dangling = WriteIni(path, u"A"_s, u"k"_s, u"1"_s);
        QVERIFY2(!dangling.ok() && dangling.error().contains(u"symbolic link"_s),
                 qPrintable(dangling.error()));
        QCOMPARE(QDir(elsewhere).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());

        QFile::remove(lock);
        testsupport::writeFile(elsewhere + u"/settings"_s, "[A]\nk=0\n");
        QVERIFY(WriteIni(path, u"A"_s, u"k"_s, u"2"_s).ok());
        QCOMPARE(QFileInfo(path).symLinkTarget(), elsewhere + u"/settings"_s);
        QCOMPARE(testsupport::readFile(elsewhere + u"/settings"_s), QByteArray("[A]\nk=2\n"));
        QFile::remove(path);
        QDir(elsewhere).removeRecursively();
    }

    // A full disk (here: a file size limit, which fails write() the same way without root) must
    // leave the old file exactly as it was and report the failure.
    void fullDiskKeepsOldFile()
    {
        const QString path = prepare(counterFile(0));
        QProcess writer;
        writer.setChildProcessModifier([] {
            const rlimit limit{512, 512}; // smaller than the file
            ::setrlimit(RLIMIT_FSIZE, &limit);
            ::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of killing the writer
        });
        writer.start(QCoreApplication::applicationFilePath(), {"--count", path});
        QVERIFY(writer.waitForFinished(30000));
        QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
        QCOMPARE(writer.exitCode(), 1);
        QVERIFY(writer.readAllStandardOutput().isEmpty()); // no write claimed success
        QCOMPARE(testsupport::readFile(path), counterFile(0));
        expectOnlyTheFileAndItsLock();
    }

    // Another process that keeps the lock (a hung writer) delays a write by the bounded wait only;
    // the value is written all the same.
    void heldLockDelaysTheWriteOnlyBriefly()
    {
        const QString path = prepare("[Schema]\nShutDown=0\n");
        QProcess holder; // flock(1) holds the lock until its input closes
        holder.start(QStringLiteral("flock"), {path + ".lock", "sh", "-c", "echo ready; read line"});
        QVERIFY(holder.waitForReadyRead(10000));

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("without its lock")));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(WriteIni(path, key::ShutDown, QStringLiteral("1")).ok());
        const qint64 elapsed = clock.elapsed();
        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QVERIFY2(elapsed >= IniLockWait.count() && elapsed < IniLockWait.count() + 700,
                 qPrintable(QStringLiteral("the write took %1 ms").arg(elapsed)));
        QCOMPARE(ReadIni(path, key::ShutDown), QStringLiteral("1"));
    }

    void twoProcessesLoseNoKey()
    {
        QTemporaryDir dir(MemoryDir);
        const QString file = dir.filePath(QStringLiteral("UpsConfigure.ini"));
        const QStringList writers{u"a"_s, u"b"_s};
        bool lockless = false;
        for (QProcess* child :
             {startChild({"--write-keys", file, "a"}), startChild({"--write-keys", file, "b"})}) {
            QVERIFY(child->waitForFinished(50000));
            QVERIFY(child->exitStatus() == QProcess::NormalExit &&
                    (child->exitCode() == 0 || child->exitCode() == LocklessExit));
            lockless = lockless || child->exitCode() == LocklessExit;
        }
        for (const QString& writer : writers) {
            for (int i = 0; i < KeysPerWriter; ++i) {
                const QString value = ReadIni(file, u"Section%1"_s.arg(i % 5), writer + QString::number(i));
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
        QTemporaryDir dir(MemoryDir);
        const QString file = dir.filePath(QStringLiteral("UpsConfigure.ini"));
        testsupport::writeFile(file, counterFile(0));
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);

        for (int round = 0; round < 50; ++round) {
            // Kill after a random number of completed writes, in the middle of the next one or
            // between two.
            QProcess* writer = startChild({"--count", file});
            const int writesBeforeKill = random.bounded(1, 40);
            QByteArray reported;
            while (reported.count('\n') < writesBeforeKill) {
                QVERIFY2(writer->waitForReadyRead(10000), "the writer is stuck");
                reported += writer->readAll();
            }
            ::kill(static_cast<pid_t>(writer->processId()), SIGKILL);
            QVERIFY(writer->waitForFinished(10000));
            reported += writer->readAll();
            delete writer;

            // The write after the last report may have completed before the kill.
            const qint64 last = reported.trimmed().split('\n').constLast().toLongLong();
            const qint64 counter = ReadIni(file, u"Head"_s, u"Counter"_s).toLongLong();
            QVERIFY2(counter == last || counter == last + 1, qPrintable(QString::number(counter)));
            QCOMPARE(testsupport::readFile(file), counterFile(counter));
        }
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--write-keys") == 0)
        return child::writeKeys(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc == 3 && qstrcmp(argv[1], "--count") == 0)
        return child::countForever(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestIniFile test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_inifile.moc"
