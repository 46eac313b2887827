#pragma once

#include "platform/Adapters.h"
#include "platform/ProcessStarter.h"
#include "platform/SystemPowerOff.h"
#include "platform/TrayIcon.h"
#include "platform/sim/RecordingMessageBox.h"
#include "platform/sim/SimulatedHalvic.h"
#include "platform/sim/SimulatedSerialPort.h"
#include "platform/sim/VirtualScheduler.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace brevant {

// Tray icon that remembers every replacement instead of drawing one.
class SimulatedTray final : public TrayIcon
{
public:
    struct Icon
    {
        TrayPicture picture;
        QString tip;
    };
    std::function<void(const Icon&)> onReplace;
    std::function<void()> onRemove;

    void replaceTrayIcon(TrayPicture picture, const QString& tip) override;
    void remove() override;
    void setWarning(const QString& warning) override { m_warning = warning; }

    bool isShown() const { return m_shown; }
    const QString& warning() const { return m_warning; }
    const QList<Icon>& history() const { return m_history; }

private:
    bool m_shown = false;
    QList<Icon> m_history;
    QString m_warning;
};

// Counts shutdowns instead of powering anything off. It allows and accepts every power-off, and
// says it is ready for one, unless told otherwise.
class SimulatedPowerOff final : public SystemPowerOff
{
public:
    std::function<void()> onShutdown;
    Status permission = Status::success();
    Status answer = Status::success();
    PowerOffReadiness readiness = PowerOffReadiness::yes();

    void checkAllowed(Answer reply) override { reply(permission); }
    void shutDownSystem(Answer reply) override;
    void checkReadiness(ReadinessAnswer reply) override { reply(readiness); }
    int count() const { return m_count; }

private:
    int m_count = 0;
};

// Records the programs it was asked to start and starts none. A program counts as started when
// its file exists, so a missing close.exe behaves as it would for real.
class SimulatedProcessStarter final : public ProcessStarter
{
public:
    std::function<void(const QString&)> onStart;
    bool startDetached(const QString& program) override;
    const QStringList& started() const { return m_started; }

private:
    QStringList m_started;
};

// Every adapter of the engine, simulated, on virtual time.
struct SimulatedPlatform
{
    SimulatedPlatform();

    Adapters adapters();

    VirtualScheduler scheduler;
    SimulatedHalvic halvic;
    SimulatedSerialPort serialPort;
    RecordingMessageBox messages;
    SimulatedTray tray;
    SimulatedPowerOff powerOff;
    SimulatedProcessStarter processStarter;
};

} // namespace brevant
