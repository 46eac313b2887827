#pragma once

#include "config/SettingKeys.h"
#include "engine/MonitorEngine.h"
#include "platform/sim/SimulatedPlatform.h"
#include "records/RecordStore.h"

#include <QPair>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <utility>

namespace testsupport {

// A whole engine on simulated devices and virtual time, with its settings file and databases in
// a temporary application directory.
class EngineFixture
{
public:
    using SettingList = QList<QPair<brevant::IniKey, QString>>;

    // Settings written before the engine exists.
    explicit EngineFixture(const SettingList& settings = {});
    ~EngineFixture();

    brevant::MonitorEngine& engine() { return *m_engine; }
    brevant::SimulatedPlatform& platform() { return m_platform; }
    const brevant::AppPaths& paths() const { return m_paths; }

    void set(brevant::IniKey key, const QString& value);
    QString get(brevant::IniKey key) const;

    // The main window's load at virtual time 0.
    void start() { m_engine->loadMainWindow(); }
    void advance(qint64 ms) { m_platform.scheduler.advanceBy(ms); }
    // Runs up to and including the next poll tick.
    void tick();
    void serialLines(bool cts, bool dcd);

    // Every (table, text) appended since the last call.
    QList<QPair<brevant::RecordTableId, QString>> takeAppended() { return std::exchange(m_appended, {}); }
    QStringList messages(brevant::RecordTableId table) const;
    // Tray replacements since the last call, as "picture|tip".
    QStringList takeTray() { return std::exchange(m_tray, {}); }

private:
    QTemporaryDir m_dir;
    brevant::AppPaths m_paths;
    brevant::SimulatedPlatform m_platform;
    std::unique_ptr<brevant::MonitorEngine> m_engine;
    QList<QPair<brevant::RecordTableId, QString>> m_appended;
    QStringList m_tray;
};

} // namespace testsupport
