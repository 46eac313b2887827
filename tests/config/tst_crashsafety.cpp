#include "MemoryTempDir.h"
#include "TestFiles.h"
#include "config/IniFile.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <csignal>
#include <cstdio>

using namespace brevant;

namespace {

constexpr int Rounds = 50;
constexpr int OtherKeys = 40;

// The whole file as it must be after the counter reached `counter`: every write replaces one
// line in place, so the expected bytes are known exactly.
QByteArray expectedFile(qint64 counter)
{
    QByteArray text =
        "; written by the crash test\r\n[Head]\r\nCounter=" + QByteArray::number(counter) + "\r\n";
    for (int i = 0; i < OtherKeys; ++i)
        text += "Key" + QByteArray::number(i) + '=' + QByteArray(40, char('a' + i % 26)) + "\r\n";
    return text;
}

// Child: increments the counter for ever and reports every completed write on stdout.
int runWriteLoop(const QString& file)
{
    const QString section = QStringLiteral("Head");
    const QString key = QStringLiteral("Counter");
    for (qint64 counter = ReadIni(file, section, key).toLongLong() + 1;; ++counter) {
        if (!WriteIni(file, section, key, QString::number(counter)).ok())
            return 1;
        std::printf("%lld\n", counter);
        std::fflush(stdout);
    }
}

} // namespace

class CrashSafetyTest : public QObject
{
    Q_OBJECT

private slots:
    void killedWriterLeavesWholeFile()
    {
        // Syncs to a loaded disk would dominate the run time; what is tested here is the locking
        // and the rename, which behave the same in memory.
        const auto dir = configtest::memoryTempDir();
        const QString file = dir->filePath(QStringLiteral("UpsConfigure.ini"));
        testsupport::writeFile(file, expectedFile(0));
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);

        for (int round = 0; round < Rounds; ++round) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--loop"), file});
            QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
            // Kill after a random number of completed writes, while the child is in the middle
            // of the next one or between two.
            const int writesBeforeKill = random.bounded(1, 40);
            qint64 lastReported = -1;
            for (int reported = 0; reported < writesBeforeKill;) {
                if (!child.canReadLine()) {
                    QVERIFY2(child.waitForReadyRead(10000), "the writer reports no progress");
                    continue;
                }
                lastReported = child.readLine().trimmed().toLongLong();
                ++reported;
            }
            ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
            QVERIFY(child.waitForFinished(10000));
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
            for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
                if (!line.isEmpty())
                    lastReported = line.toLongLong();
            }

            const QByteArray text = testsupport::readFile(file);
            const qint64 counter =
                ReadIni(file, QStringLiteral("Head"), QStringLiteral("Counter")).toLongLong();
            // The write after the last report may have completed before the kill.
            QVERIFY2(counter == lastReported || counter == lastReported + 1,
                     qPrintable(QStringLiteral("round %1: file holds %2, last completed write %3")
                                    .arg(round)
                                    .arg(counter)
                                    .arg(lastReported)));
            QCOMPARE(text, expectedFile(counter));
        }
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--loop") == 0)
        return runWriteLoop(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    CrashSafetyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crashsafety.moc"
