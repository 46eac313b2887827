#include "platform/qt/SingleInstanceGuard.h"

#include <QDir>
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

// Another instance, in its own process (see guard_helper.cpp), killed by its process id at the end.
class OtherInstance : public QProcess
{
public:
    explicit OtherInstance(const QString& runtimeDir, const QStringList& guardedFolders = {})
    {
        start(QStringLiteral(GUARD_HELPER), QStringList{key, runtimeDir} + guardedFolders);
    }
    ~OtherInstance() override
    {
        kill();
        waitForFinished();
    }
};

} // namespace

class TestSingleInstanceGuard : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void crashedInstanceDoesNotBlockTheNextStart()
    {
        auto running = std::make_unique<OtherInstance>(m_dir.path());
        QVERIFY(running->waitForReadyRead(10000)); // "primary": it holds the lock
        QVERIFY(!SingleInstanceGuard(key, m_dir.path()).tryAcquire());

        running.reset(); // SIGKILL: no destructors, no clean-up, as in a crash
        auto next = std::make_unique<SingleInstanceGuard>(key, m_dir.path());
        const QString lockFile = next->lockFilePath();
        const QString socket = next->socketPath();
        QVERIFY(QFile::exists(lockFile) && QFile::exists(socket));
        QVERIFY(next->tryAcquire());

        // The leftover socket was replaced by a live one: a later instance knocks once and ends.
        QSignalSpy knocks(next.get(), &SingleInstanceGuard::messageReceived);
        OtherInstance later(m_dir.path());
        QVERIFY(later.waitForFinished(10000));
        QCOMPARE(later.exitCode(), 1);
        QTRY_COMPARE(knocks.size(), 1);
        QCOMPARE(knocks.at(0).at(0).toByteArray(), QByteArray("0x810"));

        // An orderly end leaves nothing behind and frees the place for the next start.
        next.reset();
        QVERIFY(!QFile::exists(lockFile) && !QFile::exists(socket));
        QVERIFY(SingleInstanceGuard(key, m_dir.path()).tryAcquire());
    }

    void withoutRuntimeDirectoryAnotherUserCannotBlock()
    {
        qunsetenv("XDG_RUNTIME_DIR");
        const QString fallback = m_dir.filePath(QStringLiteral("home/.cache/brevant"));
        const QString perUser = m_dir.filePath(QStringLiteral("brevant-%1").arg(::geteuid()));

        QCOMPARE(SingleInstanceGuard::privateRuntimeDirectory(m_dir.path(), fallback), perUser);
        QVERIFY(!(QFileInfo(perUser).permissions() & (QFile::ReadGroup | QFile::ReadOther)));

        // Another user planted the per-user directory, or opened it to others: it is not used.
        QVERIFY(QFile::setPermissions(perUser, QFile::Permissions(0x7777)));
        QCOMPARE(SingleInstanceGuard::privateRuntimeDirectory(m_dir.path(), fallback), fallback);
        if (::geteuid() == 0) {
            QVERIFY(QFile::setPermissions(perUser, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            QCOMPARE(::chown(QFile::encodeName(perUser).constData(), 65534, 65534), 0);
            QCOMPARE(SingleInstanceGuard::privateRuntimeDirectory(m_dir.path(), fallback), fallback);
        }
        QVERIFY(QFileInfo(fallback).isDir());
    }

    // A session with another XDG_RUNTIME_DIR (an ssh login, a second desktop) on the same settings
    // and records: the lock beside the files stops the second monitor, and only where the files are
    // shared.
    void oneMonitorPerFilesWhateverTheRuntimeDirectory()
    {
        const QString settings = m_dir.filePath(QStringLiteral("config"));
        const QString records = m_dir.filePath(QStringLiteral("data"));
        const QString otherRecords = m_dir.filePath(QStringLiteral("other-data"));
        QVERIFY(QDir().mkpath(otherRecords));
        auto running = std::make_unique<OtherInstance>(m_dir.filePath(QStringLiteral("run-a")),
                                                       QStringList{settings, records});
        QVERIFY(running->waitForReadyRead(10000)); // "primary"

        const QString runtimeB = m_dir.filePath(QStringLiteral("run-b"));
        const auto guardOf = [&](const QStringList& folders) {
            auto guard = std::make_unique<SingleInstanceGuard>(key, runtimeB);
            guard->guardFolders(folders);
            return guard;
        };
        QVERIFY(!guardOf({settings, otherRecords})->tryAcquire());
        QVERIFY(!guardOf({otherRecords, records})->tryAcquire());
        // The refused one let go of its runtime lock: the next start in that session is not knocked away.
        QVERIFY(guardOf({otherRecords})->tryAcquire());

        running.reset(); // killed: its folder locks are stale, not a block
        QVERIFY(guardOf({settings, records})->tryAcquire());
    }
};

QTEST_GUILESS_MAIN(TestSingleInstanceGuard)
#include "tst_singleinstanceguard.moc"
