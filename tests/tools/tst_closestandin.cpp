// close.exe stand-in: closes what close.conf lists (only processes this test started, under names
// no other program has), lists them in CloseApp.ini and hands the shutdown back.
#include "TestFiles.h"
#include "config/IniFile.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace brevant;

class TestCloseStandin : public QObject
{
    Q_OBJECT

    // Starts a harmless long-running program `instances` times under a name unique to this test
    // run; returns the name.
    QString startApp(const QString& role, int instances = 1)
    {
        const QString name = "bvt" + role + QString::number(QRandomGenerator::global()->generate(), 16);
        const QString path = m_dir->filePath(name);
        QFile::copy(QStringLiteral("/bin/sleep"), path); // a failure shows in the list
        for (int i = 0; i < instances; ++i) {
            m_apps.append(new QProcess(this));
            m_apps.last()->start(path, {QStringLiteral("300")});
            m_apps.last()->waitForStarted(5000);
        }
        return name;
    }
    // Runs close.exe; returns its standard error, or "failed" when it did not exit with `exitCode`.
    QByteArray runClose(int exitCode = 0)
    {
        QProcess close;
        close.setEnvironment(QProcess::systemEnvironment() << "BREVANT_APP_DIR=" + m_dir->path());
        close.start(testsupport::binDir() + QStringLiteral("/close.exe"), {});
        const bool exited = close.waitForFinished(30000) && close.exitStatus() == QProcess::NormalExit;
        return exited && close.exitCode() == exitCode ? close.readAllStandardError() : QByteArray("failed");
    }
    QString file(const char* name) const { return m_dir->filePath(QLatin1String(name)); }
    QString listed(QStringView section, const char* key) const
    {
        return ReadIni(file("CloseApp.ini"), section.toString(), QLatin1String(key));
    }
    // ShutDown, CloseAppFlag and SaveList, as the settings hold them.
    QStringList handOver() const
    {
        QStringList values;
        for (IniKey key : {key::ShutDown, key::CloseAppFlag, key::SaveList})
            values.append(ReadIni(file("UpsConfigure.ini"), key));
        return values;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QProcess*> m_apps;

private slots:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { qDeleteAll(std::exchange(m_apps, {})); } // each kills its program

    void closesListedAppsAndHandsOver()
    {
        const QString editor = startApp(QStringLiteral("ed"), 2);
        const QString viewer = startApp(QStringLiteral("vw"));
        startApp(QStringLiteral("by"));
        testsupport::writeFile(
            file("close.conf"),
            ("# closed before a shutdown\n" + editor + "\n\n  " + viewer + "  \n").toUtf8());
        QCOMPARE(runClose(), QByteArray());
        for (QProcess* closed : m_apps.mid(0, 3))
            QVERIFY(closed->state() == QProcess::NotRunning || closed->waitForFinished(5000));
        QCOMPARE(m_apps.last()->state(), QProcess::Running); // not listed
        QStringList names;
        for (const char* entry : {"1", "2", "3"})
            names.append(listed(closeapplist::AppNameSection, entry));
        names.sort();
        QCOMPARE(names, QStringList({editor, editor, viewer}));
        // The count, and the command line as the saved file.
        QCOMPARE(ReadIni(file("CloseApp.ini"), closeapplist::Count) +
                     listed(closeapplist::SavedFileSection, "3").right(4),
                 QStringLiteral("3 300"));
        QCOMPARE(handOver(), QStringList({"1", "1", "1"}));
    }

    void withNothingToCloseOnlyHandsOver()
    {
        QCOMPARE(runClose(), QByteArray());
        QCOMPARE(handOver() << QString::number(QFile::exists(file("CloseApp.ini"))),
                 QStringList({"1", "", "", "0"}));
    }

    // A list the monitor has not imported yet is extended; an imported one is replaced.
    void extendsAListNotYetImported()
    {
        for (const QString& flag : {QStringLiteral("1"), QStringLiteral("0")}) {
            testsupport::writeFile(file("CloseApp.ini"),
                                   "[CloseApp]\nCount=1\n1=earlier\n[Date]\n1=2024-01-01\n"
                                   "[Time]\n1=10:00:00\n[SaveAppFileName]\n1=/home/u/a.odt\n");
            QVERIFY(WriteIni(file("UpsConfigure.ini"), key::CloseAppFlag, flag).ok());
            const QString app = startApp(QStringLiteral("ap"));
            testsupport::writeFile(file("close.conf"), app.toUtf8());
            QCOMPARE(runClose(), QByteArray());
            QCOMPARE(QStringList({ReadIni(file("CloseApp.ini"), closeapplist::Count),
                                  listed(closeapplist::AppNameSection, "1"), handOver()[1]}),
                     QStringList({flag == u"1" ? "2" : "1", flag == u"1" ? "earlier" : app, "1"}));
        }
    }

    // A close.exe that could not hand the shutdown over must say so: the monitor and the
    // administrator see an exit code and a reason, never a silent success.
    void failsLoudlyWhenTheHandOverIsNotWritten()
    {
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("UpsConfigure.ini"))); // no write can replace it
        const QByteArray errors = runClose(1);
        QVERIFY2(errors.contains("hand-over was not written"), errors.constData());
    }
};

QTEST_GUILESS_MAIN(TestCloseStandin)
#include "tst_closestandin.moc"
