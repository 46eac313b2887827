#include "InstallLayout.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
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
        QTest::newRow("polkit rule") << staged("@/share/polkit-1/rules.d/50-brevant.rules") << 0644
                                     << QStringList(); // run by node below
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

    // The polkit rule grants exactly the three power-off rights, to exactly the group brevant,
    // when run as polkitd runs it (tests/packaging/polkit-harness.js, a stub polkit in node).
    void polkitRuleGrantsPowerOffToTheGroupOnly_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("answer");
        const QString login1 = QStringLiteral("org.freedesktop.login1.");
        for (const char* right : {"power-off", "power-off-multiple-sessions", "power-off-ignore-inhibit"}) {
            QTest::addRow("%s, a member", right) << login1 + right << "users,brevant"
                                                 << "YES";
            QTest::addRow("%s, not a member", right) << login1 + right << "users,sudo,brevant-admins"
                                                     << "NOT_HANDLED";
        }
        for (const char* other : {"reboot", "reboot-multiple-sessions", "halt", "suspend", "hibernate",
                                  "power-off-ignore-inhibit-x", "inhibit-block-shutdown", "set-wall-message"})
            QTest::addRow("%s, a member", other) << login1 + other << "brevant"
                                                 << "NOT_HANDLED";
        QTest::newRow("another service's power-off") << "org.example.power-off"
                                                     << "brevant"
                                                     << "NOT_HANDLED";
    }
    void polkitRuleGrantsPowerOffToTheGroupOnly()
    {
        QFETCH(QString, action);
        QFETCH(QString, groups);
        QFETCH(QString, answer);
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        QVERIFY2(!node.isEmpty(), "node is not installed (scripts/deps.sh installs nodejs)");
        QProcess rule;
        rule.start(node, {QStringLiteral(POLKIT_HARNESS), staged("@/share/polkit-1/rules.d/50-brevant.rules"),
                          action, groups});
        QVERIFY(rule.waitForFinished(30000));
        QVERIFY2(rule.exitStatus() == QProcess::NormalExit && rule.exitCode() == 0,
                 rule.readAllStandardError().constData());
        QCOMPARE(QString::fromUtf8(rule.readAllStandardOutput()).trimmed(), answer);
    }

    // The package's maintainer scripts, run with stand-ins for the commands that change the
    // system, each of which records its call: the group is made once, and the administrator's UPS
    // settings given to root and the group, 0640, for good (dpkg-statoverride), unless the
    // administrator chose otherwise.
    void maintainerScripts_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<bool>("groupExists");
        QTest::addColumn<bool>("overridden");
        QTest::addColumn<QStringList>("calls"); // the system-changing ones
        const QString conf = QStringLiteral(SYSCONFDIR "/brevant/Halvic.conf");
        const QString give = "dpkg-statoverride --update --add root brevant 0640 " + conf;
        QTest::newRow("first install")
            << "postinst"
            << "configure" << false << false << QStringList{"addgroup --quiet --system brevant", give};
        QTest::newRow("upgrade") << "postinst"
                                 << "configure" << true << true << QStringList();
        QTest::newRow("the group made by hand") << "postinst"
                                                << "configure" << true << false << QStringList{give};
        QTest::newRow("postinst on abort") << "postinst"
                                           << "abort-upgrade" << false << false << QStringList();
        QTest::newRow("purge") << "postrm"
                               << "purge" << true << true
                               << QStringList{"dpkg-statoverride --remove " + conf};
        QTest::newRow("remove keeps it") << "postrm"
                                         << "remove" << true << true << QStringList();
    }
    void maintainerScripts()
    {
        QFETCH(QString, script);
        QFETCH(QString, argument);
        QFETCH(bool, groupExists);
        QFETCH(bool, overridden);
        QFETCH(QStringList, calls);
        QTemporaryDir stubs;
        const QString log = stubs.filePath(QStringLiteral("calls"));
        QFile stub(stubs.filePath(QStringLiteral("stub")));
        QVERIFY(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\n"
                   "echo \"${0##*/} $*\" >> \"$STUB_LOG\"\n"
                   "case \"${0##*/} $1\" in\n"
                   "  'getent group') [ -n \"$STUB_GROUP\" ] ;;\n"
                   "  'dpkg-statoverride --list') [ -n \"$STUB_OVERRIDE\" ] ;;\n"
                   "esac\n");
        stub.close();
        QVERIFY(stub.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        for (const char* command : {"getent", "addgroup", "dpkg-statoverride"})
            QVERIFY(stub.link(stubs.filePath(QLatin1StringView(command))));

        QProcess run;
        QProcessEnvironment environment;
        // Only the stand-ins: a command the script names some other way fails instead of running.
        environment.insert(QStringLiteral("PATH"), stubs.path());
        environment.insert(QStringLiteral("STUB_LOG"), log);
        environment.insert(QStringLiteral("STUB_GROUP"), groupExists ? QStringLiteral("1") : QString());
        environment.insert(QStringLiteral("STUB_OVERRIDE"), overridden ? QStringLiteral("1") : QString());
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral("/bin/sh"), {QStringLiteral(MAINTAINER_SCRIPTS "/") + script, argument});
        QVERIFY(run.waitForFinished(30000));
        QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0,
                 run.readAllStandardError().constData());
        QFile recorded(log);
        QStringList made;
        if (recorded.open(QIODevice::ReadOnly))
            for (const QString& call : QString::fromUtf8(recorded.readAll()).split(u'\n', Qt::SkipEmptyParts))
                if (!call.startsWith(u"getent ") && !call.startsWith(u"dpkg-statoverride --list "))
                    made << call;
        QCOMPARE(made, calls);
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
