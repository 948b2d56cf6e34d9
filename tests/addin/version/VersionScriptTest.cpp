// version.rc as the editor writes it, compared line by line, and the tables
// between the names in the lists and the codes in the script.
#include "version/VersionScript.h"

#include <gtest/gtest.h>

namespace {

using namespace VersionTables;

TVersionFields UsEnglish()
{
    TVersionFields f;
    f.FileVersion = QStringLiteral("1,2,0,7");
    f.ProductVersion = QStringLiteral("1,2,0,0");
    f.OsName = QStringLiteral("Windows 3.0+ & DOS");
    f.FileTypeName = QStringLiteral("Static-Link Library");
    f.ProductName = QStringLiteral("Demo");
    f.Description = QStringLiteral("Demo library in C:\\temp\\x");
    f.InternalName = QStringLiteral("Demo");
    f.OriginalName = QStringLiteral("Demo.dll");
    f.CompanyName = QStringLiteral("Quorbel \"Demo\"");
    f.Copyright = QStringLiteral("\u00A9 2026");
    f.GenericVersion = QStringLiteral("1.2");
    f.PrivateBuild = QStringLiteral("8");
    f.Language = QStringLiteral("U.S. English");
    f.CodePage = QStringLiteral("Multilingual");
    return f;
}

TEST(VersionScript, WholeScriptLineForLineWithoutTheOptionalValues)
{
    const QString slashes(77, QLatin1Char('/'));
    const QStringList expected = {
        slashes,
        "//",
        "// Generated from the Resurce Editor Delphi Add-In Expert.",
        VersionScriptLines(UsEnglish()).at(3), // the generator's own notice
        slashes,
        "",
        slashes,
        "//",
        QStringLiteral("// Resource Version (Don\u00B4t modify)"),
        "//",
        "",
        "1 VERSIONINFO",
        " FILEVERSION 1,2,0,7",
        " PRODUCTVERSION 1,2,0,0",
        " FILEFLAGSMASK 0x3fL",
        " FILEFLAGS 0x28L",
        " FILEOS 0x10001L",
        " FILETYPE 0x7L",
        " FILESUBTYPE 0x0L",
        "{",
        "    BLOCK \"StringFileInfo\"",
        "    {",
        "        BLOCK \"040904E4\"",
        "        {",
        // Quotes and backslashes doubled, the closing \0 not.
        "            VALUE \"CompanyName\", \"Quorbel \"\"Demo\"\"\\0\"",
        "            VALUE \"FileDescription\", \"Demo library in C:\\\\temp\\\\x\\0\"",
        "            VALUE \"FileVersion\", \"1.2\\0\"",
        "            VALUE \"InternalName\", \"Demo\\0\"",
        QStringLiteral("            VALUE \"LegalCopyright\", \"\u00A9 2026\\0\""),
        "            VALUE \"OriginalFilename\", \"Demo.dll\\0\"",
        "            VALUE \"PrivateBuild\", \"8\\0\"",
        "            VALUE \"ProductName\", \"Demo\\0\"",
        "            VALUE \"ProductVersion\", \"1.2\\0\"",
        "        }",
        "    }",
        "    BLOCK \"VarFileInfo\"",
        "    {",
        "        VALUE \"Translation\", 0x0409,1252",
        "    }",
        "}",
        "",
        slashes,
    };
    EXPECT_EQ(VersionScriptLines(UsEnglish()), expected);
    EXPECT_TRUE(VersionScriptLines(UsEnglish()).at(3).startsWith(QStringLiteral("//")));
}

TEST(VersionScript, OptionalValuesAppearInTheirPlacesAndEmptyOnesStillWriteTheirLine)
{
    TVersionFields f = UsEnglish();
    f.Comments = QStringLiteral("c");
    f.Trademarks = QStringLiteral("t");
    f.SpecialBuild = QStringLiteral("s");
    f.PrivateBuild.clear();
    f.CompanyName.clear();
    QStringList values;
    for (const QString &line : VersionScriptLines(f))
        if (line.startsWith(QStringLiteral("            VALUE")))
            values << line.trimmed();
    EXPECT_EQ(values, QStringList({"VALUE \"Comments\", \"c\\0\"",
                                   "VALUE \"CompanyName\", \"\\0\"",
                                   "VALUE \"FileDescription\", \"Demo library in C:\\\\temp\\\\x\\0\"",
                                   "VALUE \"FileVersion\", \"1.2\\0\"",
                                   "VALUE \"InternalName\", \"Demo\\0\"",
                                   QStringLiteral("VALUE \"LegalCopyright\", \"\u00A9 2026\\0\""),
                                   "VALUE \"LegalTrademarks\", \"t\\0\"",
                                   "VALUE \"OriginalFilename\", \"Demo.dll\\0\"",
                                   "VALUE \"PrivateBuild\", \"\\0\"",
                                   "VALUE \"ProductName\", \"Demo\\0\"",
                                   "VALUE \"ProductVersion\", \"1.2\\0\"",
                                   "VALUE \"SpecialBuild\", \"s\\0\""}));
}

TEST(VersionScript, FileBytesAreWindows1252WithCrLfUnlessATextNeedsUtf8)
{
    const QByteArray bytes = VersionScript(UsEnglish());
    EXPECT_TRUE(bytes.contains("// Resource Version (Don\xB4t modify)\r\n"));
    EXPECT_TRUE(bytes.contains("\"LegalCopyright\", \"\xA9 2026\\0\"\r\n"));
    EXPECT_TRUE(bytes.endsWith(QByteArray(77, '/') + "\r\n"));
    EXPECT_EQ(bytes.count("\r\n"), 42);
    EXPECT_FALSE(QByteArray(bytes).replace("\r\n", "").contains('\n'));

    TVersionFields russian = UsEnglish();
    russian.ProductName = QStringLiteral("Проекты");
    const QByteArray utf8 = VersionScript(russian);
    EXPECT_TRUE(utf8.contains("// Resource Version (Don\xC2\xB4t modify)\r\n"));
    EXPECT_TRUE(utf8.contains(QStringLiteral("Проекты").toUtf8()));
}

TEST(VersionTables, NamesAndCodesInBothDirections)
{
    EXPECT_EQ(OsNames().size(), 7);
    EXPECT_EQ(FileTypeNames().size(), 6);
    EXPECT_EQ(LanguageNames().size(), 46);
    EXPECT_EQ(CodePageNames().size(), 11);
    EXPECT_EQ(OsCode(QStringLiteral("MS-Dos")), QStringLiteral("10000L"));
    EXPECT_EQ(OsCode(QStringLiteral("WinNT")), QStringLiteral("40004L"));
    EXPECT_EQ(OsCode(QString()), QStringLiteral("0L"));
    EXPECT_EQ(FileTypeCode(QStringLiteral("Aplicacion")), QStringLiteral("1L"));
    EXPECT_EQ(FileTypeCode(QStringLiteral("Unknown")), QStringLiteral("0L"));
    // Every language reads back from the key its code gives.
    for (const QString &name : LanguageNames()) {
        const QString key = QString::number(LanguageCode(name).toInt(nullptr, 16), 16).toUpper();
        EXPECT_EQ(LanguageName(key), name);
    }
    EXPECT_EQ(LanguageName(QStringLiteral("C0A")), QStringLiteral("Castilian Moderm"));
    EXPECT_EQ(LanguageName(QStringLiteral("100C")), QStringLiteral("Swiss French"));
    EXPECT_EQ(LanguageName(QStringLiteral("c0a")), QStringLiteral("Unknown")); // case counts
    EXPECT_EQ(LanguageName(QStringLiteral("7FF")), QStringLiteral("Unknown"));
    EXPECT_EQ(LanguageCode(QStringLiteral("Unknown")), QStringLiteral("0"));
    for (const QString &name : CodePageNames())
        EXPECT_EQ(CodePageName(CodePageOf(name)), name);
    EXPECT_EQ(CodePageName(QStringLiteral("437")), QStringLiteral("Desconocido"));
    EXPECT_EQ(CodePageOf(QString()), QStringLiteral("Desconocido"));
}

TEST(VersionTables, BlockNameAndPrivateBuild)
{
    EXPECT_EQ(BlockName(QStringLiteral("U.S. English"), QStringLiteral("Multilingual")),
              QStringLiteral("040904E4"));
    EXPECT_EQ(BlockName(QStringLiteral("Castilian Moderm"), QStringLiteral("Unicode")),
              QStringLiteral("0C0A04B0"));
    EXPECT_EQ(BlockName(QStringLiteral("Japanese"), QStringLiteral("Japan (Shift - JIS X-0208)")),
              QStringLiteral("041103A4"));
    EXPECT_EQ(BlockName(QString(), QStringLiteral("Multilingual")), QStringLiteral("004E4"));
    EXPECT_EQ(BlockName(QStringLiteral("U.S. English"), QString()), QString());

    EXPECT_EQ(NextPrivateBuild(QStringLiteral("7")), QStringLiteral("8"));
    EXPECT_EQ(NextPrivateBuild(QStringLiteral("-1")), QStringLiteral("0"));
    EXPECT_EQ(NextPrivateBuild(QStringLiteral("7b")), QStringLiteral("7b"));
    EXPECT_EQ(NextPrivateBuild(QString()), QString());
    EXPECT_EQ(NextPrivateBuild(QStringLiteral("2147483647")), QStringLiteral("2147483647"));
}

} // namespace
