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

class CloseStandinTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void closesListedAppsAndHandsOver();
    void withNothingToCloseOnlyHandsOver();
    void extendsAListNotYetImported_data();
    void extendsAListNotYetImported();

private:
    // A harmless long-running program under a name unique to this test run.
    QString makeApp(const QString& role);
    QProcess* startApp(const QString& program);
    void runClose();
    QString settings(const QString& key) const
    {
        return brevant::ReadIni(m_dir->filePath(QStringLiteral("UpsConfigure.ini")), QStringLiteral("Schema"),
                                key);
    }
    QString listed(const QString& section, const QString& key) const
    {
        return brevant::ReadIni(m_dir->filePath(QStringLiteral("CloseApp.ini")), section, key);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::unique_ptr<QProcess>> m_apps;
};

void CloseStandinTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void CloseStandinTest::cleanup()
{
    for (auto& app : m_apps) {
        app->kill();
        app->waitForFinished(5000);
    }
    m_apps.clear();
}

QString CloseStandinTest::makeApp(const QString& role)
{
    const QString name =
        QStringLiteral("bvt%1%2").arg(role).arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    const QString path = m_dir->filePath(name);
    if (!QFile::copy(QStringLiteral("/bin/sleep"), path))
        return {};
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QProcess* CloseStandinTest::startApp(const QString& program)
{
    auto app = std::make_unique<QProcess>();
    app->start(program, {QStringLiteral("300")});
    app->waitForStarted(5000);
    m_apps.push_back(std::move(app));
    return m_apps.back().get();
}

void CloseStandinTest::runClose()
{
    QProcess close;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("BREVANT_APP_DIR"), m_dir->path());
    close.setProcessEnvironment(environment);
    close.start(testsupport::binDir() + QStringLiteral("/close.exe"), {});
    QVERIFY(close.waitForFinished(30000));
    QCOMPARE(close.exitStatus(), QProcess::NormalExit);
    QCOMPARE(close.exitCode(), 0);
}

void CloseStandinTest::closesListedAppsAndHandsOver()
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

    QCOMPARE(listed(QStringLiteral("CloseApp"), QStringLiteral("Count")), QStringLiteral("3"));
    QStringList names;
    for (int i = 1; i <= 3; ++i) {
        const QString key = QString::number(i);
        names << listed(QStringLiteral("CloseApp"), key);
        QCOMPARE(listed(QStringLiteral("Date"), key), QDate::currentDate().toString(Qt::ISODate));
        QVERIFY(QTime::fromString(listed(QStringLiteral("Time"), key), QStringLiteral("HH:mm:ss")).isValid());
        QVERIFY(listed(QStringLiteral("SaveAppFileName"), key).endsWith(QStringLiteral(" 300")));
    }
    names.sort();
    QCOMPARE(names, QStringList({editorName, editorName, viewerName}));
    QCOMPARE(settings(QStringLiteral("CloseAppFlag")), QStringLiteral("1"));
    QCOMPARE(settings(QStringLiteral("SaveList")), QStringLiteral("1"));
    QCOMPARE(settings(QStringLiteral("ShutDown")), QStringLiteral("1"));
}

void CloseStandinTest::withNothingToCloseOnlyHandsOver()
{
    runClose();
    QCOMPARE(settings(QStringLiteral("ShutDown")), QStringLiteral("1"));
    QCOMPARE(settings(QStringLiteral("CloseAppFlag")), QString());
    QCOMPARE(settings(QStringLiteral("SaveList")), QString());
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("CloseApp.ini"))));
}

void CloseStandinTest::extendsAListNotYetImported_data()
{
    QTest::addColumn<QString>("flagBefore");
    QTest::addColumn<QString>("count");
    QTest::addColumn<bool>("earlierEntryKept");
    QTest::newRow("not imported yet: extended") << "1"
                                                << "2" << true;
    QTest::newRow("already imported: replaced") << "0"
                                                << "1" << false;
}

void CloseStandinTest::extendsAListNotYetImported()
{
    QFETCH(QString, flagBefore);
    const QString list = m_dir->filePath(QStringLiteral("CloseApp.ini"));
    testsupport::writeFile(list, "[CloseApp]\nCount=1\n1=earlier\n[Date]\n1=2024-01-01\n[Time]\n1=10:00:00\n"
                                 "[SaveAppFileName]\n1=/home/u/report.odt\n");
    brevant::WriteIni(m_dir->filePath(QStringLiteral("UpsConfigure.ini")), QStringLiteral("Schema"),
                      QStringLiteral("CloseAppFlag"), flagBefore);
    const QString app = makeApp(QStringLiteral("ap"));
    testsupport::writeFile(m_dir->filePath(QStringLiteral("close.conf")), QFileInfo(app).fileName().toUtf8());
    startApp(app);

    runClose();

    QTEST(listed(QStringLiteral("CloseApp"), QStringLiteral("Count")), "count");
    QFETCH(bool, earlierEntryKept);
    QCOMPARE(listed(QStringLiteral("CloseApp"), QStringLiteral("1")) == QStringLiteral("earlier"),
             earlierEntryKept);
    QCOMPARE(settings(QStringLiteral("CloseAppFlag")), QStringLiteral("1"));
}

QTEST_GUILESS_MAIN(CloseStandinTest)
#include "tst_CloseStandin.moc"
