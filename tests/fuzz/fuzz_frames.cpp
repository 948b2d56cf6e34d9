// The window-message frames a listener reads from another process, from
// arbitrary bytes. The first byte caps a request's data (so that cut
// requests come up in short inputs), the second picks how the bytes are cut
// into reads. Read in those pieces, short reads included, the messages are
// those of a straight walk over the whole stream, and what stays buffered
// never passes a header, the cap and one read.
#include "WindowMessages.h"

#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace WindowMessages;

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

bool Same(const TMessage &a, const TMessage &b)
{
    return a.Message == b.Message && a.WParam == b.WParam && a.Data == b.Data && a.Cut == b.Cut;
}

// The frames as the format describes them, one after the other.
std::vector<TMessage> Walk(const uint8_t *data, size_t size, quint32 cap)
{
    std::vector<TMessage> out;
    size_t at = 0;
    while (size - at >= size_t(FrameHeaderBytes)) {
        const char *header = reinterpret_cast<const char *>(data + at);
        const quint32 length = qFromLittleEndian<quint32>(header + 12);
        const quint32 kept = std::min(length, cap);
        if (size - at - FrameHeaderBytes < kept)
            break;
        TMessage m;
        m.Message = qFromLittleEndian<quint32>(header);
        m.WParam = qFromLittleEndian<quint64>(header + 4);
        m.Data = QByteArray(header + FrameHeaderBytes, qsizetype(kept));
        m.Cut = length > kept;
        out.push_back(m);
        // The dropped rest of a cut request may run past the input.
        if (quint64(size - at) < quint64(FrameHeaderBytes) + length)
            break;
        at += FrameHeaderBytes + length;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const quint32 cap = data[0];
    uint32_t pick = data[1];
    data += 2;
    size -= 2;
    const std::vector<TMessage> expected = Walk(data, size, cap);

    TFrameReader reader(cap);
    std::vector<TMessage> got;
    constexpr qsizetype MaxRead = 97;
    size_t at = 0;
    while (at < size) {
        pick = pick * 1103515245u + 12345u;
        const qsizetype asked = 1 + qsizetype((pick >> 16) % MaxRead);
        // A read may bring fewer bytes than there was room for.
        const qsizetype count = std::min<qsizetype>(asked - qsizetype((pick >> 8) % 3 == 0 ? (pick % asked) : 0),
                                                    qsizetype(size - at));
        char *room = reader.Room(asked);
        std::memcpy(room, data + at, size_t(count));
        reader.Received(count);
        at += size_t(count);
        TMessage m;
        while (reader.Next(m))
            got.push_back(m);
        if (reader.Buffered() > FrameHeaderBytes + qsizetype(cap) + MaxRead)
            Violated("the buffer grew past a header, the cap and one read");
    }
    if (got.size() != expected.size())
        Violated("messages lost or made up");
    for (size_t i = 0; i < got.size(); ++i) {
        if (!Same(got[i], expected[i]))
            Violated("a message differs from the stream's frame");
        if (got[i].Data.size() > qsizetype(cap))
            Violated("data past the cap was kept");
    }
    return 0;
}
