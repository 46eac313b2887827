#include "InstallLayout.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <sys/stat.h>

using namespace brevant;

// The build as `cmake --install` lays it out in a staging root: every file in its place with its
// mode, the desktop files and metainfo as the desktop's own validators see them, a help that
// needs nothing from outside, and programs that answer --help and --version.
class TestInstallLayout : public QObject
{
    Q_OBJECT

private slots:
    void everyFileIsInItsPlace_data();
    void everyFileIsInItsPlace();
    void onlyTheProgramsAreOnThePath();
    void validatorsAcceptTheDesktopFiles_data();
    void validatorsAcceptTheDesktopFiles();
    void helpNeedsNothingFromOutside();
    void everyProgramAnswersHelpAndVersion_data();
    void everyProgramAnswersHelpAndVersion();

private:
    // "@" is the staged prefix, "%" the staged configuration directory (/etc for a package).
    static QString staged(QString path)
    {
        return path.replace(u'@', QStringLiteral(STAGE_PREFIX))
            .replace(u'%', QStringLiteral(STAGE_SYSCONFDIR));
    }
    static QString in(const char* relative) { return QStringLiteral("@/") + QLatin1StringView(relative); }
};

void TestInstallLayout::everyFileIsInItsPlace_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("mode");
    const QString lib = in(build::PrivateLibDir);
    const QString doc = in(DOCDIR);
    const QString man = in(MANDIR) + QStringLiteral("/man1/");
    const QString app = QStringLiteral(APP_ID);
    const QList<QPair<QString, int>> files{
        {"@/bin/brevant", 0755},
        {"@/bin/brevant-drill", 0755},
        {"@/bin/halvic-sim", 0755},
        {lib + "/close.exe", 0755},
        {lib + "/libHalvic.so", 0644},
        {"@/share/applications/" + app + ".desktop", 0644},
        {"%/xdg/autostart/" + app + ".desktop", 0644},
        {"@/share/icons/hicolor/scalable/apps/brevant.svg", 0644},
        {"@/share/metainfo/" + app + ".metainfo.xml", 0644},
        {man + "brevant.1.gz", 0644},
        {man + "brevant-drill.1.gz", 0644},
        {man + "halvic-sim.1.gz", 0644},
        {in(build::HelpDir) + "/index.html", 0644},
        {in(build::HelpDir) + "/style.css", 0644},
        {doc + "/LICENSE", 0644},
        {doc + "/copyright", 0644},
        {doc + "/changelog.gz", 0644},
        {doc + "/README.md", 0644},
        {doc + "/drills/outage-low-battery.txt", 0644},
        {"%/brevant/Halvic.conf", 0640}, // may come to hold a password
    };
    for (const auto& [path, mode] : files)
        QTest::newRow(qPrintable(path)) << path << mode;
}

void TestInstallLayout::everyFileIsInItsPlace()
{
    QFETCH(QString, path);
    QFETCH(int, mode);
    struct stat file;
    QVERIFY2(::stat(QFile::encodeName(staged(path)).constData(), &file) == 0 && S_ISREG(file.st_mode),
             qPrintable(staged(path)));
    QCOMPARE(int(file.st_mode & 07777), mode);
}

void TestInstallLayout::onlyTheProgramsAreOnThePath()
{
    const QStringList programs = QDir(staged(QStringLiteral("@/bin"))).entryList(QDir::Files, QDir::Name);
    QCOMPARE(programs, (QStringList{"brevant", "brevant-drill", "halvic-sim"}));
    // No test program, benchmark or settings file slipped into the installation.
    QDirIterator all(QStringLiteral(STAGE_PREFIX), QDir::Files, QDirIterator::Subdirectories);
    while (all.hasNext()) {
        const QString name = QFileInfo(all.next()).fileName();
        QVERIFY2(!name.startsWith(u"bench_") && !name.contains(u"_tst_") && name != u"UpsConfigure.ini",
                 qPrintable(name));
    }
}

void TestInstallLayout::validatorsAcceptTheDesktopFiles_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    const QString app = QStringLiteral(APP_ID);
    QTest::newRow("menu entry") << "desktop-file-validate"
                                << QStringList{staged("@/share/applications/" + app + ".desktop")};
    QTest::newRow("autostart entry") << "desktop-file-validate"
                                     << QStringList{staged("%/xdg/autostart/" + app + ".desktop")};
    QTest::newRow("metainfo") << "appstreamcli"
                              << QStringList{"validate", "--no-net",
                                             staged("@/share/metainfo/" + app + ".metainfo.xml")};
}

void TestInstallLayout::validatorsAcceptTheDesktopFiles()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP(qPrintable(tool + QStringLiteral(" is not installed (scripts/deps.sh installs it)")));
    QProcess validator;
    validator.start(program, arguments);
    QVERIFY(validator.waitForFinished(60000));
    const QByteArray said = validator.readAllStandardOutput() + validator.readAllStandardError();
    QVERIFY2(validator.exitStatus() == QProcess::NormalExit && validator.exitCode() == 0, said.constData());
}

void TestInstallLayout::helpNeedsNothingFromOutside()
{
    const QDir help(staged(in(build::HelpDir)));
    const QStringList pages = help.entryList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY(pages.size() >= 5);
    static const QRegularExpression reference(QStringLiteral("(?:href|src)=\"([^\"]*)\""));
    for (const QString& page : pages) {
        QFile file(help.filePath(page));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY2(!html.contains(QStringLiteral("<script"), Qt::CaseInsensitive), qPrintable(page));
        for (auto match = reference.globalMatch(html); match.hasNext();) {
            const QString target = match.next().captured(1);
            const QString fileName = target.section(u'#', 0, 0);
            const QString anchor = target.section(u'#', 1);
            QVERIFY2(!target.contains(u':'),
                     qPrintable(page + QStringLiteral(" reaches outside: ") + target));
            const QString linked = fileName.isEmpty() ? page : fileName;
            QVERIFY2(help.exists(linked), qPrintable(page + QStringLiteral(" links to a missing ") + target));
            if (anchor.isEmpty())
                continue;
            QFile other(help.filePath(linked));
            QVERIFY(other.open(QIODevice::ReadOnly));
            QVERIFY2(other.readAll().contains(QByteArray("id=\"" + anchor.toUtf8() + '"')),
                     qPrintable(page + QStringLiteral(" links to a missing anchor ") + target));
        }
    }
}

void TestInstallLayout::everyProgramAnswersHelpAndVersion_data()
{
    QTest::addColumn<QString>("program");
    const QStringList programs{"@/bin/brevant", "@/bin/brevant-drill", "@/bin/halvic-sim",
                               in(build::PrivateLibDir) + "/close.exe"};
    for (const QString& program : programs)
        QTest::newRow(qPrintable(QFileInfo(program).fileName())) << staged(program);
}

void TestInstallLayout::everyProgramAnswersHelpAndVersion()
{
    QFETCH(QString, program);
    const auto run = [&](const QString& argument) {
        QProcess p;
        p.start(program, {argument});
        if (!p.waitForFinished(30000))
            p.kill();
        return std::pair{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                         QString::fromUtf8(p.readAllStandardOutput())};
    };
    const auto [helpCode, help] = run(QStringLiteral("--help"));
    QCOMPARE(helpCode, 0);
    QVERIFY2(help.contains(QStringLiteral("--version")), qPrintable(help));
    const auto [versionCode, version] = run(QStringLiteral("--version"));
    QCOMPARE(versionCode, 0);
    QCOMPARE(version.trimmed(), QFileInfo(program).fileName() + u' ' + QLatin1StringView(build::Version));
    // Anything else is refused before the program does anything (the monitor: before its splash).
    QCOMPARE(run(QStringLiteral("--no-such-option")).first, 2);
}

QTEST_GUILESS_MAIN(TestInstallLayout)
#include "tst_installlayout.moc"
