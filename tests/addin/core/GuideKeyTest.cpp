// F1 in each tool window opens its page of the add-in's guide: the viewer
// is a recorder found as quorbel-help, given the guide beside the data files.
#include "ScriptedDialogs.h"
#include "TestServices.h"

#include "core/DM.h"
#include "core/GuideKey.h"
#include "expert/QuorbelExpert.h"
#include "browser/FbrwFun.h"
#include "helpeditor/FAyuda.h"
#include "ipc/FTracew.h"
#include "language/FSEdit.h"
#include "language/FSLang.h"
#include "language/lbrowse.h"
#include "macros/FEditMac.h"
#include "macros/FMacros.h"
#include "projects/Fprojects.h"
#include "version/verdlg.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString BuiltGuide()
{
    QString build = qEnvironmentVariable("QUORBEL_BUILD_DIR");
    if (build.isEmpty())
        build = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    return QDir(build).absoluteFilePath(QStringLiteral("lib/quorbel.hlp"));
}

class GuideKey : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        Guide = Dir.filePath(QStringLiteral("quorbel.hlp"));
        ASSERT_TRUE(QFile::copy(BuiltGuide(), Guide)) << BuiltGuide().toStdString();
        const QString viewer = Dir.filePath(QStringLiteral("quorbel-help"));
        QFile f(viewer);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\necho \"$*\" >> '" + QFile::encodeName(Record) + "'\n");
        f.close();
        ::chmod(QFile::encodeName(viewer).constData(), 0755);
        Services = TestServices();
        Services.DataDir = Dir.path();
        Services.FindTool = [viewer](const QString &command) {
            return command == QLatin1String("quorbel-help") ? viewer : QString();
        };
    }
    // F1 on the named control of window; the page the viewer was asked for
    // (0: none within the wait).
    int F1(QWidget *window, const char *control = nullptr, int waitMs = 10000)
    {
        QWidget *target = window;
        if (control)
            target = window->findChild<QWidget *>(QLatin1String(control));
        EXPECT_TRUE(target) << control;
        if (!target)
            return 0;
        const qsizetype before = Lines().size();
        QTest::keyClick(target, Qt::Key_F1);
        QDeadlineTimer deadline(waitMs);
        while (Lines().size() == before && !deadline.hasExpired())
            QThread::msleep(10);
        const QStringList lines = Lines();
        if (lines.size() == before)
            return 0;
        EXPECT_EQ(lines.size(), before + 1);
        const QStringList words = lines.last().split(QLatin1Char(' '));
        EXPECT_EQ(words.value(0), Guide);
        EXPECT_EQ(words.value(1), QStringLiteral("-context"));
        return words.value(2).toInt();
    }
    QStringList Lines() const
    {
        QFile f(Record);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir Dir;
    QString Guide;
    QString Record = Dir.filePath(QStringLiteral("viewer.log"));
    TAddinServices Services;
    ScriptedDialogs Dialogs;
};

// Every page F1 opens is in the built guide.
TEST_F(GuideKey, EveryToolsPageIsInTheGuide)
{
    QFile f(Guide);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray html = f.readAll();
    for (quint32 page : {GuideMacros, GuideEntityBrowser, GuideProjectGroups, GuideVersionResource,
                         GuideStringTable, GuideHelpEditor, GuideTraceWindow})
        EXPECT_TRUE(html.contains("<a id=\"map-" + QByteArray::number(page) + "\">")) << page;
}

// The windows the expert keeps, as the commands show them.
TEST_F(GuideKey, TheLongLivedWindowsOpenTheirPages)
{
    auto *expert = new TQuorbelExpert(Services);
    EXPECT_EQ(F1(expert->Fdlg, "PageControl1"), int(GuideEntityBrowser));
    EXPECT_EQ(F1(expert->Ldlg, "DB3DGrid1"), int(GuideStringTable));
    EXPECT_EQ(F1(expert->Ldlg), int(GuideStringTable));
    EXPECT_EQ(F1(expert->Tdlg, "ListBox1"), int(GuideTraceWindow));
    EXPECT_EQ(F1(expert->Adlg, "TreeView1"), int(GuideHelpEditor));
    {
        // The string table's dialogs have no page of their own.
        TSetLang languages(expert->Ldlg);
        EXPECT_EQ(F1(&languages, "Button1"), int(GuideStringTable));
        TDlgEdit edit(expert->Ldlg, &SYS->DataSource1, Dialogs);
        EXPECT_EQ(F1(&edit, "DBEdit1"), int(GuideStringTable));
    }
    expert->Release();
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join('|').toStdString();
}

TEST_F(GuideKey, TheCommandsDialogsOpenTheirPages)
{
    {
        TFMacrosForm macros(nullptr, Services);
        EXPECT_EQ(F1(&macros, "ListBox1"), int(GuideMacros));
        TFEditMacro editor(&macros);
        EXPECT_EQ(F1(&editor, "Memo1"), int(GuideMacros));
    }
    {
        TFProyexp projects(nullptr, Services);
        EXPECT_EQ(F1(&projects, "Proyectos"), int(GuideProjectGroups));
    }
    {
        TFverDlg version(nullptr, Services);
        EXPECT_EQ(F1(&version, "Button1"), int(GuideVersionResource));
    }
    // A window of someone else's, and another key: left alone.
    QWidget other;
    EXPECT_EQ(F1(&other, nullptr, 300), 0);
    TFMacrosForm macros(nullptr, Services);
    QTest::keyClick(&macros, Qt::Key_F1, Qt::ShiftModifier);
    QThread::msleep(300);
    EXPECT_EQ(Lines().size(), 4);
    // (The forms' own notices of their missing data files aside.)
    EXPECT_TRUE(Dialogs.log.filter(QStringLiteral("help")).isEmpty()) << Dialogs.log.join('|').toStdString();
}

// With the guide gone the user is told which file is missing.
TEST_F(GuideKey, AMissingGuideIsNamed)
{
    ASSERT_TRUE(QFile::remove(Guide));
    TFMacrosForm macros(nullptr, Services);
    Dialogs.log.clear();
    EXPECT_EQ(F1(&macros, "ListBox1", 300), 0);
    ASSERT_EQ(Dialogs.log.size(), 1);
    EXPECT_TRUE(Dialogs.log.first().contains(Guide)) << Dialogs.log.first().toStdString();
}

} // namespace
