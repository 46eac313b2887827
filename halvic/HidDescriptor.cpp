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
    PhysicalMinimumTag = 0x3,
    PhysicalMaximumTag = 0x4,
    UnitExponentTag = 0x5,
    UnitTag = 0x6,
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
    uint32_t physicalMinimumRaw = 0;
    size_t physicalMinimumSize = 0;
    uint32_t physicalMaximumRaw = 0;
    size_t physicalMaximumSize = 0;
    uint32_t unit = 0;
    int8_t unitExponent = 0;
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

// A maximum whose top bit is set is unsigned when the minimum is not negative.
int32_t maximumValue(int32_t minimum, uint32_t raw, size_t size)
{
    return minimum >= 0 && size < 4 ? static_cast<int32_t>(raw) : signedValue(raw, size);
}

// The exponent is a signed nibble; firmware that writes a whole signed byte (0xFE for -2) has
// the same low nibble.
int8_t nibbleExponent(uint32_t data)
{
    const auto nibble = static_cast<int8_t>(data & 0xF);
    return nibble >= 8 ? static_cast<int8_t>(nibble - 16) : nibble;
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
    case PhysicalMinimumTag:
        m_global.physicalMinimumRaw = data;
        m_global.physicalMinimumSize = size;
        break;
    case PhysicalMaximumTag:
        m_global.physicalMaximumRaw = data;
        m_global.physicalMaximumSize = size;
        break;
    case UnitExponentTag:
        m_global.unitExponent = nibbleExponent(data);
        break;
    case UnitTag:
        m_global.unit = data;
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
    if ((flags & VariableBit) == 0 || global.reportSize == 0 || global.reportSize > 32)
        return true;
    if (m_layout.fields.size() + global.reportCount > MaxFields) {
        error = "more than " + std::to_string(MaxFields) + " fields";
        return false;
    }
    const int32_t minimum = signedValue(global.logicalMinimumRaw, global.logicalMinimumSize);
    const int32_t maximum = maximumValue(minimum, global.logicalMaximumRaw, global.logicalMaximumSize);
    const int32_t physicalMinimum = signedValue(global.physicalMinimumRaw, global.physicalMinimumSize);
    const int32_t physicalMaximum =
        maximumValue(physicalMinimum, global.physicalMaximumRaw, global.physicalMaximumSize);
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
                                           .physicalMinimum = physicalMinimum,
                                           .physicalMaximum = physicalMaximum,
                                           .unit = HidUnit::decode(global.unit),
                                           .unitExponent = global.unitExponent,
                                           .constant = (flags & ConstantBit) != 0,
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

HidUnit HidUnit::decode(uint32_t code)
{
    HidUnit unit;
    const uint32_t system = code & 0xF;
    // Vendor-defined systems (0xF) and reserved ones carry nothing the library can convert.
    if (system == 0 || system > 4)
        return unit;
    unit.system = static_cast<System>(system);
    for (size_t i = 0; i < unit.exponents.size(); ++i)
        unit.exponents[i] = nibbleExponent(code >> (4 * (i + 1)));
    return unit;
}

std::string HidUnit::symbol() const
{
    if (isNone())
        return {};
    using E = std::array<int8_t, 6>;
    struct Named
    {
        E exponents;
        const char* symbol;
    };
    // Length, mass, time, temperature, current, luminous intensity.
    static constexpr Named named[] = {{E{0, 0, 1, 0, 0, 0}, "s"},   {E{0, 0, -1, 0, 0, 0}, "Hz"},
                                      {E{2, 1, -3, 0, -1, 0}, "V"}, {E{0, 0, 0, 0, 1, 0}, "A"},
                                      {E{2, 1, -3, 0, 0, 0}, "W"},  {E{0, 0, 1, 0, 1, 0}, "C"}};
    for (const Named& candidate : named) {
        // Seconds and amperes are the same in every system; volts and watts need SI's length and mass.
        const bool sameInEverySystem = candidate.exponents[0] == 0 && candidate.exponents[1] == 0;
        if (candidate.exponents == exponents && (sameInEverySystem || system == System::SiLinear))
            return candidate.symbol;
    }
    if (exponents == E{0, 0, 0, 1, 0, 0})
        return system == System::SiLinear || system == System::SiRotation ? "K" : "°F";
    static constexpr const char* systems[] = {"", "SI", "SI rotation", "English", "English rotation"};
    static constexpr const char* dimensions[] = {"L", "M", "T", "Θ", "I", "J"};
    std::string text = systems[static_cast<int>(system)];
    for (size_t i = 0; i < exponents.size(); ++i) {
        if (exponents[i] != 0)
            text += std::string(" ") + dimensions[i] + std::to_string(exponents[i]);
    }
    return text;
}

int HidUnit::siPowerOfTen() const
{
    // Centimetres and grams; the English systems have no decimal scale to SI.
    return system == System::SiLinear ? -2 * exponents[0] - 3 * exponents[1] : 0;
}

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
