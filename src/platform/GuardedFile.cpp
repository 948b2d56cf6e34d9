#include "GuardedFile.h"

#include "Exception.h"
#include "FileReader.h"

#include <utility>

TGuardedFile::TGuardedFile(QString refusal) : FRefusal(std::move(refusal)) {}

void TGuardedFile::Start(const QString &path)
{
    FPath = path;
    FReadInFull = false;
    FMissing = false;
    FError.clear();
    FData.clear();
}

void TGuardedFile::Failed(const QString &error)
{
    FError = error;
    // A dangling link is something a save would replace, so it counts as there.
    FMissing = !EntryExists(FPath);
}

bool TGuardedFile::Load(const QString &path, qint64 maxBytes)
{
    Start(path);
    try {
        FData = ReadWholeFile(path, maxBytes);
    } catch (const EInOutError &e) {
        Failed(e.message());
        return false;
    }
    FReadInFull = true;
    return true;
}

bool TGuardedFile::LoadHead(const QString &path, qint64 count)
{
    Start(path);
    try {
        TFileReader reader;
        if (!reader.Open(path)) {
            Failed(QString());
            return false;
        }
        FData.resize(count);
        qint64 got = 0;
        while (got < count) {
            const int64_t n = reader.Read(FData.data() + got, count - got);
            if (n == 0)
                break;
            got += n;
        }
        FData.truncate(got);
    } catch (const EInOutError &e) {
        FData.clear();
        Failed(e.message());
        return false;
    }
    FReadInFull = true;
    return true;
}

void TGuardedFile::Save(const QString &path, const QByteArray &bytes, TFileWriter &writer)
{
    const bool known = path == FPath;
    if (!(known && FReadInFull) && EntryExists(path)) {
        // The reason belongs to this file only, and only when it was there.
        const bool withReason = known && !FMissing && !FError.isEmpty();
        throw EInOutError(FRefusal.arg(path)
                          + (withReason ? QStringLiteral("\n") + FError : QString()));
    }
    writer.Write(path, bytes);
    FPath = path;
    FReadInFull = true;
    FMissing = false;
    FError.clear();
}
