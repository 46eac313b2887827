#include "HidBackend.h"

#include "Log.h"

#include <cstring>

namespace halvic {

HidBackend::HidBackend(HidSettings settings)
    : m_settings(std::move(settings))
{}

std::optional<UpsReading> HidBackend::readStatus()
{
    if (!opened())
        return std::nullopt;
    for (auto& sent : m_device->pendingInputReports(m_layout.usesReportIds)) {
        if (!sent.empty())
            m_inputReports[sent.front()] = std::move(sent);
    }
    std::map<std::pair<HidReportKind, uint8_t>, std::optional<std::vector<uint8_t>>> reports;
    const auto read = [&](const HidField& field) -> std::optional<int64_t> {
        const auto key = std::pair(field.kind, field.reportId);
        if (!reports.contains(key))
            reports[key] = report(field.kind, field.reportId);
        const auto& bytes = reports[key];
        return bytes ? fieldValue(field, *bytes) : std::nullopt;
    };
    const auto reading = readingFromFields(m_fields, read);
    letGoIfGone();
    return reading;
}

bool HidBackend::switchOff()
{
    if (!opened())
        return false;
    const auto& shutdown = m_fields.delayBeforeShutdown;
    const int delay = m_settings.offDelaySeconds;
    if (!shutdown || shutdown->kind != HidReportKind::Feature) {
        logOnce("hid", m_path + " has no DelayBeforeShutdown to write; the UPS cannot be switched off");
        return false;
    }
    if (shutdown->logicalMaximum < delay) {
        logOnce("hid", m_path + ": DelayBeforeShutdown holds at most " +
                           std::to_string(shutdown->logicalMaximum) + ", less than the " +
                           std::to_string(delay) + " s the computer needs; the UPS is not switched off");
        return false;
    }
    const auto& startup = m_fields.delayBeforeStartup;
    const int startupDelay = delay + StartupMarginSeconds;
    if (startup && startup->kind == HidReportKind::Feature && startup->logicalMaximum >= startupDelay)
        writeDelay(*startup, startupDelay);
    const bool written = writeDelay(*shutdown, delay);
    if (!written)
        logOnce("hid", m_path + " refused DelayBeforeShutdown: " + std::strerror(m_device->lastError()));
    letGoIfGone();
    return written;
}

bool HidBackend::opened()
{
    if (m_device)
        return true;
    m_path = m_settings.device;
    if (m_path.empty()) {
        const auto found = findPowerDevices();
        if (found.empty()) {
            logOnce("hid", "no USB HID power device is plugged in");
            return false;
        }
        m_path = found.front();
    }
    int error = 0;
    auto device = HidrawDevice::open(m_path, error);
    if (!device) {
        logOnce("hid", error == EACCES || error == EPERM
                           ? m_path +
                                 " exists but cannot be opened: permission denied. Install the udev rule "
                                 "70-brevant-ups.rules (see docs/halvic.md), then plug the UPS in again"
                           : "cannot open " + m_path + ": " + std::strerror(error));
        return false;
    }
    std::string why;
    const auto descriptor = device->reportDescriptor();
    auto layout = descriptor ? parseReportDescriptor(*descriptor, &why) : std::nullopt;
    if (!layout) {
        logOnce("hid", m_path + ": unusable report descriptor: " +
                           (descriptor ? why : std::string(std::strerror(device->lastError()))));
        return false;
    }
    auto fields = PowerDeviceFields::find(*layout);
    if (!isPowerDevice(*layout) || !fields.canReadStatus()) {
        logOnce("hid", m_path + " is not a HID power device that tells ACPresent or Discharging");
        return false;
    }
    m_device = std::move(device);
    m_layout = std::move(*layout);
    m_fields = std::move(fields);
    m_inputReports.clear();
    return true;
}

// A feature report is asked for; an input report too, and when the device will not answer
// GET_REPORT for it, the last one it sent on its own serves.
std::optional<std::vector<uint8_t>> HidBackend::report(HidReportKind kind, uint8_t reportId)
{
    auto fetched = m_device->getReport(kind, reportId, m_layout.reportBytes(kind, reportId));
    if (fetched || kind != HidReportKind::Input || m_device->isGone())
        return fetched;
    const auto sent = m_inputReports.find(reportId);
    return sent == m_inputReports.end() ? std::nullopt : std::optional(sent->second);
}

// The other values of the field's report keep what the device holds.
bool HidBackend::writeDelay(const HidField& field, int seconds)
{
    const size_t length = m_layout.reportBytes(HidReportKind::Feature, field.reportId);
    auto bytes = m_device->getReport(HidReportKind::Feature, field.reportId, length)
                     .value_or(std::vector<uint8_t>(length, 0));
    bytes.resize(length, 0);
    bytes[0] = field.reportId;
    setFieldValue(field, bytes, static_cast<uint32_t>(seconds));
    return m_device->setFeature(bytes);
}

void HidBackend::letGoIfGone()
{
    if (m_device && m_device->isGone()) {
        logOnce("hid", m_path + " is gone; looking for the UPS again on the next poll");
        m_device.reset();
    }
}

} // namespace halvic
