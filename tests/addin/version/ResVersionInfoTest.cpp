// The version reader's texts from real DLLs made from resource scripts:
// which block the strings come from, the tables' names, the cut to 50
// characters, and what the user is told when there is nothing to read.
#include "version/ResVersionInfo.h"

#include "Paths.h"
#include "PeBuilder.h"
#include "ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString NoVersion = QString::fromUtf8("No hay información de version en");

// A version script with one string block; every part can be changed.
struct TScript {
    QByteArray FileVersion = "1,0,0,5";
    QByteArray FileOS = "0x40004";
    QByteArray FileType = "1";
    // Blocks of VALUE lines, in file order.
    std::vector<std::pair<QByteArray, QByteArray>> Blocks = {{"040904E4", ""}};
    QByteArray Translation = "0x409, 1252"; // empty: no VarFileInfo block

    QByteArray Text() const
    {
        QByteArray rc = "1 VERSIONINFO\nFILEVERSION " + FileVersion
            + "\nPRODUCTVERSION 3,0,1,2\nFILEOS " + FileOS + "\nFILETYPE " + FileType
            + "\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n";
        for (const auto &[name, values] : Blocks)
            rc += "  BLOCK \"" + name + "\"\n  BEGIN\n" + values + "  END\n";
        rc += " END\n";
        if (!Translation.isEmpty())
            rc += " BLOCK \"VarFileInfo\"\n BEGIN\n  VALUE \"Translation\", " + Translation
                + "\n END\n";
        return rc + "END\n";
    }
};

QByteArray Value(const char *key, const QByteArray &text)
{
    return QByteArray("   VALUE \"") + key + "\", \"" + text + "\"\n";
}

QStringList Texts(const TResouceVersionInfo &v)
{
    return {v.NumFileVersion, v.NumProductVersion, v.OSName,         v.FileTypeName,
            v.CompanyName,    v.FileDescription,   v.FileVersion,    v.InternalName,
            v.LegalCopyright, v.Comments,          v.OriginalFileName, v.LegalTrademarks,
            v.ProductName,    v.ProductVersion,    v.SpecialBuild,   v.PrivateBuild};
}

class ResVersionInfoTest : public ::testing::Test {
protected:
    QString Build(const TScript &script, TPeKind kind = TPeKind::Pe32Plus)
    {
        return BuildDll(FDir.path(), QStringLiteral("p%1.dll").arg(++FBuilt), script.Text(), kind);
    }
    QTemporaryDir FDir;
    ScriptedDialogs FDialogs;
    int FBuilt = 0;
};

TEST_F(ResVersionInfoTest, EveryFieldFromItsOwnKey)
{
    TScript script;
    script.FileVersion = "2,1,0,37";
    script.FileType = "2";
    const char *keys[] = {"CompanyName",   "FileDescription", "FileVersion",    "InternalName",
                          "LegalCopyright", "Comments",       "OriginalFilename", "LegalTrademarks",
                          "ProductName",   "ProductVersion",  "SpecialBuild",   "PrivateBuild"};
    for (const char *key : keys)
        script.Blocks[0].second += Value(key, QByteArray(key) + " \xA9");
    for (const TPeKind kind : {TPeKind::Pe32, TPeKind::Pe32Plus}) {
        const QString dll = Build(script, kind);
        ASSERT_FALSE(dll.isEmpty());
        const TResouceVersionInfo info(dll, FDialogs);
        QStringList expected = {QStringLiteral("2,1,0,37"), QStringLiteral("3,0,1,2"),
                                QStringLiteral("WinNT"), QStringLiteral("Dynamic-Link Library")};
        for (const char *key : keys)
            expected << QString::fromLatin1(key) + QStringLiteral(" \u00A9");
        EXPECT_EQ(Texts(info), expected);
        EXPECT_EQ(info.LanguageId, 0x0409);
        EXPECT_EQ(info.CodePage, 1252);
    }
    EXPECT_TRUE(FDialogs.log.isEmpty()) << FDialogs.log.join('\n').toStdString();
}

TEST_F(ResVersionInfoTest, OperatingSystemAndFileTypeNames)
{
    const struct {
        const char *os, *type, *osName, *typeName;
    } cases[] = {{"0x4", "6", "32 bit Windows", "Unknown"},
                 {"0x50000", "7", "Unknown", "Static-Link Library"},
                 {"0x10004", "1", "32 bit Windows &Dos", "Aplicacion"}};
    for (const auto &c : cases) {
        TScript script;
        script.FileOS = c.os;
        script.FileType = c.type;
        const TResouceVersionInfo info(Build(script), FDialogs);
        EXPECT_EQ(info.OSName, QLatin1String(c.osName)) << c.os;
        EXPECT_EQ(info.FileTypeName, QLatin1String(c.typeName)) << c.type;
    }
}

TEST_F(ResVersionInfoTest, StringsComeFromTheBlockOfTheFirstTranslation)
{
    TScript script;
    script.Translation = "0x0C0A, 1200, 0x409, 1252";
    script.Blocks = {{"040904E4", Value("CompanyName", "English") + Value("Comments", "English")},
                     {"0C0A04B0", Value("CompanyName", "Espa\xF1ol")}};
    const TResouceVersionInfo info(Build(script), FDialogs);
    EXPECT_EQ(info.LanguageId, 0x0C0A);
    EXPECT_EQ(info.CodePage, 1200);
    EXPECT_EQ(info.CompanyName, QString::fromUtf8("Español"));
    EXPECT_EQ(info.Comments, QString());
}

TEST_F(ResVersionInfoTest, WithoutTranslationTableUsEnglishAnsiIsAssumed)
{
    TScript script;
    script.Translation.clear();
    script.Blocks = {{"0C0A04B0", Value("ProductName", "first block")},
                     {"040904E4", Value("ProductName", "US block")}};
    const TResouceVersionInfo info(Build(script), FDialogs);
    EXPECT_EQ(info.LanguageId, 0x0409);
    EXPECT_EQ(info.CodePage, 1252);
    EXPECT_EQ(info.ProductName, QStringLiteral("US block"));
    EXPECT_EQ(info.NumFileVersion, QStringLiteral("1,0,0,5"));
}

TEST_F(ResVersionInfoTest, TextsAreCutTo50CharactersNeverInsideAPair)
{
    TScript script;
    const QByteArray seventy = QByteArray("(c) ") + QByteArray(66, 'x');
    script.Blocks[0].second = Value("LegalCopyright", seventy)
        + "   VALUE \"Comments\", L\"" + QByteArray(49, 'a') + "\\xD83D\\xDE00tail\"\n"
        + "   VALUE \"ProductName\", L\"" + QByteArray(50, 'a') + "\\xD83D\\xDE00\"\n";
    const TResouceVersionInfo info(Build(script), FDialogs);
    EXPECT_EQ(info.LegalCopyright, QString::fromLatin1(seventy.left(50)));
    EXPECT_EQ(info.Comments, QString(49, QLatin1Char('a')) + QString::fromUtf8("😀"));
    EXPECT_EQ(info.ProductName, QString(50, QLatin1Char('a')));
}

TEST_F(ResVersionInfoTest, NoVersionResourceIsToldWithThePathAndLeavesEverythingEmpty)
{
    const QString dll = BuildDll(FDir.path(), QStringLiteral("data.dll"),
                                 "7 RCDATA\nBEGIN\n  \"data\\0\"\nEND\n");
    ASSERT_FALSE(dll.isEmpty());
    const TResouceVersionInfo info(dll, FDialogs);
    EXPECT_EQ(FDialogs.log, QStringList{QStringLiteral("error: ") + NoVersion + dll});
    EXPECT_EQ(Texts(info), QStringList(16, QString()));
    EXPECT_EQ(info.LanguageId, 0);
    EXPECT_EQ(info.CodePage, 0);
}

TEST_F(ResVersionInfoTest, AnEmptyNameReadsTheRunningProgram)
{
    // The test program is no Windows file.
    const TResouceVersionInfo info(QString(), FDialogs);
    ASSERT_FALSE(RunningProgramPath().isEmpty());
    EXPECT_EQ(FDialogs.texts, QStringList{NoVersion + RunningProgramPath()});
    EXPECT_EQ(info.LanguageId, 0);
}

TEST_F(ResVersionInfoTest, PathsPast255CharactersAreReadWhole)
{
    QString deep = FDir.path();
    while (deep.size() < 300)
        deep += QStringLiteral("/folder_with_a_long_name");
    ASSERT_TRUE(QDir().mkpath(deep));
    const QString dll = BuildDll(deep, QStringLiteral("long.dll"), TScript().Text());
    ASSERT_FALSE(dll.isEmpty());
    EXPECT_EQ(TResouceVersionInfo(dll, FDialogs).NumFileVersion, QStringLiteral("1,0,0,5"));
    const QString missing = deep + QStringLiteral("/missing.dll");
    TResouceVersionInfo none(missing, FDialogs);
    EXPECT_EQ(FDialogs.texts, QStringList{NoVersion + missing});
}

TEST_F(ResVersionInfoTest, AFileWithoutItsFixedRecordIsAnErrorAndFillsNothing)
{
    const QString dll = Build(TScript());
    ASSERT_FALSE(dll.isEmpty());
    QFile file(dll);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    bytes[bytes.indexOf(QByteArray("\xBD\x04\xEF\xFE", 4))] = 0;
    file.seek(0);
    file.write(bytes);
    file.close();

    const TResouceVersionInfo info(dll, FDialogs);
    ASSERT_EQ(FDialogs.texts.size(), 1);
    EXPECT_TRUE(FDialogs.texts[0].endsWith(dll));
    EXPECT_EQ(Texts(info), QStringList(16, QString()));
    EXPECT_EQ(info.LanguageId, 0);
}

} // namespace
