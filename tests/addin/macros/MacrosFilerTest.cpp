// The macro store against hand-built data files: record layout, short and
// empty files, cuts at the field sizes, the file's place, and saves that
// fail without losing what was stored.
#include "MacrosTesting.h"

#include "macros/MacrosFiler.h"

#include "Registry.h"
#include "SafeFile.h"
#include "TestServices.h"
#include "UnreadableEntries.h"
#include "ScriptedDialogs.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace MacrosTesting;

class MacrosFilerTest : public DataDirTest {};

TEST_F(MacrosFilerTest, ThreeRecordsLoadInFileOrderAndSaveBackByteForByte)
{
    QByteArray fixture = Record("Header", "{ Unit header }\r\n{ $DATE$ }")
        + Record("Empty body", "") + Record("", "begin\r\n  $FILE$\r\nend;");
    // Bytes past the title and past the body's NUL carry no meaning but are kept.
    fixture[1 + 6] = 'Z';
    fixture[101 + 40] = char(0x7F);
    WriteDat(fixture);

    TMacrosFiler store(TestServices());
    store.Load();
    ASSERT_EQ(store.Count(), 3);
    EXPECT_EQ(store.Macro(0).Title(), QStringLiteral("Header"));
    EXPECT_EQ(store.Macro(0).Body(), QStringLiteral("{ Unit header }\r\n{ $DATE$ }"));
    EXPECT_EQ(store.Macro(1).Title(), QStringLiteral("Empty body"));
    EXPECT_EQ(store.Macro(1).Body(), QString());
    EXPECT_EQ(store.Macro(2).Title(), QString());
    EXPECT_EQ(store.Macro(2).Body(), QStringLiteral("begin\r\n  $FILE$\r\nend;"));

    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadDat(), fixture);
}

TEST_F(MacrosFilerTest, ShortTailKeepsTheWholeRecordsAndRaises)
{
    WriteDat(Record("one", "1") + Record("two", "2") + QByteArray(100, 'x'));
    TMacrosFiler store(TestServices());
    try {
        store.Load();
        FAIL() << "a short tail loaded without error";
    } catch (const TMacrosError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("No exist datafile, you must create one"));
    }
    ASSERT_EQ(store.Count(), 2);
    EXPECT_EQ(store.Macro(1).Title(), QStringLiteral("two"));
    // Saving writes only the complete records.
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadDat(), Record("one", "1") + Record("two", "2"));
}

TEST_F(MacrosFilerTest, EmptyFileIsAnEmptyListAndMissingFileRaises)
{
    WriteDat(QByteArray());
    TMacrosFiler store(TestServices());
    EXPECT_NO_THROW(store.Load());
    EXPECT_EQ(store.Count(), 0);

    QFile::remove(DatPath());
    store.Add(QStringLiteral("stale"), QStringLiteral("x"));
    EXPECT_THROW(store.Load(), TMacrosError);
    EXPECT_EQ(store.Count(), 0);
    // The first save creates the file.
    store.Add(QStringLiteral("first"), QStringLiteral("body"));
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadDat(), Record("first", "body"));
}

TEST_F(MacrosFilerTest, BodyFillingItsFieldWithoutNulReadsAs2049Characters)
{
    QByteArray rec = Record("full", "");
    for (int i = 0; i < 2049; ++i)
        rec[101 + i] = char('a' + i % 26);
    WriteDat(rec + Record("next", "after"));
    TMacrosFiler store(TestServices());
    store.Load();
    ASSERT_EQ(store.Count(), 2);
    const QString body = store.Macro(0).Body();
    EXPECT_EQ(body.size(), 2049);
    EXPECT_TRUE(body.startsWith(QStringLiteral("abc")));
    EXPECT_EQ(store.Macro(1).Body(), QStringLiteral("after"));
}

TEST_F(MacrosFilerTest, FieldsAreCutToTheirCapacity)
{
    TMacrosFiler store(TestServices());
    store.Add(QString(150, QLatin1Char('t')), QString(3000, QLatin1Char('b')));
    store.Add(QStringLiteral("short"), QString());
    ASSERT_TRUE(store.Save());
    const QByteArray bytes = ReadDat();
    ASSERT_EQ(bytes.size(), 2 * 2150);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 100);
    EXPECT_EQ(bytes.mid(1, 100), QByteArray(100, 't'));
    EXPECT_EQ(bytes.mid(101, 2048), QByteArray(2048, 'b'));
    EXPECT_EQ(bytes[101 + 2048], '\0');
    // An empty body is one NUL at offset 101.
    EXPECT_EQ(bytes[2150 + 101], '\0');
    EXPECT_EQ(store.Macro(0).Title().size(), 100);
    EXPECT_EQ(store.Macro(0).Body().size(), 2048);

    // An in-place change is cut the same way.
    store.Macro(1).SetTitle(QString(101, QLatin1Char('u')));
    store.Macro(1).SetBody(QString(2049, QLatin1Char('v')));
    EXPECT_EQ(store.Macro(1).Title().size(), 100);
    EXPECT_EQ(store.Macro(1).Body().size(), 2048);
}

TEST_F(MacrosFilerTest, TextIsWindows1252AndLineEndsSurvive)
{
    TMacrosFiler store(TestServices());
    store.Add(QStringLiteral("A\u00f1o \u20ac"), QStringLiteral("l\u00ednea 1\r\nl\u00ednea 2\r\n"));
    ASSERT_TRUE(store.Save());
    const QByteArray bytes = ReadDat();
    EXPECT_EQ(bytes[0], char(5));
    EXPECT_EQ(bytes.mid(1, 5), QByteArray("A\xf1o \x80"));
    EXPECT_EQ(bytes.mid(101, 18), QByteArray("l\xednea 1\r\nl\xednea 2\r\n"));

    TMacrosFiler again(TestServices());
    again.Load();
    EXPECT_EQ(again.Macro(0).Title(), QStringLiteral("A\u00f1o \u20ac"));
    EXPECT_EQ(again.Macro(0).Body(), QStringLiteral("l\u00ednea 1\r\nl\u00ednea 2\r\n"));
}

// Titles and bodies a Linux user types: nothing may turn into "?".
TEST_F(MacrosFilerTest, TextOutsideTheCodePageIsStoredAsUtf8)
{
    const QString title = QString::fromUtf8("Проекты");
    const QString body = QString::fromUtf8("{ /home/u/Проекты/ }\r\n{ 日本 😀 }");
    TMacrosFiler store(TestServices());
    store.Add(title, body);
    ASSERT_TRUE(store.Save());
    const QByteArray bytes = ReadDat();
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), title.toUtf8().size());
    EXPECT_EQ(bytes.mid(1, title.toUtf8().size()), title.toUtf8());
    EXPECT_EQ(bytes.mid(101, body.toUtf8().size() + 1), body.toUtf8() + '\0');

    TMacrosFiler again(TestServices());
    again.Load();
    EXPECT_EQ(again.Macro(0).Title(), title);
    EXPECT_EQ(again.Macro(0).Body(), body);
}

// Each field is a text of its own: a code-page title beside a UTF-8 body.
TEST_F(MacrosFilerTest, EachFieldIsReadByItsOwnBytes)
{
    QByteArray rec = Record("Caf\xe9", QString::fromUtf8("日本").toUtf8());
    rec[101 + 7] = char(0xE9); // meaningless bytes after the body's NUL
    WriteDat(rec);
    TMacrosFiler store(TestServices());
    store.Load();
    EXPECT_EQ(store.Macro(0).Title(), QString::fromUtf8("Café"));
    EXPECT_EQ(store.Macro(0).Body(), QString::fromUtf8("日本"));
}

TEST_F(MacrosFilerTest, CutsToTheFieldSizesNeverSplitACharacter)
{
    TMacrosFiler store(TestServices());
    // 60 two-byte letters are 120 bytes: 50 of them fill the title.
    store.Add(QString(60, QChar(0x0416)), QString(700, QChar(0x65E5)));
    ASSERT_TRUE(store.Save());
    const QByteArray bytes = ReadDat();
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 100);
    EXPECT_EQ(store.Macro(0).Title(), QString(50, QChar(0x0416)));
    // 682 three-byte characters are 2046 bytes; the NUL follows them.
    EXPECT_EQ(store.Macro(0).Body(), QString(682, QChar(0x65E5)));
    EXPECT_EQ(bytes[101 + 2046], '\0');
}

// Every byte 0x80-0xFF as a title and a body, changed in place with the
// text it reads as: the record keeps its bytes.
TEST_F(MacrosFilerTest, EveryHighByteSurvivesAnInPlaceChange)
{
    QByteArray high;
    for (int b = 0x80; b <= 0xFF; ++b)
        high += char(b);
    const QByteArray rec = Record(high.left(100), high);
    WriteDat(rec + Record(high.mid(100), "x"));
    TMacrosFiler store(TestServices());
    store.Load();
    for (int i = 0; i < 2; ++i) {
        TMacroRec &macro = store.Macro(i);
        macro.SetTitle(macro.Title());
        macro.SetBody(macro.Body());
    }
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadDat(), rec + Record(high.mid(100), "x"));
}

// What a user can put where the data file is expected. Root cannot read a
// pipe, a directory or a file past the size limit as data either, so these
// run everywhere.
TEST_F(MacrosFilerTest, FileThatCannotBeReadIsNeverReplaced)
{
    for (const TUnreadableEntry &entry : UnreadableEntries()) {
        SCOPED_TRACE(entry.name);
        ASSERT_TRUE(entry.make(DatPath()));
        const QString before = EntryState(DatPath());
        TMacrosFiler store(TestServices());
        try {
            store.Load();
            FAIL() << "loaded";
        } catch (const TMacrosError &e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("No exist datafile, you must create one\n\n")));
            EXPECT_TRUE(e.message().contains(DatPath())) << e.message().toStdString();
        }
        store.Add(QStringLiteral("new"), QStringLiteral("would replace the file"));
        ScriptedDialogs dialogs;
        const int writes = SharedTestWriter().writes;
        EXPECT_FALSE(store.Save());
        EXPECT_EQ(SharedTestWriter().writes, writes);
        ASSERT_EQ(dialogs.log.size(), 1);
        EXPECT_TRUE(dialogs.log[0].startsWith(
            QStringLiteral("error: Cannot write %1: the macros stored there could not be read")
                .arg(DatPath())))
            << dialogs.log[0].toStdString();
        EXPECT_EQ(EntryState(DatPath()), before);
        RemoveEntry(DatPath());
    }
}

// The same for a file without read permission; root reads it anyway, so
// this one skips as root (the cases above run there).
TEST_F(MacrosFilerTest, FileWithoutReadPermissionIsNeverReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const QByteArray before = Record("kept", "safe");
    WriteDat(before);
    QFile::setPermissions(DatPath(), QFileDevice::WriteOwner);
    TMacrosFiler store(TestServices());
    EXPECT_THROW(store.Load(), TMacrosError);
    store.Add(QStringLiteral("new"), QString());
    ScriptedDialogs dialogs;
    EXPECT_FALSE(store.Save());
    QFile::setPermissions(DatPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(ReadDat(), before);
}

TEST_F(MacrosFilerTest, FileThatAppearedAfterAMissingLoadIsNotReplaced)
{
    TMacrosFiler store(TestServices());
    EXPECT_THROW(store.Load(), TMacrosError);
    // Another process writes the file meanwhile: it was never read.
    WriteDat(Record("theirs", "kept"));
    store.Add(QStringLiteral("mine"), QString());
    ScriptedDialogs dialogs;
    EXPECT_FALSE(store.Save());
    EXPECT_EQ(ReadDat(), Record("theirs", "kept"));
}

TEST_F(MacrosFilerTest, TitleLengthByteBeyondCapacityStaysInTheTitle)
{
    QByteArray rec = Record(QByteArray(100, 'T'), "body");
    rec[0] = char(200);
    WriteDat(rec);
    TMacrosFiler store(TestServices());
    store.Load();
    EXPECT_EQ(store.Macro(0).Title(), QString(100, QLatin1Char('T')));
    EXPECT_EQ(store.Macro(0).Body(), QStringLiteral("body"));
}

TEST_F(MacrosFilerTest, IndexOutOfRangeRaisesAndChangesNothing)
{
    TMacrosFiler store(TestServices());
    store.Add(QStringLiteral("a"), QStringLiteral("1"));
    store.Add(QStringLiteral("b"), QStringLiteral("2"));
    for (const int bad : {-1, 2}) {
        try {
            store.Macro(bad);
            FAIL() << "index " << bad << " accepted";
        } catch (const TMacrosError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("Indice fuera de rango"));
        }
    }
    EXPECT_EQ(store.Count(), 2);
}

TEST_F(MacrosFilerTest, DeleteMovesTheRestUpAndClearEmpties)
{
    TMacrosFiler store(TestServices());
    for (const char *t : {"a", "b", "c"})
        store.Add(QString::fromLatin1(t), QString::fromLatin1(t).toUpper());
    store.Delete(1);
    ASSERT_EQ(store.Count(), 2);
    EXPECT_EQ(store.Macro(0).Title(), QStringLiteral("a"));
    EXPECT_EQ(store.Macro(1).Title(), QStringLiteral("c"));
    EXPECT_EQ(store.Macro(1).Body(), QStringLiteral("C"));
    store.Delete(1);
    store.Delete(0);
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadDat().size(), 0);
    store.Add(QStringLiteral("x"), QString());
    store.Clear();
    EXPECT_EQ(store.Count(), 0);
}

TEST_F(MacrosFilerTest, FailedSaveIsShownAndKeepsThePreviousFile)
{
    const QByteArray before = Record("kept", "safe") + Record("also", "kept");
    WriteDat(before);
    TMacrosFiler store(TestServices());
    store.Load();
    store.Delete(0);
    store.Add(QStringLiteral("new"), QStringLiteral("never written"));
    ScriptedDialogs dialogs;
    {
        FailWrites failing;
        EXPECT_FALSE(store.Save());
    }
    ASSERT_EQ(dialogs.log.size(), 1);
    EXPECT_TRUE(dialogs.log.at(0).startsWith(QStringLiteral("error: ")));
    EXPECT_EQ(ReadDat(), before);
    // The list in memory is unchanged.
    ASSERT_EQ(store.Count(), 2);
    EXPECT_EQ(store.Macro(1).Title(), QStringLiteral("new"));
    // No temporary file is left beside the data file.
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files), QStringList{QStringLiteral("Quorbel.dat")});
}

TEST_F(MacrosFilerTest, FileLiesBesideTheRegisteredLibrary)
{
    EXPECT_EQ(TMacrosFiler(TestServices()).FileName(), Dir() + QStringLiteral("/Quorbel.dat"));
    RegisterAddin(QStringLiteral("/opt/delphi/bin/libquorbel.so"));
    EXPECT_EQ(TMacrosFiler(TestServices()).FileName(), QStringLiteral("/opt/delphi/bin/Quorbel.dat"));
    RegisterAddin(QStringLiteral("/libquorbel.so"));
    EXPECT_EQ(TMacrosFiler(TestServices()).FileName(), QStringLiteral("/Quorbel.dat"));
    Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"));
    EXPECT_EQ(TMacrosFiler(TestServices()).FileName(), QStringLiteral("/Quorbel.dat"));
}

} // namespace
