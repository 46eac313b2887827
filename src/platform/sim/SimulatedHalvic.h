#pragma once

#include "platform/HalvicApi.h"

#include <QList>
#include <QMap>
#include <QStringView>
#include <functional>
#include <optional>

namespace brevant {

// A Halvic library with a UPS behind it whose state is set by hand: for the fire drill and tests.
// Like the real device, it answers only between hidHandle() and closeHandleDevice(). A status
// query is answered "T1" with a valid status block; the UPS-off command is answered "S1" and
// recorded. A silent UPS leaves the reply code as zero bytes.
class SimulatedHalvic : public HalvicApi
{
public:
    enum class UpsState
    {
        Online,
        OnBattery,
        LowBattery, // on battery, battery low
        LowOnline,  // mains back, battery still low
        Silent
    };
    using Clock = std::function<qint64()>; // milliseconds

    SimulatedHalvic();

    static std::optional<UpsState> parseUpsState(QStringView name); // "online", "onbattery", ...
    static QString upsStateName(UpsState state);
    static QString missingLibraryText();

    void setUpsState(UpsState state) { m_state = state; }
    // The UPS's server asks for a forced shutdown (the status block's forced-shutdown byte).
    void setForcedShutdown(bool requested) { m_forcedShutdown = requested; }
    // The reply to every UPS-off command ("S1" accepted, "W1" under way, "N1" not this computer's).
    void setUpsOffReply(const char* replyCode) { m_upsOffReply = replyCode; }
    UpsState upsState() const { return m_state; }
    // While set, every call fails as it does when the library file cannot be loaded.
    void setLibraryMissing(bool missing) { m_libraryMissing = missing; }
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // A value the UPS reports through the fifth call ("battery.charge", "87"); an empty value
    // takes it away. Answered only while the UPS answers.
    void setValue(const QByteArray& name, const QByteArray& value);
    // What the library says about switching the UPS off (HALVIC_UPS_OFF_YES, _NO with a reason,
    // _SECONDARY); empty: it cannot tell. While it is "no", UPS-off commands go unanswered and
    // are not recorded, as with a UPS that cannot be switched off.
    void setUpsOff(const QByteArray& answer, const QByteArray& reason = {});
    // An older library, with only the four calls: values() answers nothing.
    void setValuesSupported(bool supported) { m_valuesSupported = supported; }
    int valuesCount() const { return m_valuesCount; }

    bool deviceOpen() const { return m_deviceOpen; }
    int hidHandleCount() const { return m_hidHandleCount; }
    int upsOffCount() const { return int(m_upsOffTimes.size()); }
    // The clock's time of every UPS-off command that reached the UPS.
    const QList<qint64>& upsOffTimes() const { return m_upsOffTimes; }
    const QList<qint64>& statusQueryTimes() const { return m_statusQueryTimes; }

    Status hidHandle() override;
    Status closeHandleDevice() override;
    Status cmdOutput(int command, char* replyCode) override;
    Status cmdInput(char* statusBlock, char* secondBuffer) override;
    QByteArray values() override;

private:
    Status missing() const;

    UpsState m_state = UpsState::Online;
    bool m_libraryMissing = false;
    bool m_deviceOpen = false;
    int m_hidHandleCount = 0;
    Clock m_clock;
    QList<qint64> m_upsOffTimes;
    QList<qint64> m_statusQueryTimes;
    bool m_forcedShutdown = false;
    const char* m_upsOffReply = HALVIC_REPLY_ACCEPTED;
    QMap<QByteArray, QByteArray> m_values;
    bool m_valuesSupported = true;
    bool m_cannotSwitchOff = false;
    int m_valuesCount = 0;
};

} // namespace brevant
