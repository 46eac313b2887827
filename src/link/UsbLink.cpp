#include "link/UsbLink.h"

#include "base/Logging.h"
#include "platform/MessageBoxPresenter.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace brevant {

namespace {

bool replyIs(const char* replyCode, const char (&expected)[HalvicApi::ReplyCodeSize + 1])
{
    return std::memcmp(replyCode, expected, HalvicApi::ReplyCodeSize) == 0;
}

// The byte is compared as a number (0 or 1), not as a digit; any other value leaves the flag as the
// last valid reply set it.
void setFromByte(bool& flag, char value, char trueValue)
{
    if (value == 0 || value == 1)
        flag = value == trueValue;
}

} // namespace

UsbLink::UsbLink(HalvicApi& library, MessageBoxPresenter& messages)
    : m_library(library)
    , m_messages(messages)
{}

Status UsbLink::open()
{
    Status opened = hidHandle();
    logOnce(opened);
    return opened;
}

Status UsbLink::close()
{
    Status closed = closeHandleDevice();
    logOnce(closed);
    return closed;
}

void UsbLink::query()
{
    if (!m_usbConnected) {
        // Failures are logged once by both; the exchange below finds the UPS silent.
        static_cast<void>(close());
        static_cast<void>(open());
    }
    usbExchange(StatusQuery);
}

// The device is reopened on every poll while the UPS is silent: a missing library is said once.
void UsbLink::logOnce(const Status& call)
{
    if (call.ok() || call.error() == m_lastLoggedFailure)
        return;
    m_lastLoggedFailure = call.error();
    qCWarning(lcLink).noquote() << "USB library:" << call.error();
}

Status UsbLink::hidHandle()
{
    return m_library.hidHandle();
}

Status UsbLink::closeHandleDevice()
{
    return m_library.closeHandleDevice();
}

UpsLink::UpsOffReply UsbLink::sendUpsOff()
{
    return usbExchange(UpsOff);
}

UpsLink::UpsOffReply UsbLink::usbExchange(int command)
{
    // Fresh zeroed buffers for every exchange, each with room for its terminating zero: a library
    // that writes nothing leaves zero bytes, never the previous reply.
    std::array<char, HalvicApi::ReplyCodeSize + 1> replyCode{};
    std::array<char, HalvicApi::StatusBlockSize + 1> statusBlock{};
    std::array<char, HalvicApi::SecondBufferSize + 1> secondBuffer{};

    if ((command == StatusQuery || command == UpsOff) &&
        failed(m_library.cmdOutput(command, replyCode.data())))
        return UpsOffReply::NoAnswer;

    if (replyIs(replyCode.data(), HALVIC_REPLY_STATUS)) {
        if (!failed(m_library.cmdInput(statusBlock.data(), secondBuffer.data()))) {
            interpretStatusBlock(statusBlock.data());
            if (m_usbConnected) {
                m_details = UpsDetails::parse(m_library.values());
                m_ownLowBattery.follow(m_details, m_usbOnBattery, m_lowBatteryLimits);
            }
        }
        return UpsOffReply::NoAnswer;
    }
    if (replyIs(replyCode.data(), HALVIC_REPLY_ACCEPTED))
        return UpsOffReply::Accepted;
    if (replyIs(replyCode.data(), HALVIC_REPLY_UNDER_WAY))
        return UpsOffReply::UnderWay;
    if (replyIs(replyCode.data(), HALVIC_REPLY_NOT_MINE))
        return UpsOffReply::NotThisComputer;
    m_usbConnected = false;
    return UpsOffReply::NoAnswer;
}

bool UsbLink::failed(const Status& call)
{
    if (call.ok())
        return false;
    m_messages.showError(call.error());
    return true;
}

void UsbLink::interpretStatusBlock(const char* statusBlock)
{
    const char* end = statusBlock + HalvicApi::StatusBlockSize;
    if (std::find(statusBlock, end, HALVIC_VALID_MARKER) == end) {
        m_usbConnected = false;
        return;
    }
    m_usbConnected = true;

    setFromByte(m_usbOnBattery, statusBlock[HALVIC_MAINS_BYTE - 1], 0);
    setFromByte(m_usbLowBattery, statusBlock[HALVIC_LOW_BATTERY_BYTE - 1], 1);
    setFromByte(m_usbForcedShutdown, statusBlock[HALVIC_FORCED_SHUTDOWN_BYTE - 1], 1);
}

} // namespace brevant
