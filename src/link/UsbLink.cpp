#include "UsbLink.h"

#include "platform/MessageBoxPresenter.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace brevant {

namespace {

// Bytes of the status block are numbered from 1.
constexpr int MainsByte = 3;
constexpr int LowBatteryByte = 4;
constexpr char ValidMarker = 'T';

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

CallError UsbLink::hidHandle()
{
    return m_library.hidHandle();
}

CallError UsbLink::closeHandleDevice()
{
    return m_library.closeHandleDevice();
}

void UsbLink::usbExchange(int command)
{
    // Fresh zeroed buffers for every exchange, each with room for its terminating zero: a library
    // that writes nothing leaves zero bytes, never the previous reply.
    std::array<char, HalvicApi::ReplyCodeSize + 1> replyCode{};
    std::array<char, HalvicApi::StatusBlockSize + 1> statusBlock{};
    std::array<char, HalvicApi::SecondBufferSize + 1> secondBuffer{};

    if ((command == StatusQuery || command == UpsOff) &&
        failed(m_library.cmdOutput(command, replyCode.data())))
        return;

    if (replyIs(replyCode.data(), "T1")) {
        if (failed(m_library.cmdInput(statusBlock.data(), secondBuffer.data())))
            return;
        interpretStatusBlock(statusBlock.data());
        return;
    }
    if (replyIs(replyCode.data(), "S1"))
        return;
    m_usbConnected = false;
}

bool UsbLink::failed(const CallError& error)
{
    if (!error)
        return false;
    m_messages.showError(*error);
    return true;
}

void UsbLink::interpretStatusBlock(const char* statusBlock)
{
    const char* end = statusBlock + HalvicApi::StatusBlockSize;
    if (std::find(statusBlock, end, ValidMarker) == end) {
        m_usbConnected = false;
        return;
    }
    m_usbConnected = true;

    setFromByte(m_usbOnBattery, statusBlock[MainsByte - 1], 0);
    setFromByte(m_usbLowBattery, statusBlock[LowBatteryByte - 1], 1);
}

} // namespace brevant
