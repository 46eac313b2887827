#include "EngineFixture.h"

#include "config/IniFile.h"
#include "monitor/PowerMonitor.h"

namespace testsupport {

using namespace brevant;

EngineFixture::EngineFixture(const SettingList& settings)
    : m_paths(m_dir.path())
{
    for (const auto& [key, value] : settings)
        set(key, value);
    m_engine = std::make_unique<MonitorEngine>(m_paths, m_platform.adapters());
    QObject::connect(&m_engine->records(), &RecordStore::recordAppended,
                     [this](RecordTableId table, const QString& text) {
                         m_appended.append({table, text});
                     });
    m_platform.tray.onReplace = [this](const SimulatedTray::Icon& icon) {
        m_tray.append(trayPictureName(icon.picture) + u'|' + icon.tip);
    };
}

EngineFixture::~EngineFixture() = default;

void EngineFixture::set(IniKey key, const QString& value)
{
    if (!WriteIni(m_paths.settingsFile(), key, value).ok())
        qFatal("cannot write the test's settings in %s", qPrintable(m_paths.settingsFile()));
}

QString EngineFixture::get(IniKey key) const
{
    return ReadIni(m_paths.settingsFile(), key);
}

void EngineFixture::tick()
{
    const qint64 now = m_platform.scheduler.nowMs();
    advance(PowerMonitor::PollIntervalMs - now % PowerMonitor::PollIntervalMs);
}

void EngineFixture::serialLines(bool cts, bool dcd)
{
    m_platform.serialPort.setCts(cts);
    m_platform.serialPort.setDcd(dcd);
}

QStringList EngineFixture::messages(RecordTableId table) const
{
    QStringList texts;
    for (const QStringList& row : m_engine->records().rows(table))
        texts.append(row.value(2));
    return texts;
}

} // namespace testsupport
