#include "InstallLayout.h"
#include "app/MainWindow.h"
#include "app/SplashScreen.h"
#include "art/ArtCatalogue.h"
#include "base/CommandLine.h"
#include "base/Logging.h"
#include "config/AppPaths.h"
#include "config/FirstInstall.h"
#include "config/ui/EventManagerPage.h"
#include "engine/MonitorEngine.h"
#include "engine/NotificationPresenter.h"
#include "engine/WindowsModel.h"
#include "link/ActiveLink.h"
#include "platform/SystemPowerOffFactory.h"
#include "platform/TerminationRequest.h"
#include "platform/qt/FreedesktopNotifier.h"
#include "platform/qt/LibraryHalvic.h"
#include "platform/qt/QtProcessStarter.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtSerialPort.h"
#include "platform/qt/SingleInstanceGuard.h"
#include "platform/qtwidgets/QtHelpOpener.h"
#include "platform/qtwidgets/QtMessageBox.h"
#include "platform/qtwidgets/QtTrayIcon.h"
#include "shutdown/ui/AlarmWindow.h"
#include "shutdown/ui/QuestionWindow.h"
#include "shutdown/ui/SaveListWindow.h"

#include <QApplication>
#include <QDBusConnection>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

using namespace brevant;

namespace {

// Everything that lives from the end of the splash to the exit.
class Program
{
public:
    // notificationArea: known to be there; while the tray still waits for one, the main window
    // minimises rather than hides, so that there is always a way back.
    Program(const AppPaths& paths, SingleInstanceGuard& guard, QtTrayIcon& tray, bool notificationArea)
        : m_tray(tray)
        , m_powerOff(createSystemPowerOff())
        , m_engine(paths,
                   {m_scheduler, m_halvic, m_serialPort, m_messages, m_tray, *m_powerOff, m_processStarter})
        , m_mainWindow(m_engine, m_help, notificationArea)
        , m_alarmWindow(m_engine.alarm())
        , m_questionWindow(m_engine.confirmation())
        , m_saveListWindow(m_engine.saveList(), m_engine.records())
    {
        // The Event Manager page lives in the main window, which takes it over.
        auto* eventManager = new EventManagerPage({m_engine.settings(), m_engine.messages(),
                                                   m_engine.serial(), [this] { m_engine.applyLinkChoice(); },
                                                   [this] { m_engine.recheckReadiness(); },
                                                   [this] { return m_engine.links().current().details(); }});
        m_mainWindow.setEventManagerPage(eventManager, [eventManager] { eventManager->EventMana(); });
        QObject::connect(eventManager, &EventManagerPage::helpRequested, &m_mainWindow,
                         &MainWindow::openHelp);
        QObject::connect(&m_tray, &QtTrayIcon::doubleClicked, &m_mainWindow, &MainWindow::bringUp);
        // A later start knocks instead of running: it wants to see this program's window.
        QObject::connect(&guard, &SingleInstanceGuard::messageReceived, &m_mainWindow, &MainWindow::bringUp);
        QObject::connect(&m_termination, &TerminationRequest::requested, &m_mainWindow,
                         &MainWindow::requestExit);
        // exit() rather than quit(): quit() would first ask every window to close, and the main
        // window's close is itself a request to exit.
        QObject::connect(&m_engine, &MonitorEngine::exited, [] { QCoreApplication::exit(0); });
    }

    void start(bool firstStart, std::optional<bool> notificationArea)
    {
        m_engine.finishSplash();
        if (firstStart)
            m_engine.recordFirstStart();
        m_notifications.followReadiness(m_engine.readiness());
        m_engine.startReadiness();
        // Without a notification area the tray icon cannot be double-clicked: the main window is
        // then the user's only handle on the program, so it comes up once that is known.
        const auto showWithoutArea = [this](bool area) {
            if (!area)
                m_engine.windows().show(WindowsModel::frmMain);
        };
        if (notificationArea)
            showWithoutArea(*notificationArea);
        else
            QObject::connect(&m_tray, &QtTrayIcon::waitEnded, &m_mainWindow, showWithoutArea);
    }

private:
    QtTrayIcon& m_tray;
    QtScheduler m_scheduler;
    LibraryHalvic m_halvic;
    QtSerialPort m_serialPort;
    QtMessageBox m_messages;
    QtProcessStarter m_processStarter;
    QtHelpOpener m_help;
    std::unique_ptr<SystemPowerOff> m_powerOff;
    MonitorEngine m_engine;
    MainWindow m_mainWindow;
    AlarmWindow m_alarmWindow;
    QuestionWindow m_questionWindow;
    SaveListWindow m_saveListWindow;
    FreedesktopNotifier m_notifier{QDBusConnection::sessionBus()};
    NotificationPresenter m_notifications{m_engine.monitor(), m_engine.settings(), m_notifier};
    TerminationRequest m_termination;
};

constexpr int SplashMs = 2000;
// How long after the splash a panel started with the session has to register its notification area.
constexpr int TrayWaitMs = 10000;

// --help and --version need no display: they are answered before QApplication exists.
bool asksForHelpOrVersion(int argc, char* argv[])
{
    const std::array<std::string_view, 5> answered{"-h", "--help", "--help-all", "-v", "--version"};
    return std::any_of(argv + 1, argv + argc, [&](const char* a) {
        return std::find(answered.begin(), answered.end(), a) != answered.end();
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QCommandLineParser arguments;
    arguments.setApplicationDescription(
        QStringLiteral("Brevant watches one UPS from the notification area and shuts the computer down in an "
                       "outage as its settings say. It reads no arguments besides these and Qt's own; its "
                       "settings are made in its windows."));
    if (asksForHelpOrVersion(argc, argv)) {
        const QCoreApplication core(argc, argv);
        return parseCommandLine(arguments, QCoreApplication::arguments()).value_or(0);
    }
    QApplication app(argc, argv);
    // Qt has taken its own options (-platform, -session, ...); anything left is refused before the splash.
    if (const std::optional<int> exitCode = parseCommandLine(arguments, QApplication::arguments()))
        return *exitCode;
    QApplication::setApplicationName(QStringLiteral("Brevant"));
    QGuiApplication::setDesktopFileName(QLatin1StringView(build::AppId));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(art::applicationIcon()));

    SplashScreen splash;
    splash.show();

    // The wait for a notification area runs during the splash, so that one already up is known
    // when the windows are made.
    QtTrayIcon tray;
    std::optional<bool> notificationArea;
    QObject::connect(&tray, &QtTrayIcon::waitEnded,
                     [&notificationArea](bool area) { notificationArea = area; });
    tray.waitForNotificationArea(SplashMs + TrayWaitMs);

    SingleInstanceGuard guard;
    std::unique_ptr<Program> program;
    QTimer::singleShot(SplashMs, &app, [&] {
        splash.close();
        const AppPaths paths = AppPaths::fromEnvironment();
        // A second instance has knocked on the first one's door and ends before touching
        // settings, link, databases or tray; so does one with another runtime directory (another
        // session) on the same files. The folders are made private first: the locks would
        // otherwise create them with the umask's modes.
        if (const Status made = paths.createDirectories(); !made.ok())
            qCWarning(lcSettings).noquote() << made.error();
        guard.guardFolders({QFileInfo(paths.settingsFile()).absolutePath(),
                            QFileInfo(paths.eventDatabase()).absolutePath(),
                            QFileInfo(paths.closeAppDatabase()).absolutePath()});
        if (!guard.tryAcquire()) {
            QApplication::quit();
            return;
        }
        // A fresh installation is protected from its first second.
        const Result<bool> firstStart = writeFirstInstallSettings(paths);
        if (!firstStart.ok())
            qCCritical(lcSettings).noquote()
                << firstStart.error() << "- without settings nothing is shut down";
        else if (firstStart.value())
            qCInfo(lcSettings).noquote()
                << "first start: wrote the first-install settings to" << paths.settingsFile();
        program = std::make_unique<Program>(paths, guard, tray, notificationArea.value_or(false));
        program->start(firstStart.valueOr(false), notificationArea);
    });
    return app.exec();
}
