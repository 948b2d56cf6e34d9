// The browser's filter and the project-wide jump in quorbel-ide with the
// real libquorbel.so, driven by a script on the offscreen platform.
#include "IdeHome.h"

namespace {

using e2e::TIdeRun;

class BrowserJumpEndToEnd : public e2e::TIdeHome {
protected:
    void SetUp() override
    {
        TIdeHome::SetUp();
        if (HasFatalFailure())
            return;
        const QString from = QStringLiteral(QUORBEL_SOURCE_DIR "/examples/demo");
        QDir().mkpath(home.filePath(QStringLiteral("demo")));
        for (const QString &name : QDir(from).entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(from + QLatin1Char('/') + name, home.filePath(QStringLiteral("demo/") + name)));
        demo = home.filePath(QStringLiteral("demo/Demo.dpr"));
        ASSERT_EQ(run({QStringLiteral("--register-addin"), addin}).exitCode, 0);
    }

    static QString EditorLine(const TIdeRun &r)
    {
        QString last;
        for (const QString &l : r.log)
            if (l.startsWith(QStringLiteral("editor ")))
                last = l;
        return last;
    }

    QString demo;
};

} // namespace

// Typed ahead and Enter at once, before the scans have reported: the unit
// opens at the heading's line as soon as the routine is found.
TEST_F(BrowserJumpEndToEnd, GoToRoutineOpensTheUnitAtTheHeadingsLine)
{
    const QString shapes = home.filePath(QStringLiteral("demo/Shapes.pas"));
    const TIdeRun r = script({QStringLiteral("open ") + demo, QStringLiteral("dump-menus"),
                          QStringLiteral("modal text edFilter TShape.Describe"), QStringLiteral("modal key Return"),
                          QStringLiteral("key Ctrl+Alt+G"), QStringLiteral("dump-editor")});
    ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString() << r.log.join('\n').toStdString();
    EXPECT_TRUE(r.log.filter(QStringLiteral("IdeGotoRoutine")).value(0).contains(QStringLiteral("Ctrl+Alt+G")))
        << r.log.join('\n').toStdString();
    EXPECT_TRUE(r.log.contains(QStringLiteral("modal-open TFGotoRoutine FGotoRoutine"))) << r.log.join('\n').toStdString();
    const QString editor = EditorLine(r);
    EXPECT_TRUE(editor.startsWith(QStringLiteral("editor cursor=72:1 "))) << editor.toStdString();
    EXPECT_TRUE(editor.endsWith(QStringLiteral("file=") + shapes)) << editor.toStdString();
}

// A routine typed into a unit the browser lists, then saved: the tab
// rescans, and the filter finds the new routine at its line.
TEST_F(BrowserJumpEndToEnd, ARoutineSavedInTheEditorIsFoundByTheBrowsersFilter)
{
    const QString shapes = home.filePath(QStringLiteral("demo/Shapes.pas"));
    const TIdeRun r = script({QStringLiteral("open ") + demo, QStringLiteral("open ") + shapes,
                          QStringLiteral("click IdeExpt2"), QStringLiteral("wait 300"),
                          QStringLiteral("cursor 57 1"), QStringLiteral("type procedure TShape.Zap; begin end;"),
                          QStringLiteral("cursor 1 1"), QStringLiteral("save"), QStringLiteral("wait 500"),
                          QStringLiteral("fill edFilter zap"), QStringLiteral("key Return"),
                          QStringLiteral("wait 100"), QStringLiteral("dump-editor")});
    ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString() << r.log.join('\n').toStdString();
    EXPECT_TRUE(r.log.contains(QStringLiteral("notify 12 ") + shapes)) << r.log.join('\n').toStdString();
    const QString editor = EditorLine(r);
    EXPECT_TRUE(editor.startsWith(QStringLiteral("editor cursor=57:1 "))) << r.log.join(u'\n').toStdString();
}
