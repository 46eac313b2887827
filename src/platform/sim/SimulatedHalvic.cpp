#include "platform/sim/SimulatedHalvic.h"

#include <QDateTime>
#include <array>
#include <cstring>

namespace brevant {

namespace {

struct StateName
{
    SimulatedHalvic::UpsState state;
    const char* name;
};

constexpr std::array<StateName, 5> StateNames{{
    {SimulatedHalvic::UpsState::Online, "online"},
    {SimulatedHalvic::UpsState::OnBattery, "onbattery"},
    {SimulatedHalvic::UpsState::LowBattery, "lowbattery"},
    {SimulatedHalvic::UpsState::LowOnline, "lowonline"},
    {SimulatedHalvic::UpsState::Silent, "silent"},
}};

bool mainsPresent(SimulatedHalvic::UpsState state)
{
    return state == SimulatedHalvic::UpsState::Online || state == SimulatedHalvic::UpsState::LowOnline;
}

bool batteryLow(SimulatedHalvic::UpsState state)
{
    return state == SimulatedHalvic::UpsState::LowBattery || state == SimulatedHalvic::UpsState::LowOnline;
}

} // namespace

SimulatedHalvic::SimulatedHalvic()
    : m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
{}

std::optional<SimulatedHalvic::UpsState> SimulatedHalvic::parseUpsState(QStringView name)
{
    for (const StateName& entry : StateNames) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return entry.state;
    }
    return std::nullopt;
}

QString SimulatedHalvic::upsStateName(UpsState state)
{
    for (const StateName& entry : StateNames) {
        if (entry.state == state)
            return QLatin1String(entry.name);
    }
    return {};
}

QString SimulatedHalvic::missingLibraryText()
{
    return QStringLiteral("Cannot load library Halvic: (libHalvic.so: cannot open shared object file: "
                          "No such file or directory)");
}

Status SimulatedHalvic::missing() const
{
    if (m_libraryMissing)
        return Status::failure(missingLibraryText());
    return Status::success();
}

Status SimulatedHalvic::hidHandle()
{
    if (Status status = missing(); !status.ok())
        return status;
    m_deviceOpen = true;
    ++m_hidHandleCount;
    return Status::success();
}

Status SimulatedHalvic::closeHandleDevice()
{
    if (Status status = missing(); !status.ok())
        return status;
    m_deviceOpen = false;
    return Status::success();
}

Status SimulatedHalvic::cmdOutput(int command, char* replyCode)
{
    if (Status status = missing(); !status.ok())
        return status;
    if (!m_deviceOpen || m_state == UpsState::Silent)
        return Status::success();
    if (command == HALVIC_COMMAND_UPS_OFF) {
        if (m_cannotSwitchOff)
            return Status::success();
        m_upsOffTimes.append(m_clock());
        std::memcpy(replyCode, m_upsOffReply, ReplyCodeSize);
    } else {
        m_statusQueryTimes.append(m_clock());
        std::memcpy(replyCode, HALVIC_REPLY_STATUS, ReplyCodeSize);
    }
    return Status::success();
}

Status SimulatedHalvic::cmdInput(char* statusBlock, char* secondBuffer)
{
    if (Status status = missing(); !status.ok())
        return status;
    if (!m_deviceOpen || m_state == UpsState::Silent)
        return Status::success();
    std::memset(statusBlock, 0, StatusBlockSize);
    statusBlock[0] = HALVIC_VALID_MARKER;
    statusBlock[HALVIC_MAINS_BYTE - 1] = mainsPresent(m_state) ? 1 : 0;
    statusBlock[HALVIC_LOW_BATTERY_BYTE - 1] = batteryLow(m_state) ? 1 : 0;
    statusBlock[HALVIC_FORCED_SHUTDOWN_BYTE - 1] = m_forcedShutdown ? 1 : 0;
    std::memset(secondBuffer, 0, SecondBufferSize);
    return Status::success();
}

void SimulatedHalvic::setValue(const QByteArray& name, const QByteArray& value)
{
    if (value.isEmpty())
        m_values.remove(name);
    else
        m_values.insert(name, value);
}

void SimulatedHalvic::setUpsOff(const QByteArray& answer, const QByteArray& reason)
{
    setValue(HALVIC_VALUE_UPS_OFF, answer);
    setValue(HALVIC_VALUE_UPS_OFF_REASON, reason);
    m_cannotSwitchOff = answer == HALVIC_UPS_OFF_NO;
}

QByteArray SimulatedHalvic::values()
{
    if (m_libraryMissing || !m_valuesSupported)
        return {};
    ++m_valuesCount;
    if (!m_deviceOpen || m_state == UpsState::Silent)
        return {};
    QByteArray lines;
    for (auto it = m_values.cbegin(); it != m_values.cend(); ++it)
        lines += it.key() + ' ' + it.value() + '\n';
    return lines;
}

} // namespace brevant
