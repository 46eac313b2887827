#include "HidDescriptor.h"

#include <algorithm>

namespace halvic {

namespace {

constexpr size_t MaxDescriptorBytes = 4096;
constexpr size_t MaxCollectionDepth = 32;
constexpr size_t MaxGlobalStack = 8;
constexpr size_t MaxFields = 4096;
// A report is at most 4 KiB; a descriptor that claims more is broken.
constexpr uint32_t MaxReportBits = 4096 * 8;

enum ItemType : uint8_t
{
    Main = 0,
    Global = 1,
    Local = 2
};

enum MainTag : uint8_t
{
    InputTag = 0x8,
    OutputTag = 0x9,
    CollectionTag = 0xA,
    FeatureTag = 0xB,
    EndCollectionTag = 0xC
};

enum GlobalTag : uint8_t
{
    UsagePageTag = 0x0,
    LogicalMinimumTag = 0x1,
    LogicalMaximumTag = 0x2,
    ReportSizeTag = 0x7,
    ReportIdTag = 0x8,
    ReportCountTag = 0x9,
    PushTag = 0xA,
    PopTag = 0xB
};

enum LocalTag : uint8_t
{
    UsageTag = 0x0,
    UsageMinimumTag = 0x1,
    UsageMaximumTag = 0x2
};

constexpr uint8_t LongItemPrefix = 0xFE;
constexpr uint32_t ConstantBit = 0x01;
constexpr uint32_t VariableBit = 0x02;
constexpr uint32_t ApplicationCollection = 0x01;

struct GlobalState
{
    uint16_t usagePage = 0;
    uint32_t logicalMinimumRaw = 0;
    size_t logicalMinimumSize = 0;
    uint32_t logicalMaximumRaw = 0;
    size_t logicalMaximumSize = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

// Usages of one or two bytes take the usage page in force where they stand, as power devices
// that mix the Power Device and Battery System pages in one main item expect.
struct LocalState
{
    std::vector<HidUsage> usages;
    std::optional<HidUsage> minimum;
    std::optional<HidUsage> maximum;
};

int32_t signedValue(uint32_t raw, size_t size)
{
    switch (size) {
    case 1:
        return static_cast<int8_t>(raw);
    case 2:
        return static_cast<int16_t>(raw);
    default:
        return static_cast<int32_t>(raw);
    }
}

class Parser
{
public:
    std::optional<HidReportLayout> parse(std::span<const uint8_t> descriptor, std::string& error);

private:
    bool item(uint8_t type, uint8_t tag, uint32_t data, size_t size, std::string& error);
    bool mainItem(uint8_t tag, uint32_t data, std::string& error);
    bool reportItem(HidReportKind kind, uint32_t flags, std::string& error);
    std::vector<HidUsage> usages(size_t count) const;

    HidReportLayout m_layout;
    GlobalState m_global;
    std::vector<GlobalState> m_stack;
    LocalState m_local;
    std::vector<HidUsage> m_collections;
};

std::optional<HidReportLayout> Parser::parse(std::span<const uint8_t> descriptor, std::string& error)
{
    if (descriptor.empty() || descriptor.size() > MaxDescriptorBytes) {
        error = "descriptor of " + std::to_string(descriptor.size()) + " bytes";
        return std::nullopt;
    }
    for (size_t at = 0; at < descriptor.size();) {
        const uint8_t prefix = descriptor[at];
        if (prefix == LongItemPrefix) {
            // Long items carry vendor data; no power device needs them.
            if (at + 1 >= descriptor.size()) {
                error = "long item cut off";
                return std::nullopt;
            }
            at += 3 + descriptor[at + 1];
            if (at > descriptor.size()) {
                error = "long item cut off";
                return std::nullopt;
            }
            continue;
        }
        const size_t size = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
        if (at + 1 + size > descriptor.size()) {
            error = "item at byte " + std::to_string(at) + " cut off";
            return std::nullopt;
        }
        uint32_t data = 0;
        for (size_t i = 0; i < size; ++i)
            data |= uint32_t{descriptor[at + 1 + i]} << (8 * i);
        if (!item((prefix >> 2) & 0x3, prefix >> 4, data, size, error)) {
            error += " (item at byte " + std::to_string(at) + ")";
            return std::nullopt;
        }
        at += 1 + size;
    }
    if (!m_collections.empty()) {
        error = "collection not closed";
        return std::nullopt;
    }
    return std::move(m_layout);
}

bool Parser::item(uint8_t type, uint8_t tag, uint32_t data, size_t size, std::string& error)
{
    if (type == Main)
        return mainItem(tag, data, error);
    if (type == Local) {
        const HidUsage usage = size == 4 ? data : hidUsage(m_global.usagePage, static_cast<uint16_t>(data));
        if (tag == UsageTag)
            m_local.usages.push_back(usage);
        else if (tag == UsageMinimumTag)
            m_local.minimum = usage;
        else if (tag == UsageMaximumTag)
            m_local.maximum = usage;
        return true;
    }
    if (type != Global)
        return true;
    switch (tag) {
    case UsagePageTag:
        m_global.usagePage = static_cast<uint16_t>(data);
        break;
    case LogicalMinimumTag:
        m_global.logicalMinimumRaw = data;
        m_global.logicalMinimumSize = size;
        break;
    case LogicalMaximumTag:
        m_global.logicalMaximumRaw = data;
        m_global.logicalMaximumSize = size;
        break;
    case ReportSizeTag:
        m_global.reportSize = data;
        break;
    case ReportIdTag:
        if (data == 0 || data > 0xFF) {
            error = "report ID " + std::to_string(data);
            return false;
        }
        m_global.reportId = static_cast<uint8_t>(data);
        m_layout.usesReportIds = true;
        break;
    case ReportCountTag:
        m_global.reportCount = data;
        break;
    case PushTag:
        if (m_stack.size() >= MaxGlobalStack) {
            error = "push deeper than " + std::to_string(MaxGlobalStack);
            return false;
        }
        m_stack.push_back(m_global);
        break;
    case PopTag:
        if (m_stack.empty()) {
            error = "pop without push";
            return false;
        }
        m_global = m_stack.back();
        m_stack.pop_back();
        break;
    default:
        break;
    }
    return true;
}

bool Parser::mainItem(uint8_t tag, uint32_t data, std::string& error)
{
    bool ok = true;
    switch (tag) {
    case InputTag:
        ok = reportItem(HidReportKind::Input, data, error);
        break;
    case OutputTag:
        ok = reportItem(HidReportKind::Output, data, error);
        break;
    case FeatureTag:
        ok = reportItem(HidReportKind::Feature, data, error);
        break;
    case CollectionTag: {
        if (m_collections.size() >= MaxCollectionDepth) {
            error = "collections nested deeper than " + std::to_string(MaxCollectionDepth);
            return false;
        }
        const HidUsage usage = m_local.usages.empty() ? 0 : m_local.usages.front();
        if (m_collections.empty() && (data & 0xFF) == ApplicationCollection)
            m_layout.applications.push_back(usage);
        m_collections.push_back(usage);
        break;
    }
    case EndCollectionTag:
        if (m_collections.empty()) {
            error = "end of a collection that was not opened";
            return false;
        }
        m_collections.pop_back();
        break;
    default:
        error = "unknown main item " + std::to_string(tag);
        return false;
    }
    m_local = {};
    return ok;
}

bool Parser::reportItem(HidReportKind kind, uint32_t flags, std::string& error)
{
    const GlobalState& global = m_global;
    const uint64_t bits = uint64_t{global.reportSize} * global.reportCount;
    uint32_t& reportBits = m_layout.reportBits[{kind, global.reportId}];
    if (reportBits + bits > MaxReportBits) {
        error = "report " + std::to_string(global.reportId) + " longer than " +
                std::to_string(MaxReportBits / 8) + " bytes";
        return false;
    }
    const uint32_t offset = reportBits;
    reportBits += static_cast<uint32_t>(bits);
    if ((flags & ConstantBit) != 0 || (flags & VariableBit) == 0 || global.reportSize == 0 ||
        global.reportSize > 32)
        return true;
    if (m_layout.fields.size() + global.reportCount > MaxFields) {
        error = "more than " + std::to_string(MaxFields) + " fields";
        return false;
    }
    const int32_t minimum = signedValue(global.logicalMinimumRaw, global.logicalMinimumSize);
    // A maximum whose top bit is set is unsigned when the minimum is not negative.
    const int32_t maximum = minimum >= 0 && global.logicalMaximumSize < 4
                                ? static_cast<int32_t>(global.logicalMaximumRaw)
                                : signedValue(global.logicalMaximumRaw, global.logicalMaximumSize);
    const auto fieldUsages = usages(global.reportCount);
    for (uint32_t i = 0; i < global.reportCount; ++i) {
        if (fieldUsages[i] == 0)
            continue;
        m_layout.fields.push_back(HidField{.kind = kind,
                                           .reportId = global.reportId,
                                           .bitOffset = offset + i * global.reportSize,
                                           .bitSize = global.reportSize,
                                           .usage = fieldUsages[i],
                                           .logicalMinimum = minimum,
                                           .logicalMaximum = maximum,
                                           .collections = m_collections});
    }
    return true;
}

// One usage per field: the listed ones in order, then a usage range, the last usage repeating.
std::vector<HidUsage> Parser::usages(size_t count) const
{
    std::vector<HidUsage> result(m_local.usages.begin(),
                                 m_local.usages.begin() +
                                     static_cast<std::ptrdiff_t>(std::min(count, m_local.usages.size())));
    if (m_local.minimum && m_local.maximum) {
        for (HidUsage usage = *m_local.minimum; usage <= *m_local.maximum && result.size() < count; ++usage)
            result.push_back(usage);
    }
    result.resize(count, result.empty() ? 0 : result.back());
    return result;
}

} // namespace

size_t HidReportLayout::reportBytes(HidReportKind kind, uint8_t reportId) const
{
    const auto bits = reportBits.find({kind, reportId});
    return (bits == reportBits.end() ? 0 : (bits->second + 7) / 8) + 1;
}

std::optional<HidReportLayout> parseReportDescriptor(std::span<const uint8_t> descriptor, std::string* error)
{
    std::string reason;
    auto layout = Parser().parse(descriptor, reason);
    if (!layout && error != nullptr)
        *error = reason;
    return layout;
}

} // namespace halvic
