#include "HidBackend.h"

#include "HidQuirks.h"
#include "Log.h"

#include <cstdio>
#include <cstring>

namespace halvic {

namespace {

std::string idText(uint16_t vendorId, uint16_t productId)
{
    char text[10];
    std::snprintf(text, sizeof text, "%04x:%04x", vendorId, productId);
    return text;
}

} // namespace

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
    auto reading = readingFromFields(m_fields, read);
    letGoIfGone();
    if (!reading) {
        if (m_device)
            logOnce("hid", m_path + " answered without a readable ACPresent or Discharging (report missing, "
                                    "too short, or a value outside its range); no status");
        return std::nullopt;
    }
    std::tie(reading->manufacturer, reading->product, reading->serialNumber) =
        std::tie(m_usbStrings[0], m_usbStrings[1], m_usbStrings[2]);
    m_reading = std::move(*reading);
    UpsReading status = m_reading.status;
    status.values = nutValues(m_reading);
    addUpsOff(status.values, upsOffAbility(m_fields, m_settings.offDelaySeconds));
    return status;
}

bool HidBackend::switchOff()
{
    if (!opened())
        return false;
    const int delay = m_settings.offDelaySeconds;
    if (const UpsOff upsOff = upsOffAbility(m_fields, delay); upsOff.ability != OffAbility::Yes) {
        logOnce("hid", m_path + ": " + upsOff.reason + "; the UPS is not switched off");
        return false;
    }
    const auto& shutdown = m_fields.delayBeforeShutdown;
    const auto shutdownValue = delayValue("DelayBeforeShutdown", *shutdown, delay);
    if (!shutdownValue)
        return false;
    const auto& startup = m_fields.delayBeforeStartup;
    if (startup && startup->kind == HidReportKind::Feature && !startup->constant) {
        if (const auto startupValue =
                delayValue("DelayBeforeStartup", *startup, delay + StartupMarginSeconds))
            writeDelay(*startup, *startupValue);
    }
    const bool written = writeDelay(*shutdown, *shutdownValue);
    if (!written)
        logOnce("hid", m_path + " refused DelayBeforeShutdown: " + std::strerror(m_device->lastError()));
    letGoIfGone();
    return written;
}

std::optional<int64_t> HidBackend::delayValue(const char* name, const HidField& field, int seconds)
{
    const auto logical = logicalValueAtLeast(field, seconds);
    if (!logical)
        logOnce("hid", m_path + ": " + delayOutOfRange(name, field, seconds) + "; not written");
    return logical;
}

// The configured node, or the first power device that tells its status; the choice is said once.
bool HidBackend::opened()
{
    if (m_device)
        return true;
    if (!m_settings.device.empty())
        return open(m_settings.device);
    const auto search = searchPowerDevices();
    std::string others;
    for (const std::string& refused : search.refused)
        others += "; " + refused;
    if (search.usable.empty()) {
        logOnce("hid", "no USB HID power device that tells its status is plugged in" + others);
        return false;
    }
    for (const std::string& path : search.usable) {
        if (open(path)) {
            logOnce("hid", "using " + path + ", the first power device that tells ACPresent or Discharging" +
                               others);
            return true;
        }
        others += "; " + path + ": cannot be used";
    }
    return false;
}

bool HidBackend::open(const std::string& path)
{
    m_path = path;
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
    if (const auto ids = device->ids()) {
        for (const HidQuirk* quirk : applyHidQuirks(ids->first, ids->second, *layout))
            logOnce("hid", m_path + " (" + idText(ids->first, ids->second) + "): corrected " + quirk->what);
    }
    auto fields = PowerDeviceFields::find(*layout);
    if (!isPowerDevice(*layout) || !fields.canReadStatus()) {
        logOnce("hid", m_path + " is not a HID power device that tells ACPresent or Discharging");
        return false;
    }
    m_usbStrings = device->usbStrings();
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
bool HidBackend::writeDelay(const HidField& field, int64_t logical)
{
    const size_t length = m_layout.reportBytes(HidReportKind::Feature, field.reportId);
    auto bytes = m_device->getReport(HidReportKind::Feature, field.reportId, length)
                     .value_or(std::vector<uint8_t>(length, 0));
    bytes.resize(length, 0);
    bytes[0] = field.reportId;
    setFieldValue(field, bytes, static_cast<uint32_t>(logical));
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
