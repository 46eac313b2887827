#include "shutdown/Confirmation.h"

#include "records/RecordStore.h"
#include "shutdown/ShutdownSequence.h"

namespace brevant {

const QString Confirmation::ShutdownQuestion = QStringLiteral("Are you sure shutdown system and ups ?");
const QString Confirmation::ClearQuestion = QStringLiteral("     Are you sure clear all logs ?");

Confirmation::Confirmation(ShutdownSequence& shutdown, RecordStore& records, QObject* parent)
    : QObject(parent)
    , m_shutdown(shutdown)
    , m_records(records)
{}

void Confirmation::resetFlags()
{
    m_askShutdown = m_askClearLog = m_askClearUps = m_askClearClose = false;
}

void Confirmation::pressShutdownButton()
{
    m_askShutdown = true;
    show();
}

void Confirmation::pressClearLog()
{
    m_askClearLog = true;
    show();
}

void Confirmation::pressClearUps()
{
    m_askClearUps = true;
    show();
}

void Confirmation::pressClearClose()
{
    m_askClearClose = true;
    show();
}

void Confirmation::show()
{
    // A window already loaded is only brought up again; its question stays as it was.
    if (m_loaded) {
        emit questionRaised();
        return;
    }
    m_loaded = true;
    m_questionText = m_askShutdown ? ShutdownQuestion : ClearQuestion;
    emit questionShown(m_questionText);
}

void Confirmation::unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    emit questionUnloaded();
}

void Confirmation::pressYes()
{
    if (m_askShutdown) {
        m_askShutdown = false;
        m_shutdown.RequestShutdown(ShutdownSequence::Origin::ConfirmationWindow);
    }
    if (m_askClearLog) {
        m_askClearLog = false;
        m_records.clearTable(RecordTableId::Log);
    }
    if (m_askClearUps) {
        m_askClearUps = false;
        m_records.clearTable(RecordTableId::UpsEvent);
    }
    if (m_askClearClose) {
        m_askClearClose = false;
        m_records.clearTable(RecordTableId::CloseApp);
    }
    unload();
}

void Confirmation::pressNo()
{
    resetFlags();
    unload();
}

} // namespace brevant
