// A record committed moments before the machine goes down must be there afterwards. The child
// mode of this executable appends records and reports each one after appendRecord() returned;
// it is killed with SIGKILL at that moment, and the parent checks the reopened database.
#include "records/RecordStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstring>

using namespace brevant;

namespace {

constexpr const char* ChildFlag = "--append-child";

QString eventFile(const QString& dir)
{
    return dir + u"/EventRecord.mdb";
}

QString closeAppFile(const QString& dir)
{
    return dir + u"/CloseAppRecord.mdb";
}

// Appends "<first>", "<first + 1>", ... and prints each number once its append has returned. With
// `stopAfterFirst` it kills itself right after the first append.
int runChild(const QString& dir, int first, bool stopAfterFirst)
{
    RecordStore store(eventFile(dir), closeAppFile(dir));
    if (!store.open())
        return 2;
    for (int i = first; i < first + 100000; ++i) {
        if (!store.appendRecord(RecordTableId::Log, QString::number(i)))
            return 3;
        if (stopAfterFirst)
            std::raise(SIGKILL);
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

class RecordCrashTest : public QObject
{
    Q_OBJECT

private slots:
    void killedRightAfterAppend();
    void killedWhileAppending_data();
    void killedWhileAppending();

private:
    QProcess* startChild(int first, bool stopAfterFirst);
    void verifyStore(int lastCommitted);

    QTemporaryDir m_dir;
};

QProcess* RecordCrashTest::startChild(int first, bool stopAfterFirst)
{
    auto* child = new QProcess(this);
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(),
                 {QLatin1String(ChildFlag), m_dir.path(), QString::number(first),
                  stopAfterFirst ? QStringLiteral("stop") : QStringLiteral("run")});
    return child;
}

void RecordCrashTest::verifyStore(int lastCommitted)
{
    RecordStore store(eventFile(m_dir.path()), closeAppFile(m_dir.path()));
    QVERIFY(store.open());
    const QList<QStringList> rows = store.rows(RecordTableId::Log);
    QVERIFY(!rows.isEmpty());
    QVERIFY2(rows.constLast().value(2).toInt() >= lastCommitted, qPrintable(rows.constLast().value(2)));
    for (qsizetype i = 1; i < rows.size(); ++i)
        QCOMPARE(rows[i].value(2).toInt(), rows[i - 1].value(2).toInt() + 1);

    QSqlQuery check(QSqlDatabase::database(store.connectionName(RecordTableId::Log)));
    QVERIFY(check.exec(QStringLiteral("PRAGMA integrity_check")) && check.next());
    QCOMPARE(check.value(0).toString(), QStringLiteral("ok"));
}

void RecordCrashTest::killedRightAfterAppend()
{
    QVERIFY(m_dir.isValid());
    QProcess* child = startChild(1, true);
    QVERIFY(child->waitForFinished(30000));
    QCOMPARE(child->exitStatus(), QProcess::CrashExit);
    verifyStore(1);
}

void RecordCrashTest::killedWhileAppending_data()
{
    QTest::addColumn<int>("reportsBeforeKill");
    QTest::newRow("after 1") << 1;
    QTest::newRow("after 4") << 4;
    QTest::newRow("after 9") << 9;
}

void RecordCrashTest::killedWhileAppending()
{
    QFETCH(int, reportsBeforeKill);

    RecordStore before(eventFile(m_dir.path()), closeAppFile(m_dir.path()));
    QVERIFY(before.open());
    const QList<QStringList> existing = before.rows(RecordTableId::Log);
    const int first = existing.isEmpty() ? 1 : existing.constLast().value(2).toInt() + 1;
    before.close();

    QProcess* child = startChild(first, false);
    QStringList reported;
    const QDeadlineTimer deadline(30000);
    while (reported.size() < reportsBeforeKill && !deadline.hasExpired()) {
        if (!child->canReadLine() && !child->waitForReadyRead(int(deadline.remainingTime())))
            break;
        while (child->canReadLine())
            reported.append(QString::fromLatin1(child->readLine()).trimmed());
    }
    child->kill(); // SIGKILL
    QVERIFY(child->waitForFinished(30000));
    QVERIFY2(reported.size() >= reportsBeforeKill, "the child stopped reporting");
    verifyStore(reported.constLast().toInt());
}

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], ChildFlag) == 0) {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt(),
                        std::strcmp(argv[4], "stop") == 0);
    }
    QCoreApplication app(argc, argv);
    RecordCrashTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordcrash.moc"
