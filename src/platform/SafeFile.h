// Data files are written to a temporary file in the same directory and
// renamed over the old one, so a failed write never destroys what was stored.
#pragma once

#include <QByteArray>
#include <QString>

// Throws EInOutError with a readable reason; the old file stays whole.
void WriteFileAtomically(const QString &path, const QByteArray &bytes);

// Reads a whole regular file of at most maxBytes bytes. Anything else (a
// directory, pipe, device, a larger file) is refused without reading it;
// throws EInOutError with the reason.
QByteArray ReadWholeFile(const QString &path, qint64 maxBytes);

namespace SafeFileTesting {
// While alive, every WriteFileAtomically fails after writing its temporary
// file: the double tests use to check that nothing stored is lost.
class FailWrites {
public:
    FailWrites();
    ~FailWrites();
    FailWrites(const FailWrites &) = delete;
    FailWrites &operator=(const FailWrites &) = delete;
};
} // namespace SafeFileTesting
