#include "HidrawDevice.h"

#include "HidPowerDevice.h"
#include "SmallFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace halvic {

namespace {

constexpr size_t MaxReportBytes = 4096;
constexpr size_t MaxPendingReports = 64;

unsigned long getReportRequest(HidReportKind kind, size_t length)
{
    return kind == HidReportKind::Feature ? HIDIOCGFEATURE(length) : HIDIOCGINPUT(length);
}

} // namespace

std::unique_ptr<HidrawDevice> HidrawDevice::open(const std::string& path, int& error)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    return std::unique_ptr<HidrawDevice>(new HidrawDevice(fd));
}

HidrawDevice::HidrawDevice(int fd)
    : m_fd(fd)
{}

HidrawDevice::~HidrawDevice()
{
    ::close(m_fd);
}

bool HidrawDevice::isGone() const
{
    return m_lastError == ENODEV || m_lastError == ENXIO || m_lastError == EIO || m_lastError == EBADF;
}

std::optional<std::vector<uint8_t>> HidrawDevice::reportDescriptor()
{
    int size = 0;
    if (::ioctl(m_fd, HIDIOCGRDESCSIZE, &size) < 0) {
        m_lastError = errno;
        return std::nullopt;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<uint32_t>(std::clamp(size, 0, HID_MAX_DESCRIPTOR_SIZE));
    if (::ioctl(m_fd, HIDIOCGRDESC, &descriptor) < 0) {
        m_lastError = errno;
        return std::nullopt;
    }
    return std::vector<uint8_t>(descriptor.value, descriptor.value + descriptor.size);
}

std::optional<std::pair<uint16_t, uint16_t>> HidrawDevice::ids()
{
    hidraw_devinfo info{};
    if (::ioctl(m_fd, HIDIOCGRAWINFO, &info) < 0) {
        m_lastError = errno;
        return std::nullopt;
    }
    return std::pair(static_cast<uint16_t>(info.vendor), static_cast<uint16_t>(info.product));
}

std::array<std::string, 3> HidrawDevice::usbStrings(const std::string& sysDevChar) const
{
    constexpr size_t MaxStringBytes = 256;
    std::array<std::string, 3> strings;
    struct stat node
    {};
    if (::fstat(m_fd, &node) != 0)
        return strings;
    // The node's class device -> its HID device -> the USB interface -> the USB device.
    const std::string usbDevice = sysDevChar + '/' + std::to_string(major(node.st_rdev)) + ':' +
                                  std::to_string(minor(node.st_rdev)) + "/device/../../";
    const char* names[] = {"manufacturer", "product", "serial"};
    for (size_t i = 0; i < strings.size(); ++i) {
        auto text = readSmallFile(usbDevice + names[i], MaxStringBytes).value_or(std::string());
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        strings[i] = std::move(text);
    }
    return strings;
}

std::optional<std::vector<uint8_t>> HidrawDevice::getReport(HidReportKind kind, uint8_t reportId,
                                                            size_t length)
{
    std::vector<uint8_t> report(std::clamp<size_t>(length, 1, MaxReportBytes), 0);
    report[0] = reportId;
    const int got = ::ioctl(m_fd, getReportRequest(kind, report.size()), report.data());
    if (got < 0) {
        m_lastError = errno;
        return std::nullopt;
    }
    report.resize(std::min(report.size(), static_cast<size_t>(got)));
    return report;
}

bool HidrawDevice::setFeature(const std::vector<uint8_t>& report)
{
    if (::ioctl(m_fd, HIDIOCSFEATURE(report.size()), report.data()) < 0) {
        m_lastError = errno;
        return false;
    }
    return true;
}

std::vector<std::vector<uint8_t>> HidrawDevice::pendingInputReports(bool numberedReports)
{
    std::vector<std::vector<uint8_t>> reports;
    std::vector<uint8_t> buffer(MaxReportBytes + 1);
    while (reports.size() < MaxPendingReports) {
        const ssize_t got = ::read(m_fd, buffer.data() + 1, MaxReportBytes);
        if (got <= 0) {
            if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                m_lastError = errno;
            break;
        }
        // Reports of a device without numbered reports get the 0 that GET_REPORT would put first.
        const auto begin = buffer.begin() + (numberedReports ? 1 : 0);
        reports.emplace_back(begin, buffer.begin() + 1 + got);
    }
    return reports;
}

PowerDeviceSearch searchPowerDevices(const std::string& sysClassDir, const std::string& devDir)
{
    std::vector<std::pair<unsigned long, std::string>> nodes;
    DIR* dir = ::opendir(sysClassDir.c_str());
    if (dir == nullptr)
        return {};
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        unsigned long number = 0;
        const char* digits = name.c_str() + std::min<size_t>(name.size(), 6);
        const auto [end, error] = std::from_chars(digits, name.c_str() + name.size(), number);
        if (name.starts_with("hidraw") && error == std::errc() && end == name.c_str() + name.size())
            nodes.emplace_back(number, name);
    }
    ::closedir(dir);
    std::ranges::sort(nodes);
    PowerDeviceSearch search;
    for (const auto& [number, name] : nodes) {
        const std::string path = devDir + '/' + name;
        const auto text =
            readSmallFile(sysClassDir + '/' + name + "/device/report_descriptor", HID_MAX_DESCRIPTOR_SIZE);
        std::string why;
        const auto layout =
            text ? parseReportDescriptor(std::vector<uint8_t>(text->begin(), text->end()), &why)
                 : std::nullopt;
        if (!text)
            search.refused.push_back(path + ": no report descriptor in sysfs");
        else if (!layout)
            search.refused.push_back(path + ": broken report descriptor (" + why + ")");
        else if (!isPowerDevice(*layout))
            search.refused.push_back(path + ": not a power device");
        else if (!PowerDeviceFields::find(*layout).canReadStatus())
            search.refused.push_back(path + ": a power device without ACPresent or Discharging");
        else
            search.usable.push_back(path);
    }
    return search;
}

std::vector<std::string> findPowerDevices(const std::string& sysClassDir, const std::string& devDir)
{
    return searchPowerDevices(sysClassDir, devDir).usable;
}

} // namespace halvic
