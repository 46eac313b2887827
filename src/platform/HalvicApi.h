#pragma once

#include <QString>
#include <optional>

namespace brevant {

// Why a library call could not be made at all (missing library or function), in the platform's words.
using CallError = std::optional<QString>;

// The four calls of the USB device-access library "Halvic". Buffers are the caller's: a reply code
// of ReplyCodeSize bytes, a status block of StatusBlockSize bytes and a second input buffer of
// SecondBufferSize bytes, each followed by a terminating zero byte.
class HalvicApi
{
public:
    static constexpr int ReplyCodeSize = 2;
    static constexpr int StatusBlockSize = 50;
    static constexpr int SecondBufferSize = 6;

    virtual ~HalvicApi() = default;

    virtual CallError hidHandle() = 0;
    virtual CallError closeHandleDevice() = 0;
    virtual CallError cmdOutput(int command, char* replyCode) = 0;
    virtual CallError cmdInput(char* statusBlock, char* secondBuffer) = 0;
};

} // namespace brevant
