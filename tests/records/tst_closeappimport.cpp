// The save-list import of CloseApp.ini: all entries or none, and never twice, even when the process
// is killed at any point of it. The kills are exact: the sync shim (preloaded by the test's
// environment, and so into its children) kills the importing child at a chosen write or sync of
// the database's log.
#include "config/IniFile.h"
#include "config/Settings.h"
#include "records/RecordStore.h"
#include "shutdown/SaveListController.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <dlfcn.h>

using namespace brevant;

namespace {

constexpr const char* ImportChildFlag = "--import";
constexpr int Entries = 8000;

struct AppDir
{
    explicit AppDir(const QString& path)
        : settings(path + u"/UpsConfigure.ini")
        , records(path + u"/EventRecord.mdb", path + u"/CloseAppRecord.mdb")
        , list(path + u"/CloseApp.ini")
    {}

    Settings settings;
    RecordStore records;
    QString list;
};

// Child: one start's import; prints the number of rows it added.
int runImportChild(const QString& dir)
{
    AppDir app(dir);
    if (!app.records.open())
        return 3;
    SaveListController controller(app.settings, app.records, app.list);
    std::printf("%d\n", controller.ImportClosedApps());
    return 0;
}

// A list as close.exe writes it, entries named "<tag><i>".
QByteArray closeAppList(int entries, const QByteArray& tag)
{
    QByteArray sections[4] = {"[CloseApp]\nCount=" + QByteArray::number(entries) + '\n', "[Date]\n",
                              "[Time]\n", "[SaveAppFileName]\n"};
    for (int i = 1; i <= entries; ++i) {
        const QByteArray key = QByteArray::number(i) + '=';
        sections[0] += key + tag + QByteArray::number(i) + '\n';
        sections[1] += key + "2026-12-01\n";
        sections[2] += key + "10:00:00\n";
        sections[3] += key + "/home/user/" + tag + QByteArray::number(i) + ".odt\n";
    }
    return sections[0] + sections[1] + sections[2] + sections[3];
}

} // namespace

class TestCloseAppImport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void importsOnceEach_data();
    void importsOnceEach();
    void killedImportNeverImportsTwice_data();
    void killedImportNeverImportsTwice();

private:
    void prepare(const QByteArray& list);
    int import();
    QStringList appNames();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<AppDir> m_app;
};

void TestCloseAppImport::init()
{
    m_app.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_app = std::make_unique<AppDir>(m_dir->path());
    QVERIFY(m_app->records.open()); // the child then finds the databases made
}

void TestCloseAppImport::prepare(const QByteArray& list)
{
    QFile file(m_app->list);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(list) == list.size());
    file.close();
    QVERIFY(m_app->settings.write(key::CloseAppFlag, QStringLiteral("1")).ok());
}

int TestCloseAppImport::import()
{
    SaveListController controller(m_app->settings, m_app->records, m_app->list);
    return controller.ImportClosedApps();
}

QStringList TestCloseAppImport::appNames()
{
    QStringList names;
    for (const QStringList& row : m_app->records.rows(RecordTableId::CloseApp))
        names.append(row.value(2));
    return names;
}

void TestCloseAppImport::importsOnceEach_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second"); // flagged after the first import
    QTest::addColumn<QStringList>("imported");

    const QByteArray list = closeAppList(2, "a");
    QTest::newRow("same list flagged again") << list << list << QStringList{"a1", "a2"};
    QTest::newRow("new list") << list << closeAppList(1, "b") << QStringList{"a1", "a2", "b1"};
}

void TestCloseAppImport::importsOnceEach()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    prepare(first);
    import();
    prepare(second);
    import();
    QTEST(appNames(), "imported");
    QCOMPARE(m_app->settings.read(key::CloseAppFlag), QStringLiteral("0"));
}

void TestCloseAppImport::killedImportNeverImportsTwice_data()
{
    QTest::addColumn<QString>("killAt");
    QTest::addColumn<int>("rowsAfterKill");
    QTest::newRow("at the first write of the commit") << "CloseAppRecord.mdb-wal:write:1" << 0;
    QTest::newRow("in the middle of the commit") << "CloseAppRecord.mdb-wal:write:100" << 0;
    // The new settings file is written beside the old one before it replaces it.
    QTest::newRow("after the commit, writing the flag") << "UpsConfigure.ini.:write:1" << Entries;
}

void TestCloseAppImport::killedImportNeverImportsTwice()
{
    QFETCH(QString, killAt);
    QFETCH(int, rowsAfterKill);
    QVERIFY2(dlsym(RTLD_DEFAULT, "brevant_syncshim_active"), "run with LD_PRELOAD=libsyncshim.so");
    prepare(closeAppList(Entries, "app"));
    m_app->records.close();

    for (const QString& kill : {killAt, QString()}) {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("BREVANT_SYNCSHIM_KILL_AT"), kill);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QLatin1String(ImportChildFlag), m_dir->path()});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), kill.isEmpty() ? QProcess::NormalExit : QProcess::CrashExit);
        if (!kill.isEmpty()) {
            QVERIFY(m_app->records.open());
            QCOMPARE(m_app->records.recordCount(RecordTableId::CloseApp), rowsAfterKill);
            m_app->records.close();
            QCOMPARE(m_app->settings.read(key::CloseAppFlag), QStringLiteral("1"));
        } else {
            QCOMPARE(child.exitCode(), 0);
            QCOMPARE(child.readAllStandardOutput().trimmed().toInt(), Entries - rowsAfterKill);
        }
    }

    QVERIFY(m_app->records.open());
    const QStringList names = appNames();
    QCOMPARE(names.size(), Entries);
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), Entries);
    QCOMPARE(m_app->settings.read(key::CloseAppFlag), QStringLiteral("0"));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], ImportChildFlag) == 0)
        return runImportChild(QString::fromLocal8Bit(argv[2]));
    TestCloseAppImport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_closeappimport.moc"
