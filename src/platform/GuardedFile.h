// A data file that is replaced only when what it held was read in full:
// a file that could not be read would otherwise be lost by the next save.
// The load remembers whether it read the file in full and, if not, why; the
// save refuses with that reason, or writes through the atomic writer.
#pragma once

#include "SafeFile.h"

#include <QByteArray>
#include <QString>

#include <utility>

class TGuardedFile {
public:
    // refusal is the text of a refused save, %1 the file's path.
    explicit TGuardedFile(
        QString refusal = QStringLiteral("Cannot write %1: it could not be read, so it is left as it is."));

    // Reads the whole regular file at path, of at most maxBytes bytes. False
    // when it could not (missing, no regular file, too large, a read error):
    // ErrorString() says why.
    bool Load(const QString &path, qint64 maxBytes);
    // Reads the first count bytes only, for a file whose head is all it
    // holds: a longer file reads like any other, a shorter one up to its
    // end. False when it could not; a missing file leaves ErrorString() empty.
    bool LoadHead(const QString &path, qint64 count);

    // What the last load read, handed over: the guard keeps no copy.
    QByteArray TakeData() { return std::exchange(FData, QByteArray()); }
    // Why the last load failed; empty after a load that read its file.
    const QString &ErrorString() const { return FError; }
    // The last load failed because nothing was at its path.
    bool Missing() const { return FMissing; }

    // Writes bytes to path through writer. Throws EInOutError when path holds
    // something that was neither read in full nor written here (the refusal,
    // then the load's reason), or with the writer's reason; either way the
    // old file stays whole.
    void Save(const QString &path, const QByteArray &bytes, TFileWriter &writer);

private:
    void Start(const QString &path);
    void Failed(const QString &error);

    QString FRefusal;
    QString FPath; // of the last load, or of the last save
    bool FReadInFull = false;
    bool FMissing = false;
    QString FError;
    QByteArray FData;
};
