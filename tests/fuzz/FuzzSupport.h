#pragma once

// Helpers shared by the libFuzzer targets: taking typed values from the front of the input, and
// scratch files for the parsers that read from disk.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace brevant::fuzz {

// The input, consumed from the front; an exhausted input yields zeros.
class FuzzBytes
{
public:
    FuzzBytes(const uint8_t* data, size_t size)
        : m_rest(data, size)
    {}

    uint8_t byte()
    {
        if (m_rest.empty())
            return 0;
        const uint8_t b = m_rest.front();
        m_rest = m_rest.subspan(1);
        return b;
    }
    bool flag() { return byte() & 1; }
    std::span<const uint8_t> take(size_t count)
    {
        const auto taken = m_rest.first(std::min(count, m_rest.size()));
        m_rest = m_rest.subspan(taken.size());
        return taken;
    }
    std::span<const uint8_t> rest() const { return m_rest; }
    QByteArrayView restView() const { return {m_rest.data(), qsizetype(m_rest.size())}; }

private:
    std::span<const uint8_t> m_rest;
};

// A directory of this process (in memory when /dev/shm exists), removed at exit.
const QString& scratchDir();
// Replaces the file <scratchDir>/<name> with the bytes and returns its path.
QString scratchFile(const QString& name, QByteArrayView bytes);

// A broken invariant: stops the run like a sanitizer report, so that libFuzzer keeps the input.
[[noreturn]] inline void invariantBroken(const char* what)
{
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

} // namespace brevant::fuzz
