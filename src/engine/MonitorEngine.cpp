#include "engine/MonitorEngine.h"

#include "base/Logging.h"
#include "config/Settings.h"
#include "engine/WindowsModel.h"
#include "link/ActiveLink.h"
#include "monitor/PowerMonitor.h"
#include "monitor/StatusDisplay.h"
#include "monitor/TrayPresenter.h"
#include "platform/Adapters.h"
#include "platform/Scheduler.h"
#include "platform/TrayIcon.h"
#include "records/RecordStore.h"
#include "shutdown/AlarmController.h"
#include "shutdown/Confirmation.h"
#include "shutdown/Countdown.h"
#include "shutdown/Readiness.h"
#include "shutdown/ReadinessChecks.h"
#include "shutdown/SaveListController.h"
#include "shutdown/ShutdownSequence.h"
#include "shutdown/SystemShutdown.h"

namespace brevant {

MonitorEngine::MonitorEngine(const AppPaths& paths, Adapters adapters, QObject* parent)
    : QObject(parent)
    , m_paths(paths)
    , m_adapters(adapters)
    , m_settings(std::make_unique<Settings>(paths.settingsFile()))
    , m_usb(std::make_unique<UsbLink>(adapters.halvic, adapters.messages))
    , m_serial(std::make_unique<SerialLink>(adapters.serialPort))
    , m_links(std::make_unique<ActiveLink>(*m_settings, *m_usb, *m_serial))
    , m_records(std::make_unique<RecordStore>(paths.eventDatabase(), paths.closeAppDatabase()))
    , m_windows(std::make_unique<WindowsModel>())
    , m_display(std::make_unique<StatusDisplay>(adapters.scheduler))
    , m_countdown(std::make_unique<Countdown>(adapters.scheduler, *m_links))
    , m_alarm(std::make_unique<AlarmController>(adapters.scheduler, *m_links, *m_countdown))
{
    m_systemShutdown = std::make_unique<SystemShutdown>(SystemShutdown::Parts{
        adapters.scheduler, *m_links, adapters.powerOff, *m_records, adapters.messages});
    m_shutdown = std::make_unique<ShutdownSequence>(
        ShutdownSequence::Parts{adapters.scheduler, *m_settings, *m_records, adapters.processStarter,
                                *m_systemShutdown, paths.closeProgram()});
    m_confirmation = std::make_unique<Confirmation>(*m_shutdown, *m_records);
    m_monitor = std::make_unique<PowerMonitor>(
        PowerMonitor::Parts{adapters.scheduler, *m_settings, *m_links, *m_countdown, *m_alarm, *m_records});
    m_tray = std::make_unique<TrayPresenter>(*m_monitor, adapters.tray);
    connect(m_monitor.get(), &PowerMonitor::statusShown, m_display.get(), &StatusDisplay::show);
    m_saveList = std::make_unique<SaveListController>(*m_settings, *m_records, paths.closeAppList());
    m_readiness = std::make_unique<Readiness>(adapters.scheduler, *m_settings, *m_records);
    m_readiness->addCheck(readiness::linkAnswers(*m_links, *m_serial));
    m_readiness->addCheck(readiness::upsSwitchesOff(*m_links));
    m_readiness->addCheck(readiness::systemPowersOff(adapters.powerOff));
    m_readiness->addCheck(readiness::closeProgramRuns(*m_settings, paths.closeProgram()));
    m_readiness->addCheck(readiness::settingsWritable(paths.settingsFile()));
    m_readiness->addCheck(readiness::recordsOpen(*m_records));
    m_readiness->addCheck(readiness::systemFileReadable());
    connect(m_readiness.get(), &Readiness::verdictChanged, this, [this](const ReadinessVerdict& verdict) {
        m_adapters.tray.setWarning(verdict.isProtected ? QString() : verdict.text);
    });

    m_countdown->setAlarmAction([this] { m_alarm->show(); });
    m_alarm->setShutdownAction(
        [this] { m_shutdown->RequestShutdown(ShutdownSequence::Origin::AlarmWindow); });
    connect(m_shutdown.get(), &ShutdownSequence::windowsLeave, this, [this](ShutdownSequence::Origin origin) {
        m_windows->hide(WindowsModel::frmMain);
        if (origin == ShutdownSequence::Origin::AlarmWindow)
            m_alarm->hide();
        else
            m_confirmation->unload();
    });
    // No poll runs between the UPS-off commands; once the power-off is requested (or refused) the
    // UPS is watched again, so that a refusal still leaves the user informed.
    connect(m_systemShutdown.get(), &SystemShutdown::upsOffStarted, this,
            [this] { m_monitor->holdPolling(true); });
    connect(m_systemShutdown.get(), &SystemShutdown::attemptEnded, this, [this] {
        m_monitor->holdPolling(false);
        exitOnceTheShutdownAllows();
    });
    connect(m_shutdown.get(), &ShutdownSequence::handOverAwaitedChanged, this,
            &MonitorEngine::exitOnceTheShutdownAllows);
    m_exitHandOverWait = adapters.scheduler.createTimer(ExitHandOverWaitMs, [this] {
        m_exitHandOverWait->stop();
        m_shutdown->proceedWithoutHandOver();
    });
    connect(m_saveList.get(), &SaveListController::shown, this,
            [this] { m_windows->show(WindowsModel::frmSave); });
    connect(m_saveList.get(), &SaveListController::closed, this, [this] {
        m_windows->hide(WindowsModel::frmSave);
        m_windows->hide(WindowsModel::frmMain);
    });
}

MonitorEngine::~MonitorEngine() = default;

void MonitorEngine::finishSplash()
{
    m_monitor->startPolling(); // the poll goes on through a long save-list import
    if (m_settings->saveListWanted()) {
        openRecords();
        m_saveList->load();
    }
    loadMainWindow();
}

void MonitorEngine::loadMainWindow()
{
    m_monitor->startPolling();

    m_links->openAtStartup();

    openRecords();

    m_adapters.tray.replaceTrayIcon(TrayPicture::ImaMain, QStringLiteral("Brevant"));

    m_records->appendRecord(RecordTableId::Log, QStringLiteral("Program start"));

    m_alarm->setAlarmFormShown(false);
    m_confirmation->resetFlags();

    // The first display, before the first poll tick.
    if (m_links->firstStatus())
        m_display->AcPipeDisplay();
    else
        m_monitor->UnConShow();
}

void MonitorEngine::openRecords()
{
    // The save-list window, when shown, opened them already; one open serves the whole run.
    if (m_recordsOpen)
        return;
    m_recordsOpen = m_records->open().ok();
    if (!m_recordsOpen)
        qCWarning(lcEngine) << "record databases could not be opened";
}

void MonitorEngine::recordFirstStart()
{
    m_records->appendRecord(RecordTableId::Log,
                            QStringLiteral("First start: settings written with the first-install values"));
}

void MonitorEngine::startReadiness()
{
    connect(m_monitor.get(), &PowerMonitor::powerEvent, m_readiness.get(), [this](PowerEvent event) {
        if (event == PowerEvent::LinkLost || event == PowerEvent::LinkBack)
            m_readiness->recheck();
    });
    // The library tells with the values whether it could switch the UPS off: a new "no", or its
    // end, is checked at once.
    connect(m_display.get(), &StatusDisplay::detailsChanged, m_readiness.get(),
            [this](const UpsDetails& details) {
                std::optional<QString> refusal;
                if (details.upsOff == UpsDetails::UpsOff::No)
                    refusal = details.upsOffReason;
                if (refusal == m_upsOffRefusal)
                    return;
                m_upsOffRefusal = refusal;
                m_readiness->recheck();
            });
    m_readinessStarted = true;
    m_readiness->start();
}

void MonitorEngine::applyLinkChoice()
{
    m_links->switchToChosenLink();
    const EventSection level = m_monitor->lowBattLevel() ? EventSection::LowBattery : EventSection::OnBattery;
    m_countdown->setShutdownDelay(m_settings->delaySeconds(level));
    recheckReadiness();
}

void MonitorEngine::recheckReadiness()
{
    if (m_readinessStarted)
        m_readiness->recheck();
}

bool MonitorEngine::shutdownUnderWay() const
{
    return m_alarm->isCounting() || m_shutdown->handOverAwaited() || m_systemShutdown->isAttempting();
}

void MonitorEngine::requestExit()
{
    if (m_exitPending)
        return;
    if (!shutdownUnderWay()) {
        exit();
        emit exited();
        return;
    }
    // A shutdown already decided is never dropped: it is carried out before the program ends.
    qCInfo(lcEngine) << "exit waits for the shutdown under way";
    m_records->appendRecord(
        RecordTableId::Log,
        QStringLiteral("Exit requested during a shutdown: the shutdown is carried out first"));
    m_exitPending = true;
    if (m_alarm->isCounting())
        m_alarm->pressShutdown();
    if (m_shutdown->handOverAwaited())
        m_exitHandOverWait->start();
    exitOnceTheShutdownAllows();
}

void MonitorEngine::exitOnceTheShutdownAllows()
{
    if (!m_exitPending || shutdownUnderWay())
        return;
    m_exitPending = false;
    m_exitHandOverWait->stop();
    exit();
    emit exited();
}

void MonitorEngine::exit()
{
    m_records->appendRecord(RecordTableId::Log, QStringLiteral("Program quit"));
    m_links->closeAtExit();
    if (m_alarm->alarmFormShown())
        m_alarm->unload();
    m_adapters.tray.remove();

    // The process ends here; nothing fires after the exit.
    m_monitor->stopPolling();
    m_countdown->stop();
    m_records->close();
    m_recordsOpen = false;
}

} // namespace brevant
