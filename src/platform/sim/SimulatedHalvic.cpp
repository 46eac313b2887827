#include "SimulatedHalvic.h"

#include <QDateTime>
#include <array>
#include <cstring>

namespace brevant {

namespace {

constexpr int UpsOffCommand = 2;

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

CallError SimulatedHalvic::missing() const
{
    if (m_libraryMissing)
        return missingLibraryText();
    return std::nullopt;
}

CallError SimulatedHalvic::hidHandle()
{
    if (CallError error = missing())
        return error;
    m_deviceOpen = true;
    ++m_hidHandleCount;
    return std::nullopt;
}

CallError SimulatedHalvic::closeHandleDevice()
{
    if (CallError error = missing())
        return error;
    m_deviceOpen = false;
    return std::nullopt;
}

CallError SimulatedHalvic::cmdOutput(int command, char* replyCode)
{
    if (CallError error = missing())
        return error;
    if (!m_deviceOpen || m_state == UpsState::Silent)
        return std::nullopt;
    if (command == UpsOffCommand) {
        m_upsOffTimes.append(m_clock());
        std::memcpy(replyCode, "S1", ReplyCodeSize);
    } else {
        std::memcpy(replyCode, "T1", ReplyCodeSize);
    }
    return std::nullopt;
}

CallError SimulatedHalvic::cmdInput(char* statusBlock, char* secondBuffer)
{
    if (CallError error = missing())
        return error;
    if (!m_deviceOpen || m_state == UpsState::Silent)
        return std::nullopt;
    std::memset(statusBlock, 0, StatusBlockSize);
    statusBlock[0] = 'T';
    statusBlock[2] = mainsPresent(m_state) ? 1 : 0;
    statusBlock[3] = batteryLow(m_state) ? 1 : 0;
    std::memset(secondBuffer, 0, SecondBufferSize);
    return std::nullopt;
}

} // namespace brevant
