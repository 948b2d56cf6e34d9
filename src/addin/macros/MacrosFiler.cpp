#include "MacrosFiler.h"

#include "CodePage.h"
#include "core/CommandEdge.h"
#include "core/StringTable.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace {
constexpr int TitleOffset = 1;
constexpr int BodyOffset = 1 + TMacroRec::TitleCapacity;
// Far above any real store (a thousand macros are 2 MB); a bigger file is refused.
constexpr qint64 MaxFileSize = qint64(64) << 20;
} // namespace

// ---------------------------------------------------------------- record

QString TMacroRec::Title() const
{
    // A length byte beyond the capacity would reach into the body.
    const int length = std::min<int>(static_cast<unsigned char>(FBytes[0]), TitleCapacity);
    return DecodeText(FBytes.data() + TitleOffset, length);
}

void TMacroRec::SetTitle(const QString &title)
{
    const QByteArray bytes = EncodeText(title.left(TitleCapacity), TitleCapacity);
    std::memset(FBytes.data() + TitleOffset, 0, TitleCapacity);
    std::memcpy(FBytes.data() + TitleOffset, bytes.constData(), size_t(bytes.size()));
    FBytes[0] = char(bytes.size());
}

QString TMacroRec::Body() const
{
    const char *body = FBytes.data() + BodyOffset;
    const void *nul = std::memchr(body, 0, BodySize);
    const qsizetype length = nul ? static_cast<const char *>(nul) - body : BodySize;
    return DecodeText(body, length);
}

void TMacroRec::SetBody(const QString &body)
{
    // A NUL typed into the text would end it there anyway.
    const QString text = body.left(body.indexOf(QChar(0)));
    const QByteArray bytes = EncodeText(text.left(BodyCapacity), BodyCapacity);
    std::memset(FBytes.data() + BodyOffset, 0, BodySize);
    std::memcpy(FBytes.data() + BodyOffset, bytes.constData(), size_t(bytes.size()));
}

// ----------------------------------------------------------------- store

TMacrosFiler::TMacrosFiler(const TAddinServices &services)
    : FServices(services), FFileName(services.DataFile(QStringLiteral("Quorbel.dat"))),
      FFile(QStringLiteral("Cannot write %1: the macros stored there could not be read, so the "
                           "file is left as it is."))
{
}

TMacrosFiler::~TMacrosFiler() = default;

void TMacrosFiler::Load()
{
    Clear();
    if (!FFile.Load(FFileName, MaxFileSize)) {
        if (FFile.Missing())
            throw TMacrosError(LoadStr(txt::NoDataFile));
        // The user is told why, not only to create a file that is there.
        throw TMacrosError(LoadStr(txt::NoDataFile) + QStringLiteral("\n\n") + FFile.ErrorString());
    }
    const QByteArray data = FFile.TakeData();
    const qsizetype whole = data.size() / TMacroRec::RecordSize;
    FList.reserve(size_t(whole));
    for (qsizetype i = 0; i < whole; ++i) {
        TMacroRec &rec = FList.emplace_back();
        std::memcpy(rec.data(), data.constData() + i * TMacroRec::RecordSize,
                    TMacroRec::RecordSize);
    }
    // A short tail fails to read as a record: what came before it stays.
    if (data.size() % TMacroRec::RecordSize != 0)
        throw TMacrosError(LoadStr(txt::NoDataFile));
}

bool TMacrosFiler::Save()
{
    QByteArray data;
    data.reserve(qsizetype(FList.size()) * TMacroRec::RecordSize);
    for (const TMacroRec &rec : FList)
        data.append(rec.data(), TMacroRec::RecordSize);
    // Temporary file and rename: a failed write keeps every stored macro;
    // macros that could not be read are never written over.
    return RunAtEdge(FServices.dialogs(), [&] { FFile.Save(FFileName, data, FServices.writer()); });
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
