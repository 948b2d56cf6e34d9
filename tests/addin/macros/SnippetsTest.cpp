// VS Code snippet files into macros: the JSON VS Code writes, the snippet
// syntax mapped onto the placeholders, what cannot be mapped listed, and the
// import through the macro list's pop-up menu.
#include "MacrosTesting.h"

#include "macros/FMacros.h"
#include "macros/MacrosFiler.h"
#include "macros/Snippets.h"

#include "ScriptedDialogs.h"
#include "TestServices.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonObject>
#include <QListWidget>

namespace {

using namespace MacrosTesting;

QString Macro(const QString &body, TSnippetNotes *notesOut = nullptr)
{
    TSnippetNotes notes;
    const QString text = SnippetBodyToMacro(body, QStringLiteral("S"), notes);
    if (notesOut)
        *notesOut = notes;
    return text;
}

// As VS Code's "Configure User Snippets" leaves a file, filled in by hand.
const QByteArray VsCodeFile = "\xEF\xBB\xBF{\n"
                              "\t// Place your snippets for pascal here. // not a key: \"x\":\n"
                              "\t\"Zeta \\\"quoted\\\" \\\\ back\": {\n"
                              "\t\t\"prefix\": [\"zt\", \"zeta\"],\n"
                              "\t\t\"body\": [\"a//b /* c */ d,}\", \"\\tx\\ny \\u00e9 \xC3\xB1\"],\n"
                              "\t\t/* block\n\t\t   comment */\n"
                              "\t\t\"description\": \"last, trailing comma\",\n"
                              "\t},\n"
                              "\t\"Alpha\": { \"prefix\": \"al\", \"body\": \"${1:x}\", },\n"
                              "}\n";

TEST(SnippetJson, CommentsAndTrailingCommasGoStringsAndEscapesStay)
{
    const QJsonObject root = ParseTolerantJson(VsCodeFile).object();
    ASSERT_EQ(root.size(), 2);
    const QJsonObject zeta = root.value(QStringLiteral("Zeta \"quoted\" \\ back")).toObject();
    const QJsonArray body = zeta.value(QStringLiteral("body")).toArray();
    ASSERT_EQ(body.size(), 2);
    EXPECT_EQ(body.at(0).toString(), QStringLiteral("a//b /* c */ d,}"));
    EXPECT_EQ(body.at(1).toString(), QStringLiteral("\tx\ny \u00e9 \u00f1"));
    EXPECT_EQ(zeta.value(QStringLiteral("description")).toString(), QStringLiteral("last, trailing comma"));
}

TEST(SnippetJson, FaultsAreNamedByLineAndColumn)
{
    try {
        ParseTolerantJson("{\n  \"a\": { \"body\": \"x\" }\n  \"b\": 1\n}");
        FAIL() << "no error";
    } catch (const ESnippetError &e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("line 3, column "))) << e.message().toStdString();
    }
    EXPECT_THROW(ParseTolerantJson("{ /* open"), ESnippetError);
    EXPECT_THROW(ParseTolerantJson("{ \"a\": 1,, }"), ESnippetError);
    // The template VS Code writes first: comments only, no snippet.
    EXPECT_EQ(ParseTolerantJson("// nothing yet\n/* still nothing */\n").object().size(), 0);
}

TEST(SnippetBody, TabStopsBecomeTheirDefaultWithTheCaretAtTheFirst)
{
    EXPECT_EQ(Macro(QStringLiteral("for ${1:i} := ${2:0} to $3 do")), QStringLiteral("for $CURSOR$i := 0 to  do"));
    // The first stop is the lowest number, wherever it stands; a bare stop
    // mirrors the default given elsewhere.
    EXPECT_EQ(Macro(QStringLiteral("${2:b} $1 ${1:a}")), QStringLiteral("b $CURSOR$a a"));
    EXPECT_EQ(Macro(QStringLiteral("begin\n  $0\nend;")), QStringLiteral("begin\r\n  $CURSOR$\r\nend;"));
    EXPECT_EQ(Macro(QStringLiteral("$0 ${1:x}")), QStringLiteral(" $CURSOR$x"));
    EXPECT_EQ(Macro(QStringLiteral("${1:outer ${2:inner}}|${12}")), QStringLiteral("$CURSOR$outer inner|"));
    // A default holding its own stop does not loop.
    EXPECT_EQ(Macro(QStringLiteral("${1:a$1b}")), QStringLiteral("$CURSOR$ab"));
    // Escapes, and a dollar that starts nothing.
    EXPECT_EQ(Macro(QStringLiteral("\\$1 \\} \\\\ \\n $ ${ 5$")), QStringLiteral("$1 } \\ \\n $ ${ 5$"));
}

TEST(SnippetBody, VariablesBecomeMacroPlaceholders)
{
    TSnippetNotes notes;
    EXPECT_EQ(Macro(QStringLiteral("$TM_SELECTED_TEXT ${CLIPBOARD} $CURRENT_YEAR-$CURRENT_MONTH-$CURRENT_DATE "
                                   "$CURRENT_HOUR:$CURRENT_MINUTE:${CURRENT_SECOND} $TM_FILENAME_BASE $TM_FILEPATH "
                                   "$CURRENT_YEAR_SHORT $CURRENT_MONTH_NAME $CURRENT_DAY_NAME_SHORT"),
                    &notes),
              QStringLiteral("$SELECTION$ $CLIPBOARD$ $DATE:yyyy$-$DATE:MM$-$DATE:dd$ "
                             "$TIME:HH$:$TIME:mm$:$TIME:ss$ $UNIT$ $FILE$ $DATE:yy$ $DATE:MMMM$ $DATE:ddd$"));
    EXPECT_TRUE(notes.empty()) << notes.Lines().join('\n').toStdString();
}

TEST(SnippetBody, WhatCannotBeMappedIsListedByKind)
{
    TSnippetNotes notes;
    const QString text = Macro(QStringLiteral("${1|one,t\\,wo|} $TM_LINE_NUMBER ${UUID:none} "
                                              "${TM_FILENAME_BASE/(.*)/${1:/upcase}/} $CURRENT_YEAR $CURRENT_YEAR "
                                              "${CLIPBOARD:empty}"),
                               &notes);
    EXPECT_EQ(text, QStringLiteral("$CURSOR$one TM_LINE_NUMBER none $UNIT$ $DATE:yyyy$ $DATE:yyyy$ $CLIPBOARD$"));
    EXPECT_EQ(notes.choices, QStringList{QStringLiteral("S: ${1|one,t\\,wo|}")});
    EXPECT_EQ(notes.variables, (QStringList{QStringLiteral("S: $TM_LINE_NUMBER"), QStringLiteral("S: $UUID")}));
    EXPECT_EQ(notes.transforms, QStringList{QStringLiteral("S: ${TM_FILENAME_BASE/(.*)/${1:/upcase}/}")});
    EXPECT_EQ(notes.partly,
              (QStringList{QStringLiteral("S: $DATE:yyyy$"), QStringLiteral("S: ${CLIPBOARD:empty}")}));
    EXPECT_EQ(notes.Lines().value(1), QStringLiteral("Choices, their first option put in (1): S: ${1|one,t\\,wo|}"));
    // Many of a kind: all counted, the first twenty named.
    TSnippetNotes many;
    for (int i = 0; i < 25; ++i)
        many.variables << QStringLiteral("S%1: $X").arg(i);
    const QString line = many.Lines().value(0);
    EXPECT_TRUE(line.contains(QStringLiteral("(25): S0: $X;"))) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral("S19: $X; \u2026"))) << line.toStdString();
}

class SnippetFileTest : public DataDirTest {
protected:
    QString WriteFile(const QByteArray &bytes)
    {
        const QString path = Dir() + QStringLiteral("/pascal.json");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    ScriptedDialogs dialogs;
};

TEST_F(SnippetFileTest, SnippetsComeInFileOrderAndTooLongOnesAreListed)
{
    const QByteArray longBody = "\"" + QByteArray(2049, 'x') + "\"";
    const TSnippetFile file = ReadSnippetFile(WriteFile(
        "{ \"Zeta\": {\"body\": [\"one\", \"two\"]}, \"\": {\"prefix\": [\"pre\"], \"body\": \"p\"},"
        " \"Long\": {\"body\": " + longBody + "}, \"Broken\": {\"prefix\": \"b\"},"
        " \"Fits\": {\"body\": \"" + QByteArray(2048, 'y') + "\"}, }"));
    ASSERT_EQ(file.macros.size(), 3u);
    EXPECT_EQ(file.macros[0].title, QStringLiteral("Zeta"));
    EXPECT_EQ(file.macros[0].body, QStringLiteral("one\r\ntwo"));
    EXPECT_EQ(file.macros[1].title, QStringLiteral("pre"));
    EXPECT_EQ(file.macros[2].title, QStringLiteral("Fits"));
    EXPECT_EQ(file.snippets, 5);
    EXPECT_EQ(file.notes.notImported,
              (QStringList{QStringLiteral("Long (2049 characters)"), QStringLiteral("Broken (no body)")}));
    // A folder is no snippet file: read as a regular file only.
    EXPECT_THROW(ReadSnippetFile(Dir()), ESnippetError);
}

// A .code-snippets file of a workspace holds snippets for several languages.
TEST_F(SnippetFileTest, SnippetsScopedToOtherLanguagesAreListedNotImported)
{
    const TSnippetFile file = ReadSnippetFile(WriteFile(
        "{ \"Log\": {\"scope\": \"javascript,typescript\", \"body\": \"console.log($1);\"},"
        " \"Write\": {\"scope\": \"javascript, Pascal\", \"body\": \"WriteLn($1);\"},"
        " \"Any\": {\"body\": \"x\"} }"));
    ASSERT_EQ(file.macros.size(), 2u);
    EXPECT_EQ(file.macros[0].title, QStringLiteral("Write"));
    EXPECT_EQ(file.macros[1].title, QStringLiteral("Any"));
    EXPECT_EQ(file.notes.notImported, QStringList{QStringLiteral("Log (for javascript,typescript)")});
}

TEST_F(SnippetFileTest, AnExistingTitleIsReplacedOnlyOnYes)
{
    WriteDat(Record("Keep", "old keep") + Record("Swap", "old swap") + Record("Other", "o"));
    TMacrosFiler store(TestServices());
    store.Load();
    TSnippetFile file;
    file.macros = {{QStringLiteral("Keep"), QStringLiteral("new keep")},
                   {QStringLiteral("Swap"), QStringLiteral("new swap")},
                   {QStringLiteral("Fresh"), QStringLiteral("f")}};
    dialogs.answerNo();
    dialogs.answerYes();
    EXPECT_EQ(ImportSnippets(store, file, dialogs), 2);
    EXPECT_EQ(dialogs.texts, (QStringList{QStringLiteral("A macro titled \"Keep\" exists already. Replace it?"),
                                          QStringLiteral("A macro titled \"Swap\" exists already. Replace it?")}));
    ASSERT_EQ(store.Count(), 4);
    EXPECT_EQ(store.Macro(0).Body(), QStringLiteral("old keep"));
    EXPECT_EQ(store.Macro(1).Body(), QStringLiteral("new swap")); // in place
    EXPECT_EQ(store.Macro(3).Title(), QStringLiteral("Fresh"));
}

TEST_F(SnippetFileTest, ThePopupItemImportsSavesAndReportsThroughTheDialogs)
{
    QByteArray padded = Record("Old", "body");
    padded[200] = 'G'; // a byte after the body's NUL: no meaning, but kept
    WriteDat(padded);
    const QString path = WriteFile("{ // user snippets\n \"Loop\": {\"body\": [\"for ${1:i} := $2\", \"$TM_LINE_NUMBER\"],},\n}");
    {
        // Cancelled: nothing changes, the old file not even rewritten.
        TFMacrosForm form(nullptr, TestServices());
        form.Importar1->trigger();
        EXPECT_EQ(dialogs.log.value(0).left(29), QStringLiteral("open: Import VS Code Snippets"));
    }
    EXPECT_EQ(ReadDat(), padded);
    dialogs.log.clear();
    dialogs.texts.clear();
    dialogs.answerFile(path);
    TFMacrosForm form(nullptr, TestServices());
    form.Importar1->trigger();
    auto *list = form.findChild<QListWidget *>(QStringLiteral("ListBox1"));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("Loop"));
    const QByteArray saved = ReadDat();
    ASSERT_EQ(saved.size(), 2 * 2150);
    EXPECT_EQ(saved.left(2150), padded); // the old record byte for byte
    EXPECT_EQ(saved.mid(2150), Record("Loop", "for $CURSOR$i := \r\nTM_LINE_NUMBER"));
    ASSERT_EQ(dialogs.texts.size(), 2);
    EXPECT_EQ(dialogs.texts.at(1),
              QStringLiteral("Imported from %1: 1 of 1 snippets.\nVariables with no macro placeholder, their "
                             "default or else their name put in (1): Loop: $TM_LINE_NUMBER")
                  .arg(path));
}

} // namespace
