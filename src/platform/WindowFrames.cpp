#include "WindowMessages.h"

#include <QtEndian>

#include <algorithm>

namespace WindowMessages {

namespace {

constexpr int HeaderBytes = FrameHeaderBytes;

} // namespace

// ------------------------------------------------------------ frame reader

char *TFrameReader::Room(qsizetype size)
{
    if (FInAt == FIn.size()) {
        FIn.resize(0);
        FInAt = 0;
    }
    FRoomAt = FIn.size();
    FIn.resize(FRoomAt + size);
    return FIn.data() + FRoomAt;
}

void TFrameReader::Received(qsizetype count)
{
    FIn.resize(FRoomAt + std::clamp<qsizetype>(count, 0, FIn.size() - FRoomAt));
    FRoomAt = FIn.size();
}

bool TFrameReader::Next(TMessage &message)
{
    qsizetype available = FIn.size() - FInAt;
    if (FSkip > 0) {
        const qsizetype dropped = qsizetype(std::min<quint64>(FSkip, quint64(available)));
        FInAt += dropped;
        FSkip -= quint64(dropped);
        available -= dropped;
    }
    if (FSkip == 0 && available >= HeaderBytes) {
        const char *header = FIn.constData() + FInAt;
        const quint32 length = qFromLittleEndian<quint32>(header + 12);
        const quint32 kept = std::min(length, FMaxData);
        if (available >= HeaderBytes + qsizetype(kept)) {
            message.Message = qFromLittleEndian<quint32>(header);
            message.WParam = qFromLittleEndian<quint64>(header + 4);
            message.Data = QByteArray(header + HeaderBytes, kept);
            message.Cut = length > kept;
            FInAt += HeaderBytes + kept;
            FSkip = length - kept;
            return true;
        }
    }
    // Keep the buffer from creeping forward without bound.
    if (FInAt > 0 && FInAt >= FIn.size() / 2) {
        FIn.remove(0, FInAt);
        FInAt = 0;
    }
    FRoomAt = FIn.size();
    return false;
}

} // namespace WindowMessages
