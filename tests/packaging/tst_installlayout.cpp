#include "InstallLayout.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace brevant;
using namespace Qt::StringLiterals;

namespace {

const QString app = QStringLiteral(APP_ID);

// "@" is the staged prefix, "%" the staged configuration directory (/etc for a package).
QString staged(QString path)
{
    return path.replace(u'@', QStringLiteral(STAGE_PREFIX)).replace(u'%', QStringLiteral(STAGE_SYSCONFDIR));
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
        const QStringList none, desktop{"desktop-file-validate"};
        // Halvic.conf holds a password; node runs the polkit rule below.
        QTest::newRow("Halvic.conf") << staged("%/brevant/Halvic.conf") << 0640 << none;
        QTest::newRow("polkit rule") << staged("@/share/polkit-1/rules.d/50-brevant.rules") << 0644 << none;
        QTest::newRow("copyright") << staged("@/" DOCDIR "/copyright") << 0644 << none;
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
        if (validator.isEmpty())
            return;
        const QString program = QStandardPaths::findExecutable(validator.first());
        if (program.isEmpty())
            QSKIP("the validator is not installed (scripts/deps.sh installs it)");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(program, validator.mid(1) << path);
        QVERIFY(check.waitForFinished(60000));
        QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0,
                 check.readAll().constData());
    }

    // The polkit rule grants exactly the three power-off rights, to exactly the group brevant,
    // when run as polkitd runs it (tests/packaging/polkit-harness.js, a stub polkit in node).
    void polkitRuleGrantsPowerOffToTheGroupOnly_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("groups");
        QTest::addColumn<bool>("granted");
        const QString login1 = QStringLiteral("org.freedesktop.login1.");
        for (const char* right : {"power-off", "power-off-multiple-sessions", "power-off-ignore-inhibit"}) {
            QTest::addRow("%s, a member", right) << login1 + right << "users,brevant" << true;
            QTest::addRow("%s, not a member", right)
                << login1 + right << "users,sudo,brevant-admins" << false;
        }
        for (const char* other : {"reboot", "reboot-multiple-sessions", "halt", "suspend", "hibernate",
                                  "power-off-ignore-inhibit-x", "inhibit-block-shutdown", "set-wall-message"})
            QTest::addRow("%s, a member", other) << login1 + other << "brevant" << false;
        QTest::newRow("another service's power-off") << "org.example.power-off"
                                                     << "brevant" << false;
    }
    void polkitRuleGrantsPowerOffToTheGroupOnly()
    {
        QFETCH(QString, action);
        QFETCH(QString, groups);
        QFETCH(bool, granted);
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        QVERIFY2(!node.isEmpty(), "node is not installed (scripts/deps.sh installs nodejs)");
        QProcess rule;
        rule.start(node, {QStringLiteral(POLKIT_HARNESS), staged("@/share/polkit-1/rules.d/50-brevant.rules"),
                          action, groups});
        QVERIFY(rule.waitForFinished(30000));
        QVERIFY2(rule.exitStatus() == QProcess::NormalExit && rule.exitCode() == 0,
                 rule.readAllStandardError().constData());
        QCOMPARE(rule.readAllStandardOutput().trimmed(), granted ? "YES" : "NOT_HANDLED");
    }

    // The package's maintainer scripts, run with stand-ins for the commands that change the
    // system, each of which records its call: the group is made once, and the administrator's UPS
    // settings given to root and the group, 0640, for good (dpkg-statoverride), unless the
    // administrator chose otherwise.
    void maintainerScripts_data()
    {
        QTest::addColumn<QString>("run"); // the script and its argument
        QTest::addColumn<bool>("groupExists");
        QTest::addColumn<bool>("overridden");
        QTest::addColumn<QStringList>("calls"); // the system-changing ones
        const QString conf = QStringLiteral(SYSCONFDIR "/brevant/Halvic.conf");
        const QString give = "dpkg-statoverride --update --add root brevant 0640 " + conf;
        QTest::newRow("first install") << "postinst configure" << false << false
                                       << QStringList{"addgroup --quiet --system brevant", give};
        QTest::newRow("upgrade") << "postinst configure" << true << true << QStringList();
        QTest::newRow("the group made by hand") << "postinst configure" << true << false << QStringList{give};
        QTest::newRow("postinst on abort") << "postinst abort-upgrade" << false << false << QStringList();
        QTest::newRow("purge") << "postrm purge" << true << true
                               << QStringList{"dpkg-statoverride --remove " + conf};
        QTest::newRow("remove keeps it") << "postrm remove" << true << true << QStringList();
    }
    void maintainerScripts()
    {
        QFETCH(QString, run);
        QFETCH(bool, groupExists);
        QFETCH(bool, overridden);
        QFETCH(QStringList, calls);
        QTemporaryDir stubs;
        const QString log = stubs.filePath(QStringLiteral("calls"));
        QFile stub(stubs.filePath(QStringLiteral("stub")));
        // The queries answer as the data row says; every other call is logged.
        testsupport::writeFile(stub.fileName(), "#!/bin/sh\n"
                                                "case \"${0##*/} $1\" in\n"
                                                "  'getent group') [ -n \"$STUB_GROUP\" ] ;;\n"
                                                "  'dpkg-statoverride --list') [ -n \"$STUB_OVERRIDE\" ] ;;\n"
                                                "  *) echo \"${0##*/} $*\" >> \"$STUB_LOG\" ;;\n"
                                                "esac\n");
        QVERIFY(stub.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        for (const char* command : {"getent", "addgroup", "dpkg-statoverride"})
            QVERIFY(stub.link(stubs.filePath(QLatin1StringView(command))));

        QProcess script;
        QProcessEnvironment environment;
        // Only the stand-ins: a command the script names some other way fails instead of running.
        environment.insert(QStringLiteral("PATH"), stubs.path());
        environment.insert(QStringLiteral("STUB_LOG"), log);
        environment.insert(QStringLiteral("STUB_GROUP"), groupExists ? QStringLiteral("1") : QString());
        environment.insert(QStringLiteral("STUB_OVERRIDE"), overridden ? QStringLiteral("1") : QString());
        script.setProcessEnvironment(environment);
        script.setWorkingDirectory(QStringLiteral(MAINTAINER_SCRIPTS));
        script.start(QStringLiteral("/bin/sh"), run.split(u' '));
        QVERIFY(script.waitForFinished(30000));
        QVERIFY2(script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0,
                 script.readAllStandardError().constData());
        QCOMPARE(QString::fromUtf8(testsupport::readFile(log)).split(u'\n', Qt::SkipEmptyParts), calls);
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
              staged(u"@/"_s + build::PrivateLibDir + "/close.exe")})
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
