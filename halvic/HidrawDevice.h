#pragma once

#include "HidDescriptor.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halvic {

// A Linux hidraw device node, opened without blocking: reads never wait, and each ioctl waits at
// most for the kernel's USB control-transfer time-out. Reports go in and out with the report ID
// byte first (0 for a device without numbered reports).
class HidrawDevice
{
public:
    // Empty on failure, with errno's value in error.
    static std::unique_ptr<HidrawDevice> open(const std::string& path, int& error);
    ~HidrawDevice();
    HidrawDevice(const HidrawDevice&) = delete;
    HidrawDevice& operator=(const HidrawDevice&) = delete;

    std::optional<std::vector<uint8_t>> reportDescriptor();
    // The USB vendor and product IDs (HIDIOCGRAWINFO).
    std::optional<std::pair<uint16_t, uint16_t>> ids();
    // The USB device's manufacturer, product and serial number strings, from sysfs (the node's
    // device/../.. under sysDevChar); empty where sysfs has none.
    std::array<std::string, 3> usbStrings(const std::string& sysDevChar = "/sys/dev/char") const;
    // Input or feature report by GET_REPORT.
    std::optional<std::vector<uint8_t>> getReport(HidReportKind kind, uint8_t reportId, size_t length);
    bool setFeature(const std::vector<uint8_t>& report);
    // The input reports the device sent on its own since the last call, oldest first.
    std::vector<std::vector<uint8_t>> pendingInputReports(bool numberedReports);

    // errno of the last failed call.
    int lastError() const { return m_lastError; }
    // The last failure says the device is gone (unplugged) rather than that it refused a request.
    bool isGone() const;

private:
    explicit HidrawDevice(int fd);

    int m_fd;
    int m_lastError = 0;
};

// The hidraw nodes (devDir/hidrawN), lowest number first, sorted by what their report
// descriptors, read from sysfs without opening the devices, tell.
struct PowerDeviceSearch
{
    // Power devices whose descriptors have ACPresent or Discharging.
    std::vector<std::string> usable;
    // The others, each with the reason: "/dev/hidraw0: not a power device".
    std::vector<std::string> refused;
};
PowerDeviceSearch searchPowerDevices(const std::string& sysClassDir = "/sys/class/hidraw",
                                     const std::string& devDir = "/dev");
// The usable nodes of searchPowerDevices.
std::vector<std::string> findPowerDevices(const std::string& sysClassDir = "/sys/class/hidraw",
                                          const std::string& devDir = "/dev");

} // namespace halvic
