// The language generators: the files they write, line for line, from a real
// language table; the backup of the last .res; the compiles, first with
// stand-in tools that record how they were run, then with the real brcc32
// and dcc32, whose output is read back string by string.
#include "language/LangGen.h"

#include "core/DM.h"
#include "core/StringTable.h"
#include "core/appexec.h"

#include "Registry.h"
#include "TestDirs.h"
#include "ScriptedDialogs.h"
#include "TableStore.h"
#include "TestServices.h"
#include "ToolsApi.h"
#include "VersionInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");
const QDateTime Fixed(QDate(2026, 12, 8), QTime(7, 24, 6));
const QString Stars(63, QLatin1Char('*'));

// What the header's line 7 says for the fixed clock on this machine.
QString FixedAt()
{
    return QLocale::system().toString(Fixed.date(), QLocale::ShortFormat) + QStringLiteral(" 07:24:06");
}

QString Header(const QString &file, const QString &language, bool pascal)
{
    return (pascal ? "{" : "/") + Stars + "\r\n\r\n\r\n  " + file
        + "\r\n  produced by Ostrelkin Languaje Expert\r\n  Idiom: " + language
        + "\r\n  Generated at: " + FixedAt() + "\r\n\r\n\r\n" + Stars + (pascal ? "}" : "/")
        + "\r\n";
}

QString Lines(const QStringList &lines)
{
    QString text;
    for (const QString &line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QByteArray Latin1(const QString &text)
{
    return text.toLatin1();
}

class LangGenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                              FData.path() + QStringLiteral("/libquorbel.so"));
        Project = FDir.path() + QStringLiteral("/APP");
        OpenTable(QStringLiteral("LANG"));
        Brcc = Tool(QStringLiteral("brcc32"), "cp \"$1\" \"${1%.rc}.res\"\n");
        Dcc = Tool(QStringLiteral("dcc32"), "cp \"${1%.dpr}.res\" \"${1%.dpr}.dll\"\n");
        Exec.SetWait(true);
        Exec.SetWindowState(TMyWindowState::wsHide);
    }
    void TearDown() override
    {
        Table.Close();
        Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"));
    }
    void OpenTable(const QString &langDirName)
    {
        Table.Close();
        const QString dir = Project + QLatin1Char('/') + langDirName;
        ASSERT_TRUE(QDir().mkpath(dir));
        CreateLanguageTable(dir);
        Table.DatabaseName = dir;
        Table.TableName = QStringLiteral("language.db");
        Table.Open();
    }
    // A record with its text in languages 1 and 2.
    void Add(const QString &id, const QString &l1, const QString &l2 = {})
    {
        Table.Append();
        Table.FieldByName(QStringLiteral("idst"))->SetAsString(id);
        Table.FieldByName(QStringLiteral("L1"))->SetAsString(l1);
        Table.FieldByName(QStringLiteral("L2"))->SetAsString(l2);
        Table.Post();
    }
    // A stand-in tool: logs "tool|directory|arguments", then runs body.
    QString Tool(const QString &name, const QByteArray &body)
    {
        const QString path = FData.path() + QLatin1Char('/') + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("#!/bin/sh\necho \"" + name.toUtf8() + "|$PWD|$*\" >> '"
                + QFile::encodeName(FData.path()) + "/calls.log'\n" + body);
        f.close();
        ::chmod(QFile::encodeName(path).constData(), 0755);
        return path;
    }
    QStringList Calls() const
    {
        QFile f(FData.path() + QStringLiteral("/calls.log"));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    TAddinServices Services() const
    {
        TAddinServices services = TestServices();
        const QString brcc = Brcc, dcc = Dcc;
        services.FindTool = [brcc, dcc](const QString &command) {
            return command == QLatin1String("brcc32") ? brcc
                : command == QLatin1String("dcc32")   ? dcc
                                                      : QString();
        };
        return services;
    }
    TLanguageGenSettings Settings(int curLang = 0, int initId = 1) const
    {
        return {Project, curLang == 1 ? QStringLiteral("Ingl\u00e9s") : QStringLiteral("English"),
                curLang, initId};
    }
    void Unit(const TLanguageGenSettings &settings)
    {
        const TAddinServices services = Services();
        TLanguageGenerator(services, Exec, [] { return Fixed; }).BuildLanguageUnit(Table, settings);
    }
    void Library(const TLanguageGenSettings &settings)
    {
        const TAddinServices services = Services();
        TLanguageGenerator(services, Exec, [] { return Fixed; })
            .BuildLanguageLibrary(Table, settings);
    }
    QByteArray Read(const QString &relative) const
    {
        QFile f(Project + QLatin1Char('/') + relative);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // What a directory holds; the open table's own -wal and -shm files aside.
    QStringList Entries(const QString &relative) const
    {
        QStringList names = QDir(Project + QLatin1Char('/') + relative)
                                .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                           QDir::Name);
        names.removeIf([](const QString &name) { return name.startsWith("language.db-"); });
        return names;
    }

    QTemporaryDir FDir;  // holds the project directory
    QTemporaryDir FData; // the add-in's data directory and the stand-in tools
    QString Project;
    QString Brcc, Dcc;
    TTable Table;
    TAppExec Exec;
};

const QStringList LinkedUnitBody = {
    "", "unit language;", "", "interface", "", "uses Windows;", "", "{$I lang\\Englisty.lan}", "",
    "function LangEx(Value: integer):string;", "", "implementation", "",
    "function LangEx(Value: integer):string;", "var", "   Buffer: array[0..1023] of Char;", "begin",
    "   SetString(Result, Buffer, LoadString(HInstance, Value, Buffer, SizeOf(Buffer)));", "end;",
    "", "end."};

TEST_F(LangGenTest, EmptyTableGivesAnEmptyBlockNoConstantsAndStillCompiles)
{
    ScriptedDialogs dialogs;
    Unit(Settings(0, 1000));

    EXPECT_EQ(Read("LANG/Englisty.rc"),
              Latin1(Header("Englisty.rc", "English", false) + Lines({"", "", "STRINGTABLE", "{", "}"})));
    EXPECT_EQ(Read("LANG/Englisty.lan"),
              Latin1(Header("Englisty.lan", "English", true)
                     + Lines({"", "", "{$R LANG\\Englisty.res }", "", "const"})));
    EXPECT_EQ(Read("language.pas"),
              Latin1(Header("language.pas", "English", true) + Lines(LinkedUnitBody)));
    EXPECT_EQ(Calls(), QStringList{"brcc32|" + Project + "/LANG|Englisty.rc"});
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
}

TEST_F(LangGenTest, RecordsAreNumberedInPrimaryIndexOrderWhateverTheTableShows)
{
    Add("IDS_B", "alfa");
    Add("IDS_A", "zeta");
    Add("IDS_C", "");
    Table.SetIndexName("L1");
    ScriptedDialogs dialogs;
    Unit(Settings());

    EXPECT_EQ(Read("LANG/Englisty.rc"),
              Latin1(Header("Englisty.rc", "English", false)
                     + Lines({"", "", "STRINGTABLE", "{", "1,\t\t\"zeta\"", "2,\t\t\"alfa\"",
                              "3,\t\t\"\"", "}"})));
    EXPECT_EQ(Read("LANG/Englisty.lan"),
              Latin1(Header("Englisty.lan", "English", true)
                     + Lines({"", "", "{$R LANG\\Englisty.res }", "", "const", "  IDS_A = 1;",
                              "  IDS_B = 2;", "  IDS_C = 3;"})));
    // The table is left on its primary index, past the last record.
    EXPECT_EQ(Table.IndexName(), QString());
    EXPECT_TRUE(Table.Eof());
}

TEST_F(LangGenTest, LibraryVariantWritesItsUnitAndProjectInTheLanguagesDirectory)
{
    Add("IDS_B", "alfa");
    Add("IDS_A", "zeta");
    ScriptedDialogs dialogs;
    Library(Settings(0, 7));

    EXPECT_EQ(Read("LANG/Englisty/Englisty.rc"),
              Latin1(Header("Englisty.rc", "English", false)
                     + Lines({"", "", "STRINGTABLE", "{", "7,\t\t\"zeta\"", "8,\t\t\"alfa\"", "}"})));
    EXPECT_EQ(Read("LANG/Englisty/Englisty.dpr"),
              Latin1(Header("Englisty.dpr", "English", true)
                     + Lines({"Library Englisty;", "", "uses WinProcs;", "{$R Englisty}", "",
                              "begin", "end.", ""})));
    EXPECT_EQ(
        Read("language.pas"),
        Latin1(Header("language.pas", "English", true)
               + Lines({"", "unit language;", "", "interface",
                        "uses Forms,WinProcs,Windows,SysUtils,Dialogs;", "const", "  IDS_A = 7;",
                        "  IDS_B = 8;", "", "  function LangEx(Value: integer):string;", "", "var",
                        "  LibHandle: Longint; ", "  Flang: TextFile;", "  clib,cFile: string;", "",
                        "", "implementation", "", "function LangEx(Value: integer):string;", "var",
                        "   Buffer: array[0..1023] of Char;", "begin",
                        "   SetString(Result, Buffer, LoadString(LibHandle, Value, Buffer, "
                        "SizeOf(Buffer)));",
                        "end;", "", "initialization",
                        "cFile := ExtractFileDir( Application.Exename)+'\\lang.sys';",
                        "if FileExists( cFile ) then begin", "    AssignFile( FLang, cFile );",
                        "    Reset( FLang );", "    Readln(FLang, cLib);", "    CloseFile( FLang);",
                        "end else", "    cLib :='Englisty.dll';",
                        "LibHandle := LoadLibrary( PChar(cLib) );", "if LibHandle < 32 then begin",
                        "   ShowMessage( cLib+ ':Error The resource lib not load, program "
                        "terminate.');",
                        "   Application.Terminate;", "end;", "finalization",
                        "      if LibHandle > 32 then FreeLibrary( LibHandle );", "", "end."})));
    const QString dir = Project + "/LANG/Englisty";
    EXPECT_EQ(Calls(), QStringList({"brcc32|" + dir + "|Englisty.rc", "dcc32|" + dir + "|Englisty.dpr"}));
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
}

TEST_F(LangGenTest, OnlyTheScriptEscapesAndEachFileTakesUtf8OnlyWhenItNeedsIt)
{
    Add("IDS_Q", "Say \"hi\" to C:\\dir\\", "\u041f\u0440\u043e\u0435\u043a\u0442\u044b");
    Add("IDS_W", "Ca\u00f1a", "\u20ac 5");
    ScriptedDialogs dialogs;
    Unit(Settings());
    EXPECT_EQ(Read("LANG/Englisty.rc"),
              Latin1(Header("Englisty.rc", "English", false)
                     + Lines({"", "", "STRINGTABLE", "{", "1,\t\t\"Say \"\"hi\"\" to C:\\\\dir\\\\\"",
                              "2,\t\t\"Ca\u00f1a\"", "}"})));

    // Language 2: the script needs UTF-8, the constants and the unit keep
    // Windows-1252 for the language's name.
    Unit(Settings(1));
    const QString language = QStringLiteral("Ingl\u00e9s");
    EXPECT_EQ(Read("LANG/Ingl\u00e9sty.rc"),
              (Header("Ingl\u00e9sty.rc", language, false)
               + Lines({"", "", "STRINGTABLE", "{",
                        "1,\t\t\"\u041f\u0440\u043e\u0435\u043a\u0442\u044b\"", "2,\t\t\"\u20ac 5\"",
                        "}"}))
                  .toUtf8());
    EXPECT_EQ(Read("LANG/Ingl\u00e9sty.lan"),
              (Header("Ingl\u00e9sty.lan", language, true)
               + Lines({"", "", "{$R LANG\\Ingl\u00e9sty.res }", "", "const", "  IDS_Q = 1;",
                        "  IDS_W = 2;"}))
                  .toLatin1());
    EXPECT_TRUE(Read("language.pas").contains("{$I lang\\Ingl\xe9sty.lan}"));
}

// Every byte of both variants' three files, for texts in several languages:
// escapes, empty texts, a tab, characters outside Windows-1252 (one outside
// the BMP), Windows-1252 characters above 0x7F, and Windows-1252 bytes that
// would read as UTF-8 (so the file is written as UTF-8).
TEST_F(LangGenTest, BothVariantsWriteTheSameBytesForEveryKindOfText)
{
    const auto add = [&](const QString &id, const QStringList &texts) {
        Table.Append();
        Table.FieldByName(QStringLiteral("idst"))->SetAsString(id);
        for (int i = 0; i < texts.size(); ++i)
            Table.FieldByName(QStringLiteral("L%1").arg(i + 1))->SetAsString(texts[i]);
        Table.Post();
    };
    add("IDS_C_OPEN", {"Open\tfile", "\\\"", "\U0001F600 \"x\"", "\u00d6ffnen", "", "ok", "\u0152uvre"});
    add("IDS_B_EMPTY", {});
    add("IDS_A_CLOSE", {"Close \"all\"", "C:\\tmp\\", "\u0417\u0430\u043a\u0440\u044b\u0442\u044c", "",
                        "Fermer l'\u00e9cran", "caf\u00c3\u00a9 ok", "\u20ac 5\u2122"});
    Table.SetIndexName("L1");
    ScriptedDialogs dialogs;
    const QByteArray constants = "  IDS_A_CLOSE = 100;\r\n  IDS_B_EMPTY = 101;\r\n  IDS_C_OPEN = 102;\r\n";
    const auto script = [](const QByteArray &texts) {
        return "\r\n\r\nSTRINGTABLE\r\n{\r\n" + texts + "}\r\n";
    };
    const auto lan = [&](const QByteArray &base) {
        return "\r\n\r\n{$R LANG\\" + base + ".res }\r\n\r\nconst\r\n" + constants;
    };
    const auto linkedUnit = [](const QByteArray &base) {
        QByteArray body = Latin1(Lines(LinkedUnitBody));
        return body.replace("Englisty", base);
    };

    // Windows-1252 throughout; the language's name too.
    Unit({Project, QStringLiteral("Espa\u00f1ol"), 0, 100});
    EXPECT_EQ(Read("LANG/Espa\u00f1oty.rc"),
              Header("Espa\u00f1oty.rc", "Espa\u00f1ol", false).toLatin1()
                  + script("100,\t\t\"Close \"\"all\"\"\"\r\n101,\t\t\"\"\r\n102,\t\t\"Open\tfile\"\r\n"));
    EXPECT_EQ(Read("LANG/Espa\u00f1oty.lan"),
              Header("Espa\u00f1oty.lan", "Espa\u00f1ol", true).toLatin1() + lan("Espa\xf1oty"));
    EXPECT_EQ(Read("language.pas"),
              Header("language.pas", "Espa\u00f1ol", true).toLatin1() + linkedUnit("Espa\xf1oty"));

    // A name outside Windows-1252: all three files in UTF-8.
    const QString russian = QStringLiteral("\u0420\u0443\u0441\u0441\u043a\u0438\u0439");
    const QString russianBase = LanguageBaseName(russian);
    Unit({Project, russian, 2, 100});
    EXPECT_EQ(Read("LANG/" + russianBase + ".rc"),
              Header(russianBase + ".rc", russian, false).toUtf8()
                  + script("100,\t\t\"\xd0\x97\xd0\xb0\xd0\xba\xd1\x80\xd1\x8b\xd1\x82\xd1\x8c\"\r\n"
                           "101,\t\t\"\"\r\n102,\t\t\"\xf0\x9f\x98\x80 \"\"x\"\"\"\r\n"));
    EXPECT_EQ(Read("LANG/" + russianBase + ".lan"),
              Header(russianBase + ".lan", russian, true).toUtf8() + lan(russianBase.toUtf8()));
    EXPECT_EQ(Read("language.pas"), Header("language.pas", russian, true).toUtf8()
                                        + linkedUnit(russianBase.toUtf8()));

    // Texts that fit Windows-1252 but whose bytes would read as UTF-8: only
    // the script is UTF-8.
    Unit({Project, QStringLiteral("Portugues"), 5, 100});
    EXPECT_EQ(Read("LANG/Portugty.rc"),
              Header("Portugty.rc", "Portugues", false).toLatin1()
                  + script("100,\t\t\"caf\xc3\x83\xc2\xa9 ok\"\r\n101,\t\t\"\"\r\n102,\t\t\"ok\"\r\n"));
    EXPECT_EQ(Read("LANG/Portugty.lan"), Header("Portugty.lan", "Portugues", true).toLatin1() + lan("Portugty"));

    // The library: Windows-1252 above 0x7F in the script, escapes in another run.
    Library({Project, QStringLiteral("Deutsch"), 6, 100});
    EXPECT_EQ(Read("LANG/Deutscty/Deutscty.rc"),
              Header("Deutscty.rc", "Deutsch", false).toLatin1()
                  + script("100,\t\t\"\x80 5\x99\"\r\n101,\t\t\"\"\r\n102,\t\t\"\x8cuvre\"\r\n"));
    EXPECT_EQ(Read("LANG/Deutscty/Deutscty.dpr"),
              Header("Deutscty.dpr", "Deutsch", true).toLatin1()
                  + "Library Deutscty;\r\n\r\nuses WinProcs;\r\n{$R Deutscty}\r\n\r\nbegin\r\nend.\r\n\r\n");
    const auto libraryUnitHead = [&](const QString &language) {
        return Header("language.pas", language, true).toLatin1()
            + "\r\nunit language;\r\n\r\ninterface\r\nuses Forms,WinProcs,Windows,SysUtils,Dialogs;\r\n"
              "const\r\n"
            + constants + "\r\n  function LangEx(Value: integer):string;\r\n";
    };
    const QByteArray unit = Read("language.pas");
    const QByteArray unitHead = libraryUnitHead("Deutsch");
    EXPECT_EQ(unit.left(unitHead.size()), unitHead);
    EXPECT_TRUE(unit.contains("\r\nend else\r\n    cLib :='Deutscty.dll';\r\n"));
    EXPECT_TRUE(unit.endsWith("\r\nfinalization\r\n      if LibHandle > 32 then FreeLibrary( LibHandle );\r\n\r\nend.\r\n"));

    Library({Project, QStringLiteral("Ingl\u00e9s"), 1, 100});
    EXPECT_EQ(Read("LANG/Ingl\u00e9sty/Ingl\u00e9sty.rc"),
              Header("Ingl\u00e9sty.rc", "Ingl\u00e9s", false).toLatin1()
                  + script("100,\t\t\"C:\\\\tmp\\\\\"\r\n101,\t\t\"\"\r\n102,\t\t\"\\\\\"\"\"\r\n"));
    const QByteArray englishHead = libraryUnitHead(QStringLiteral("Ingl\u00e9s"));
    EXPECT_EQ(Read("language.pas").left(englishHead.size()), englishHead);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
}

TEST_F(LangGenTest, BaseNamesAndTheTimeOfTheHeader)
{
    EXPECT_EQ(LanguageBaseName("Spanish"), "Spanisty");
    EXPECT_EQ(LanguageBaseName("Ital"), "Italty");
    EXPECT_EQ(LanguageBaseName(""), "ty");
    EXPECT_EQ(LanguageBaseName("Portuguese"), LanguageBaseName("Portugal"));
    EXPECT_EQ(GeneratedAtText(Fixed, QLocale(QLocale::German, QLocale::Germany)), "08.12.26 07:24:06");
    EXPECT_EQ(GeneratedAtText(QDateTime(QDate(2026, 1, 2), QTime(19, 5, 0)),
                              QLocale(QLocale::English, QLocale::UnitedStates)),
              "1/2/26 19:05:00");
}

// A reserved word is refused in any case and only whole; the longest ones too.
TEST(LangGenIdentifiers, ReservedWordsAreRefusedWholeInAnyCase)
{
    for (const char *name : {"Initialization", "IMPLEMENTATION", "finalization", "begin", "Xor", "",
                             "2ND", "IDS-DASH", "A\xc3\xb1o"})
        EXPECT_FALSE(IsPascalIdentifier(QString::fromUtf8(name))) << name;
    for (const char *name : {"IDS_BEGIN", "begin2", "beginning", "initializations", "_end", "x"})
        EXPECT_TRUE(IsPascalIdentifier(QString::fromUtf8(name))) << name;
    // Read as the table holds ASCII, the same answers.
    for (const char *name : {"Initialization", "begin", "Xor", "", "2ND", "IDS-DASH", "IDS_BEGIN", "_end", "x"})
        EXPECT_EQ(IsPascalIdentifier(QLatin1StringView(name)), IsPascalIdentifier(QString::fromLatin1(name))) << name;
}

TEST_F(LangGenTest, TwoRunsKeepExactlyOneBackupOfTheLastResource)
{
    Add("IDS_A", "one");
    ScriptedDialogs dialogs;
    Unit(Settings());
    const QByteArray first = Read("LANG/Englisty.res");
    Add("IDS_B", "two");
    Unit(Settings());
    Add("IDS_C", "three");
    Unit(Settings());

    EXPECT_EQ(Entries("LANG"), QStringList({"Englisty.bak", "Englisty.lan", "Englisty.rc",
                                            "Englisty.res", "language.db"}));
    EXPECT_TRUE(Read("LANG/Englisty.bak").contains("\"two\""));
    EXPECT_FALSE(Read("LANG/Englisty.res").isEmpty());
    EXPECT_NE(Read("LANG/Englisty.bak"), first);

    Library(Settings());
    Library(Settings());
    EXPECT_EQ(Entries("LANG/Englisty"), QStringList({"Englisty.bak", "Englisty.dll", "Englisty.dpr",
                                                     "Englisty.rc", "Englisty.res"}));
}

TEST_F(LangGenTest, ExistingLanguageDirectoryIsFoundInAnyCase)
{
    Table.Close();
    RemoveInside(FDir, Project);
    OpenTable(QStringLiteral("lang"));
    Add("IDS_A", "one");
    ScriptedDialogs dialogs;
    Unit(Settings());
    Library(Settings());
    EXPECT_EQ(Entries(""), QStringList({"lang", "language.pas"}));
    EXPECT_TRUE(Read("lang/Englisty.rc").contains("\"one\""));
    EXPECT_TRUE(Read("lang/Englisty/Englisty.dll").contains("\"one\""));
}

TEST_F(LangGenTest, NoLanguageSelectedOrAFailedWriteTouchesNothingAndRunsNoTool)
{
    Add("IDS_A", "one");
    ScriptedDialogs dialogs;
    for (int curLang : {-1, 7}) {
        try {
            Unit(Settings(curLang));
            ADD_FAILURE() << "ran without a language";
        } catch (const ELanguageGen &e) {
            EXPECT_EQ(e.message(), LoadStr(txt::ChooseLanguageFirst));
        }
        EXPECT_THROW(Library(Settings(curLang)), ELanguageGen);
    }
    EXPECT_FALSE(LoadStr(txt::ChooseLanguageFirst).isEmpty());
    {
        FailWrites failing;
        EXPECT_THROW(Unit(Settings()), EInOutError);
        EXPECT_THROW(Library(Settings()), EInOutError);
    }
    EXPECT_EQ(Entries(""), QStringList{"LANG"});
    // The library's directory may have been made for the files; none is there.
    EXPECT_TRUE(Entries("LANG").size() == 1 || Entries("LANG").contains("Englisty"));
    EXPECT_TRUE(Entries("LANG/Englisty").isEmpty());
    EXPECT_TRUE(Calls().isEmpty());
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(LangGenTest, ResourceThatIsNotCompiledIsReportedWithWhatTheCompilerPrinted)
{
    Add("IDS_A", "one");
    Brcc = Tool("brcc32", "echo 'Englisty.rc(13): syntax error' >&2\n");
    ScriptedDialogs dialogs;
    // The linked variant tells and ends; the library stops before dcc32.
    Unit(Settings());
    EXPECT_EQ(dialogs.log, QStringList{"message: " + LoadStr(txt::ResourceCompileError)
                                       + "\n\nEnglisty.rc(13): syntax error"});
    try {
        Library(Settings());
        ADD_FAILURE() << "no error";
    } catch (const ELanguageGen &e) {
        EXPECT_TRUE(e.message().startsWith(LoadStr(txt::ResourceCompileError))) << e.message().toStdString();
    }
    EXPECT_EQ(Calls().size(), 2);
    EXPECT_FALSE(Calls().join(' ').contains("dcc32"));
}

TEST_F(LangGenTest, CompilerThatCannotStartIsAResourceCompileError)
{
    // A stored path that names nothing: the user is asked and cancels.
    Add("IDS_A", "one");
    ScriptedDialogs dialogs;
    const QString brcc = Brcc;
    QFile::remove(brcc);
    try {
        Unit(Settings());
        ADD_FAILURE() << "no error";
    } catch (const ELanguageGen &e) {
        EXPECT_EQ(e.message(), LoadStr(txt::ResourceCompileError) + "\n\n" + Exec.ErrorText() + "\n" + brcc);
    }
    // Asked once: for a file that is not there, not again after the error.
    EXPECT_EQ(dialogs.log, QStringList({"message: " + LoadStr(txt::ProgramNotFound),
                                        "open: Select the directory where is BRCC32.EXE"}));
    // The files were written before the compile.
    EXPECT_TRUE(Read("LANG/Englisty.rc").contains("\"one\""));
}

TEST_F(LangGenTest, ToolsUnderADirectoryWithABlankCompileALanguageWithABlank)
{
    // Each file name must arrive as one argument: "$1" alone names it.
    Brcc = Tool("My Apps/bin/brcc32", "cp \"$1\" \"${1%.rc}.res\"\n");
    Dcc = Tool("My Apps/bin/dcc32", "cp \"${1%.dpr}.res\" \"${1%.dpr}.dll\"\n");
    Add("IDS_A", "one");
    ScriptedDialogs dialogs;
    const TLanguageGenSettings settings{Project, QStringLiteral("US English"), 0, 1};
    Unit(settings);
    Library(settings);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
    const QString dir = Project + "/LANG/US Engty";
    EXPECT_EQ(Calls(), QStringList({"My Apps/bin/brcc32|" + Project + "/LANG|US Engty.rc",
                                    "My Apps/bin/brcc32|" + dir + "|US Engty.rc",
                                    "My Apps/bin/dcc32|" + dir + "|US Engty.dpr"}));
    EXPECT_NE(Read("LANG/US Engty.res"), "<missing>");
    EXPECT_NE(Read("LANG/US Engty/US Engty.dll"), "<missing>");
}

TEST_F(LangGenTest, StoredToolThatCannotRunIsShownThenAskedForAgain)
{
    Add("IDS_A", "one");
    // Not executable (not even for root, without any execute bit).
    ::chmod(QFile::encodeName(Brcc).constData(), 0644);
    {
        ScriptedDialogs dialogs;
        EXPECT_THROW(Unit(Settings()), EHostAbort); // cancelled: shown already, the run ends
        EXPECT_EQ(dialogs.log,
                  QStringList({"error: " + LoadStr(txt::ResourceCompileError)
                                   + "\n\nAttempt was made to dynamically link to a task, or "
                                     "there was a sharing or network-protection error\n"
                                   + Brcc,
                               "message: " + LoadStr(txt::ProgramNotFound),
                               "open: Select the directory where is BRCC32.EXE"}));
    }
    ::chmod(QFile::encodeName(Brcc).constData(), 0755);

    // Executable, but not a program: the one chosen instead is run at once.
    QFile notAProgram(Dcc);
    ASSERT_TRUE(notAProgram.open(QIODevice::WriteOnly | QIODevice::Truncate));
    notAProgram.write("not a program\n");
    notAProgram.close();
    const QString good = Tool("good/dcc32", "cp \"${1%.dpr}.res\" \"${1%.dpr}.dll\"\n");
    ScriptedDialogs dialogs;
    dialogs.answerFile(good);
    Library(Settings());
    ASSERT_EQ(dialogs.log.size(), 3) << dialogs.log.join('\n').toStdString();
    EXPECT_TRUE(dialogs.log[0].startsWith("error: " + LoadStr(txt::DllNotCompiled) + "\n\n"));
    EXPECT_TRUE(dialogs.log[0].endsWith("\n" + Dcc));
    EXPECT_EQ(dialogs.log[2], "open: Select the directory where is DCC32.EXE");
    EXPECT_EQ(Calls().last(), "good/dcc32|" + Project + "/LANG/Englisty|Englisty.dpr");
    EXPECT_NE(Read("LANG/Englisty/Englisty.dll"), "<missing>");
}

TEST_F(LangGenTest, LibraryThatIsNotLinkedIsReportedAndAnOldOneDoesNotCount)
{
    Add("IDS_A", "one");
    ScriptedDialogs dialogs;
    Library(Settings());
    ASSERT_NE(Read("LANG/Englisty/Englisty.dll"), "<missing>");

    Dcc = Tool("dcc32", "echo 'Englisty.dpr(14): resource file not found' >&2\nexit 1\n");
    try {
        Library(Settings());
        ADD_FAILURE() << "no error";
    } catch (const ELanguageGen &e) {
        EXPECT_EQ(e.message(), LoadStr(txt::DllNotCompiled) + "\n\nEnglisty.dpr(14): resource file not found");
    }
    EXPECT_EQ(Read("LANG/Englisty/Englisty.dll"), "<missing>");
}

// The real tools: every text is read back from what they compiled and linked.
TEST_F(LangGenTest, RealToolsGiveBackEveryTextAsTyped)
{
    const QStringList texts = {"Say \"hi\"", "C:\\dir\\", "\\\"", "",
                               "\u041f\u0440\u043e\u0435\u043a\u0442\u044b",
                               "Ca\u00f1a \u20ac /* not a comment */ 'x'", "%s 100%",
                               "two\r\nlines", "\nbreaks\rat both ends\n"};
    for (int i = 0; i < texts.size(); ++i)
        Add(QStringLiteral("IDS_%1").arg(i), QStringLiteral("only language 1"), texts[i]);
    Brcc = QStringLiteral(QUORBEL_BRCC32);
    Dcc = QStringLiteral(QUORBEL_DCC32);
    ScriptedDialogs dialogs;

    Unit(Settings(1, 4090)); // the numbers cross a block of 16
    ASSERT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
    Library(Settings(1, 4090));
    ASSERT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();

    const QString dir = Project + QStringLiteral("/LANG/Ingl\u00e9sty");
    for (const QString &file : {dir + ".res", dir + "/Ingl\u00e9sty.res", dir + "/Ingl\u00e9sty.dll"}) {
        for (int i = 0; i < texts.size(); ++i) {
            const std::optional<QString> read = LoadStringResource(file, uint32_t(4090 + i));
            ASSERT_TRUE(read.has_value()) << file.toStdString() << " " << i;
            EXPECT_EQ(*read, texts[i]) << file.toStdString() << " " << i;
        }
        EXPECT_EQ(LoadStringResource(file, uint32_t(4090 + texts.size())), QString());
        EXPECT_EQ(LoadStringResource(file, 5000), std::nullopt);
    }
}

// The real tools under a directory with a blank, for a language whose
// name holds one: every file name reaches them whole.
TEST_F(LangGenTest, RealToolsCompileALanguageWithABlankFromADirectoryWithABlank)
{
    ASSERT_TRUE(QDir().mkpath(FData.path() + "/My Apps/bin"));
    Brcc = FData.path() + "/My Apps/bin/brcc32";
    Dcc = FData.path() + "/My Apps/bin/dcc32";
    ASSERT_EQ(::symlink(QUORBEL_BRCC32, QFile::encodeName(Brcc).constData()), 0);
    ASSERT_EQ(::symlink(QUORBEL_DCC32, QFile::encodeName(Dcc).constData()), 0);
    Add("IDS_A", "first");
    Add("IDS_B", "Say \"hi\"");
    ScriptedDialogs dialogs;
    const TLanguageGenSettings settings{Project, QStringLiteral("US English"), 0, 7};
    Unit(settings);
    ASSERT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
    Library(settings);
    ASSERT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
    const QString dir = Project + "/LANG/US Engty";
    for (const QString &file : {dir + ".res", dir + "/US Engty.res", dir + "/US Engty.dll"}) {
        EXPECT_EQ(LoadStringResource(file, 7), QString("first")) << file.toStdString();
        EXPECT_EQ(LoadStringResource(file, 8), QString("Say \"hi\"")) << file.toStdString();
    }
}

} // namespace
