#include "InstallLayout.h"
#include "TestFiles.h"
#include "config/AppPaths.h"
#include "config/FirstInstall.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace brevant;

// Where each file is, in both modes, on real directory layouts in a temporary root. Every path in
// the table is relative to that root ("@" stands for it).
class TestAppPaths : public QObject
{
    Q_OBJECT

    // <root>/usr/lib/brevant: the installation's private library directory.
    static QString usrLib() { return QStringLiteral("@/usr/") + QLatin1StringView(build::PrivateLibDir); }

private slots:
    void filesLiveWhereTheModeSays_data()
    {
        QTest::addColumn<QString>("programDir");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QString>("appDirOverride");
        QTest::addColumn<QString>("configHome");
        QTest::addColumn<QStringList>("files"); // settings, event database, CloseApp.ini, close.exe, help
        const auto row = [](const char* name, const QString& programDir, bool writable,
                            const char* appDirOverride, const char* configHome, const QStringList& files) {
            QTest::newRow(name) << programDir << writable << appDirOverride << configHome << files;
        };
        const auto in = [](const QString& dir) {
            return QStringList{dir + "/UpsConfigure.ini", dir + "/EventRecord.mdb", dir + "/CloseApp.ini",
                               dir + "/close.exe", dir + "/help/index.html"};
        };
        const QStringList xdgUsr{"@/cfg/brevant/UpsConfigure.ini", "@/data/brevant/EventRecord.mdb",
                                 "@/data/brevant/CloseApp.ini", usrLib() + "/close.exe",
                                 "@/usr/share/brevant/help/index.html"};
        row("writable folder: portable", "@/app", true, "", "@/cfg", in("@/app"));
        row("override wins over an installation", "@/usr/bin", false, "@/app", "@/cfg", in("@/app"));
        row("installed bin/, even writable (root, ~/.local)", "@/usr/bin", true, "", "@/cfg", xdgUsr);
        row("close.exe in the private library directory", usrLib(), false, "", "@/cfg", xdgUsr);
        row("read-only folder: installed, programs beside it", "@/app", false, "", "@/cfg",
            xdgUsr.mid(0, 3) + in("@/app").mid(3));
        row("XDG unset or relative: below home", "@/usr/bin", false, "", "",
            QStringList{"@/home/.config/brevant/UpsConfigure.ini",
                        "@/home/.local/share/brevant/EventRecord.mdb",
                        "@/home/.local/share/brevant/CloseApp.ini"} +
                xdgUsr.mid(3));
        row("bin/ without a private library directory is a folder", "@/other/bin", true, "", "@/cfg",
            in("@/other/bin"));
    }

    void filesLiveWhereTheModeSays()
    {
        QFETCH(QString, programDir);
        QFETCH(QString, appDirOverride);
        QFETCH(QString, configHome);
        QFETCH(QStringList, files);
        QTemporaryDir root;
        const auto at = [&](QString path) { return path.replace(u'@', root.path()); };
        for (const QString& dir :
             {QStringLiteral("@/usr/bin"), usrLib(), QStringLiteral("@/app"), QStringLiteral("@/other/bin")})
            QVERIFY(QDir().mkpath(at(dir)));
        // A relative data home counts as unset.
        const QString dataHome =
            configHome.isEmpty() ? QStringLiteral("relative/data") : at(QStringLiteral("@/data"));
        QFETCH(bool, writable);
        const AppPaths paths = AppPaths::resolve({at(programDir), writable, at(appDirOverride),
                                                  at(configHome), dataHome, at(QStringLiteral("@/home"))});
        QCOMPARE(paths.mode() == AppPaths::Mode::Installed, files[0].contains(u"/brevant/"));
        const QStringList actual{paths.settingsFile(), paths.eventDatabase(), paths.closeAppList(),
                                 paths.closeProgram(), paths.helpFile()};
        QCOMPARE(actual, files.replaceInStrings(u"@", root.path()));
        QCOMPARE(QFileInfo(paths.closeAppDatabase()).path(), QFileInfo(paths.eventDatabase()).path());
    }

    // Under umask 000 the first-install file is still 0644. The user's own settings are never
    // replaced; a link planted where the file goes (even one to nothing) is left alone, with the
    // reason logged; a settings directory that cannot be made is a failure, not a silent start
    // without protection.
    void firstStartWritesOnlyAFreshFile()
    {
        QTemporaryDir root;
        const AppPaths paths(root.path());
        const mode_t before = ::umask(0);
        const Result<bool> written = writeFirstInstallSettings(paths);
        ::umask(before);
        QVERIFY(written.ok() && written.value());
        QCOMPARE(QFile::permissions(paths.settingsFile()), QFile::ReadOwner | QFile::WriteOwner |
                                                               QFile::ReadUser | QFile::WriteUser |
                                                               QFile::ReadGroup | QFile::ReadOther);
        QCOMPARE(testsupport::readFile(paths.settingsFile()), firstInstallSettings());

        testsupport::writeFile(paths.settingsFile(), "[Mscomm]\nComboPort=2\n");
        const Result<bool> again = writeFirstInstallSettings(paths);
        QVERIFY(again.ok() && !again.value());
        QCOMPARE(testsupport::readFile(paths.settingsFile()), QByteArray("[Mscomm]\nComboPort=2\n"));

        QFile::remove(paths.settingsFile());
        const QString target = root.filePath(QStringLiteral("planted"));
        QVERIFY(QFile::link(target, paths.settingsFile()));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("symbolic link.*nothing is shut down")));
        const Result<bool> planted = writeFirstInstallSettings(paths);
        QVERIFY(planted.ok() && !planted.value());
        QVERIFY(!QFileInfo::exists(target));

        testsupport::writeFile(root.filePath(QStringLiteral("blocked")), "a file, not a directory");
        const Result<bool> refused =
            writeFirstInstallSettings(AppPaths(root.filePath(QStringLiteral("blocked/brevant"))));
        QVERIFY2(!refused.ok() && refused.error().contains(QStringLiteral("blocked")),
                 qPrintable(refused.error()));
    }
};

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_apppaths.moc"
