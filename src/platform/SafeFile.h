// Data files are written to a temporary file in the same directory and
// renamed over the old one, so a failed write never destroys what was stored.
// Readers take regular files only and never more than they were told to.
#pragma once

#include <QByteArray>
#include <QString>

// Writes a whole data file. The writer is passed to whoever saves, so tests
// can hand in one that fails.
class TFileWriter {
public:
    virtual ~TFileWriter() = default;
    // Throws EInOutError with a readable reason; the old file stays whole.
    virtual void Write(const QString &path, const QByteArray &bytes) = 0;
};

// The writer that replaces files atomically.
TFileWriter &AtomicFileWriter();

// Throws EInOutError with a readable reason; the old file stays whole.
void WriteFileAtomically(const QString &path, const QByteArray &bytes);

// Reads a whole regular file of at most maxBytes bytes. A missing file, a
// directory, a device, a pipe, a larger file or a read error throw
// EInOutError; nothing blocks on a pipe that nobody writes. Room for spare
// more bytes is kept, for a caller that changes the bytes where they lie.
QByteArray ReadWholeFile(const QString &path, qint64 maxBytes, qsizetype spare = 0);

// True when path names any directory entry, a dangling link included:
// something a write to path would replace.
bool EntryExists(const QString &path);
