#include "config/ui/ApplyWrites.h"

#include "config/Settings.h"
#include "platform/MessageBoxPresenter.h"

namespace brevant {

ApplyWrites::ApplyWrites(Settings& settings, MessageBoxPresenter& messages)
    : m_settings(settings)
    , m_messages(messages)
{}

void ApplyWrites::write(IniKey key, const QString& value)
{
    const Status written = m_settings.write(key, value);
    if (!written.ok() && m_firstFailure.isEmpty())
        m_firstFailure = written.error();
}

void ApplyWrites::reportFailure()
{
    if (!m_firstFailure.isEmpty())
        m_messages.showError(QStringLiteral("The settings could not be saved in %1: %2")
                                 .arg(m_settings.fileName(), m_firstFailure));
}

} // namespace brevant
