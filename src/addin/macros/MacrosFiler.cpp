#include "MacrosFiler.h"

#include "CodePage.h"
#include "Dialogs.h"
#include "Paths.h"
#include "SafeFile.h"
#include "StringTable.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {
constexpr int TitleOffset = 1;
constexpr int BodyOffset = 1 + TMacroRec::TitleCapacity;
} // namespace

// ---------------------------------------------------------------- record

QString TMacroRec::Title() const
{
    // A length byte beyond the capacity would reach into the body.
    const int length = std::min<int>(static_cast<unsigned char>(FBytes[0]), TitleCapacity);
    return FromAnsi(FBytes.data() + TitleOffset, length);
}

void TMacroRec::SetTitle(const QString &title)
{
    const QByteArray bytes = ToAnsi(title.left(TitleCapacity));
    std::memset(FBytes.data() + TitleOffset, 0, TitleCapacity);
    std::memcpy(FBytes.data() + TitleOffset, bytes.constData(), size_t(bytes.size()));
    FBytes[0] = char(bytes.size());
}

QString TMacroRec::Body() const
{
    const char *body = FBytes.data() + BodyOffset;
    const void *nul = std::memchr(body, 0, BodySize);
    const qsizetype length = nul ? static_cast<const char *>(nul) - body : BodySize;
    return FromAnsi(body, length);
}

void TMacroRec::SetBody(const QString &body)
{
    QByteArray bytes = ToAnsi(body.left(BodyCapacity));
    // A NUL typed into the text would end it there anyway.
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    std::memset(FBytes.data() + BodyOffset, 0, BodySize);
    std::memcpy(FBytes.data() + BodyOffset, bytes.constData(), size_t(bytes.size()));
}

// ----------------------------------------------------------------- store

TMacrosFiler::TMacrosFiler() : FFileName(AddinDataFile(QStringLiteral("Quorbel.dat"))) {}

TMacrosFiler::~TMacrosFiler() = default;

void TMacrosFiler::Load()
{
    Clear();
    QByteArray data;
    try {
        data = ReadWholeFile(FFileName, qint64(64) << 20);
    } catch (const EInOutError &) {
        throw TMacrosError(LoadStr(1062));
    }
    const qsizetype whole = data.size() / TMacroRec::RecordSize;
    FList.reserve(size_t(whole));
    for (qsizetype i = 0; i < whole; ++i) {
        TMacroRec &rec = FList.emplace_back();
        std::memcpy(rec.data(), data.constData() + i * TMacroRec::RecordSize,
                    TMacroRec::RecordSize);
    }
    // A short tail fails to read as a record: what came before it stays.
    if (data.size() % TMacroRec::RecordSize != 0)
        throw TMacrosError(LoadStr(1062));
}

bool TMacrosFiler::Save()
{
    QByteArray data;
    data.reserve(qsizetype(FList.size()) * TMacroRec::RecordSize);
    for (const TMacroRec &rec : FList)
        data.append(rec.data(), TMacroRec::RecordSize);
    try {
        // Temporary file and rename: a failed write keeps every stored macro.
        WriteFileAtomically(FFileName, data);
        return true;
    } catch (const EInOutError &e) {
        ShowError(e.message());
        return false;
    }
}

void TMacrosFiler::Add(const QString &title, const QString &body)
{
    TMacroRec &rec = FList.emplace_back();
    rec.SetTitle(title);
    rec.SetBody(body);
}

void TMacrosFiler::Delete(int index)
{
    if (index >= 0 && index < Count())
        FList.erase(FList.begin() + index);
}

void TMacrosFiler::Clear()
{
    FList.clear();
}

TMacroRec &TMacrosFiler::Macro(int index)
{
    if (index < 0 || index >= Count())
        throw TMacrosError(QStringLiteral("Indice fuera de rango"));
    return FList[size_t(index)];
}
