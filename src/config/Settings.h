#pragma once

#include "base/Result.h"
#include "config/SettingKeys.h"

#include <QString>
#include <functional>

namespace brevant {

struct LinkChoice
{
    bool serial = false; // false: the USB link
    int port = 0;        // serial port number (COMn) when serial
};

// Typed access to UpsConfigure.ini. Nothing is cached: every accessor reads the file at the
// moment of use, so an outside writer (a settings page, close.exe) governs the next use.
//
// Values that cannot be read as the conversion expects (empty, absent, non-numeric):
//   ComboPort          -> the USB link, also for a number that rounds to less than 1
//   Disableevent       -> 0, the event is enabled
//   Recordlog/Shutdown -> false; the low-battery "Shutdown = 1" test is false
//   Delaytime          -> 2 minutes (120 s), the settings page's own default; a delay beyond
//                         the 32-bit range of seconds is clamped to it
//   Logcount/...       -> 1000, the largest limit, also for a number too large for a double
//   Saveapllication    -> false; ShutDown and CloseAppFlag -> not 1; SaveList -> false
class Settings
{
public:
    using WriteObserver = std::function<void(IniKey key, const QString& value)>;

    explicit Settings(QString iniFile);

    const QString& fileName() const { return m_file; }

    QString read(IniKey key) const;
    // Every write the program makes goes through here; a failure is logged once here and
    // returned, for the callers whose next step depends on it.
    Status write(IniKey key, const QString& value) const;
    // Told of every write the program makes through this object.
    void setWriteObserver(WriteObserver observer) { m_observer = std::move(observer); }

    LinkChoice link() const;

    bool eventDisabled(EventSection section) const;
    bool recordLog(EventSection section) const;
    bool shutdownOnEvent(EventSection section) const;
    // "[UpsLowBattery] Shutdown = 1", the numeric test the battery-low cleared actions make.
    bool lowBatteryShutdownIsOne() const;
    qint32 delaySeconds(EventSection section) const;

    double recordLimit(RecordList list) const;

    bool saveApplications() const;
    bool shutdownRequested() const;
    bool closeAppFlagSet() const;
    bool saveListWanted() const;

private:
    QString m_file;
    WriteObserver m_observer;
};

} // namespace brevant
