// libFuzzer target: the USB link's exchanges with a Halvic library that answers anything: any
// reply code, any 50-byte status block, calls that cannot be made. The link must only ever read
// the bytes the library was given and keep its flags consistent.
#include "FuzzSupport.h"
#include "link/UsbLink.h"
#include "platform/sim/RecordingMessageBox.h"

#include <algorithm>
#include <cstring>
#include <span>

using namespace brevant;

namespace {

// The input, consumed from the front; an exhausted input yields zeros.
struct FuzzBytes
{
    std::span<const uint8_t> rest;

    uint8_t byte() { return rest.empty() ? 0 : take(1).front(); }
    std::span<const uint8_t> take(size_t count)
    {
        const auto taken = rest.first(std::min(count, rest.size()));
        rest = rest.subspan(taken.size());
        return taken;
    }
};

// Hands out the input: a control byte per call (0xFF: the call cannot be made), then the bytes of
// the reply code or the status block.
class FuzzedHalvic final : public HalvicApi
{
public:
    explicit FuzzedHalvic(FuzzBytes& input)
        : m_input(input)
    {}

    Status hidHandle() override { return answer({}); }
    Status closeHandleDevice() override { return answer({}); }
    Status cmdOutput(int, char* replyCode) override { return answer({{replyCode, ReplyCodeSize}}); }
    Status cmdInput(char* statusBlock, char* secondBuffer) override
    {
        return answer({{statusBlock, StatusBlockSize}, {secondBuffer, SecondBufferSize}});
    }

private:
    Status answer(std::initializer_list<std::pair<char*, int>> buffers)
    {
        const bool fails = m_input.byte() == 0xFF;
        for (const auto& [buffer, size] : buffers) {
            const auto bytes = m_input.take(size_t(size));
            std::memcpy(buffer, bytes.data(), bytes.size());
        }
        return fails ? Status::failure(QStringLiteral("cannot call the library")) : Status::success();
    }

    FuzzBytes& m_input;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzBytes input{{data, size}};
    FuzzedHalvic library(input);
    RecordingMessageBox messages;
    UsbLink link(library, messages);
    static_cast<void>(link.open());
    while (!input.rest.empty()) {
        const uint8_t step = input.byte();
        if (step % 8 == 0)
            link.sendUpsOff();
        else if (step % 8 == 1)
            static_cast<void>(link.close());
        else
            link.query();
        if (!link.answering() && link.state().connected)
            fuzz::invariantBroken("a link that does not answer says it is connected");
    }
    return 0;
}
