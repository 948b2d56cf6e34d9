#include "CodePage.h"
#include "Exception.h"
#include "Paths.h"
#include "Registry.h"
#include "SafeFile.h"
#include "StringTable.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");

TEST(DirectoryPart, DropsFileNameAndKeepsRoot)
{
    EXPECT_EQ(ExtractFileDir(QStringLiteral("/opt/tools/x.so")), QStringLiteral("/opt/tools"));
    EXPECT_EQ(ExtractFileDir(QStringLiteral("/x.so")), QStringLiteral("/"));
    EXPECT_EQ(ExtractFileDir(QStringLiteral("/opt/tools/")), QStringLiteral("/opt/tools"));
    EXPECT_EQ(ExtractFileDir(QStringLiteral("//x")), QStringLiteral("//"));
    EXPECT_EQ(ExtractFileDir(QStringLiteral("x.so")), QString());
    // A colon is no separator here.
    EXPECT_EQ(ExtractFileDir(QStringLiteral("/a:b/c")), QStringLiteral("/a:b"));
}

TEST(FileNameParts, ExtensionAndChange)
{
    EXPECT_EQ(ExtractFileExt(QStringLiteral("/p/Unit1.pas")), QStringLiteral(".pas"));
    EXPECT_EQ(ExtractFileExt(QStringLiteral("/p.d/Unit1")), QString());
    EXPECT_EQ(ChangeFileExt(QStringLiteral("/p/Project1.dpr"), QStringLiteral(".exe")),
              QStringLiteral("/p/Project1.exe"));
    EXPECT_EQ(ChangeFileExt(QStringLiteral("/p/Project1.dpr"), QString()),
              QStringLiteral("/p/Project1"));
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOld = qgetenv("QUORBEL_REGISTRY");
        qputenv("QUORBEL_REGISTRY", (FDir.path() + QStringLiteral("/reg.ini")).toUtf8());
    }
    void TearDown() override { qputenv("QUORBEL_REGISTRY", FOld); }
    QTemporaryDir FDir;
    QByteArray FOld;
};

TEST_F(RegistryTest, ReadRegStringSplitsAtLastBackslash)
{
    Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                          QStringLiteral("/opt/quorbel/libquorbel.so"));
    EXPECT_EQ(ReadRegString(HKEY::CurrentUser, ExpertsKey + QStringLiteral("\\Quorbel")),
              QStringLiteral("/opt/quorbel/libquorbel.so"));
    EXPECT_EQ(AddinDataDir(), QStringLiteral("/opt/quorbel"));
    EXPECT_EQ(AddinDataFile(QStringLiteral("Quorbel.dat")),
              QStringLiteral("/opt/quorbel/Quorbel.dat"));
}

TEST_F(RegistryTest, MissingValueIsEmptyAndKeyIsCreated)
{
    const QString key = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Nowhere");
    EXPECT_FALSE(Registry::keyExists(HKEY::CurrentUser, key));
    EXPECT_EQ(ReadRegString(HKEY::CurrentUser, key + QStringLiteral("\\Missing")), QString());
    EXPECT_TRUE(Registry::keyExists(HKEY::CurrentUser, key));
    EXPECT_TRUE(Registry::valueNames(HKEY::CurrentUser, key).isEmpty());
}

TEST_F(RegistryTest, UnregisteredAddinDataFilesStartAtTheRoot)
{
    EXPECT_EQ(AddinDataDir(), QString());
    EXPECT_EQ(AddinDataFile(QStringLiteral("proj.dat")), QStringLiteral("/proj.dat"));
}

TEST_F(RegistryTest, AddinAtTheRootKeepsOneSeparator)
{
    Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                          QStringLiteral("/libquorbel.so"));
    EXPECT_EQ(AddinDataDir(), QStringLiteral("/"));
    EXPECT_EQ(AddinDataFile(QStringLiteral("proj.dat")), QStringLiteral("/proj.dat"));
}

TEST_F(RegistryTest, ValueNamesListsEveryValueOfAKey)
{
    Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"), QStringLiteral("a"));
    Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Other"), QStringLiteral("b"));
    QStringList names = Registry::valueNames(HKEY::CurrentUser, ExpertsKey);
    names.sort();
    EXPECT_EQ(names, (QStringList{QStringLiteral("Other"), QStringLiteral("Quorbel")}));
}

TEST(CodePage, Windows1252RoundTrip)
{
    const QByteArray bytes("\x80\x93Ma\xF1" "ana\x94\xE9", 10);
    const QString text = FromAnsi(bytes);
    EXPECT_EQ(text, QString::fromUtf8("€“Mañana”é"));
    EXPECT_EQ(ToAnsi(text), bytes);
    EXPECT_EQ(ToAnsi(QString::fromUtf8("日")), QByteArray("?"));
}

TEST(StringTable, TextsStandAsTheyAre)
{
    EXPECT_EQ(LoadStr(1049), QStringLiteral("Macros..."));
    EXPECT_EQ(LoadStr(1069), QStringLiteral("If you  has edited a resource version, you must "
                                            "recompile the project after view a Resource Version"));
    EXPECT_EQ(LoadStr(1089), QStringLiteral("Close Trace  Window"));
    EXPECT_EQ(LoadStr(999), QString());
    EXPECT_EQ(LoadStr(1113), QString());
}

TEST(SafeFile, FailedWriteKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/data.dat");
    WriteFileAtomically(path, "old contents");
    {
        SafeFileTesting::FailWrites failing;
        EXPECT_THROW(WriteFileAtomically(path, "new"), EInOutError);
    }
    EXPECT_EQ(ReadWholeFile(path, 1024), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("data.dat")});
    WriteFileAtomically(path, "new");
    EXPECT_EQ(ReadWholeFile(path, 1024), QByteArray("new"));
}

TEST(SafeFile, MissingDirectoryIsAnInOutError)
{
    EXPECT_THROW(WriteFileAtomically(QStringLiteral("/nonexistent-dir/x.dat"), "x"), EInOutError);
    EXPECT_THROW(ReadWholeFile(QStringLiteral("/nonexistent-dir/x.dat"), 1024), EInOutError);
}

} // namespace
