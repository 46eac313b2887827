#include "InstallLayout.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <sys/stat.h>

using namespace brevant;

namespace {

const QString app = QStringLiteral(APP_ID);

// "@" is the staged prefix, "%" the staged configuration directory (/etc for a package).
QString staged(QString path)
{
    return path.replace(u'@', QStringLiteral(STAGE_PREFIX)).replace(u'%', QStringLiteral(STAGE_SYSCONFDIR));
}

QString in(const char* relative)
{
    return staged(QStringLiteral("@/") + QLatin1StringView(relative));
}

} // namespace

// The build as `cmake --install` lays it out in a staging root: files in their places with their
// modes, desktop files the desktop's own validators accept, and programs that answer --help and
// --version.
class TestInstallLayout : public QObject
{
    Q_OBJECT

private slots:
    // The files nothing else here opens or runs, with their modes; the desktop's own tools
    // validate the desktop files.
    void everyFileIsInItsPlace_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("validator"); // a program and its arguments before the file
        const QStringList desktop{"desktop-file-validate"};
        QTest::newRow("Halvic.conf") << staged("%/brevant/Halvic.conf") << 0640
                                     << QStringList(); // a password
        QTest::newRow("copyright") << in(DOCDIR) + "/copyright" << 0644 << QStringList();
        QTest::newRow("menu entry") << staged("@/share/applications/" + app + ".desktop") << 0644 << desktop;
        QTest::newRow("autostart entry") << staged("%/xdg/autostart/" + app + ".desktop") << 0644 << desktop;
        QTest::newRow("metainfo") << staged("@/share/metainfo/" + app + ".metainfo.xml") << 0644
                                  << QStringList{"appstreamcli", "validate", "--no-net"};
    }
    void everyFileIsInItsPlace()
    {
        QFETCH(QString, path);
        QFETCH(int, mode);
        QFETCH(QStringList, validator);
        struct stat file;
        QVERIFY2(::stat(QFile::encodeName(path).constData(), &file) == 0 && S_ISREG(file.st_mode),
                 qPrintable(path));
        QCOMPARE(int(file.st_mode & 07777), mode);
        const QString program = QStandardPaths::findExecutable(validator.value(0, QStringLiteral("-")));
        if (validator.isEmpty())
            return;
        if (program.isEmpty())
            QSKIP("the validator is not installed (scripts/deps.sh installs it)");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(program, validator.mid(1) << path);
        QVERIFY(check.waitForFinished(60000));
        QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0,
                 check.readAll().constData());
    }

    void onlyTheProgramsAreOnThePath()
    {
        QCOMPARE(QDir(staged("@/bin")).entryList(QDir::Files, QDir::Name),
                 QStringList({"brevant", "brevant-drill", "halvic-sim"}));
        // No test program, benchmark or settings file slipped into the installation.
        for (QDirIterator all(QStringLiteral(STAGE_PREFIX), QDir::Files, QDirIterator::Subdirectories);
             all.hasNext();) {
            const QString name = all.nextFileInfo().fileName();
            QVERIFY2(!name.startsWith(u"bench_") && !name.contains(u"_tst_") && name != u"UpsConfigure.ini",
                     qPrintable(name));
        }
    }

    void everyProgramAnswersHelpAndVersion_data()
    {
        QTest::addColumn<QString>("program");
        for (const QString& program :
             {staged("@/bin/brevant"), staged("@/bin/brevant-drill"), staged("@/bin/halvic-sim"),
              QString(in(build::PrivateLibDir) + "/close.exe")})
            QTest::newRow(qPrintable(QFileInfo(program).fileName())) << program;
    }
    void everyProgramAnswersHelpAndVersion()
    {
        QFETCH(QString, program);
        const auto run = [&](const char* argument) {
            QProcess p;
            p.start(program, {QLatin1StringView(argument)});
            const bool ended = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit;
            return std::pair{ended ? p.exitCode() : -1,
                             QString::fromUtf8(p.readAllStandardOutput()).trimmed()};
        };
        const auto [helpCode, help] = run("--help");
        QVERIFY2(helpCode == 0 && help.contains(u"--version"), qPrintable(help));
        QCOMPARE(run("--version"), std::pair(0, QString(QFileInfo(program).fileName() + u' ' +
                                                        QLatin1StringView(build::Version))));
        // Anything else is refused before the program does anything (the monitor: before its splash).
        QCOMPARE(run("--no-such-option").first, 2);
    }
};

QTEST_GUILESS_MAIN(TestInstallLayout)
#include "tst_installlayout.moc"
