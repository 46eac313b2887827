#include "platform/qt/SingleInstanceGuard.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <unistd.h>

using namespace brevant;

namespace {

const QString key = QStringLiteral("Brevant");

// Another instance, in its own process (see guard_helper.cpp).
class OtherInstance
{
public:
    explicit OtherInstance(const QString& runtimeDir)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(GUARD_HELPER), {key, runtimeDir});
    }
    ~OtherInstance()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    QByteArray nextLine()
    {
        const QDeadlineTimer deadline(10000);
        while (!m_process.canReadLine() && !deadline.hasExpired())
            m_process.waitForReadyRead(int(deadline.remainingTime()));
        return m_process.readLine().trimmed();
    }

    // Ends it the way a crash would: no destructors, no clean-up.
    void crash()
    {
        m_process.kill();
        QVERIFY(m_process.waitForFinished());
    }

    int exitCode()
    {
        if (!m_process.waitForFinished(10000))
            return -1;
        return m_process.exitCode();
    }

private:
    QProcess m_process;
};

} // namespace

class TestSingleInstanceGuard : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void laterInstanceKnocksOnceAndEnds();
    void crashedInstanceDoesNotBlockTheNextStart();
    void withoutRuntimeDirectoryAnotherUserCannotBlock();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSingleInstanceGuard::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSingleInstanceGuard::laterInstanceKnocksOnceAndEnds()
{
    auto first = std::make_unique<SingleInstanceGuard>(key, m_dir->path());
    QVERIFY(first->tryAcquire());
    QSignalSpy knocks(first.get(), &SingleInstanceGuard::messageReceived);

    OtherInstance later(m_dir->path());
    QCOMPARE(later.nextLine(), QByteArray("secondary"));
    QCOMPARE(later.exitCode(), 1);
    QTRY_COMPARE(knocks.size(), 1);
    QCOMPARE(knocks.at(0).at(0).toByteArray(), QByteArray("0x810"));

    // An orderly end leaves nothing behind and frees the place for the next start.
    const QString lockFile = first->lockFilePath();
    const QString socket = first->socketPath();
    first.reset();
    QVERIFY(!QFile::exists(lockFile));
    QVERIFY(!QFile::exists(socket));
    QVERIFY(SingleInstanceGuard(key, m_dir->path()).tryAcquire());
}

void TestSingleInstanceGuard::crashedInstanceDoesNotBlockTheNextStart()
{
    OtherInstance running(m_dir->path());
    QCOMPARE(running.nextLine(), QByteArray("primary"));
    {
        // The lock is held for days: its age must not make a live holder's lock look stale.
        QFile lockFile(SingleInstanceGuard(key, m_dir->path()).lockFilePath());
        QVERIFY(lockFile.open(QIODevice::ReadWrite));
        QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addDays(-3),
                                     QFileDevice::FileModificationTime));
    }
    {
        SingleInstanceGuard refused(key, m_dir->path());
        QVERIFY(!refused.tryAcquire());
    }
    QCOMPARE(running.nextLine(), QByteArray("message 0x810"));

    running.crash();
    SingleInstanceGuard next(key, m_dir->path());
    QVERIFY(QFile::exists(next.lockFilePath()));
    QVERIFY(QFile::exists(next.socketPath()));
    QVERIFY(next.tryAcquire());

    // The leftover socket was replaced by a live one.
    QSignalSpy knocks(&next, &SingleInstanceGuard::messageReceived);
    OtherInstance later(m_dir->path());
    QCOMPARE(later.nextLine(), QByteArray("secondary"));
    QTRY_COMPARE(knocks.size(), 1);
}

void TestSingleInstanceGuard::withoutRuntimeDirectoryAnotherUserCannotBlock()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    const QString fallback = m_dir->filePath(QStringLiteral("home/.cache/brevant"));
    const QString perUser = m_dir->filePath(QStringLiteral("brevant-%1").arg(::geteuid()));

    QCOMPARE(SingleInstanceGuard::privateRuntimeDirectory(m_dir->path(), fallback), perUser);
    QCOMPARE(QFileInfo(perUser).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());

    // Another user planted the per-user directory, or opened it to others: it is not used.
    QVERIFY(QFile::setPermissions(perUser, QFile::Permissions(0x7777)));
    QCOMPARE(SingleInstanceGuard::privateRuntimeDirectory(m_dir->path(), fallback), fallback);
    if (::geteuid() == 0) {
        QVERIFY(QFile::setPermissions(perUser, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(::chown(QFile::encodeName(perUser).constData(), 65534, 65534), 0);
        QCOMPARE(SingleInstanceGuard::privateRuntimeDirectory(m_dir->path(), fallback), fallback);
    }
    QVERIFY(QFileInfo(fallback).isDir());
    qputenv("XDG_RUNTIME_DIR", runtime);
}

QTEST_GUILESS_MAIN(TestSingleInstanceGuard)
#include "tst_singleinstanceguard.moc"
