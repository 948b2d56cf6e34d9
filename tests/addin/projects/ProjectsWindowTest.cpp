#include "AddinSession.h"
#include "InMemoryHost.h"
#include "ModalDriver.h"
#include "ScriptedDialogs.h"

#include "core/Logo.h"
#include "projects/Fprojects.h"

#include "Dialogs.h"
#include "Registry.h"
#include "SafeFile.h"
#include "TestServices.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");
const QString HostProject = QStringLiteral("/work/demo/Project1.dpr");

const QByteArray TwoGroups = "Tools\r\n"
                             "\tEditor;/src/edit.dpr\r\n"
                             "\tViewer;/src/view.dpr\r\n"
                             "Games\r\n"
                             "\tChess;/games/chess.dpr\r\n";

class ProjectsWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                              FDir.path() + QStringLiteral("/libquorbel.so"));
        FFile = FDir.path() + QStringLiteral("/proj.dat");
        host.setProject(HostProject);
    }
    void TearDown() override
    {
        Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"));
    }

    void writeFile(const QByteArray &bytes) const
    {
        QFile file(FFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray fileBytes() const
    {
        QFile file(FFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    TFProyexp &open()
    {
        FWindow = std::make_unique<TFProyexp>(nullptr, TestServices(&host));
        FWindow->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
        return *FWindow;
    }
    // Destroys the window, which writes proj.dat.
    void close() { FWindow.reset(); }

    QTreeWidgetItem *node(const QString &text) const
    {
        const auto found = FWindow->Proyectos->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    QTreeWidgetItem *select(const QString &text) const
    {
        QTreeWidgetItem *item = node(text);
        FWindow->Proyectos->setCurrentItem(item);
        return item;
    }
    void doubleClick(QTreeWidgetItem *item) const
    {
        QTreeWidget *tree = FWindow->Proyectos;
        const QPoint at = tree->visualItemRect(item).center();
        // A real double click: press, release, then the second press.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    }
    // The open label editor; closed ones linger until deleted later.
    QLineEdit *labelEditor() const
    {
        for (QLineEdit *editor : FWindow->Proyectos->viewport()->findChildren<QLineEdit *>())
            if (editor->isVisible())
                return editor;
        return nullptr;
    }
    bool opened() const
    {
        return host.events.filter(QStringLiteral("OpenProject")).size() > 0;
    }

    QTemporaryDir FDir;
    QString FFile;
    InMemoryHost host;
    ScriptedDialogs dialogs;
    std::unique_ptr<TFProyexp> FWindow;
};

TEST_F(ProjectsWindow, ShowsTheFileAsNamedComponents)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    EXPECT_STREQ(w.metaObject()->className(), "TFProyexp");
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Projects"));
    EXPECT_EQ(w.size(), QSize(220, 273));
    EXPECT_EQ(w.FDataFile, FFile);
    EXPECT_EQ(w.findChild<QWidget *>(QStringLiteral("Panel1"))->height(), 31);

    struct Button {
        const char *name;
        int left;
        const char *hint;
    };
    for (const Button &b : {Button{"btnAdd", 3, "Add Actual"}, Button{"btnNuevoGrupo", 30, "New Grup"},
                            Button{"btnEliminar", 63, "Delete"}}) {
        auto *button = w.findChild<QToolButton *>(QString::fromLatin1(b.name));
        ASSERT_NE(button, nullptr) << b.name;
        EXPECT_EQ(button->geometry(), QRect(b.left, 3, 25, 25)) << b.name;
        EXPECT_EQ(button->toolTip(), QString::fromLatin1(b.hint));
    }
    auto *logo = w.findChild<QLabel *>(QStringLiteral("Image1"));
    ASSERT_NE(logo, nullptr);
    EXPECT_EQ(logo->size(), QSize(66, 29));
    EXPECT_EQ(logo->toolTip(), QStringLiteral("Click Here"));
    auto *images = w.findChild<TFProyexp::TImageList *>(QStringLiteral("ImageList1"));
    ASSERT_NE(images, nullptr);
    ASSERT_EQ(images->Images.size(), 2);

    auto *tree = w.findChild<QTreeWidget *>(QStringLiteral("Proyectos"));
    ASSERT_EQ(tree, w.Proyectos);
    EXPECT_EQ(tree->indentation(), 19);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    QTreeWidgetItem *tools = tree->topLevelItem(0);
    EXPECT_EQ(tools->text(0), QStringLiteral("Tools"));
    EXPECT_TRUE(tools->isExpanded());
    EXPECT_EQ(tools->data(0, TFProyexp::ImageIndexRole).toInt(), 0);
    EXPECT_FALSE(tools->data(0, TFProyexp::PathRole).isValid());
    ASSERT_EQ(tools->childCount(), 2);
    QTreeWidgetItem *viewer = tools->child(1);
    EXPECT_EQ(viewer->text(0), QStringLiteral("Viewer"));
    EXPECT_EQ(viewer->data(0, TFProyexp::PathRole).toString(), QStringLiteral("/src/view.dpr"));
    EXPECT_EQ(viewer->data(0, TFProyexp::ImageIndexRole).toInt(), 1);
    EXPECT_FALSE(viewer->icon(0).isNull());
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(ProjectsWindow, OpeningAndClosingRewritesTheSameBytes)
{
    writeFile(TwoGroups);
    open();
    close();
    EXPECT_EQ(fileBytes(), TwoGroups);
    EXPECT_TRUE(dialogs.log.isEmpty());

    // Any line ends come back as CR LF.
    writeFile("Tools\n\tEditor;/src/edit.dpr\rGames\n");
    open();
    close();
    EXPECT_EQ(fileBytes(), "Tools\r\n\tEditor;/src/edit.dpr\r\nGames\r\n");
}

TEST_F(ProjectsWindow, DoubleClickOpensProjectsOnly)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    doubleClick(node(QStringLiteral("Games")));
    EXPECT_FALSE(opened());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(labelEditor(), nullptr);

    w.Proyectos->expandAll();

    doubleClick(node(QStringLiteral("Chess")));
    EXPECT_TRUE(host.events.contains(QStringLiteral("OpenProject /games/chess.dpr")));
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ProjectsWindow, EnterOpensTheSelectedProjectAndEscCloses)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    select(QStringLiteral("Tools"));
    QTest::keyClick(w.Proyectos, Qt::Key_Return);
    EXPECT_FALSE(opened());
    EXPECT_TRUE(w.isVisible());

    select(QStringLiteral("Viewer"));
    QTest::keyClick(w.Proyectos, Qt::Key_Return);
    EXPECT_EQ(host.events.filter(QStringLiteral("OpenProject")),
              QStringList{QStringLiteral("OpenProject /src/view.dpr")});
    EXPECT_EQ(host.GetProjectName(), QStringLiteral("/src/view.dpr"));
    EXPECT_FALSE(w.isVisible());
    close();

    TFProyexp &again = open();
    select(QStringLiteral("Editor"));
    QTest::keyClick(again.Proyectos, Qt::Key_Escape);
    EXPECT_FALSE(again.isVisible());
    EXPECT_EQ(host.events.filter(QStringLiteral("OpenProject")).size(), 1);
}

TEST_F(ProjectsWindow, DeleteAsksFirstAndTakesChildrenAlong)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    select(QStringLiteral("Tools"));
    dialogs.answerNo();
    w.btnEliminar->click();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("question: Delete de select Item ?")});
    EXPECT_EQ(w.Proyectos->topLevelItemCount(), 2);
    EXPECT_NE(node(QStringLiteral("Editor")), nullptr);

    dialogs.answerYes();
    w.btnEliminar->click();
    EXPECT_EQ(node(QStringLiteral("Tools")), nullptr);
    EXPECT_EQ(node(QStringLiteral("Editor")), nullptr);
    EXPECT_EQ(node(QStringLiteral("Viewer")), nullptr);
    close();
    EXPECT_EQ(fileBytes(), "Games\r\n\tChess;/games/chess.dpr\r\n");
}

// Several nodes selected, as for a build of some projects: Delete takes
// every one, a group with its projects, once.
TEST_F(ProjectsWindow, DeleteTakesEverySelectedNode)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    select(QStringLiteral("Editor"));
    node(QStringLiteral("Chess"))->setSelected(true);
    node(QStringLiteral("Games"))->setSelected(true); // Chess goes with it
    dialogs.answerYes();
    w.btnEliminar->click();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("question: Delete de select Item ?")});
    EXPECT_EQ(node(QStringLiteral("Editor")), nullptr);
    EXPECT_EQ(node(QStringLiteral("Games")), nullptr);
    EXPECT_EQ(node(QStringLiteral("Chess")), nullptr);
    EXPECT_NE(node(QStringLiteral("Viewer")), nullptr);
    close();
    EXPECT_EQ(fileBytes(), "Tools\r\n\tViewer;/src/view.dpr\r\n");
}

TEST_F(ProjectsWindow, AddNeedsASelectedGroup)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    w.Proyectos->setCurrentItem(nullptr);
    w.btnAdd->click();
    select(QStringLiteral("Chess"));
    w.btnAdd->click();
    EXPECT_EQ(dialogs.log, QStringList(2, QStringLiteral("message: Select agroup you add a proyect")));
    close();
    EXPECT_EQ(fileBytes(), TwoGroups);
}

TEST_F(ProjectsWindow, AddPutsTheCurrentProjectBelowTheGroup)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    QTreeWidgetItem *games = select(QStringLiteral("Games"));
    games->setExpanded(false);
    w.btnAdd->click();
    ASSERT_EQ(games->childCount(), 2);
    QTreeWidgetItem *added = games->child(1);
    EXPECT_EQ(added->text(0), QStringLiteral("New Project"));
    EXPECT_EQ(added->data(0, TFProyexp::PathRole).toString(), HostProject);
    EXPECT_EQ(added->data(0, TFProyexp::ImageIndexRole).toInt(), 1);
    EXPECT_TRUE(games->isExpanded());
    EXPECT_EQ(w.Selected(), games);
    ASSERT_NE(labelEditor(), nullptr);
    EXPECT_EQ(labelEditor()->text(), QStringLiteral("New Project"));
    close();
    EXPECT_EQ(fileBytes(), TwoGroups + "\tNew Project;" + HostProject.toLatin1() + "\r\n");
}

TEST_F(ProjectsWindow, AddWithoutOpenProjectGivesAnEmptyPath)
{
    host.setProject(QString());
    writeFile("G\r\n");
    TFProyexp &w = open();
    select(QStringLiteral("G"));
    w.btnAdd->click();
    close();
    EXPECT_EQ(fileBytes(), "G\r\n\tNew Project;\r\n");
}

// A project under a directory Windows-1252 cannot name is opened again
// from the saved file by its exact path.
TEST_F(ProjectsWindow, ProjectOutsideTheCodePageOpensAgainAfterASave)
{
    const QString project = QString::fromUtf8("/home/u/Проекты/Project1.dpr");
    host.setProject(project);
    writeFile(TwoGroups);
    TFProyexp &w = open();
    select(QStringLiteral("Games"));
    w.btnAdd->click();
    close();
    EXPECT_EQ(fileBytes(), TwoGroups + "\tNew Project;" + project.toUtf8() + "\r\n");

    open();
    QTreeWidgetItem *added = node(QStringLiteral("New Project"));
    ASSERT_NE(added, nullptr);
    FWindow->Proyectos->setCurrentItem(added);
    QTest::keyClick(FWindow->Proyectos, Qt::Key_Return);
    EXPECT_TRUE(host.events.contains(QStringLiteral("OpenProject ") + project));
}

// A group renamed to the end-of-file mark would be skipped on the next load,
// and its projects would move up a level.
TEST_F(ProjectsWindow, GroupNamedTheEndOfFileMarkKeepsItsProjects)
{
    writeFile(TwoGroups);
    open();
    node(QStringLiteral("Tools"))->setText(0, QString(QChar(26)));
    close();
    open();
    ASSERT_EQ(FWindow->Proyectos->topLevelItemCount(), 2);
    EXPECT_EQ(FWindow->Proyectos->topLevelItem(0)->text(0), QString());
    EXPECT_EQ(FWindow->Proyectos->topLevelItem(0)->childCount(), 2);
    EXPECT_TRUE(dialogs.log.isEmpty());
}

TEST_F(ProjectsWindow, NewGroupIsNamedInPlaceWithoutClosing)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    w.btnNuevoGrupo->click();
    ASSERT_EQ(w.Proyectos->topLevelItemCount(), 3);
    QTreeWidgetItem *group = w.Proyectos->topLevelItem(2);
    EXPECT_EQ(group->text(0), QStringLiteral("New Grup"));
    EXPECT_EQ(w.Selected(), group);
    QLineEdit *editor = labelEditor();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Libraries"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(group->text(0), QStringLiteral("Libraries"));
    EXPECT_TRUE(w.isVisible());

    // Esc in the editor drops the edit and leaves the window open.
    w.Proyectos->editItem(group);
    editor = labelEditor();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Gone"));
    QTest::keyClick(editor, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_EQ(group->text(0), QStringLiteral("Libraries"));
    EXPECT_TRUE(w.isVisible());
    close();
    EXPECT_EQ(fileBytes(), TwoGroups + "Libraries\r\n");
}

TEST_F(ProjectsWindow, EditedLabelsAreSavedWithTheirPaths)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    auto rename = [&](const QString &from, const QString &to) {
        QTreeWidgetItem *item = select(from);
        w.Proyectos->editItem(item);
        QLineEdit *editor = labelEditor();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, to);
        // Enter ends the edit; it must not open the project.
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    };
    rename(QStringLiteral("Editor"), QString());
    rename(QStringLiteral("Chess"), QStringLiteral("Chess; the game"));
    EXPECT_FALSE(opened());
    EXPECT_TRUE(w.isVisible());
    EXPECT_NE(node(QStringLiteral("Chess the game")), nullptr);
    close();
    EXPECT_EQ(fileBytes(), "Tools\r\n"
                           "\t;/src/edit.dpr\r\n"
                           "\tViewer;/src/view.dpr\r\n"
                           "Games\r\n"
                           "\tChess the game;/games/chess.dpr\r\n");
}

TEST_F(ProjectsWindow, MissingFileIsReportedAndCreatedOnClose)
{
    TFProyexp &w = open();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("error: Cannot open file ") + FFile});
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.Proyectos->topLevelItemCount(), 0);
    w.btnNuevoGrupo->click();
    close();
    EXPECT_EQ(fileBytes(), "New Grup\r\n");
}

TEST_F(ProjectsWindow, LevelErrorKeepsWhatWasReadAndLosesNothing)
{
    const QByteArray bytes = "Tools\r\n\tEditor;/src/edit.dpr\r\n\t\t\tBad\r\nGames\r\n";
    writeFile(bytes);
    TFProyexp &w = open();
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("error: Invalid item level assignment")});
    EXPECT_EQ(w.Proyectos->topLevelItemCount(), 1);
    QTreeWidgetItem *editor = node(QStringLiteral("Editor"));
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->data(0, TFProyexp::PathRole).toString(), QStringLiteral("/src/edit.dpr"));

    // What was read can still be used.
    w.Proyectos->setCurrentItem(editor);
    QTest::keyClick(w.Proyectos, Qt::Key_Return);
    EXPECT_TRUE(host.events.contains(QStringLiteral("OpenProject /src/edit.dpr")));
    close();
    EXPECT_EQ(fileBytes(), bytes);
}

TEST_F(ProjectsWindow, FailedSaveIsReportedAndKeepsTheFile)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    select(QStringLiteral("Tools"));
    dialogs.answerYes();
    w.btnEliminar->click();
    {
        FailWrites failing;
        close();
    }
    ASSERT_EQ(dialogs.log.size(), 2);
    EXPECT_TRUE(dialogs.log[1].startsWith(QStringLiteral("error: Cannot write ") + FFile))
        << dialogs.log[1].toStdString();
    EXPECT_EQ(fileBytes(), TwoGroups);
}

// A pipe in proj.dat's place (unreadable as root too): both the load and
// the save on close say why, and the pipe stays.
TEST_F(ProjectsWindow, UnreadableFileIsReportedAndNotReplacedOnClose)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(FFile).constData(), 0600), 0);
    TFProyexp &w = open();
    ASSERT_EQ(dialogs.log.size(), 1);
    EXPECT_EQ(dialogs.log[0],
              QStringLiteral("error: Cannot open file %1: it is not a regular file (a device, pipe or socket)").arg(FFile));
    w.btnNuevoGrupo->click();
    close();
    ASSERT_EQ(dialogs.log.size(), 2);
    EXPECT_TRUE(dialogs.log[1].startsWith(
        QStringLiteral("error: Cannot write %1: it could not be read, so it is left as it is.").arg(FFile)))
        << dialogs.log[1].toStdString();
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(FFile).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(ProjectsWindow, LogoShowsTheAboutMessage)
{
    writeFile(TwoGroups);
    TFProyexp &w = open();
    QTest::mouseClick(w.Image1, Qt::LeftButton);
    EXPECT_EQ(dialogs.log, QStringList{QStringLiteral("message: ") + AboutMessage()});
}

TEST_F(ProjectsWindow, ProjectsCommandShowsTheWindowModally)
{
    writeFile(TwoGroups);
    AddinSession session(host);
    ASSERT_TRUE(session.loaded());
    bool wasModal = false;
    OnNextModal([&](QDialog *dialog) {
        wasModal = dialog->isModal() && qobject_cast<TFProyexp *>(dialog) != nullptr;
        auto *tree = dialog->findChild<QTreeWidget *>(QStringLiteral("Proyectos"));
        const auto found = tree->findItems(QStringLiteral("Editor"),
                                           Qt::MatchExactly | Qt::MatchRecursive);
        tree->setCurrentItem(found.value(0));
        tree->currentItem()->setText(0, QStringLiteral("Edit"));
        QTest::keyClick(tree, Qt::Key_Enter);
    });
    host.click(QStringLiteral("EditProjectsNewItem"));
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(host.events.contains(QStringLiteral("OpenProject /src/edit.dpr")));
    // Destroyed by the command, which saved the change.
    EXPECT_TRUE(fileBytes().contains("\tEdit;/src/edit.dpr\r\n"));
    EXPECT_TRUE(dialogs.log.isEmpty());
}

} // namespace
