#include "AddinSession.h"
#include "InMemoryHost.h"
#include "ModalDriver.h"
#include "Paths.h"
#include "ScriptedDialogs.h"

#include "core/DM.h"
#include "expert/QuorbelExpert.h"
#include "helpeditor/FAyuda.h"
#include "version/verdlg.h"

#include "Registry.h"
#include "core/StringTable.h"
#include "Windows.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

const QStringList AddinItems = {
    QStringLiteral("IdeExpt1"),      QStringLiteral("ViewTraceItem"),
    QStringLiteral("IdeExpt2"),      QStringLiteral("IdeExpt3"),
    QStringLiteral("EditInsertarCabeceraItem"), QStringLiteral("EditAyudaItem"),
    QStringLiteral("EditProjectsNewItem"),
};

TEST(ExpertLoad, AnswersTheHostsQueries)
{
    InMemoryHost host;
    AddinSession session(host);
    ASSERT_TRUE(session.initResult);
    ASSERT_EQ(session.registered(), session.expert());
    TIExpert *expert = session.registered();
    EXPECT_EQ(expert->GetName(), QStringLiteral("Quorbels Expert"));
    EXPECT_EQ(expert->GetStyle(), 3);
    EXPECT_EQ(expert->GetState(), 1u);
    EXPECT_EQ(expert->GetIDString(), QStringLiteral("Dernisk.QuorbelsExpert"));
    expert->Execute();
    EXPECT_EQ(ToolServices, &host);
}

TEST(ExpertLoad, LeavesNoTerminateProcedure)
{
    InMemoryHost host;
    TExpertTerminateProc terminate = [] {};
    ASSERT_TRUE(InitExpert(&host, [](TIExpert *e) { return e != nullptr; }, &terminate));
    EXPECT_EQ(terminate, nullptr);
    TheExpert->Release();
    ToolServices = nullptr;
}

TEST(ExpertLoad, SecondCallChangesNothing)
{
    InMemoryHost host;
    AddinSession session(host);
    TQuorbelExpert *first = TheExpert;
    const QStringList eventsBefore = host.events;

    InMemoryHost other;
    static int registrations = 0;
    registrations = 0;
    TExpertTerminateProc terminate = nullptr;
    EXPECT_FALSE(InitExpert(&other, [](TIExpert *) { return ++registrations > 0; }, &terminate));
    EXPECT_EQ(registrations, 0);
    EXPECT_EQ(TheExpert, first);
    EXPECT_EQ(ToolServices, &host);
    EXPECT_EQ(host.events, eventsBefore);
    EXPECT_EQ(other.item(QStringLiteral("IdeExpt1")), nullptr);
    EXPECT_EQ(host.menuBar()->find(QStringLiteral("EditMenu"))->children().size(), 8u);
}

TEST(ExpertMenus, ItemsSitAtTheirPositionsWithCaptionsAndShortcuts)
{
    InMemoryHost host;
    AddinSession session(host);

    struct Expected {
        const char *name;
        const char *menu;
        int index;
        int captionId;
        TShortCut shortCut;
    };
    FakeMenuItem *bar = host.menuBar();
    const int fileMenu = bar->find(QStringLiteral("FileMenu"))->indexInParent();
    const int projectMenu = bar->find(QStringLiteral("ProjectMenu"))->indexInParent();
    const int paste = 4;   // EditPasteItem in the in-memory Edit menu
    const int windows = 2; // ViewWindowListItem in the View menu
    const Expected expected[] = {
        {"IdeExpt1", "EditMenu", paste + 1, txt::MenuMacros, 0xC04C},
        {"ViewTraceItem", "ViewMenu", windows + 1, txt::TraceWindow, 0xC054},
        {"IdeExpt2", "ViewMenu", windows + 2, txt::MenuBrowse, 0xC042},
        {"IdeExpt3", "ViewMenu", windows + 3, txt::MenuStringTable, 0xC057},
        {"EditInsertarCabeceraItem", "ProjectMenu", projectMenu + 1, txt::MenuVersion, 0xC056},
        {"EditAyudaItem", "ProjectMenu", projectMenu + 2, txt::MenuHelpProject, 0xC048},
        {"EditProjectsNewItem", "FileMenu", fileMenu + 6, txt::MenuProjects, 0},
    };
    for (const Expected &e : expected) {
        SCOPED_TRACE(e.name);
        FakeMenuItem *item = host.item(QString::fromLatin1(e.name));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->parentItem()->GetName(), QString::fromLatin1(e.menu));
        EXPECT_EQ(item->indexInParent(), e.index);
        EXPECT_EQ(item->GetCaption(), LoadStr(e.captionId));
        EXPECT_EQ(item->GetShortCut(), e.shortCut);
        EXPECT_EQ(item->GetFlags(), TIMenuFlags(mfEnabled | mfVisible));
    }
    // Group 3 goes by the Project menu's place in the bar, not by the anchor.
    EXPECT_EQ(projectMenu + 1, 5);
    EXPECT_EQ(host.item(QStringLiteral("ProjectCompileItem"))->indexInParent(), 2);
    EXPECT_EQ(host.item(QStringLiteral("IdeExpt1"))->GetCaption(), QStringLiteral("Macros..."));
}

TEST(ExpertMenus, EveryReferenceTakenWhileInstallingIsReleased)
{
    InMemoryHost host;
    AddinSession session(host);
    // Only the menu items stay held: the seven commands and the project-wide jump.
    EXPECT_EQ(host.outstandingReferences(), 8) << host.leakedTags().join(QStringLiteral(", ")).toStdString();
    EXPECT_EQ(host.ledger(QStringLiteral("MainMenu")).outstanding(), 0);
    EXPECT_EQ(host.ledger(QStringLiteral("EditPasteItem")).outstanding(), 0);
    EXPECT_EQ(host.ledger(QStringLiteral("EditMenu")).outstanding(), 0);
}

TEST(ExpertMenus, WithoutCompileItemFiveOfSevenAreInstalled)
{
    InMemoryHost host;
    host.removeItem(QStringLiteral("ProjectCompileItem"));
    AddinSession session(host);
    for (const QString &name : AddinItems) {
        const bool versionOrHelp = name == QLatin1String("EditInsertarCabeceraItem")
            || name == QLatin1String("EditAyudaItem");
        EXPECT_EQ(host.item(name) != nullptr, !versionOrHelp) << name.toStdString();
    }
    EXPECT_FALSE(session.expert()->menVersion);
    EXPECT_FALSE(session.expert()->menAyuda);
    session.unload();
    EXPECT_EQ(host.outstandingReferences(), 0);
}

TEST(ExpertMenus, WithoutMainMenuNothingIsInstalledAndToolsStillExist)
{
    InMemoryHost host;
    host.setMainMenuAvailable(false);
    AddinSession session(host);
    ASSERT_TRUE(session.loaded());
    for (const QString &name : AddinItems)
        EXPECT_EQ(host.item(name), nullptr);
    EXPECT_TRUE(session.expert()->Fdlg);
    ASSERT_NE(SYS, nullptr);
    // Owned by the IDE's main window, so it goes with it at the latest.
    EXPECT_EQ(SYS->parent(), host.GetParentHandle());
    EXPECT_EQ(host.notifierCount(), 1);
}

TEST(ExpertUnload, NotifierGoesFirstThenEachItemOnce)
{
    InMemoryHost host;
    AddinSession session(host);
    const qsizetype mark = host.events.size();
    session.unload();

    const QStringList after = host.events.mid(mark);
    const QStringList releaseOrder = {
        QStringLiteral("Release IdeExpt1"),      QStringLiteral("Release IdeExpt2"),
        QStringLiteral("Release IdeExpt3"),      QStringLiteral("Release EditProjectsNewItem"),
        QStringLiteral("Release ViewTraceItem"), QStringLiteral("Release EditAyudaItem"),
        QStringLiteral("Release EditInsertarCabeceraItem"), QStringLiteral("Release IdeGotoRoutine"),
    };
    ASSERT_FALSE(after.isEmpty());
    EXPECT_EQ(after.first(), QStringLiteral("RemoveNotifier"));
    QStringList itemReleases;
    for (const QString &e : after)
        if (e.startsWith(QLatin1String("Release ")) && e != QLatin1String("Release ToolServices"))
            itemReleases << e;
    EXPECT_EQ(itemReleases, releaseOrder);
    for (const QString &name : AddinItems) {
        EXPECT_EQ(host.ledger(name).taken, 1) << name.toStdString();
        EXPECT_EQ(host.ledger(name).released, 1) << name.toStdString();
    }
    EXPECT_EQ(host.notifierCount(), 0);
    // Nothing the add-in made outlives it.
    EXPECT_EQ(host.addinReferencesLeft(), 0);
    EXPECT_EQ(host.outstandingReferences(), 0);
    EXPECT_EQ(TheExpert, nullptr);
    EXPECT_EQ(SYS, nullptr);
}

TEST(ExpertUnload, LongLivedWindowsGoWithTheExpert)
{
    InMemoryHost host;
    AddinSession session(host);
    for (const char *cls : {"TFbrwEnt", "TLDBrowse", "TFTrace", "TFAyudaW"})
        EXPECT_NE(FindWindow(QString::fromLatin1(cls)), nullptr) << cls;
    session.unload();
    for (const char *cls : {"TFbrwEnt", "TLDBrowse", "TFTrace", "TFAyudaW"})
        EXPECT_EQ(FindWindow(QString::fromLatin1(cls)), nullptr) << cls;
}

TEST(ExpertNotifier, ProjectClosingClosesHelpEditorAndTables)
{
    InMemoryHost host;
    AddinSession session(host);
    QWidget *help = FindWindow(QStringLiteral("tfayudaw"));
    ASSERT_NE(help, nullptr);
    help->show();
    QTemporaryDir dir;
    CreateLanguageTable(dir.path());
    CreateHelpTable(dir.path());
    for (TTable *t : {&SYS->Table1, &SYS->Table2}) {
        t->DatabaseName = dir.path();
        t->Open();
    }

    for (int code : {0, 1, 2, 3, 4, 6, 7, 11}) {
        host.notify(TFileNotification(code), QStringLiteral("/p/Project1.dpr"));
        EXPECT_TRUE(help->isVisible()) << code;
        EXPECT_TRUE(SYS->Table1.Active()) << code;
        EXPECT_TRUE(SYS->Table2.Active()) << code;
    }
    host.notify(fnProjectClosing, QStringLiteral("/p/Project1.dpr"));
    EXPECT_FALSE(help->isVisible());
    EXPECT_FALSE(SYS->Table1.Active());
    EXPECT_FALSE(SYS->Table2.Active());
}

TEST(ExpertCommands, BrowseShowsTheBrowserOnlyWithAProject)
{
    InMemoryHost host;
    AddinSession session(host);
    QWidget *browser = FindWindow(QStringLiteral("TFbrwEnt"));
    ASSERT_NE(browser, nullptr);
    host.click(QStringLiteral("IdeExpt2"));
    EXPECT_FALSE(browser->isVisible());
    host.setProject(QStringLiteral("/p/Project1.dpr"));
    host.click(QStringLiteral("IdeExpt2"));
    EXPECT_TRUE(browser->isVisible());
    browser->hide();
}

TEST(ExpertCommands, TraceShowsTheTraceWindow)
{
    InMemoryHost host;
    AddinSession session(host);
    host.click(QStringLiteral("ViewTraceItem"));
    QWidget *trace = FindWindow(QStringLiteral("TFTrace"));
    ASSERT_NE(trace, nullptr);
    EXPECT_TRUE(trace->isVisible());
    trace->hide();
}

// A second click brings a window that is open behind another one to the front.
TEST(ExpertCommands, BrowseAndTraceRaiseAWindowAlreadyOpen)
{
    InMemoryHost host;
    AddinSession session(host);
    host.setProject(QStringLiteral("/p/Project1.dpr"));
    for (const auto &[item, window] : {std::pair{"IdeExpt2", "TFbrwEnt"}, std::pair{"ViewTraceItem", "TFTrace"}}) {
        host.click(QString::fromLatin1(item));
        QWidget *tool = FindWindow(QString::fromLatin1(window));
        ASSERT_NE(tool, nullptr);
        QWidget other;
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        host.click(QString::fromLatin1(item));
        EXPECT_TRUE(QTest::qWaitForWindowActive(tool)) << window;
        EXPECT_EQ(QApplication::activeWindow(), tool) << window;
        tool->hide();
    }
}

class VersionCommand : public ::testing::Test {
protected:
    void SetUp() override { FProject = FDir.path() + QStringLiteral("/Project1.dpr"); }
    void touch(const QString &ext) { touchFile(QStringLiteral("Project1") + ext); }
    void touchFile(const QString &name)
    {
        QFile f(FDir.path() + QLatin1Char('/') + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // Runs the command and reports the output file the dialog was given.
    QString run()
    {
        QString seen = QStringLiteral("<not shown>");
        OnNextModal([&seen](QDialog *d) {
            if (auto *version = qobject_cast<TFverDlg *>(d))
                seen = version->OutputFileName;
            d->reject();
        });
        FHost.click(QStringLiteral("EditInsertarCabeceraItem"));
        return seen;
    }
    QTemporaryDir FDir;
    QString FProject;
    InMemoryHost FHost;
};

TEST_F(VersionCommand, DllWinsOverExe)
{
    AddinSession session(FHost);
    ScriptedDialogs dialogs;
    FHost.setProject(FProject);
    touch(QStringLiteral(".exe"));
    touch(QStringLiteral(".dll"));
    EXPECT_EQ(run(), FDir.path() + QStringLiteral("/Project1.dll"));
    // The dialog read the DLL (an empty file here), not the EXE.
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("error: No hay información de version en")
                                       + FDir.path() + QStringLiteral("/Project1.dll")});
}

TEST_F(VersionCommand, BuiltFileIsFoundInAnyLetterCaseAndTheDllStillWins)
{
    AddinSession session(FHost);
    ScriptedDialogs dialogs;
    FHost.setProject(FProject);
    // A directory of the name is no built file.
    ASSERT_TRUE(QDir(FDir.path()).mkdir(QStringLiteral("project1.dll")));
    touchFile(QStringLiteral("PROJECT1.EXE"));
    EXPECT_EQ(run(), FDir.path() + QStringLiteral("/PROJECT1.EXE"));
    touchFile(QStringLiteral("Project1.DLL"));
    EXPECT_EQ(run(), FDir.path() + QStringLiteral("/Project1.DLL"));
    EXPECT_FALSE(dialogs.log.contains(QStringLiteral("message: ") + LoadStr(txt::RecompileAfterVersion)));
}

TEST_F(VersionCommand, NoBuiltFileWarnsThenOpensWithEmptyOutput)
{
    AddinSession session(FHost);
    ScriptedDialogs dialogs;
    FHost.setProject(FProject);
    EXPECT_EQ(run(), QString());
    // Then the dialog reads the running program, which has no version resource.
    EXPECT_EQ(dialogs.log,
              QStringList({QStringLiteral("message: ") + LoadStr(txt::RecompileAfterVersion),
                           QStringLiteral("error: No hay información de version en")
                               + RunningProgramPath()}));
}

TEST_F(VersionCommand, NoProjectOpensNothing)
{
    AddinSession session(FHost);
    ScriptedDialogs dialogs;
    EXPECT_EQ(run(), QStringLiteral("<not shown>"));
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST(ExpertCommands, ActualizaReplacesOnlyTheFirstOfEachPlaceholder)
{
    InMemoryHost host;
    AddinSession session(host);
    QString text = QStringLiteral("$DATE$ $DATE$ $time$ $TIME$ $FILE$ $TIME$");
    session.expert()->Actualiza(text);
    EXPECT_FALSE(text.startsWith(QLatin1String("$DATE$")));
    EXPECT_EQ(text.count(QLatin1String("$DATE$")), 1);
    EXPECT_TRUE(text.contains(QLatin1String("$time$")));
    EXPECT_EQ(text.count(QLatin1String("$TIME$")), 1);
    EXPECT_FALSE(text.contains(QLatin1String("$FILE$")));
    EXPECT_TRUE(text.endsWith(QLatin1String("$TIME$")));
}

} // namespace
