#include "InstallLayout.h"
#include "app/AlarmWindow.h"
#include "app/QuestionWindow.h"
#include "app/SplashScreen.h"
#include "app/StatusWindow.h"
#include "base/CommandLine.h"
#include "base/Logging.h"
#include "config/AppPaths.h"
#include "config/FirstInstall.h"
#include "engine/MonitorEngine.h"
#include "engine/NotificationPresenter.h"
#include "engine/WindowsModel.h"
#include "platform/SystemPowerOffFactory.h"
#include "platform/TerminationRequest.h"
#include "platform/qt/FreedesktopNotifier.h"
#include "platform/qt/LibraryHalvic.h"
#include "platform/qt/QtProcessStarter.h"
#include "platform/qt/QtScheduler.h"
#include "platform/qt/QtSerialPort.h"
#include "platform/qt/SingleInstanceGuard.h"
#include "platform/qtwidgets/QtMessageBox.h"
#include "platform/qtwidgets/QtTrayIcon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>
#include <array>
#include <string_view>

using namespace brevant;

namespace {

// Everything that lives from the end of the splash to the exit.
class Program
{
public:
    explicit Program(const AppPaths& paths)
        : m_powerOff(createSystemPowerOff())
        , m_engine(paths,
                   {m_scheduler, m_halvic, m_serialPort, m_messages, m_tray, *m_powerOff, m_processStarter})
        , m_statusWindow(m_engine)
        , m_alarmWindow(m_engine.alarm())
        , m_questionWindow(m_engine.confirmation())
    {
        WindowsModel& windows = m_engine.windows();
        QObject::connect(&m_tray, &QtTrayIcon::doubleClicked, &windows,
                         [&windows] { windows.show(WindowsModel::frmMain); });
        QObject::connect(&windows, &WindowsModel::visibilityChanged, &m_statusWindow,
                         [this](WindowsModel::Window window, bool visible) {
                             if (window == WindowsModel::frmMain)
                                 m_statusWindow.setVisible(visible);
                         });
        QObject::connect(&m_statusWindow, &StatusWindow::exitRequested, [this] { exit(); });
        QObject::connect(&m_termination, &TerminationRequest::requested, [this] { exit(); });
        // exit() rather than quit(): quit() would first ask every window to close, and the main
        // window's close is itself a request to exit.
        QObject::connect(&m_engine, &MonitorEngine::exited, [] { QCoreApplication::exit(0); });
    }

    void start()
    {
        m_engine.finishSplash();
        // Without a notification area the tray icon cannot be double-clicked: the main window is
        // then the user's only handle on the program, so it comes up at once.
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            m_engine.windows().show(WindowsModel::frmMain);
    }

    void exit()
    {
        if (m_exiting)
            return;
        m_exiting = true;
        m_engine.requestExit();
    }

private:
    QtScheduler m_scheduler;
    LibraryHalvic m_halvic;
    QtSerialPort m_serialPort;
    QtMessageBox m_messages;
    QtTrayIcon m_tray;
    QtProcessStarter m_processStarter;
    std::unique_ptr<SystemPowerOff> m_powerOff;
    MonitorEngine m_engine;
    StatusWindow m_statusWindow;
    AlarmWindow m_alarmWindow;
    QuestionWindow m_questionWindow;
    FreedesktopNotifier m_notifier{QDBusConnection::sessionBus()};
    NotificationPresenter m_notifications{m_engine.monitor(), m_engine.settings(), m_notifier};
    TerminationRequest m_termination;
    bool m_exiting = false;
};

constexpr int SplashMs = 2000;

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

    SplashScreen splash;
    splash.show();

    SingleInstanceGuard guard;
    std::unique_ptr<Program> program;
    QTimer::singleShot(SplashMs, &app, [&] {
        splash.close();
        // A second instance has knocked on the first one's door and ends before touching
        // settings, link, databases or tray.
        if (!guard.tryAcquire()) {
            QApplication::quit();
            return;
        }
        const AppPaths paths = AppPaths::fromEnvironment();
        // A fresh installation is protected from its first second.
        if (const Result<bool> firstStart = writeFirstInstallSettings(paths); !firstStart.ok())
            qCCritical(lcSettings).noquote()
                << firstStart.error() << "- without settings nothing is shut down";
        else if (firstStart.value())
            qCInfo(lcSettings).noquote()
                << "first start: wrote the first-install settings to" << paths.settingsFile();
        program = std::make_unique<Program>(paths);
        program->start();
    });
    return app.exec();
}
