// Keys of a scripted run reach the IDE as a user's would: shortcuts of menu
// items and of the editor window first, other keys in the focused widget.
#include "HostFixture.h"

#include "AppBuilder.h"
#include "HostMenu.h"
#include "ScriptRunner.h"

#include <QAction>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTest>
#include <QTimer>

class ScriptInputTest : public HostTest {
protected:
    // Runs the script lines to their end; the log.
    QStringList run(const QStringList &lines)
    {
        QStringList log;
        qide::TScriptRunner runner(ide.get(), lines, [&](const QString &line) { log << line; });
        QEventLoop loop;
        QObject::connect(&runner, &qide::TScriptRunner::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit); // a hung script fails, not blocks
        runner.start();
        loop.exec();
        EXPECT_TRUE(log.contains(QStringLiteral("script-end"))) << log.join('\n').toStdString();
        EXPECT_TRUE(log.filter(QStringLiteral("script-error")).isEmpty()) << log.join('\n').toStdString();
        return log;
    }

    // A file open in the front editor, its window active as after a click.
    qide::TCodeEditor *openActive(const QByteArray &text)
    {
        ide->mainWindow()->show();
        const QString file = write("U.pas", text);
        EXPECT_TRUE(services->OpenFile(file));
        qide::TCodeEditor *editor = ide->editorFor(file);
        editor->window()->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(editor->window()));
        editor->setFocus();
        return editor;
    }
};

// A menu item's shortcut (an action) and Alt with a menu's letter (a
// shortcut object of the editor window) take their keys from the editor.
TEST_F(ScriptInputTest, ShortcutsRunTheirCommandsAndTypeNothing)
{
    int clicks = 0;
    THostRef<TIMainMenuIntf> menu(services->GetMainMenu());
    THostRef<TIMenuItemIntf> paste(menu->FindMenuItem(QStringLiteral("EditPasteItem")));
    THostRef<TIMenuItemIntf> edit(paste->GetParent());
    THostRef<TIMenuItemIntf> item(edit->InsertItem(paste->GetIndex() + 1, QStringLiteral("Macros..."),
                                                   QStringLiteral("IdeExpt1"), QString(), scCtrl | scAlt | 'L',
                                                   0, 0, mfEnabled | mfVisible,
                                                   [&](TIMenuItemIntf *) { ++clicks; }));
    qide::TCodeEditor *editor = openActive("unit U;\n");
    run({QStringLiteral("key Ctrl+Alt+L"), QStringLiteral("key Ctrl+Alt+L"), QStringLiteral("key Alt+P")});
    EXPECT_EQ(clicks, 2);
    QAction *opened = ide->menus()->bar()->activeAction();
    EXPECT_EQ(opened ? opened->objectName() : QString(), QStringLiteral("ProjectMenu"));
    if (opened && opened->menu())
        opened->menu()->close();
    EXPECT_EQ(editor->document()->toPlainText(), QStringLiteral("unit U;\n"));
    EXPECT_FALSE(editor->document()->isModified());
}

TEST_F(ScriptInputTest, TypedTextAndEditingKeysGoToTheEditor)
{
    // A window shortcut of a window the user is not in must not take a key.
    QWidget other;
    int stolen = 0;
    auto *shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+K")), &other);
    QObject::connect(shortcut, &QShortcut::activated, [&] { ++stolen; });
    other.show();

    qide::TCodeEditor *editor = openActive("unit U;\n");
    editor->setCursorPos({6, 1});
    run({QStringLiteral("type Plane Été π;"), QStringLiteral("key Backspace"), QStringLiteral("key Left, Left"),
         QStringLiteral("key Return"), QStringLiteral("key Ctrl+Alt+K")});
    EXPECT_EQ(editor->document()->toPlainText(), QStringLiteral("unit Plane Été\n πU;\n"));
    EXPECT_EQ(stolen, 0);
}

// Press and fill reach only windows a user could see: one that is hidden
// keeps its button unclicked and its box empty, and the script says why.
TEST_F(ScriptInputTest, PressAndFillReachOnlyVisibleWindows)
{
    QWidget shown, hidden;
    auto *go = new QPushButton(QStringLiteral("Go"), &shown);
    go->setObjectName(QStringLiteral("Go"));
    auto *box = new QLineEdit(&shown);
    box->setObjectName(QStringLiteral("Box"));
    auto *secret = new QPushButton(QStringLiteral("Secret"), &hidden);
    secret->setObjectName(QStringLiteral("Secret"));
    auto *secretBox = new QLineEdit(&hidden);
    secretBox->setObjectName(QStringLiteral("SecretBox"));
    int goClicks = 0, secretClicks = 0;
    QObject::connect(go, &QPushButton::clicked, [&] { ++goClicks; });
    QObject::connect(secret, &QPushButton::clicked, [&] { ++secretClicks; });
    shown.show();
    hidden.show();
    hidden.hide();

    QStringList log;
    qide::TScriptRunner runner(ide.get(),
                               {QStringLiteral("press Go"), QStringLiteral("fill Box typed"),
                                QStringLiteral("press Secret"), QStringLiteral("fill SecretBox typed")},
                               [&](const QString &line) { log << line; });
    QEventLoop loop;
    QObject::connect(&runner, &qide::TScriptRunner::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    runner.start();
    loop.exec();
    EXPECT_EQ(goClicks, 1);
    EXPECT_EQ(box->text(), QStringLiteral("typed"));
    EXPECT_EQ(secretClicks, 0);
    EXPECT_TRUE(secretBox->text().isEmpty());
    EXPECT_EQ(log.filter(QStringLiteral("no button or action Secret in a visible window")).size(), 1)
        << log.join('\n').toStdString();
}
