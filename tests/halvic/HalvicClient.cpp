#include "HalvicClient.h"

#include <array>
#include <cstring>
#include <dlfcn.h>

namespace {

constexpr char Guard = '\x5a';

// A buffer of the given size plus its terminating zero, followed by guard bytes that reveal a
// library writing past the terminator.
template <size_t Size>
struct GuardedBuffer
{
    std::array<char, Size + 1 + 8> bytes{};

    GuardedBuffer() { std::memset(bytes.data() + Size + 1, Guard, 8); }
    char* data() { return bytes.data(); }
    QByteArray contents() const { return QByteArray(bytes.data(), Size); }
    bool intact() const
    {
        for (size_t i = Size; i < bytes.size(); ++i) {
            if (bytes[i] != (i == Size ? '\0' : Guard))
                return false;
        }
        return true;
    }
};

} // namespace

HalvicClient::HalvicClient(const QString& library)
    : m_library(library)
{
    if (!m_library.load())
        return;
    // HidHandle last: a library lacking any function counts as not loaded.
    m_close = reinterpret_cast<HalvicCloseHandleDeviceFunction>(m_library.resolve("CloseHandleDevice"));
    m_output = reinterpret_cast<HalvicCmdOutputFunction>(m_library.resolve("CmdOutput"));
    m_input = reinterpret_cast<HalvicCmdInputFunction>(m_library.resolve("CmdInput"));
    if (m_close && m_output && m_input)
        m_open = reinterpret_cast<HalvicHidHandleFunction>(m_library.resolve("HidHandle"));
}

QString HalvicClient::loadedFrom() const
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(m_open), &info) == 0 || info.dli_fname == nullptr)
        return {};
    return QString::fromLocal8Bit(info.dli_fname);
}

HalvicClient::Reply HalvicClient::exchange(int command) const
{
    GuardedBuffer<HALVIC_REPLY_CODE_SIZE> code;
    GuardedBuffer<HALVIC_STATUS_BLOCK_SIZE> status;
    GuardedBuffer<HALVIC_SECOND_BUFFER_SIZE> second;
    m_output(command, 0, code.data());
    Reply reply;
    reply.code = code.contents();
    if (reply.code == HALVIC_REPLY_STATUS) {
        m_input(status.data(), second.data());
        reply.status = status.contents();
    }
    reply.buffersIntact = code.intact() && status.intact() && second.intact();
    return reply;
}

HalvicClient::Reply HalvicClient::poll() const
{
    auto reply = exchange(HALVIC_COMMAND_STATUS);
    if (!reply.answered()) {
        close();
        open();
    }
    return reply;
}
