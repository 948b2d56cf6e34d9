// The project groups window building groups, marking missing projects and
// importing Lazarus groups, driven through its named components.
#include "InMemoryHost.h"
#include "ScriptedDialogs.h"
#include "TestServices.h"

#include "projects/Fprojects.h"

#include "Process.h"
#include "Registry.h"
#include "WaitUntil.h"

#include <QAction>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <memory>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");

class ProjectsBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                              FDir.path() + QStringLiteral("/libquorbel.so"));
        FFile = FDir.filePath(QStringLiteral("proj.dat"));
    }
    void TearDown() override
    {
        FWindow.reset();
        Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"));
    }

    QString source(const QString &name, const QByteArray &text = "program P;\nbegin\nend.\n") const
    {
        const QString path = FDir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }
    void writeGroups(const QByteArray &bytes) const
    {
        QFile file(FFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray groupBytes() const
    {
        QFile file(FFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // A compiler that takes its time and says its pid.
    void slowCompiler()
    {
        FPidFile = FDir.filePath(QStringLiteral("cc.pid"));
        FCompile = [pidFile = FPidFile](const QString &) {
            return QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                               QStringLiteral("echo $$ > \"$0\"; exec sleep 30"), pidFile};
        };
    }
    pid_t compilerPid() const
    {
        EXPECT_TRUE(WaitUntil([&] { return QFile(FPidFile).size() > 0; }));
        QFile file(FPidFile);
        return file.open(QIODevice::ReadOnly) ? pid_t(file.readAll().trimmed().toInt()) : 0;
    }
    static bool Reaped(pid_t pid)
    {
        errno = 0;
        return pid > 0 && ::kill(pid, 0) == -1 && errno == ESRCH;
    }

    TFProyexp &open()
    {
        TAddinServices services = TestServices(&host);
        services.CompileCommand = FCompile;
        FWindow = std::make_unique<TFProyexp>(nullptr, services);
        FWindow->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
        return *FWindow;
    }
    QTreeWidgetItem *node(const QString &text) const
    {
        const auto found = FWindow->Proyectos->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    }
    void click(const char *button) const
    {
        auto *b = FWindow->findChild<QToolButton *>(QString::fromLatin1(button));
        ASSERT_NE(b, nullptr) << button;
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // Selects the node as a click on it does.
    void pick(const QString &text) const
    {
        QTreeWidget *tree = FWindow->Proyectos;
        QTreeWidgetItem *item = node(text);
        ASSERT_NE(item, nullptr) << text.toStdString();
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }
    QString result(const QString &text) const
    {
        QTreeWidgetItem *item = node(text);
        return item ? item->text(TFProyexp::ResultColumn) : QStringLiteral("<no node>");
    }
    bool greyed(const QString &text) const
    {
        QTreeWidgetItem *item = node(text);
        return item && item->foreground(0).color()
                           == FWindow->palette().color(QPalette::Disabled, QPalette::Text)
            && item->data(0, TFProyexp::MissingRole).toBool();
    }

    QTemporaryDir FDir;
    QString FFile;
    QString FPidFile;
    std::function<QStringList(const QString &)> FCompile;
    InMemoryHost host;
    ScriptedDialogs dialogs;
    std::unique_ptr<TFProyexp> FWindow;
};

TEST_F(ProjectsBuild, AGroupOfThreeFreePascalProjectsShowsEachResultAndKeepsTheOutput)
{
    if (QStandardPaths::findExecutable(QStringLiteral("fpc")).isEmpty())
        GTEST_SKIP() << "Free Pascal (fpc) is not installed";
    const QString good = source(QStringLiteral("good.dpr"));
    const QString bad = source(QStringLiteral("bad.dpr"), "program Bad;\nbegin\n  Undefined := 1;\nend.\n");
    const QString other = source(QStringLiteral("other.dpr"));
    const QByteArray groups = "Demo\r\n\tGood;" + good.toUtf8() + "\r\n\tBad;" + bad.toUtf8() + "\r\n\tGone;"
        + FDir.filePath(QStringLiteral("gone.dpr")).toUtf8() + "\r\nOther\r\n\tElse;" + other.toUtf8() + "\r\n";
    writeGroups(groups);
    TFProyexp &w = open();
    EXPECT_FALSE(w.findChild<QWidget *>(QStringLiteral("Panel2"))->isVisible()); // until a build
    pick(QStringLiteral("Demo"));
    click("btnBuild");
    auto *stop = w.findChild<QToolButton *>(QStringLiteral("btnStop"));
    ASSERT_TRUE(WaitUntil([&] { return !w.Building(); }));
    EXPECT_EQ(result(QStringLiteral("Good")), QStringLiteral("ok"));
    EXPECT_EQ(result(QStringLiteral("Bad")), QStringLiteral("failed: bad.dpr(3,3) Error: Identifier not found \"Undefined\""));
    EXPECT_EQ(result(QStringLiteral("Gone")), QStringLiteral("not found"));
    EXPECT_EQ(result(QStringLiteral("Else")), QString()); // not in the group built
    EXPECT_FALSE(QFile::exists(FDir.filePath(QStringLiteral("other"))));
    auto *progress = w.findChild<QProgressBar *>(QStringLiteral("ProgressBar1"));
    EXPECT_EQ(progress->value(), 3);
    EXPECT_EQ(progress->maximum(), 3);
    EXPECT_FALSE(stop->isEnabled());
    EXPECT_TRUE(w.findChild<QToolButton *>(QStringLiteral("btnBuild"))->isEnabled());

    // The failed project's output, from the pop-up menu.
    pick(QStringLiteral("Bad"));
    w.findChild<QAction *>(QStringLiteral("mnuOutput"))->trigger();
    auto *output = w.findChild<QPlainTextEdit *>(QStringLiteral("OutputText"));
    ASSERT_NE(output, nullptr);
    EXPECT_TRUE(output->toPlainText().contains(QStringLiteral("Fatal: Compilation aborted")));
    EXPECT_TRUE(output->isVisible());

    // Only the selected project, built again.
    pick(QStringLiteral("Good"));
    click("btnBuild");
    ASSERT_TRUE(WaitUntil([&] { return !w.Building(); }));
    EXPECT_EQ(result(QStringLiteral("Good")), QStringLiteral("ok"));
    EXPECT_EQ(result(QStringLiteral("Bad")), QString());
    EXPECT_EQ(progress->maximum(), 1);

    FWindow.reset();
    EXPECT_EQ(groupBytes(), groups); // results are never written to proj.dat
}

TEST_F(ProjectsBuild, StopEndsTheBuildMidWayAndTheWindowStaysUsable)
{
    slowCompiler();
    const QByteArray groups = "G\r\n\tA;" + source(QStringLiteral("a.dpr")).toUtf8() + "\r\n\tB;"
        + source(QStringLiteral("b.dpr")).toUtf8() + "\r\n";
    writeGroups(groups);
    TFProyexp &w = open();
    pick(QStringLiteral("G"));
    click("btnBuild");
    const pid_t pid = compilerPid();
    EXPECT_TRUE(w.Building());
    EXPECT_EQ(result(QStringLiteral("A")), QStringLiteral("..."));
    // The window answers while the compiler runs.
    pick(QStringLiteral("B"));
    EXPECT_EQ(w.Selected(), node(QStringLiteral("B")));
    click("btnStop");
    EXPECT_TRUE(Reaped(pid));
    EXPECT_FALSE(w.Building());
    EXPECT_EQ(result(QStringLiteral("A")), QStringLiteral("stopped"));
    EXPECT_EQ(result(QStringLiteral("B")), QString());
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(result(QStringLiteral("B")), QString()); // not started after the stop
    EXPECT_TRUE(w.findChild<QToolButton *>(QStringLiteral("btnBuild"))->isEnabled());
}

TEST_F(ProjectsBuild, ClosingTheWindowMidBuildKillsTheCompilerAndSavesTheGroups)
{
    slowCompiler();
    const QByteArray groups = "G\r\n\tA;" + source(QStringLiteral("a.dpr")).toUtf8() + "\r\n";
    writeGroups(groups);
    TFProyexp &w = open();
    pick(QStringLiteral("G"));
    click("btnBuild");
    const pid_t pid = compilerPid();
    QTest::keyClick(w.Proyectos, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(Reaped(pid));
    FWindow.reset();
    WaitUntil([] { return false; }, 200); // no late signal reaches the gone window
    EXPECT_EQ(groupBytes(), groups);

    // Destroyed while building, without a close first.
    QFile::remove(FPidFile);
    open();
    pick(QStringLiteral("G"));
    click("btnBuild");
    const pid_t second = compilerPid();
    FWindow.reset();
    EXPECT_TRUE(Reaped(second));
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(groupBytes(), groups);
}

TEST_F(ProjectsBuild, AMissingProjectIsGreyedWithAHintAndKeptInTheFile)
{
    const QString here = source(QStringLiteral("here.dpr"));
    const QString gone = FDir.filePath(QStringLiteral("gone.dpr"));
    const QByteArray groups = "G\r\n\tHere;" + here.toUtf8() + "\r\n\tGone;" + gone.toUtf8() + "\r\n";
    writeGroups(groups);
    open();
    EXPECT_TRUE(greyed(QStringLiteral("Gone")));
    EXPECT_EQ(node(QStringLiteral("Gone"))->toolTip(0), QStringLiteral("Project file not found: ") + gone);
    EXPECT_FALSE(greyed(QStringLiteral("Here")));
    EXPECT_FALSE(greyed(QStringLiteral("G")));
    EXPECT_TRUE(node(QStringLiteral("Gone"))->flags() & Qt::ItemIsEnabled); // still selectable and deletable
    FWindow.reset();
    EXPECT_EQ(groupBytes(), groups);
}

TEST_F(ProjectsBuild, NothingSelectedOrNoCompilerSaysSoAndBuildsNothing)
{
    writeGroups("G\r\n\tA;" + source(QStringLiteral("a.dpr")).toUtf8() + "\r\n");
    FCompile = [](const QString &) { return QStringList(); };
    TFProyexp &w = open();
    w.Proyectos->clearSelection();
    click("btnBuild");
    pick(QStringLiteral("A"));
    click("btnBuild");
    EXPECT_EQ(dialogs.texts,
              (QStringList{QStringLiteral("Select a group or projects to build"),
                           QStringLiteral("No Pascal compiler was found: install Free Pascal (fpc) or put a dcc32 "
                                          "command on the PATH.")}));
    EXPECT_FALSE(w.Building());
}

TEST_F(ProjectsBuild, ALazarusGroupBecomesANewGroupAndWhatIsLeftOutIsListed)
{
    QDir().mkpath(FDir.filePath(QStringLiteral("lazarus/app")));
    source(QStringLiteral("lazarus/app/app.lpi"), "<CONFIG/>");
    const QString app = source(QStringLiteral("lazarus/app/app.lpr"));
    const QString lpg = source(QStringLiteral("lazarus/suite.lpg"), R"(<?xml version="1.0" encoding="UTF-8"?>
<CONFIG>
  <ProjectGroup FileVersion="2">
    <Targets Count="2">
      <Target1 FileName="app/app.lpi"/>
      <Target2 FileName="lost/lost.lpi"/>
    </Targets>
  </ProjectGroup>
</CONFIG>
)");
    writeGroups("Old\r\n");
    dialogs.answerFile(lpg);
    open();
    click("btnImport");
    ASSERT_NE(node(QStringLiteral("suite")), nullptr);
    EXPECT_EQ(node(QStringLiteral("app"))->parent(), node(QStringLiteral("suite")));
    EXPECT_EQ(dialogs.log.value(0).left(6), QStringLiteral("open: "));
    EXPECT_EQ(dialogs.lastFilter, QStringLiteral("Lazarus project groups (*.lpg)"));
    EXPECT_EQ(dialogs.texts.value(1), QStringLiteral("Not imported from ") + lpg
                                          + QStringLiteral(":\nlost/lost.lpi: not found"));
    FWindow.reset();
    EXPECT_EQ(groupBytes(), "Old\r\nsuite\r\n\tapp;" + app.toUtf8() + "\r\n");
}

} // namespace
