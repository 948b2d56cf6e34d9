// The browser's filter and the project-wide jump in quorbel-ide with the
// real libquorbel.so, driven by a script on the offscreen platform.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString BuildDir()
{
    const QString fromEnv = qEnvironmentVariable("QUORBEL_BUILD_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath();
}

class BrowserJumpEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ide = BuildDir() + QStringLiteral("/bin/quorbel-ide");
        const QString built = BuildDir() + QStringLiteral("/lib/libquorbel.so");
        ASSERT_TRUE(QFile::exists(ide)) << ide.toStdString();
        ASSERT_TRUE(QFile::exists(built)) << built.toStdString();
        ASSERT_TRUE(home.isValid());
        QDir(home.path()).mkpath(QStringLiteral("lib"));
        addin = home.filePath(QStringLiteral("lib/libquorbel.so"));
        ASSERT_TRUE(QFile::copy(built, addin));
        QDir(home.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const QString from = QStringLiteral(QUORBEL_SOURCE_DIR "/examples/demo");
        QDir().mkpath(home.filePath(QStringLiteral("demo")));
        for (const QString &name : QDir(from).entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(from + QLatin1Char('/') + name, home.filePath(QStringLiteral("demo/") + name)));
        demo = home.filePath(QStringLiteral("demo/Demo.dpr"));
        ASSERT_EQ(run({QStringLiteral("--register-addin"), addin}).exitCode(), 0);
    }

    struct Run {
        int code = -1;
        QStringList log;
        QString errors;
        int exitCode() const { return code; }
    };

    Run run(const QStringList &args) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QUORBEL_REGISTRY"), home.filePath(QStringLiteral("registry.ini")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("share")));
        env.insert(QStringLiteral("TEMP"), home.path());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(ide, args);
        Run r;
        if (!p.waitForStarted() || !p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            r.errors = QStringLiteral("did not finish");
            return r;
        }
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.log = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        r.errors = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    Run script(const QStringList &lines) const
    {
        const QString file = home.filePath(QStringLiteral("script.txt"));
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(lines.join(QLatin1Char('\n')).toUtf8());
        f.close();
        return run({QStringLiteral("--script"), file});
    }

    static QString EditorLine(const Run &r)
    {
        QString last;
        for (const QString &l : r.log)
            if (l.startsWith(QStringLiteral("editor ")))
                last = l;
        return last;
    }

    QTemporaryDir home;
    QString ide;
    QString addin;
    QString demo;
};

} // namespace

// Typed ahead and Enter at once, before the scans have reported: the unit
// opens at the heading's line as soon as the routine is found.
TEST_F(BrowserJumpEndToEnd, GoToRoutineOpensTheUnitAtTheHeadingsLine)
{
    const QString shapes = home.filePath(QStringLiteral("demo/Shapes.pas"));
    const Run r = script({QStringLiteral("open ") + demo, QStringLiteral("dump-menus"),
                          QStringLiteral("modal text edFilter TShape.Describe"), QStringLiteral("modal key Return"),
                          QStringLiteral("key Ctrl+Alt+G"), QStringLiteral("dump-editor")});
    ASSERT_EQ(r.code, 0) << r.errors.toStdString() << r.log.join('\n').toStdString();
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
    const Run r = script({QStringLiteral("open ") + demo, QStringLiteral("open ") + shapes,
                          QStringLiteral("click IdeExpt2"), QStringLiteral("wait 300"),
                          QStringLiteral("cursor 57 1"), QStringLiteral("type procedure TShape.Zap; begin end;"),
                          QStringLiteral("cursor 1 1"), QStringLiteral("save"), QStringLiteral("wait 500"),
                          QStringLiteral("fill edFilter zap"), QStringLiteral("key Return"),
                          QStringLiteral("wait 100"), QStringLiteral("dump-editor")});
    ASSERT_EQ(r.code, 0) << r.errors.toStdString() << r.log.join('\n').toStdString();
    EXPECT_TRUE(r.log.contains(QStringLiteral("notify 12 ") + shapes)) << r.log.join('\n').toStdString();
    const QString editor = EditorLine(r);
    EXPECT_TRUE(editor.startsWith(QStringLiteral("editor cursor=57:1 "))) << r.log.join(u'\n').toStdString();
}
