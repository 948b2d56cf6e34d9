// "String &Table" on the in-memory host: the string picked in the window
// goes into the editor at the cursor as a LangEx call with a reminder.
#include "LanguageTesting.h"

#include "language/Grid3d.h"
#include "language/lbrowse.h"

#include "AddinSession.h"
#include "InMemoryHost.h"
#include "ModalDriver.h"

#include <QTest>

namespace {

using namespace LanguageTesting;

class StringTableCommand : public LanguageTableTest {
protected:
    void SetUp() override
    {
        LanguageTableTest::SetUp();
        CreateTable();
        TTable table;
        table.DatabaseName = LangDir();
        table.TableName = QStringLiteral("language.db");
        table.Open();
        Add(table, QStringLiteral("IDS_15"), {QStringLiteral("fifteen chars!!")});
        Add(table, QStringLiteral("IDS_16"), {QStringLiteral("sixteen chars!!!")});
        Add(table, QStringLiteral("IDS_BRACE"), {QStringLiteral("a}b{c}")});
        Add(table, QStringLiteral("IDS_LONGBRACE"), {QStringLiteral("0123456789abc}defgh")});
        Host.setProject(ProjectDir() + QStringLiteral("/App.dpr"));
    }

    // Runs the command, picks the string with Enter in the grid, and
    // returns what the editor's line became.
    QString Pick(const QString &idst)
    {
        FakeBuffer &buffer = Host.openBuffer(ProjectDir() + QStringLiteral("/Unit1.pas"),
                                             QStringLiteral("begin\r\n  S := ;\r\nend."));
        buffer.cursor = TEditPos{8, 2};
        OnNextModal([idst](QDialog *d) {
            ASSERT_TRUE(SYS->Table1.Locate(QStringLiteral("idst"), idst));
            QTest::keyClick(d->findChild<TDB3DGrid *>(QStringLiteral("DB3DGrid1")), Qt::Key_Return);
        });
        Host.click(QStringLiteral("IdeExpt3"));
        return buffer.text.section(QStringLiteral("\r\n"), 1, 1);
    }

    InMemoryHost Host;
};

TEST_F(StringTableCommand, InsertsTheCallWithTheReminderCutAfterFifteenAndNoClosingBrace)
{
    AddinSession session(Host);
    EXPECT_EQ(Pick(QStringLiteral("IDS_15")), QStringLiteral("  S := LangEx(IDS_15{fifteen chars!!});"));
    EXPECT_EQ(Pick(QStringLiteral("IDS_16")), QStringLiteral("  S := LangEx(IDS_16{sixteen chars!...});"));
    // A "}" would end the comment early.
    EXPECT_EQ(Pick(QStringLiteral("IDS_BRACE")), QStringLiteral("  S := LangEx(IDS_BRACE{ab{c});"));
    // Cut first, then dropped: the first 14 characters, less the brace among them.
    EXPECT_EQ(Pick(QStringLiteral("IDS_LONGBRACE")),
              QStringLiteral("  S := LangEx(IDS_LONGBRACE{0123456789abc...});"));
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join(" | ").toStdString();
}

TEST_F(StringTableCommand, EscInsertsNothing)
{
    AddinSession session(Host);
    FakeBuffer &buffer = Host.openBuffer(ProjectDir() + QStringLiteral("/Unit1.pas"), QStringLiteral("begin end."));
    OnNextModal([](QDialog *d) { QTest::keyClick(d->findChild<TDB3DGrid *>(QStringLiteral("DB3DGrid1")), Qt::Key_Escape); });
    Host.click(QStringLiteral("IdeExpt3"));
    EXPECT_EQ(buffer.text, QStringLiteral("begin end."));
}

// A table emptied in the window has no string to pick: OK inserts nothing.
TEST_F(StringTableCommand, OkOnAnEmptyTableInsertsNothing)
{
    AddinSession session(Host);
    FakeBuffer &buffer = Host.openBuffer(ProjectDir() + QStringLiteral("/Unit1.pas"), QStringLiteral("begin end."));
    OnNextModal([](QDialog *d) {
        while (SYS->Table1.RecordCount() > 0) {
            SYS->Table1.First();
            SYS->Table1.Delete();
        }
        d->accept();
    });
    Host.click(QStringLiteral("IdeExpt3"));
    EXPECT_EQ(buffer.text, QStringLiteral("begin end."));
}

} // namespace
