#include "HalvicClient.h"

#include <QTest>
#include <algorithm>
#include <array>
#include <type_traits>

namespace {

// A buffer of the given size plus its terminating zero, followed by guard bytes that reveal a
// library writing past the terminator.
template <size_t Size>
struct GuardedBuffer
{
    std::array<char, Size + 1 + 8> bytes{};

    GuardedBuffer() { std::fill(bytes.begin() + Size + 1, bytes.end(), '\x5a'); }
    QByteArray contents() const { return QByteArray(bytes.data(), Size); }
    bool intact() const { return QByteArray(bytes.data() + Size, 9) == '\0' + QByteArray(8, '\x5a'); }
};

} // namespace

HalvicClient::HalvicClient(const QString& library)
    : m_library(library)
{
    const auto resolve = [this](const char* name, auto& function) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(m_library.resolve(name));
        return function != nullptr;
    };
    // HidHandle last: a library lacking any function counts as not loaded.
    if (m_library.load() && resolve("CloseHandleDevice", m_close) && resolve("CmdOutput", m_output) &&
        resolve("CmdInput", m_input))
        resolve("HidHandle", m_open);
    resolve("HalvicValues", m_values);
}

HalvicClient::Reply HalvicClient::exchange(int command) const
{
    GuardedBuffer<HALVIC_REPLY_CODE_SIZE> code;
    GuardedBuffer<HALVIC_STATUS_BLOCK_SIZE> status;
    GuardedBuffer<HALVIC_SECOND_BUFFER_SIZE> second;
    m_output(command, 0, code.bytes.data());
    Reply reply{code.contents(), {}};
    if (reply.code == HALVIC_REPLY_STATUS) {
        m_input(status.bytes.data(), second.bytes.data());
        reply.status = status.contents();
    }
    reply.buffersIntact = code.intact() && status.intact() && second.intact();
    return reply;
}

QByteArray HalvicClient::values() const
{
    if (m_values == nullptr)
        return "missing";
    GuardedBuffer<HALVIC_VALUES_BUFFER_SIZE> buffer;
    const int written = m_values(buffer.bytes.data(), HALVIC_VALUES_BUFFER_SIZE);
    if (!buffer.intact())
        return "overrun";
    const QByteArray contents = buffer.contents();
    return written >= 0 && contents.indexOf('\0') == written ? contents.left(written) : "miscounted";
}

QByteArray HalvicClient::switchOffUntil(const QByteArray& code) const
{
    QByteArray last;
    [[maybe_unused]] const bool seen = QTest::qWaitFor(
        [&] {
            last = exchange(HALVIC_COMMAND_UPS_OFF).code;
            return last == code;
        },
        15000);
    return last;
}
