// The two commands that need a project table open it first, creating the
// directory and the table when the user agrees.
#include "AddinSession.h"
#include "InMemoryHost.h"
#include "ModalDriver.h"
#include "ScriptedDialogs.h"

#include "core/DM.h"
#include "core/QuorbelExpert.h"
#include "core/StringTable.h"
#include "helpeditor/FAyuda.h"

#include "Windows.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString StringsItem = QStringLiteral("IdeExpt3");
const QString HelpItem = QStringLiteral("EditAyudaItem");

class TableChecks : public ::testing::Test {
protected:
    void SetUp() override { Project = Dir.path() + QStringLiteral("/work/App.dpr"); }
    void TearDown() override
    {
        if (QWidget *help = FindWindow(QStringLiteral("TFAyudaW")))
            help->hide();
    }
    // "String &Table": the window it opens is closed at once.
    void Strings()
    {
        RejectNextModal();
        Host.click(StringsItem);
    }
    QString ProjectDir() const { return Dir.path() + QStringLiteral("/work"); }

    QTemporaryDir Dir;
    QString Project;
    InMemoryHost Host;
};

TEST_F(TableChecks, DefaultProjectNameGetsItsNoticeInAnyCase)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(ProjectDir() + QStringLiteral("/project1.DPR"));
    QDir().mkpath(ProjectDir());
    dialogs.answerNo();
    dialogs.answerNo();
    Strings();
    Host.click(HelpItem);
    EXPECT_EQ(dialogs.log, QStringList({QStringLiteral("message: ") + LoadStr(1112),
                                        QStringLiteral("question: ") + LoadStr(1112),
                                        QStringLiteral("message: ") + LoadStr(1058),
                                        QStringLiteral("question: ") + LoadStr(1059)}));
    // No keeps both closed and creates nothing.
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());
    EXPECT_EQ(QDir(ProjectDir()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    EXPECT_FALSE(FindWindow(QStringLiteral("TFAyudaW"))->isVisible());
}

TEST_F(TableChecks, YesCreatesTheLanguageTableAndTheNextCommandDoesNotAsk)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    dialogs.answerYes();
    Strings();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("question: ") + LoadStr(1112)});
    ASSERT_TRUE(SYS->Table1.Active());
    EXPECT_TRUE(QFile::exists(ProjectDir() + QStringLiteral("/LANG/language.db")));
    EXPECT_EQ(SYS->Table1.RecordCount(), 0);
    EXPECT_EQ(SYS->Table1.IndexName(), QStringLiteral("L1"));
    // Field i is language i + 1; the identifier comes last.
    ASSERT_EQ(SYS->Table1.FieldCount(), 8);
    EXPECT_EQ(SYS->Table1.Fields(0), SYS->CampoF1);
    EXPECT_EQ(SYS->Table1.Fields(6)->FieldName(), QStringLiteral("L7"));
    EXPECT_EQ(SYS->Table1.Fields(7), SYS->Campoidst);
    EXPECT_EQ(SYS->Campoidst->Size(), 40);
    EXPECT_EQ(SYS->CampoF7->Size(), 255);
    QStringList indexes;
    for (const TIndexDef &index : SYS->Table1.IndexDefs)
        indexes << index.Name + QLatin1Char(':') + index.Fields + (index.Primary ? QStringLiteral("!") : QString());
    EXPECT_EQ(indexes, QStringList({QStringLiteral("prymary:idst!"), QStringLiteral("L1:L1"), QStringLiteral("L2:L2"),
                                    QStringLiteral("L3:L3"), QStringLiteral("L4:L4"), QStringLiteral("L5:L5"),
                                    QStringLiteral("L6:L6"), QStringLiteral("L7:L7")}));

    QSignalSpy reopened(&SYS->Table1, &TDataSet::StateChanged);
    Strings();
    EXPECT_EQ(dialogs.log.size(), 1);
    EXPECT_EQ(reopened.count(), 0);
}

TEST_F(TableChecks, YesCreatesTheHelpTableWithItsPicturesAndPointsTheQueryThere)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    dialogs.answerYes();
    Host.click(HelpItem);
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("question: ") + LoadStr(1059)});
    const QString hlp = ProjectDir() + QStringLiteral("/HLP");
    ASSERT_TRUE(SYS->Table2.Active());
    EXPECT_TRUE(FindWindow(QStringLiteral("TFAyudaW"))->isVisible());
    EXPECT_EQ(SYS->Query1.DatabaseName, hlp);
    EXPECT_EQ(SYS->Table2Map->DataType(), TFieldType::AutoInc);
    EXPECT_EQ(SYS->Table2TExto->DataType(), TFieldType::Memo);
    EXPECT_EQ(SYS->Table2Titulo->Size(), 40);

    for (const auto &[name, width, height] : {std::tuple{"bola.bmp", 20, 19}, std::tuple{"boton.bmp", 15, 15}}) {
        QImage image(hlp + QLatin1Char('/') + QString::fromLatin1(name));
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_EQ(image.size(), QSize(width, height)) << name;
        EXPECT_EQ(image.format(), QImage::Format_Indexed8) << name;
        EXPECT_EQ(image.colorCount(), 256) << name;
        // A picture, not a blank.
        EXPECT_NE(image.pixelIndex(width / 2, height / 2), image.pixelIndex(0, height - 1)) << name;
    }

    // The subtopic selection runs on the new table.
    SYS->Table2.Append();
    SYS->Table2Titulo->SetAsString(QStringLiteral("Child"));
    SYS->Table2parent->SetAsInteger(7);
    SYS->Table2.Post();
    SYS->Query1.ParamByName(QStringLiteral("Numero")).SetAsInteger(7);
    SYS->Query1.Open();
    ASSERT_FALSE(SYS->Query1.Eof());
    EXPECT_EQ(SYS->Query1Titulo->AsString(), QStringLiteral("Child"));
    SYS->Query1.Close();
}

TEST_F(TableChecks, ExistingTablesAreFoundWhateverTheCaseOfTheirNames)
{
    QDir().mkpath(ProjectDir() + QStringLiteral("/lang"));
    QDir().mkpath(ProjectDir() + QStringLiteral("/Hlp"));
    CreateLanguageTable(ProjectDir() + QStringLiteral("/lang"));
    QFile::rename(ProjectDir() + QStringLiteral("/lang/language.db"), ProjectDir() + QStringLiteral("/lang/LANGUAGE.DB"));
    // A help table from before the subtopic index.
    {
        TTable old;
        old.DatabaseName = ProjectDir() + QStringLiteral("/Hlp");
        old.TableName = QStringLiteral("ayuda.DB");
        old.FieldDefs = HelpTableFields();
        old.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("Titulo;parent"), true}};
        old.CreateTable();
    }
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    Strings();
    Host.click(HelpItem);
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(SYS->Table1.Active());
    ASSERT_TRUE(SYS->Table2.Active());
    EXPECT_EQ(QDir(ProjectDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({QStringLiteral("Hlp"), QStringLiteral("lang")}));
    const auto &indexes = SYS->Table2.IndexDefs;
    EXPECT_TRUE(std::any_of(indexes.begin(), indexes.end(),
                            [](const TIndexDef &i) { return i.Fields == QLatin1String("parent"); }));
}

TEST_F(TableChecks, DirectoryThatCannotBeMadeGivesTheOneTableError)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    QDir().mkpath(ProjectDir());
    // Files stand where the directories would go.
    for (const char *name : {"/LANG", "/HLP"}) {
        QFile blocker(ProjectDir() + QString::fromLatin1(name));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    dialogs.answerYes();
    dialogs.answerYes();
    Host.click(StringsItem);
    Host.click(HelpItem);
    const QString error = QStringLiteral("error: ") + LoadStr(1020);
    EXPECT_EQ(dialogs.log, QStringList({QStringLiteral("question: ") + LoadStr(1112), error,
                                        QStringLiteral("question: ") + LoadStr(1059), error}));
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());
    EXPECT_FALSE(FindWindow(QStringLiteral("TFAyudaW"))->isVisible());
}

TEST_F(TableChecks, NoProjectDoesNothing)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.click(StringsItem);
    Host.click(HelpItem);
    EXPECT_TRUE(dialogs.log.isEmpty());
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());
}

TEST_F(TableChecks, ProjectCloseClosesBothAndTheNextProjectGetsItsOwn)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    dialogs.answerYes();
    dialogs.answerYes();
    Strings();
    Host.click(HelpItem);
    ASSERT_TRUE(SYS->Table1.Active() && SYS->Table2.Active());
    QStringList closes;
    QObject::connect(&SYS->Table1, &TDataSet::StateChanged, [&] { closes << QStringLiteral("Table1"); });
    QObject::connect(&SYS->Table2, &TDataSet::StateChanged, [&] { closes << QStringLiteral("Table2"); });
    Host.notify(fnProjectClosing, Project);
    EXPECT_EQ(closes, QStringList({QStringLiteral("Table1"), QStringLiteral("Table2")}));
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());

    const QString other = Dir.path() + QStringLiteral("/other/Other.dpr");
    Host.setProject(other);
    dialogs.answerYes();
    Strings();
    ASSERT_TRUE(SYS->Table1.Active());
    EXPECT_EQ(SYS->Table1.DatabaseName, Dir.path() + QStringLiteral("/other/LANG"));
    EXPECT_EQ(dialogs.log.size(), 3);
}

// Help Proyect shows the editor on the project's topics; the next project's
// table empties the tree, so its own topics are shown, not the old ones.
TEST_F(TableChecks, HelpProyectShowsTheTopicsOfTheProjectOpenNow)
{
    AddinSession session(Host);
    ScriptedDialogs dialogs;
    Host.setProject(Project);
    dialogs.answerYes();
    Host.click(HelpItem);
    auto *editor = qobject_cast<TFAyudaW *>(FindWindow(QStringLiteral("TFAyudaW")));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->ProjectFileName, Project);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(editor->isModal());
    EXPECT_EQ(editor->Root()->childCount(), 0);
    editor->TreeView1->setCurrentItem(editor->Root());
    editor->Nuevo1Click();
    editor->TreeView1Edited(editor->TreeView1->currentItem(), QStringLiteral("First"));
    EXPECT_EQ(editor->Root()->child(0)->text(0), QStringLiteral("First"));

    Host.notify(fnProjectClosing, Project);
    EXPECT_FALSE(editor->isVisible());
    ASSERT_EQ(editor->TreeView1->topLevelItemCount(), 1); // kept while hidden

    const QString other = Dir.path() + QStringLiteral("/other/Other.dpr");
    Host.setProject(other);
    dialogs.answerYes();
    Host.click(HelpItem);
    EXPECT_EQ(editor->ProjectFileName, other);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(editor->Root()->childCount(), 0);
}

} // namespace
