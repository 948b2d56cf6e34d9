// The "Macros..." command end to end on the in-memory host: the expert is
// installed through the entry point, its menu item clicked, the list dialog
// driven, and the expanded body checked in the editor buffer.
#include "MacrosTesting.h"

#include "core/TiApi.h"

#include "AddinSession.h"
#include "InMemoryHost.h"
#include "Paths.h"
#include "ScriptedDialogs.h"

#include <QClipboard>
#include <QDate>
#include <QGuiApplication>
#include <QListWidget>
#include <QLocale>
#include <QRegularExpression>
#include <QPushButton>
#include <QTest>
#include <QTime>

#include <optional>

namespace {

using namespace MacrosTesting;

const QString Unit = QStringLiteral("/src/Unit1.pas");
const QString Source = QStringLiteral("unit Unit1;\r\ninterface\r\nimplementation\r\nend.");


QString Today()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

// The clock time as the system's long format shows it, without a time zone.
QString Now()
{
    return QLocale::system()
        .toString(QTime::currentTime(), QLocale::LongFormat)
        .remove(QRegularExpression(QStringLiteral("\\s*\\b(UTC|GMT|[A-Z]{3,5})$")));
}

class MacroCommandTest : public DataDirTest {
protected:
    void SetUp() override
    {
        DataDirTest::SetUp();
        Session.emplace(host);
        ASSERT_TRUE(Session->initResult);
        ASSERT_NE(Session->expert(), nullptr);
    }
    void TearDown() override
    {
        Session.reset();
        EXPECT_EQ(host.outstandingReferences(), 0) << host.leakedTags().join(", ").toStdString();
        DataDirTest::TearDown();
    }

    FakeBuffer &OpenUnit(int line, int col, const QString &text = Source)
    {
        FakeBuffer &b = host.openBuffer(Unit, text);
        b.cursor = TEditPos{int16_t(col), line};
        return b;
    }

    // Clicks "Macros..." and picks the macro at row.
    void RunPicking(int row)
    {
        Drive([row](QDialog *d) {
            d->findChild<QListWidget *>(QStringLiteral("ListBox1"))->setCurrentRow(row);
            QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
        });
        host.click(QStringLiteral("IdeExpt1"));
    }

    InMemoryHost host;
    std::optional<AddinSession> Session;
    ScriptedDialogs dialogs;
};

TEST_F(MacroCommandTest, DatePlaceholderTwiceOnlyTheFirstIsReplaced)
{
    WriteDat(Record("skip", "not this one") + Record("Dated", "{ $DATE$ / $DATE$ / $time$ }"));
    FakeBuffer &b = OpenUnit(2, 10); // after "interface"
    const QString before = Today();
    RunPicking(1);
    const QString after = Today();
    const QString expected = QStringLiteral("unit Unit1;\r\ninterface{ %1 / $DATE$ / $time$ }\r\n"
                                            "implementation\r\nend.");
    EXPECT_TRUE(b.text == expected.arg(before) || b.text == expected.arg(after))
        << b.text.toStdString();
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join(" | ").toStdString();
    EXPECT_TRUE(host.shown.isEmpty());
}

TEST_F(MacroCommandTest, FileAndTimeAreExpandedOnceEach)
{
    WriteDat(Record("Stamp", "$FILE$ $FILE$ $TIME$"));
    FakeBuffer &b = OpenUnit(1, 1);
    const QString t0 = Now();
    RunPicking(0);
    const QString t1 = Now();
    const QString head = Unit + QStringLiteral(" $FILE$ ");
    ASSERT_TRUE(b.text.startsWith(head)) << b.text.toStdString();
    const QString time = b.text.mid(head.size()).section(QStringLiteral("unit Unit1;"), 0, 0);
    EXPECT_TRUE(time == t0 || time == t1) << time.toStdString();
}

TEST_F(MacroCommandTest, TwoLineBodyAtColumnFiveContinuesAtTheNextLineStart)
{
    WriteDat(Record("Two", "first\r\nsecond "));
    FakeBuffer &b = OpenUnit(3, 5);
    RunPicking(0);
    EXPECT_EQ(b.text, QStringLiteral("unit Unit1;\r\ninterface\r\nimplfirst\r\nsecond "
                                     "ementation\r\nend."));
    EXPECT_EQ(b.showSource, 1);
}

TEST_F(MacroCommandTest, CancelTouchesNeitherTheEditorNorTheFile)
{
    const QByteArray data = Record("One", "1");
    WriteDat(data);
    FakeBuffer &b = OpenUnit(2, 1);
    Drive([](QDialog *d) { QTest::keyClick(d, Qt::Key_Escape); });
    host.click(QStringLiteral("IdeExpt1"));
    EXPECT_EQ(b.text, Source);
    EXPECT_EQ(host.ledger(QStringLiteral("module:") + Unit).taken, 0);
    EXPECT_EQ(ReadDat(), data);
}

TEST_F(MacroCommandTest, FormFileEndsTheCommandWithTheHostsError)
{
    WriteDat(Record("One", "1"));
    FakeBuffer &b = OpenUnit(1, 1);
    host.openBuffer(QStringLiteral("/src/Unit1.DFM"), QStringLiteral("object Form1: TForm1\nend"));
    RunPicking(0);
    const QStringList expected{QStringLiteral("Es necesario que tener abierto un proyecto o fichero .pas")};
    EXPECT_EQ(host.raised, expected);
    EXPECT_EQ(host.shown, expected);
    EXPECT_EQ(b.text, Source);
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(MacroCommandTest, MissingDataFileStillOpensTheListAndInsertsNothing)
{
    FakeBuffer &b = OpenUnit(1, 1);
    Drive([](QDialog *d) {
        QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
    });
    host.click(QStringLiteral("IdeExpt1"));
    EXPECT_EQ(dialogs.texts, QStringList{QStringLiteral("No exist datafile, you must create one")});
    EXPECT_EQ(b.text, Source);
}

TEST_F(MacroCommandTest, PlaceholdersAreMatchedWithCaseAndInOrder)
{
    OpenUnit(1, 1);
    Session->expert()->FToolApi->Refresh();
    QString text = QStringLiteral("$date$ $Time$ $FILE$$FILE$");
    Session->expert()->Actualiza(text);
    EXPECT_EQ(text, QStringLiteral("$date$ $Time$ ") + Unit + QStringLiteral("$FILE$"));
    QString none = QStringLiteral("no placeholders here");
    Session->expert()->Actualiza(none);
    EXPECT_EQ(none, QStringLiteral("no placeholders here"));
}

// The placeholders beyond the old three, through the command and the host's
// view: where the caret lands, and which text the macro replaces.
TEST_F(MacroCommandTest, CaretLandsWhereTheCursorPlaceholderStood)
{
    WriteDat(Record("Begin", "begin\r\n  $CURSOR$\r\nend;"));
    FakeBuffer &b = OpenUnit(3, 5);
    RunPicking(0);
    EXPECT_EQ(b.text, QStringLiteral("unit Unit1;\r\ninterface\r\nimplbegin\r\n  \r\nend;ementation\r\nend."));
    EXPECT_EQ(b.cursor, (TEditPos{3, 4}));
}

TEST_F(MacroCommandTest, CaretOnTheInsertionLineCountsFromWhereTheTextWentIn)
{
    WriteDat(Record("Call", "Foo($CURSOR$);"));
    // The cursor stands beyond the end of "interface": the text goes in at
    // its end, and the caret follows from there.
    FakeBuffer &b = OpenUnit(2, 40);
    RunPicking(0);
    EXPECT_EQ(b.text, QStringLiteral("unit Unit1;\r\ninterfaceFoo();\r\nimplementation\r\nend."));
    EXPECT_EQ(b.cursor, (TEditPos{14, 2}));
}

TEST_F(MacroCommandTest, SelectionIsReplacedByTheMacroThatHoldsIt)
{
    WriteDat(Record("Wrap", "try\r\n$SELECTION$\r\nfinally\r\nend;"));
    FakeBuffer &b = OpenUnit(2, 1);
    // "interface\r\nimpl" selected, across a line end.
    b.hasBlock = true;
    b.blockBegin = {1, 2};
    b.blockEnd = {5, 3};
    RunPicking(0);
    EXPECT_EQ(b.text, QStringLiteral("unit Unit1;\r\ntry\r\ninterface\r\nimpl\r\nfinally\r\nend;"
                                     "ementation\r\nend."));
}

TEST_F(MacroCommandTest, SelectionStaysWhenTheMacroDoesNotHoldIt)
{
    WriteDat(Record("Plain", "X"));
    FakeBuffer &b = OpenUnit(1, 1);
    b.hasBlock = true;
    b.blockBegin = {1, 1};
    b.blockEnd = {5, 1};
    RunPicking(0);
    EXPECT_EQ(b.text, QStringLiteral("X") + Source);
    EXPECT_EQ(b.cursor, (TEditPos{1, 1})); // old macros leave the cursor to the host
}

TEST_F(MacroCommandTest, NoSelectionPutsTheMacroAtTheCursorWithTheCaretStop)
{
    WriteDat(Record("Wrap", "[$SELECTION$$CURSOR$]"));
    FakeBuffer &b = OpenUnit(4, 1);
    RunPicking(0);
    EXPECT_EQ(b.text, QStringLiteral("unit Unit1;\r\ninterface\r\nimplementation\r\n[]end."));
    EXPECT_EQ(b.cursor, (TEditPos{2, 4}));
}

TEST_F(MacroCommandTest, ProjectUnitUserAndClipboardComeFromTheIdeAndThePlatform)
{
    WriteDat(Record("Names", "$PROJECT$.$UNIT$ by $USER$: $CLIPBOARD$|"));
    host.setProject(QStringLiteral("/src/Demo.dpr"), {Unit});
    QGuiApplication::clipboard()->setText(QStringLiteral("copied $UNIT$"));
    FakeBuffer &b = OpenUnit(1, 1);
    RunPicking(0);
    EXPECT_EQ(b.text, QStringLiteral("Demo.Unit1 by %1: copied $UNIT$|").arg(LoginName()) + Source);
    EXPECT_FALSE(LoginName().isEmpty());
}

} // namespace
