#pragma once

#include "base/Result.h"
#include "config/SettingKeys.h"

#include <QString>
#include <functional>
#include <optional>

namespace brevant {

struct LinkChoice
{
    bool serial = false; // false: the USB link
    int port = 0;        // serial port number (COMn) when serial
};

// Typed access to UpsConfigure.ini. Nothing is cached: every accessor reads the file at the
// moment of use, so an outside writer (a settings page, close.exe) governs the next use.
//
// Each key is read by its row of AllSettings (SettingTable.h): its conversion, and the fallback
// that an absent, unreadable or out-of-range value reads as. A file that cannot be read at all
// (see fileProblem) reads as absent: every key at its fallback, which is no shutdown.
class Settings
{
public:
    using WriteObserver = std::function<void(IniKey key, const QString& value)>;

    explicit Settings(QString iniFile);

    const QString& fileName() const { return m_file; }

    QString read(IniKey key) const;
    // The key converted by its row of AllSettings; Boolean ones are 0 or 1, Delaytime in seconds.
    double value(IniKey key) const;
    // Every write the program makes goes through here; a failure is logged once here and
    // returned, for the callers whose next step depends on it.
    Status write(IniKey key, const QString& value);
    // Why the file gives no settings, if it gives none: missing, not a regular file (a directory,
    // a FIFO, a device), too large, not readable, or holding none of the keys (damaged, or not a
    // settings file). The program then protects nothing.
    Status fileProblem() const;
    // fileProblem, logged once in the program's life.
    Status reportFileProblem() const;
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

    // The user's own battery-low thresholds, `[Battery] LowCharge` (%) and `LowRuntime`
    // (minutes); nothing when off.
    std::optional<int> lowBatteryCharge() const;
    std::optional<int> lowBatteryRuntimeMinutes() const;

    bool saveApplications() const;
    bool shutdownRequested() const;
    bool closeAppFlagSet() const;
    bool saveListWanted() const;

private:
    std::optional<int> threshold(IniKey key) const;

    QString m_file;
    WriteObserver m_observer;
};

} // namespace brevant
