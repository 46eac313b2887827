// libFuzzer target: the USB link's exchanges with a Halvic library that answers anything: any
// reply code, any 50-byte status block, calls that cannot be made. The link must only ever read
// the bytes the library was given and keep its flags consistent.
#include "FuzzSupport.h"
#include "link/UsbLink.h"
#include "platform/sim/RecordingMessageBox.h"
#include "platform/sim/VirtualScheduler.h"

#include <cstring>

using namespace brevant;

namespace {

// Hands out the input: a control byte per call (bit 0: the call cannot be made), then the reply
// code or the status block.
class FuzzedHalvic final : public HalvicApi
{
public:
    explicit FuzzedHalvic(fuzz::FuzzBytes& input)
        : m_input(input)
    {}

    Status hidHandle() override { return callStatus(); }
    Status closeHandleDevice() override { return callStatus(); }
    Status cmdOutput(int, char* replyCode) override
    {
        Status status = callStatus();
        fill(replyCode, ReplyCodeSize);
        return status;
    }
    Status cmdInput(char* statusBlock, char* secondBuffer) override
    {
        Status status = callStatus();
        fill(statusBlock, StatusBlockSize);
        fill(secondBuffer, SecondBufferSize);
        return status;
    }

private:
    Status callStatus()
    {
        return m_input.byte() == 0xFF ? Status::failure(QStringLiteral("cannot call the library"))
                                      : Status::success();
    }
    void fill(char* buffer, int size)
    {
        const auto bytes = m_input.take(size_t(size));
        std::memcpy(buffer, bytes.data(), bytes.size());
    }

    fuzz::FuzzBytes& m_input;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::FuzzBytes input(data, size);
    FuzzedHalvic library(input);
    RecordingMessageBox messages;
    VirtualScheduler scheduler;
    UsbLink link(library, messages, scheduler);
    link.open();
    while (!input.rest().empty()) {
        const uint8_t step = input.byte();
        if (step % 8 == 0)
            link.switchUpsOff();
        else if (step % 8 == 1)
            link.close();
        else
            link.query();
        const UpsState state = link.state();
        if (!link.answering() && state.connected)
            fuzz::invariantBroken("a link that does not answer says it is connected");
    }
    return 0;
}
