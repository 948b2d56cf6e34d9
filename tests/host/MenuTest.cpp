// The main menu as add-ins see it, on the IDE's real menu bar.
#include "HostFixture.h"

#include "AppBuilder.h"
#include "HostMenu.h"
#include "ShortCut.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <stdexcept>

class MenuTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        mainMenu = THostRef<TIMainMenuIntf>(services->GetMainMenu());
        ASSERT_TRUE(mainMenu);
    }
    void TearDown() override
    {
        mainMenu.reset();
        HostTest::TearDown();
    }
    THostRef<TIMenuItemIntf> find(const QString &name)
    {
        return THostRef<TIMenuItemIntf>(mainMenu->FindMenuItem(name));
    }
    THostRef<TIMenuItemIntf> insert(TIMenuItemIntf *parent, int index, const QString &name,
                                    TShortCut shortCut, TIMenuClickEvent onClick = {})
    {
        return THostRef<TIMenuItemIntf>(parent->InsertItem(index, name + QStringLiteral(" caption"), name,
                                                           QString(), shortCut, 0, 0,
                                                           mfEnabled | mfVisible, std::move(onClick)));
    }
    QAction *action(const QString &name) { return ide->menus()->findAction(name); }

    THostRef<TIMainMenuIntf> mainMenu;
};

TEST_F(MenuTest, AnchorsSitWhereTheAddinExpectsThem)
{
    THostRef<TIMenuItemIntf> bar(mainMenu->GetMenuItems());
    ASSERT_TRUE(bar);
    EXPECT_FALSE(THostRef<TIMenuItemIntf>(bar->GetParent()));
    QStringList menus;
    for (int i = 0; i < bar->GetItemCount(); ++i)
        menus << THostRef<TIMenuItemIntf>(bar->GetItem(i))->GetName();
    EXPECT_EQ(menus, (QStringList{"FileMenu", "EditMenu", "ViewMenu", "ProjectMenu", "HelpMenu"}));

    struct Anchor {
        const char *name;
        const char *menu;
    };
    for (const Anchor &a : {Anchor{"FileopenItem", "FileMenu"}, Anchor{"EditPasteItem", "EditMenu"},
                            Anchor{"ViewWindowListItem", "ViewMenu"},
                            Anchor{"ProjectCompileItem", "ProjectMenu"}}) {
        THostRef<TIMenuItemIntf> anchor = find(QLatin1String(a.name));
        ASSERT_TRUE(anchor) << a.name;
        THostRef<TIMenuItemIntf> parent(anchor->GetParent());
        ASSERT_TRUE(parent) << a.name;
        EXPECT_EQ(parent->GetName(), QLatin1String(a.menu));
        THostRef<TIMenuItemIntf> same(parent->GetItem(anchor->GetIndex()));
        EXPECT_EQ(same->GetName(), QLatin1String(a.name));
        THostRef<TIMenuItemIntf> root(parent->GetParent());
        EXPECT_EQ(root->GetName(), QStringLiteral("MainMenu1"));
        EXPECT_EQ(THostRef<TIMenuItemIntf>(root->GetItem(parent->GetIndex()))->GetName(),
                  QLatin1String(a.menu));
    }

    // Paste comes after Cut and Copy; File holds at least six items.
    THostRef<TIMenuItemIntf> paste = find(QStringLiteral("EditPasteItem"));
    EXPECT_GT(paste->GetIndex(), find(QStringLiteral("EditCopyItem"))->GetIndex());
    EXPECT_GT(find(QStringLiteral("EditCopyItem"))->GetIndex(), find(QStringLiteral("EditCutItem"))->GetIndex());
    EXPECT_GE(THostRef<TIMenuItemIntf>(find(QStringLiteral("FileopenItem"))->GetParent())->GetItemCount(), 6);
    EXPECT_FALSE(find(QStringLiteral("NoSuchItem")));
    EXPECT_FALSE(find(QString()));
}

TEST_F(MenuTest, InsertedItemsLandAtTheirIndexWithTheirShortcut)
{
    THostRef<TIMenuItemIntf> paste = find(QStringLiteral("EditPasteItem"));
    THostRef<TIMenuItemIntf> edit(paste->GetParent());
    const int pasteIndex = paste->GetIndex();
    const int count = edit->GetItemCount();

    THostRef<TIMenuItemIntf> macros = insert(edit.get(), pasteIndex + 1, QStringLiteral("IdeExpt1"),
                                             scCtrl | scAlt | 'L');
    ASSERT_TRUE(macros);
    EXPECT_EQ(macros->GetIndex(), pasteIndex + 1);
    EXPECT_EQ(paste->GetIndex(), pasteIndex);
    EXPECT_EQ(edit->GetItemCount(), count + 1);
    EXPECT_EQ(macros->GetCaption(), QStringLiteral("IdeExpt1 caption"));
    EXPECT_EQ(macros->GetShortCut(), TShortCut(0xC04C));
    EXPECT_EQ(macros->GetFlags(), TIMenuFlags(mfEnabled | mfVisible));
    EXPECT_EQ(action(QStringLiteral("IdeExpt1"))->shortcut(), QKeySequence(QStringLiteral("Ctrl+Alt+L")));
    EXPECT_EQ(THostRef<TIMenuItemIntf>(macros->GetParent())->GetName(), QStringLiteral("EditMenu"));

    // Out-of-range indexes clamp to the ends.
    THostRef<TIMenuItemIntf> last = insert(edit.get(), 999, QStringLiteral("Last"), 0);
    EXPECT_EQ(last->GetIndex(), edit->GetItemCount() - 1);
    THostRef<TIMenuItemIntf> first = insert(edit.get(), -3, QStringLiteral("First"), 0);
    EXPECT_EQ(first->GetIndex(), 0);
    EXPECT_TRUE(action(QStringLiteral("Last"))->shortcut().isEmpty());

    // A menu of its own in the bar, and items below a plain item.
    THostRef<TIMenuItemIntf> bar(mainMenu->GetMenuItems());
    THostRef<TIMenuItemIntf> tools = insert(bar.get(), 4, QStringLiteral("ToolsMenu"), 0);
    EXPECT_EQ(tools->GetIndex(), 4);
    THostRef<TIMenuItemIntf> sub = insert(tools.get(), 0, QStringLiteral("ToolsSub"), 0);
    EXPECT_EQ(THostRef<TIMenuItemIntf>(sub->GetParent())->GetName(), QStringLiteral("ToolsMenu"));
    THostRef<TIMenuItemIntf> nested = insert(sub.get(), 0, QStringLiteral("ToolsNested"), 0);
    EXPECT_EQ(THostRef<TIMenuItemIntf>(nested->GetParent())->GetName(), QStringLiteral("ToolsSub"));
    EXPECT_EQ(ide->menus()->bar()->actions().at(4)->text(), QStringLiteral("ToolsMenu caption"));
}

TEST_F(MenuTest, ClickRunsTheHandlerWithTheItem)
{
    THostRef<TIMenuItemIntf> view(find(QStringLiteral("ViewWindowListItem"))->GetParent());
    QStringList clicked;
    THostRef<TIMenuItemIntf> item = insert(view.get(), 3, QStringLiteral("ViewTraceItem"), scCtrl | scAlt | 'T',
                                           [&](TIMenuItemIntf *sender) { clicked << sender->GetName(); });
    action(QStringLiteral("ViewTraceItem"))->trigger();
    EXPECT_EQ(clicked, QStringList{"ViewTraceItem"});

    // The shortcut works from the editor window, where the user types.
    ide->mainWindow()->show();
    const QString file = write("U.pas", "unit U;\n");
    ASSERT_TRUE(services->OpenFile(file));
    qide::TCodeEditor *editor = ide->editorFor(file);
    editor->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor->window()));
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(clicked.size(), 2);
    EXPECT_EQ(editor->document()->toPlainText(), QStringLiteral("unit U;\n"));
}

TEST_F(MenuTest, AltWithAMenuLetterInTheEditorOpensThatMenu)
{
    ide->mainWindow()->show();
    const QString file = write("U.pas", "unit U;\n");
    ASSERT_TRUE(services->OpenFile(file));
    qide::TCodeEditor *editor = ide->editorFor(file);
    editor->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor->window()));
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_P, Qt::AltModifier);
    QAction *active = ide->menus()->bar()->activeAction();
    ASSERT_TRUE(active);
    EXPECT_EQ(active->objectName(), QStringLiteral("ProjectMenu"));
    EXPECT_EQ(editor->document()->toPlainText(), QStringLiteral("unit U;\n"));
    if (QMenu *open = active->menu())
        open->close();
}

TEST_F(MenuTest, ErrorsLeavingAHandlerAreShownAndTheIdeRunsOn)
{
    THostRef<TIMenuItemIntf> help(find(QStringLiteral("HelpAboutItem"))->GetParent());
    int runs = 0;
    auto add = [&](const QString &name, std::function<void()> body) {
        return insert(help.get(), 0, name, 0, [&runs, body](TIMenuItemIntf *) {
            ++runs;
            body();
        });
    };
    THostRef<TIMenuItemIntf> a = add(QStringLiteral("Abort"), [&] { services->RaiseException(QStringLiteral("stopped")); });
    THostRef<TIMenuItemIntf> b = add(QStringLiteral("Own"), [] { throw EInOutError(QStringLiteral("disk gone")); });
    THostRef<TIMenuItemIntf> c = add(QStringLiteral("Std"), [] { throw std::runtime_error("bad state"); });
    THostRef<TIMenuItemIntf> d = add(QStringLiteral("Odd"), [] { throw 42; });
    for (const char *name : {"Abort", "Own", "Std", "Odd", "Abort"})
        action(QLatin1String(name))->trigger();
    EXPECT_EQ(runs, 5);
    EXPECT_EQ(messages, (QStringList{"stopped", "disk gone", "bad state",
                                     "An unknown error ended the command.", "stopped"}));
}

TEST_F(MenuTest, InsertedItemsAndTheirHandlersGoAtShutdown)
{
    auto token = std::make_shared<int>(1);
    std::weak_ptr<int> watch = token;
    THostRef<TIMenuItemIntf> file(find(QStringLiteral("FileopenItem"))->GetParent());
    const int before = file->GetItemCount();
    THostRef<TIMenuItemIntf> item = insert(file.get(), 6, QStringLiteral("EditProjectsNewItem"), 0,
                                           [token](TIMenuItemIntf *) {});
    token.reset();
    item.reset();
    EXPECT_FALSE(watch.expired()); // the host keeps the item while the add-in runs
    EXPECT_EQ(ide->menus()->insertedCount(), 1);

    ide->shutdown(false);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(ide->menus()->insertedCount(), 0);
    EXPECT_EQ(file->GetItemCount(), before);
    EXPECT_TRUE(action(QStringLiteral("FileopenItem")));
}

TEST(ShortCut, VirtualKeysMapToQtKeysAndBack)
{
    using qide::KeySequenceToShortCut;
    using qide::ShortCutToKeySequence;
    EXPECT_EQ(ShortCutToKeySequence(scCtrl | scAlt | 'W'), QKeySequence(QStringLiteral("Ctrl+Alt+W")));
    EXPECT_EQ(ShortCutToKeySequence(scShift | 0x74), QKeySequence(QStringLiteral("Shift+F5")));
    EXPECT_EQ(ShortCutToKeySequence(scCtrl | '0'), QKeySequence(QStringLiteral("Ctrl+0")));
    EXPECT_EQ(ShortCutToKeySequence(0x2E), QKeySequence(Qt::Key_Delete));
    EXPECT_TRUE(ShortCutToKeySequence(0).isEmpty());
    EXPECT_TRUE(ShortCutToKeySequence(scCtrl).isEmpty());

    for (TShortCut sc : {TShortCut(scCtrl | scAlt | 'L'), TShortCut(scCtrl | scAlt | 'H'), TShortCut(0x70),
                         TShortCut(scAlt | 0x87), TShortCut(scCtrl | 0xBD), TShortCut(scShift | 0x0D),
                         TShortCut(scCtrl | scShift | 0xDB)})
        EXPECT_EQ(KeySequenceToShortCut(ShortCutToKeySequence(sc)), sc) << std::hex << sc;
    EXPECT_EQ(KeySequenceToShortCut(QKeySequence(QStringLiteral("Ctrl+K, Ctrl+D"))), 0);
}
