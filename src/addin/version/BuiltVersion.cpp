#include "version/BuiltVersion.h"

#include "core/StringTable.h"

namespace {

// "40004L" as written into the script; nothing for no selection.
std::optional<uint32_t> ScriptNumber(const QString &code, const QString &name)
{
    if (name.isEmpty())
        return std::nullopt;
    bool ok = false;
    const uint32_t value = QString(code).remove(QLatin1Char('L')).toUInt(&ok, 16);
    return ok ? std::optional<uint32_t>(value) : std::nullopt;
}

} // namespace

TVersionChange BuiltFileChange(const TVersionFields &f)
{
    using namespace VersionTables;
    TVersionChange change;
    change.FileVersion = f.FileVersion;
    change.ProductVersion = f.ProductVersion;
    change.FileOS = ScriptNumber(OsCode(f.OsName), f.OsName);
    change.FileType = ScriptNumber(FileTypeCode(f.FileTypeName), f.FileTypeName);
    // The script's constant flags: private and special build.
    change.FileFlagsMask = 0x3F;
    change.FileFlags = 0x28;
    bool ok = false;
    const uint language = LanguageCode(f.Language).toUInt(&ok, 16);
    if (ok)
        change.Language = uint16_t(language);
    const uint codePage = CodePageOf(f.CodePage).toUInt(&ok, 10);
    if (ok)
        change.CodePage = uint16_t(codePage);
    change.Strings = ScriptStrings(f);
    return change;
}

void WriteIntoBuiltFile(const QString &file, const TVersionFields &fields)
{
    try {
        SetVersionInFile(file, QString(), BuiltFileChange(fields));
    } catch (const Exception &e) {
        throw EInOutError(LoadStr(txt::BuiltFileNotWritten).arg(file, e.message()));
    }
}
