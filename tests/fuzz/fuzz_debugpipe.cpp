// The Free Pascal debug-server FIFO's bytes, as any writer may send them.
// The first byte picks how they are cut into reads. Read in those pieces,
// the messages are those the whole stream gives at once, up to the first
// frame whose length cannot be; each text lies within its frame; and what
// stays buffered never passes one frame and one read.
#include "DebugServerPipe.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

using TMessages = std::vector<std::pair<qint32, QByteArray>>;

constexpr qsizetype MaxFrame = (1 << 20) + 9;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    uint32_t pick = data[0];
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const qsizetype total = qsizetype(size - 1);

    TMessages whole;
    TDebugServerPipe once([&](qint32 type, const QByteArray &text) { whole.emplace_back(type, text); });
    once.Feed(bytes, total);
    for (const auto &[type, text] : whole)
        if (text.size() > total)
            Violated("a text longer than the input");

    TMessages pieces;
    TDebugServerPipe chunked([&](qint32 type, const QByteArray &text) { pieces.emplace_back(type, text); });
    constexpr qsizetype MaxRead = 61;
    qsizetype at = 0;
    while (at < total) {
        pick = pick * 1103515245u + 12345u;
        const qsizetype count = std::min<qsizetype>(1 + qsizetype((pick >> 16) % MaxRead), total - at);
        const bool inStep = chunked.Feed(bytes + at, count);
        at += count;
        if (chunked.Buffered() > MaxFrame + MaxRead)
            Violated("the buffer grew past a frame and one read");
        // Past a broken frame the two readers see different bytes.
        if (!inStep)
            break;
    }
    if (pieces != whole)
        Violated("reading in pieces changed the messages");
    return 0;
}
