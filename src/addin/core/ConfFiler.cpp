#include "ConfFiler.h"

#include "CodePage.h"
#include "CommandEdge.h"
#include "Dialogs.h"
#include "Paths.h"
#include "SafeFile.h"
#include "StringTable.h"

#include <QDir>

#include <cstring>

namespace {

struct TToolKind {
    int titleId;
    const char *fileName; // as the IDE's tool chain names it
    const char *command;  // the Linux command standing in for it
    const char *defaultPath;
};

constexpr TToolKind Kinds[3] = {
    {txt::SelectHcwDir, "HCW.EXE", "hcw", "Z:\\kk\\HCW.EXE"},
    {txt::SelectBrccDir, "BRCC32.EXE", "brcc32", "Z:\\kk\\BRCC32.EXE"},
    {txt::SelectDccDir, "DCC32.EXE", "dcc32", "Z:\\kk\\DCC32.EXE"},
};

// A file-dialog pattern matching name in any letter case: file systems
// here tell "brcc32.exe" from "BRCC32.EXE".
QString AnyCase(const QString &name)
{
    QString pattern;
    for (const QChar c : name) {
        if (c.isLetter())
            pattern += QLatin1Char('[') + c.toUpper() + c.toLower() + QLatin1Char(']');
        else
            pattern += c;
    }
    return pattern;
}

void PutField(QByteArray &record, int kind, const QString &path)
{
    const QByteArray bytes = EncodeText(path, TConfFiler::FieldSize - 1);
    char *field = record.data() + kind * TConfFiler::FieldSize;
    field[0] = char(bytes.size());
    std::memcpy(field + 1, bytes.constData(), size_t(bytes.size()));
}

QString GetField(const QByteArray &record, int kind)
{
    const char *field = record.constData() + kind * TConfFiler::FieldSize;
    return DecodeText(field + 1, static_cast<unsigned char>(field[0]));
}

} // namespace

TConfFiler::TConfFiler(const TAddinServices &services)
    : FServices(services), FDataFile(services.DataFile(QStringLiteral("Ideexe.dat"))),
      FFile(QStringLiteral("Cannot write %1: the tool paths stored there could not be read, so "
                           "the file is left as it is."))
{
    FHcwPath = QString::fromLatin1(Kinds[HcwKind].defaultPath);
    FBrccPath = QString::fromLatin1(Kinds[BrccKind].defaultPath);
    FDccPath = QString::fromLatin1(Kinds[DccKind].defaultPath);
    if (!EntryExists(FDataFile) && DetectTools())
        return;
    Load();
}

bool TConfFiler::DetectTools()
{
    bool found = false;
    for (int kind = HcwKind; kind <= DccKind; ++kind) {
        const QString path = FServices.findTool(QString::fromLatin1(Kinds[kind].command));
        if (!path.isEmpty()) {
            Field(kind) = path;
            found = true;
        }
    }
    if (found)
        Save();
    return found;
}

QString &TConfFiler::Field(int kind)
{
    switch (kind) {
    case HcwKind: return FHcwPath;
    case BrccKind: return FBrccPath;
    default: return FDccPath;
    }
}

QString TConfFiler::Path(int kind) const
{
    return const_cast<TConfFiler *>(this)->Field(kind);
}

void TConfFiler::Load()
{
    // Only the record counts: what follows it is not read.
    const bool read = FFile.LoadHead(FDataFile, RecordSize);
    const QByteArray record = FFile.TakeData();
    if (!read || record.size() < RecordSize) {
        // A file that could not be read is kept as it is by Save.
        const QString &why = FFile.ErrorString();
        FServices.dialogs().ShowMessage(
            why.isEmpty() ? LoadStr(txt::NotConfigured) : LoadStr(txt::NotConfigured) + QStringLiteral("\n\n") + why);
        return;
    }
    FHcwPath = GetField(record, HcwKind);
    FBrccPath = GetField(record, BrccKind);
    FDccPath = GetField(record, DccKind);
}

QByteArray TConfFiler::Record(const QString &hcw, const QString &brcc, const QString &dcc)
{
    QByteArray record(RecordSize, '\0');
    PutField(record, HcwKind, hcw);
    PutField(record, BrccKind, brcc);
    PutField(record, DccKind, dcc);
    return record;
}

bool TConfFiler::Save()
{
    return RunAtEdge(FServices.dialogs(), [&] {
        FFile.Save(FDataFile, Record(FHcwPath, FBrccPath, FDccPath), FServices.writer());
    });
}

QString TConfFiler::DialogTitle(int kind)
{
    return LoadStr(Kinds[kind].titleId);
}

QString TConfFiler::DialogFilter(int kind)
{
    const QString fileName = QString::fromLatin1(Kinds[kind].fileName);
    return QStringLiteral("%1 (%2 %3)")
        .arg(fileName, AnyCase(fileName), AnyCase(QString::fromLatin1(Kinds[kind].command)));
}

void TConfFiler::AskToolPath(int kind)
{
    if (kind < HcwKind || kind > DccKind)
        return;
    FServices.dialogs().ShowMessage(LoadStr(txt::ProgramNotFound));
    const QString chosen =
        FServices.dialogs().GetOpenFileName(DialogTitle(kind), DialogFilter(kind), QDir::homePath());
    if (!chosen.isEmpty())
        Field(kind) = chosen;
    Save();
}

TConfFiler::TAskAgain TConfFiler::AskAgainAfterFailedStart(int kind, const QString &error)
{
    if (kind < HcwKind || kind > DccKind || !FileExists(Field(kind)))
        return TAskAgain::NotAsked;
    FServices.dialogs().ShowError(error);
    const QString before = Field(kind);
    AskToolPath(kind);
    return Field(kind) == before ? TAskAgain::Cancelled : TAskAgain::Chosen;
}

QString TConfFiler::PathOf(int kind)
{
    if (!FileExists(Field(kind)))
        AskToolPath(kind);
    return Field(kind);
}

QString TConfFiler::GetHcwPath()
{
    return PathOf(HcwKind);
}

QString TConfFiler::GetBrccPath()
{
    return PathOf(BrccKind);
}

QString TConfFiler::GetDccPath()
{
    return PathOf(DccKind);
}
