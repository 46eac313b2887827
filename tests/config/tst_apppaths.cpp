#include "InstallLayout.h"
#include "TestFiles.h"
#include "config/AppPaths.h"
#include "config/FirstInstall.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace brevant;

// Where each file is, in both modes, on real directory layouts in a temporary root. Every path in
// the table is relative to that root ("@" stands for it).
class TestAppPaths : public QObject
{
    Q_OBJECT

private slots:
    void filesLiveWhereTheModeSays_data();
    void filesLiveWhereTheModeSays();
    void firstStartWritesOnceIntoPrivateDirectories();

private:
    // <root>/usr/lib/brevant: the installation's private library directory.
    static QString usrLib() { return QStringLiteral("@/usr/") + QLatin1StringView(build::PrivateLibDir); }
};

void TestAppPaths::filesLiveWhereTheModeSays_data()
{
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<QString>("appDirOverride");
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<bool>("installed");
    // settings | event database | CloseApp.ini | close.exe | help
    QTest::addColumn<QStringList>("files");
    const auto row = [](const char* name, const QString& programDir, bool writable,
                        const char* appDirOverride, const char* configHome, const char* dataHome,
                        bool installed, const QStringList& files) {
        QTest::newRow(name) << programDir << writable << appDirOverride << configHome << dataHome << installed
                            << files;
    };
    const auto in = [](const QString& dir) {
        return QStringList{dir + "/UpsConfigure.ini", dir + "/EventRecord.mdb", dir + "/CloseApp.ini",
                           dir + "/close.exe", dir + "/help/index.html"};
    };
    const QStringList xdgUsr{"@/cfg/brevant/UpsConfigure.ini", "@/data/brevant/EventRecord.mdb",
                             "@/data/brevant/CloseApp.ini", usrLib() + "/close.exe",
                             "@/usr/share/brevant/help/index.html"};
    row("writable folder: portable", "@/app", true, "", "@/cfg", "@/data", false, in("@/app"));
    row("override wins over an installation", "@/usr/bin", false, "@/app", "@/cfg", "@/data", false,
        in("@/app"));
    row("installed bin/, even writable (root, ~/.local)", "@/usr/bin", true, "", "@/cfg", "@/data", true,
        xdgUsr);
    row("close.exe in the private library directory", usrLib(), false, "", "@/cfg", "@/data", true, xdgUsr);
    row("read-only folder: installed, programs beside it", "@/app", false, "", "@/cfg", "@/data", true,
        xdgUsr.mid(0, 3) + in("@/app").mid(3));
    row("XDG unset or relative: below home", "@/usr/bin", false, "", "", "relative/data", true,
        QStringList{"@/home/.config/brevant/UpsConfigure.ini", "@/home/.local/share/brevant/EventRecord.mdb",
                    "@/home/.local/share/brevant/CloseApp.ini"} +
            xdgUsr.mid(3));
    row("bin/ without a private library directory is a folder", "@/other/bin", true, "", "@/cfg", "@/data",
        false, in("@/other/bin"));
}

void TestAppPaths::filesLiveWhereTheModeSays()
{
    QFETCH(QString, programDir);
    QFETCH(bool, writable);
    QFETCH(QString, appDirOverride);
    QFETCH(QString, configHome);
    QFETCH(QString, dataHome);
    QFETCH(bool, installed);
    QFETCH(QStringList, files);

    QTemporaryDir root;
    const auto at = [&](QString path) { return path.replace(u'@', root.path()); };
    for (const QString& dir :
         {QStringLiteral("@/usr/bin"), usrLib(), QStringLiteral("@/app"), QStringLiteral("@/other/bin")})
        QVERIFY(QDir().mkpath(at(dir)));

    const AppPaths paths = AppPaths::resolve({at(programDir), writable, at(appDirOverride), at(configHome),
                                              at(dataHome), at(QStringLiteral("@/home"))});
    QCOMPARE(paths.mode() == AppPaths::Mode::Installed, installed);
    const QStringList actual{paths.settingsFile(), paths.eventDatabase(), paths.closeAppList(),
                             paths.closeProgram(), paths.helpFile()};
    QStringList expected;
    for (const QString& file : files)
        expected.append(at(file));
    QCOMPARE(actual, expected);
    QCOMPARE(QFileInfo(paths.closeAppDatabase()).path(), QFileInfo(paths.eventDatabase()).path());
}

void TestAppPaths::firstStartWritesOnceIntoPrivateDirectories()
{
    QTemporaryDir root;
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("usr/bin"))));
    QVERIFY(QDir().mkpath(QString(usrLib()).replace(u'@', root.path())));
    const AppPaths paths = AppPaths::resolve({root.filePath(QStringLiteral("usr/bin")),
                                              false,
                                              {},
                                              root.filePath(QStringLiteral("home/cfg")),
                                              root.filePath(QStringLiteral("home/data")),
                                              root.path()});

    const Result<bool> first = writeFirstInstallSettings(paths);
    QVERIFY2(first.ok(), qPrintable(first.error()));
    QVERIFY(first.value());
    QCOMPARE(testsupport::readFile(paths.settingsFile()), firstInstallSettings());
    for (const QString& dir : {root.filePath(QStringLiteral("home/cfg")), paths.configDir(), paths.dataDir()})
        QCOMPARE(QFileInfo(dir).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    // The user's own settings are never replaced.
    testsupport::writeFile(paths.settingsFile(), "[Mscomm]\nComboPort=2\n");
    const Result<bool> again = writeFirstInstallSettings(paths);
    QVERIFY(again.ok());
    QVERIFY(!again.value());
    QCOMPARE(testsupport::readFile(paths.settingsFile()), QByteArray("[Mscomm]\nComboPort=2\n"));

    // A settings directory that cannot be made is a failure, not a silent start without protection.
    testsupport::writeFile(root.filePath(QStringLiteral("blocked")), "a file, not a directory");
    const AppPaths blocked(root.filePath(QStringLiteral("blocked/brevant")));
    const Result<bool> refused = writeFirstInstallSettings(blocked);
    QVERIFY(!refused.ok());
    QVERIFY2(refused.error().contains(QStringLiteral("blocked")), qPrintable(refused.error()));
}

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_apppaths.moc"
