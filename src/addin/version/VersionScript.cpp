#include "VersionScript.h"

#include "CodePage.h"

#include <array>
#include <limits>
#include <utility>

namespace {

using Pair = std::pair<const char *, const char *>;

constexpr std::array<Pair, 7> OsTable = {{
    {"MS-Dos", "10000L"},
    {"Windows NT", "40000L"},
    {"Windows 3.0+", "1L"},
    {"32 bit Windows", "4L"},
    {"Windows 3.0+ & DOS", "10001L"},
    {"32 bit Windows &Dos", "10004L"},
    {"WinNT", "40004L"},
}};

constexpr std::array<Pair, 6> TypeTable = {{
    {"Aplicacion", "1L"},
    {"Dynamic-Link Library", "2L"},
    {"Device Driver", "3L"},
    {"Fuente", "4L"},
    {"Virtual Device Driver", "5L"},
    {"Static-Link Library", "7L"},
}};

// Name and the code written; the key read from a file is the code without
// leading zeros.
constexpr std::array<Pair, 46> LanguageTable = {{
    {"Arabic", "0401"},
    {"Bulgarian", "0402"},
    {"Catalan", "0403"},
    {"Traditional Chinese", "0404"},
    {"Czech", "0405"},
    {"Danish", "0406"},
    {"German", "0407"},
    {"Greek", "0408"},
    {"U.S. English", "0409"},
    {"Castilian Spanish", "040A"},
    {"Castilian Moderm", "0C0A"},
    {"Finnish", "040B"},
    {"French", "040C"},
    {"Hebrew", "040D"},
    {"Hungarian", "040E"},
    {"Icelandic", "040F"},
    {"Italian", "0410"},
    {"Japanese", "0411"},
    {"Korean", "0412"},
    {"Dutch", "0413"},
    {"Norwegian - Bokml", "0414"},
    {"Polish", "0415"},
    {"Brazilian Portuguese", "0416"},
    {"Rhaeto-Romanic", "0417"},
    {"Romanian", "0418"},
    {"Russian", "0419"},
    {"Croato-Serbian (Latin)", "041A"},
    {"Slovak", "041B"},
    {"Albanian", "041C"},
    {"Swedish", "041D"},
    {"Thai", "041E"},
    {"Turkish", "041F"},
    {"Urdu", "0420"},
    {"Bahasa", "0421"},
    {"Simplified Chinese", "0804"},
    {"Swiss German", "0807"},
    {"U.K. English", "0809"},
    {"Mexican Spanish", "080A"},
    {"Belgian French", "080C"},
    {"Swiss Italian", "0810"},
    {"Belgian Dutch", "0813"},
    {"Norwegian - Nynorsk", "0814"},
    {"Portuguese", "0816"},
    {"Serbo-Croatian (Cyrillic)", "081A"},
    {"Canadian French", "0C0C"},
    {"Swiss French", "100C"},
}};

constexpr std::array<Pair, 11> CodePageTable = {{
    {"Japan (Shift - JIS X-0208)", "932"},
    {"Korea (Shift - KSC 5601)", "949"},
    {"Taiwan (GB5)", "950"},
    {"Unicode", "1200"},
    {"Latin-2 (Eastern European)", "1250"},
    {"Cyrillic", "1251"},
    {"Multilingual", "1252"},
    {"Greek", "1253"},
    {"Turkish", "1254"},
    {"Hebrew", "1255"},
    {"Arabic", "1256"},
}};

template <size_t N> QStringList Names(const std::array<Pair, N> &table)
{
    QStringList names;
    for (const Pair &entry : table)
        names << QString::fromLatin1(entry.first);
    return names;
}

template <size_t N>
QString ValueOf(const std::array<Pair, N> &table, const QString &name, const char *otherwise)
{
    for (const Pair &entry : table)
        if (name == QLatin1String(entry.first))
            return QString::fromLatin1(entry.second);
    return QString::fromLatin1(otherwise);
}

QString LanguageKey(const char *code)
{
    QString key = QString::fromLatin1(code);
    while (key.size() > 1 && key.startsWith(QLatin1Char('0')))
        key.remove(0, 1);
    return key;
}

const QString Slashes(77, QLatin1Char('/'));

// A value as the resource compiler reads it back between double quotes:
// each quote and each backslash doubled.
QString QuotedText(const QString &text)
{
    QString quoted;
    quoted.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            quoted += c;
        quoted += c;
    }
    return quoted;
}

} // namespace

namespace VersionTables {

QStringList OsNames() { return Names(OsTable); }
QStringList FileTypeNames() { return Names(TypeTable); }
QStringList LanguageNames() { return Names(LanguageTable); }
QStringList CodePageNames() { return Names(CodePageTable); }

QString OsCode(const QString &name) { return ValueOf(OsTable, name, "0L"); }
QString FileTypeCode(const QString &name) { return ValueOf(TypeTable, name, "0L"); }
QString LanguageCode(const QString &name) { return ValueOf(LanguageTable, name, "0"); }
QString CodePageOf(const QString &name) { return ValueOf(CodePageTable, name, "Desconocido"); }

QString LanguageName(const QString &key)
{
    for (const Pair &entry : LanguageTable)
        if (key == LanguageKey(entry.second))
            return QString::fromLatin1(entry.first);
    return QStringLiteral("Unknown");
}

QString CodePageName(const QString &key)
{
    for (const Pair &entry : CodePageTable)
        if (key == QLatin1String(entry.second))
            return QString::fromLatin1(entry.first);
    return QStringLiteral("Desconocido");
}

QString BlockName(const QString &language, const QString &codePage)
{
    bool ok = false;
    const int page = CodePageOf(codePage).toInt(&ok);
    if (!ok)
        return {};
    return LanguageCode(language) + QStringLiteral("%1").arg(page, 4, 16, QLatin1Char('0')).toUpper();
}

QString NextPrivateBuild(const QString &privateBuild)
{
    bool ok = false;
    const int number = privateBuild.toInt(&ok);
    // A build at the top of the range would wrap to a negative one.
    if (!ok || number == std::numeric_limits<int>::max())
        return privateBuild;
    return QString::number(number + 1);
}

} // namespace VersionTables

QList<QPair<QString, QString>> ScriptStrings(const TVersionFields &f)
{
    QList<QPair<QString, QString>> strings;
    const auto value = [&](const char *key, const QString &text, bool always) {
        if (always || !text.isEmpty())
            strings.append({QLatin1String(key), text});
    };
    value("Comments", f.Comments, false);
    value("CompanyName", f.CompanyName, true);
    value("FileDescription", f.Description, true);
    value("FileVersion", f.GenericVersion, true);
    value("InternalName", f.InternalName, true);
    value("LegalCopyright", f.Copyright, true);
    value("LegalTrademarks", f.Trademarks, false);
    value("OriginalFilename", f.OriginalName, true);
    value("PrivateBuild", f.PrivateBuild, true);
    value("ProductName", f.ProductName, true);
    value("ProductVersion", f.GenericVersion, true);
    value("SpecialBuild", f.SpecialBuild, false);
    return strings;
}

QStringList VersionScriptLines(const TVersionFields &f)
{
    using namespace VersionTables;
    const QString in4(4, QLatin1Char(' '));
    const QString in8(8, QLatin1Char(' '));
    const QString in12(12, QLatin1Char(' '));
    QStringList lines{
        Slashes,
        QStringLiteral("//"),
        QStringLiteral("// Generated from the Resurce Editor Delphi Add-In Expert."),
        QStringLiteral("// Copyright (c) Quorbel developers. Free to use in your programs."),
        Slashes,
        QString(),
        Slashes,
        QStringLiteral("//"),
        QStringLiteral("// Resource Version (Don\u00B4t modify)"),
        QStringLiteral("//"),
        QString(),
        QStringLiteral("1 VERSIONINFO"),
        QStringLiteral(" FILEVERSION ") + f.FileVersion,
        QStringLiteral(" PRODUCTVERSION ") + f.ProductVersion,
        QStringLiteral(" FILEFLAGSMASK 0x3fL"),
        QStringLiteral(" FILEFLAGS 0x28L"),
        QStringLiteral(" FILEOS 0x") + OsCode(f.OsName),
        QStringLiteral(" FILETYPE 0x") + FileTypeCode(f.FileTypeName),
        QStringLiteral(" FILESUBTYPE 0x0L"),
        QStringLiteral("{"),
        in4 + QStringLiteral("BLOCK \"StringFileInfo\""),
        in4 + QStringLiteral("{"),
        in8 + QStringLiteral("BLOCK \"") + BlockName(f.Language, f.CodePage) + QLatin1Char('"'),
        in8 + QStringLiteral("{"),
    };
    for (const auto &[key, text] : ScriptStrings(f))
        lines << in12 + QStringLiteral("VALUE \"") + key + QStringLiteral("\", \"") + QuotedText(text)
                + QStringLiteral("\\0\"");
    lines << in8 + QStringLiteral("}") << in4 + QStringLiteral("}")
          << in4 + QStringLiteral("BLOCK \"VarFileInfo\"") << in4 + QStringLiteral("{")
          << in8 + QStringLiteral("VALUE \"Translation\", 0x") + LanguageCode(f.Language)
                 + QLatin1Char(',') + CodePageOf(f.CodePage)
          << in4 + QStringLiteral("}") << QStringLiteral("}") << QString() << Slashes;
    return lines;
}

QByteArray VersionScript(const TVersionFields &fields)
{
    QString text;
    for (const QString &line : VersionScriptLines(fields))
        text += line + QStringLiteral("\r\n");
    return EncodeText(text);
}
