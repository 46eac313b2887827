#pragma once

#include "Backend.h"
#include "Config.h"
#include "HidPowerDevice.h"
#include "HidrawDevice.h"

#include <map>
#include <memory>
#include <string>

namespace halvic {

struct HidSettings
{
    // A hidraw node; empty: the first power device found that tells its status.
    std::string device;
    int offDelaySeconds = DefaultOffDelaySeconds;
};

// A USB HID power device through Linux hidraw, asked from the worker thread. The device is found
// and opened on first use; once it fails as a device that is gone, it is let go, and the next call
// looks for it again, so a UPS unplugged and plugged in again is found by the next poll.
class HidBackend : public Backend
{
public:
    // DelayBeforeStartup is set this much longer than DelayBeforeShutdown, so that the UPS, once
    // off, comes back on when the mains returns.
    static constexpr int StartupMarginSeconds = 10;

    explicit HidBackend(HidSettings settings);

    std::optional<UpsReading> readStatus() override;
    bool switchOff() override;

    // The whole of the last successful reading: status, measures and the USB strings.
    const HidReading& lastReading() const { return m_reading; }

private:
    bool opened();
    bool open(const std::string& path);
    std::optional<std::vector<uint8_t>> report(HidReportKind kind, uint8_t reportId);
    bool writeDelay(const HidField& field, int64_t logical);
    // The logical value of a delay, or empty with the reason logged.
    std::optional<int64_t> delayValue(const char* name, const HidField& field, int seconds);
    void letGoIfGone();

    HidSettings m_settings;
    std::string m_path;
    std::unique_ptr<HidrawDevice> m_device;
    HidReportLayout m_layout;
    PowerDeviceFields m_fields;
    HidReading m_reading;
    std::array<std::string, 3> m_usbStrings;
    // The last input report of each ID the device sent on its own.
    std::map<uint8_t, std::vector<uint8_t>> m_inputReports;
};

} // namespace halvic
