#include "shutdown/ShutdownSequence.h"

#include "config/Settings.h"
#include "link/SerialLink.h"
#include "link/UsbLink.h"
#include "platform/ProcessStarter.h"
#include "platform/Scheduler.h"
#include "platform/SystemPowerOff.h"
#include "records/RecordStore.h"
#include "shutdown/AlarmController.h"
#include "shutdown/WindowsModel.h"

#include <QLoggingCategory>

namespace brevant {

Q_LOGGING_CATEGORY(lcShutdown, "brevant.shutdown")

const QString ShutdownSequence::ShutdownQuestion = QStringLiteral("Are you sure shutdown system and ups ?");
const QString ShutdownSequence::ClearQuestion = QStringLiteral("     Are you sure clear all logs ?");

ShutdownSequence::ShutdownSequence(Parts parts, QObject* parent)
    : QObject(parent)
    , m_parts(std::move(parts))
    , m_timer3(m_parts.scheduler.createTimer(100, [this] { Timer3_Timer(); }))
{}

ShutdownSequence::~ShutdownSequence() = default;

bool ShutdownSequence::watcherArmed() const
{
    return m_timer3->isActive();
}

void ShutdownSequence::resetFlags()
{
    m_askShutdown = m_askClearLog = m_askClearUps = m_askClearClose = false;
}

void ShutdownSequence::pressShutdownButton()
{
    m_askShutdown = true;
    showQuestion();
}

void ShutdownSequence::pressClearLog()
{
    m_askClearLog = true;
    showQuestion();
}

void ShutdownSequence::pressClearUps()
{
    m_askClearUps = true;
    showQuestion();
}

void ShutdownSequence::pressClearClose()
{
    m_askClearClose = true;
    showQuestion();
}

void ShutdownSequence::showQuestion()
{
    // A window already loaded is only brought up again; its question stays as it was.
    if (m_questionLoaded)
        return;
    m_questionLoaded = true;
    m_questionText = m_askShutdown ? ShutdownQuestion : ClearQuestion;
    emit questionShown(m_questionText);
}

void ShutdownSequence::unloadQuestion()
{
    if (!m_questionLoaded)
        return;
    m_questionLoaded = false;
    emit questionUnloaded();
}

void ShutdownSequence::pressYes()
{
    if (m_askShutdown) {
        m_askShutdown = false;
        RequestShutdown(Origin::ConfirmationWindow);
    }
    if (m_askClearLog) {
        m_askClearLog = false;
        m_parts.records.clearTable(RecordTableId::Log);
    }
    if (m_askClearUps) {
        m_askClearUps = false;
        m_parts.records.clearTable(RecordTableId::UpsEvent);
    }
    if (m_askClearClose) {
        m_askClearClose = false;
        m_parts.records.clearTable(RecordTableId::CloseApp);
    }
    unloadQuestion();
}

void ShutdownSequence::pressNo()
{
    resetFlags();
    unloadQuestion();
}

void ShutdownSequence::RequestShutdown(Origin origin)
{
    m_timer3->start();
    m_parts.windows.hide(WindowsModel::frmMain);
    if (origin == Origin::AlarmWindow)
        m_parts.alarm.hide();
    else
        unloadQuestion();

    if (!m_parts.settings.saveApplications()) {
        m_parts.settings.write(QStringLiteral("Schema"), QStringLiteral("ShutDown"), QStringLiteral("1"));
        return;
    }
    if (m_parts.processStarter.startDetached(m_parts.closeProgram))
        return; // close.exe gives the handshake when it has saved the user's work
    // Without close.exe nobody would ever give the handshake: shut down without saving rather
    // than not at all.
    qCWarning(lcShutdown) << "could not start" << m_parts.closeProgram
                          << "- shutting down without saving applications";
    m_parts.records.appendRecord(
        RecordTableId::Log,
        QStringLiteral("close.exe could not be started: shutdown without saving applications"));
    m_parts.settings.write(QStringLiteral("Schema"), QStringLiteral("ShutDown"), QStringLiteral("1"));
}

void ShutdownSequence::Timer3_Timer()
{
    if (!m_parts.settings.shutdownRequested())
        return;
    // Reset first, so that each request is carried out once.
    m_parts.settings.write(QStringLiteral("Schema"), QStringLiteral("ShutDown"), QStringLiteral("0"));
    switchUpsOff();
    m_parts.powerOff.shutDownSystem();
}

void ShutdownSequence::switchUpsOff()
{
    if (m_parts.settings.link().serial) {
        m_parts.serial.raiseDtr();
        return;
    }
    m_parts.usb.usbExchange(UsbLink::UpsOff);
    m_parts.scheduler.delay(10);
    m_parts.usb.usbExchange(UsbLink::UpsOff);
    m_parts.scheduler.delay(10);
    m_parts.usb.usbExchange(UsbLink::UpsOff);
}

} // namespace brevant
