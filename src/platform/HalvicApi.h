#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <halvic/Halvic.h>

namespace brevant {

// The calls of the USB device-access library "Halvic" (halvic/include/halvic/Halvic.h).
// Buffers are the caller's, each followed by a terminating zero byte. A call fails only when it
// cannot be made at all (missing library or function); the failure carries the platform's words.
class HalvicApi
{
public:
    static constexpr int ReplyCodeSize = HALVIC_REPLY_CODE_SIZE;
    static constexpr int StatusBlockSize = HALVIC_STATUS_BLOCK_SIZE;
    static constexpr int SecondBufferSize = HALVIC_SECOND_BUFFER_SIZE;

    virtual ~HalvicApi() = default;

    virtual Status hidHandle() = 0;
    virtual Status closeHandleDevice() = 0;
    virtual Status cmdOutput(int command, char* replyCode) = 0;
    virtual Status cmdInput(char* statusBlock, char* secondBuffer) = 0;
    // The optional fifth call, HalvicValues: lines "name value" from the latest reading. Empty
    // when the library lacks the function (an older library is no error) or knows nothing.
    virtual QByteArray values() { return {}; }
};

} // namespace brevant
