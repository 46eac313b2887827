#include "MemoryTempDir.h"
#include "config/IniFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <cstdio>
#include <memory>

using namespace brevant;

namespace {

constexpr int KeysPerWriter = 2000;
constexpr int Sections = 5;

QString sectionOf(int i)
{
    return QStringLiteral("Section%1").arg(i % Sections);
}
QString keyOf(const QString& writer, int i)
{
    return writer + QString::number(i);
}
QString valueOf(const QString& writer, int i)
{
    return writer + u'-' + QString::number(i * 7);
}

// Child: announces itself, waits for the start line so that both writers run at once, then
// writes its keys. Exit code 1 when a write failed.
int runWriter(const QString& file, const QString& writer)
{
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return 2;
    for (int i = 0; i < KeysPerWriter; ++i) {
        if (!WriteIni(file, sectionOf(i), keyOf(writer, i), valueOf(writer, i)).ok())
            return 1;
    }
    return 0;
}

} // namespace

class ConcurrentWritersTest : public QObject
{
    Q_OBJECT

private slots:
    void twoProcessesLoseNoKey()
    {
        // Syncs to a loaded disk would dominate the run time; what is tested here is the locking
        // and the rename, which behave the same in memory.
        const auto dir = configtest::memoryTempDir();
        const QString file = dir->filePath(QStringLiteral("UpsConfigure.ini"));
        const QStringList writers{QStringLiteral("a"), QStringLiteral("b")};
        std::vector<std::unique_ptr<QProcess>> children;
        for (const QString& writer : writers) {
            auto child = std::make_unique<QProcess>();
            child->start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write"), file, writer});
            QVERIFY2(child->waitForStarted(), qPrintable(child->errorString()));
            children.push_back(std::move(child));
        }
        for (auto& child : children) {
            while (!child->canReadLine())
                QVERIFY(child->waitForReadyRead(10000));
            QCOMPARE(child->readLine(), QByteArray("ready\n"));
        }
        QElapsedTimer clock;
        clock.start();
        for (auto& child : children) {
            child->write("go\n");
            QVERIFY(child->waitForBytesWritten(10000)); // else the line waits for the event loop
        }
        for (auto& child : children) {
            QVERIFY(child->waitForFinished(50000));
            QCOMPARE(child->exitStatus(), QProcess::NormalExit);
            QCOMPARE(child->exitCode(), 0);
        }
        qInfo("%d writes by two processes took %lld ms", 2 * KeysPerWriter, clock.elapsed());

        for (const QString& writer : writers) {
            for (int i = 0; i < KeysPerWriter; ++i)
                QCOMPARE(ReadIni(file, sectionOf(i), keyOf(writer, i)), valueOf(writer, i));
        }
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--write") == 0)
        return runWriter(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    QCoreApplication app(argc, argv);
    ConcurrentWritersTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_concurrentwriters.moc"
