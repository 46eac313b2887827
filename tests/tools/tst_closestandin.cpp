// close.exe stand-in: closes what close.conf lists (only processes this test started, under names
// no other program has), lists them in CloseApp.ini and hands the shutdown back.
#include "TestFiles.h"
#include "config/IniFile.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using namespace brevant;

class TestCloseStandin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void closesListedAppsAndHandsOver();
    void withNothingToCloseOnlyHandsOver();
    void extendsAListNotYetImported_data();
    void extendsAListNotYetImported();
    void failsLoudly_data();
    void failsLoudly();

private:
    // A harmless long-running program under a name unique to this test run.
    QString makeApp(const QString& role);
    QProcess* startApp(const QString& program);
    void runClose(const QStringList& arguments = {}, int exitCode = 0);
    QString settingsFile() const { return m_dir->filePath(QStringLiteral("UpsConfigure.ini")); }
    QString listFile() const { return m_dir->filePath(QStringLiteral("CloseApp.ini")); }
    QString settings(brevant::IniKey key) const { return brevant::ReadIni(settingsFile(), key); }
    QString listed(QStringView section, const QString& key) const
    {
        return brevant::ReadIni(listFile(), section.toString(), key);
    }

    QByteArray m_stderr;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_apps;
};

void TestCloseStandin::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestCloseStandin::cleanup()
{
    for (auto& app : m_apps) {
        app->kill();
        app->waitForFinished(5000);
    }
    m_apps.clear();
}

QString TestCloseStandin::makeApp(const QString& role)
{
    const QString name =
        QStringLiteral("bvt%1%2").arg(role).arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    const QString path = m_dir->filePath(name);
    if (!QFile::copy(QStringLiteral("/bin/sleep"), path))
        return {};
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QProcess* TestCloseStandin::startApp(const QString& program)
{
    auto app = std::make_unique<QProcess>();
    app->start(program, {QStringLiteral("300")});
    app->waitForStarted(5000);
    m_apps.push_back(std::move(app));
    return m_apps.back().get();
}

void TestCloseStandin::runClose(const QStringList& arguments, int exitCode)
{
    QProcess close;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("BREVANT_APP_DIR"), m_dir->path());
    close.setProcessEnvironment(environment);
    close.start(testsupport::binDir() + QStringLiteral("/close.exe"), arguments);
    QVERIFY(close.waitForFinished(30000));
    m_stderr = close.readAllStandardError();
    QCOMPARE(close.exitStatus(), QProcess::NormalExit);
    QCOMPARE(close.exitCode(), exitCode);
}

void TestCloseStandin::closesListedAppsAndHandsOver()
{
    const QString editor = makeApp(QStringLiteral("ed"));
    const QString viewer = makeApp(QStringLiteral("vw"));
    const QString bystander = makeApp(QStringLiteral("by"));
    QVERIFY(!editor.isEmpty() && !viewer.isEmpty() && !bystander.isEmpty());
    const QString editorName = QFileInfo(editor).fileName();
    const QString viewerName = QFileInfo(viewer).fileName();
    testsupport::writeFile(
        m_dir->filePath(QStringLiteral("close.conf")),
        ("# closed before a shutdown\n" + editorName + "\n\n  " + viewerName + "  \n").toUtf8());
    QProcess* editors[] = {startApp(editor), startApp(editor)};
    QProcess* viewerApp = startApp(viewer);
    QProcess* bystanderApp = startApp(bystander);

    runClose();

    for (QProcess* closed : {editors[0], editors[1], viewerApp}) {
        QVERIFY(closed->state() == QProcess::NotRunning || closed->waitForFinished(5000));
        QCOMPARE(closed->exitStatus(), QProcess::CrashExit);
    }
    QCOMPARE(bystanderApp->state(), QProcess::Running);

    QCOMPARE(ReadIni(listFile(), closeapplist::Count), QStringLiteral("3"));
    QStringList names;
    for (const char16_t* key : {u"1", u"2", u"3"})
        names << listed(closeapplist::AppNameSection, QString::fromUtf16(key));
    QCOMPARE(listed(closeapplist::DateSection, QStringLiteral("3")),
             QDate::currentDate().toString(Qt::ISODate));
    QVERIFY(listed(closeapplist::SavedFileSection, QStringLiteral("3")).endsWith(QStringLiteral(" 300")));
    names.sort();
    QCOMPARE(names, QStringList({editorName, editorName, viewerName}));
    QCOMPARE(settings(key::CloseAppFlag), QStringLiteral("1"));
    QCOMPARE(settings(key::SaveList), QStringLiteral("1"));
    QCOMPARE(settings(key::ShutDown), QStringLiteral("1"));
}

void TestCloseStandin::withNothingToCloseOnlyHandsOver()
{
    runClose();
    QCOMPARE(settings(key::ShutDown), QStringLiteral("1"));
    QCOMPARE(settings(key::CloseAppFlag), QString());
    QCOMPARE(settings(key::SaveList), QString());
    QVERIFY(!QFile::exists(listFile()));
}

void TestCloseStandin::extendsAListNotYetImported_data()
{
    QTest::addColumn<QString>("flagBefore");
    QTest::addColumn<QString>("count");
    QTest::addColumn<bool>("earlierEntryKept");
    QTest::newRow("not imported yet: extended") << "1"
                                                << "2" << true;
    QTest::newRow("already imported: replaced") << "0"
                                                << "1" << false;
}

void TestCloseStandin::extendsAListNotYetImported()
{
    QFETCH(QString, flagBefore);
    testsupport::writeFile(listFile(),
                           "[CloseApp]\nCount=1\n1=earlier\n[Date]\n1=2024-01-01\n[Time]\n1=10:00:00\n"
                           "[SaveAppFileName]\n1=/home/u/report.odt\n");
    QVERIFY(brevant::WriteIni(settingsFile(), key::CloseAppFlag, flagBefore).ok());
    const QString app = makeApp(QStringLiteral("ap"));
    testsupport::writeFile(m_dir->filePath(QStringLiteral("close.conf")), QFileInfo(app).fileName().toUtf8());
    startApp(app);

    runClose();

    QTEST(ReadIni(listFile(), closeapplist::Count), "count");
    QFETCH(bool, earlierEntryKept);
    QCOMPARE(listed(closeapplist::AppNameSection, QStringLiteral("1")) == QStringLiteral("earlier"),
             earlierEntryKept);
    QCOMPARE(settings(key::CloseAppFlag), QStringLiteral("1"));
}

// A close.exe that could not hand the shutdown over, or was started wrongly, must say so: the
// monitor and the administrator see an exit code and a reason, never a silent success.
void TestCloseStandin::failsLoudly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("settingsWritable");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("stray option") << QStringList{QStringLiteral("--now")} << true << 2
                                  << QByteArray("Unknown option 'now'");
    QTest::newRow("hand-over not written")
        << QStringList{} << false << 1 << QByteArray("hand-over was not written");
}

void TestCloseStandin::failsLoudly()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, settingsWritable);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, reason);
    if (!settingsWritable) // a directory in its place: no write can succeed, not even as root
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("UpsConfigure.ini")));

    runClose(arguments, exitCode);
    QVERIFY2(m_stderr.contains(reason), m_stderr.constData());
    if (settingsWritable)
        QCOMPARE(settings(key::ShutDown), QString());
}

QTEST_GUILESS_MAIN(TestCloseStandin)
#include "tst_closestandin.moc"
