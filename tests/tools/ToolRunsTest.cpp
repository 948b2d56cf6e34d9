// brcc32 and dcc32 run their outside tools the same way: whatever way a tool
// fails, the command leaves neither a temporary file nor an output from an
// earlier run, and a .res appears with a new file's permissions.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct TRun {
    int exitCode = -1;
    QString errors;
};

// Started in dir, as a user would from a shell; variable=value when given.
TRun runCommand(const char *command, const QString &dir, const QStringList &args, const QString &variable = {},
                const QString &value = {})
{
    QProcess p;
    p.setProgram(QString::fromUtf8(command));
    p.setArguments(args);
    p.setWorkingDirectory(dir);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!variable.isEmpty())
        env.insert(variable, value);
    p.setProcessEnvironment(env);
    p.start();
    EXPECT_TRUE(p.waitForFinished(60000)) << command << " did not finish";
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardError())};
}

class ToolRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        ASSERT_TRUE(QDir(FDir.path()).mkpath("sub"));
        ASSERT_TRUE(QDir(FDir.path()).mkpath("tools"));
        // Tools named by a path relative to where the command starts, while
        // they run in the output's directory (sub).
        tool("silent", "#!/bin/sh\nexit 0\n", true);
        tool("killed", "#!/bin/sh\nkill -9 $$\n", true);
        tool("plain", "#!/bin/sh\nexit 0\n", false);
        write("sub/x.rc", "STRINGTABLE\r\n{\r\n 1, \"uno\"\r\n}\r\n");
        write("sub/B.dpr", "Library B;\r\nuses WinProcs;\r\n{$R B}\r\nbegin\r\nend.\r\n");
        write("sub/B.rc", "STRINGTABLE\r\n{\r\n 2, \"dos\"\r\n}\r\n");
        const TRun res = runCommand(QUORBEL_BRCC32, FDir.path(), {"sub/B.rc"});
        ASSERT_EQ(res.exitCode, 0) << res.errors.toStdString();
        write("new", "");
    }
    // name is relative to the test's directory.
    QString path(const QString &name) const { return FDir.path() + '/' + name; }
    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void tool(const QString &name, const QByteArray &script, bool executable) const
    {
        write("tools/" + name, script);
        QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
        if (executable)
            mode |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
        ASSERT_TRUE(QFile::setPermissions(path("tools/" + name), mode));
    }
    // What is in sub besides the inputs, hidden files included.
    QStringList outputs() const
    {
        QStringList names = QDir(path("sub")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const char *input : {"x.rc", "B.dpr", "B.rc", "B.res"})
            names.removeAll(QString::fromLatin1(input));
        return names;
    }
    QTemporaryDir FDir;
};

TEST_F(ToolRuns, AFailingToolLeavesNoTemporaryFileAndNoOldOutput)
{
    const struct {
        const char *command;
        QString project, output, variable, tool;
        int code;
        QString message;
    } cases[] = {
        {QUORBEL_BRCC32, "sub/x.rc", "sub/x.res", "QUORBEL_WINDRES", "tools/silent", 1,
         "brcc32: " + path("tools/silent") + " reported success but wrote no resource file"},
        {QUORBEL_BRCC32, "sub/x.rc", "sub/x.res", "QUORBEL_WINDRES", "tools/killed", 1,
         "brcc32: cannot compile sub/x.rc (" + path("tools/killed") + " exited with status 137)"},
        {QUORBEL_BRCC32, "sub/x.rc", "sub/x.res", "QUORBEL_WINDRES", "tools/plain", 126,
         "brcc32: cannot run " + path("tools/plain") + ": "},
        {QUORBEL_DCC32, "sub/B.dpr", "sub/B.dll", "QUORBEL_LD", "tools/silent", 1,
         "dcc32: " + path("tools/silent") + " reported success but wrote no library"},
        {QUORBEL_DCC32, "sub/B.dpr", "sub/B.dll", "QUORBEL_WINDRES", "tools/killed", 1,
         "dcc32: " + path("tools/killed") + " exited with status 137"},
        {QUORBEL_DCC32, "sub/B.dpr", "sub/B.dll", "QUORBEL_LD", "tools/killed", 1,
         "dcc32: " + path("tools/killed") + " exited with status 137"},
        {QUORBEL_DCC32, "sub/B.dpr", "sub/B.dll", "QUORBEL_LD", "tools/plain", 126,
         "dcc32: cannot run " + path("tools/plain") + ": "},
    };
    for (const auto &c : cases) {
        const std::string what = (c.project + " with " + c.variable + "=" + c.tool).toStdString();
        write(c.output, "built earlier");
        const TRun run = runCommand(c.command, FDir.path(), {c.project}, c.variable, c.tool);
        EXPECT_EQ(run.exitCode, c.code) << what << ": " << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(c.message)) << what << ": " << run.errors.toStdString();
        EXPECT_EQ(outputs(), QStringList()) << what;
    }
}

// The output's name taken by a directory: the rename fails, and so does the
// removal of the old output, each saying why.
TEST_F(ToolRuns, AnOutputThatCannotBeReplacedIsToldWithItsReason)
{
    const struct {
        const char *command;
        QString project, output, shown; // shown: the output as the command names it
    } cases[] = {
        {QUORBEL_BRCC32, "sub/x.rc", "sub/x.res", "sub/x.res"},
        {QUORBEL_DCC32, "sub/B.dpr", "sub/B.dll", path("sub/B.dll")},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(QDir(path(c.output)).mkpath("inside"));
        const TRun run = runCommand(c.command, FDir.path(), {c.project});
        EXPECT_EQ(run.exitCode, 1) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains("cannot write " + c.shown + ": ")) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains("cannot remove the old " + c.shown + ": ")) << run.errors.toStdString();
        EXPECT_EQ(outputs(), QStringList{QFileInfo(c.output).fileName()});
        EXPECT_TRUE(QFileInfo(path(c.output + "/inside")).isDir());
        ASSERT_TRUE(QDir(path("sub")).rmpath(QFileInfo(c.output).fileName() + "/inside"));
    }
}

// windres writes into the temporary file it is given, so the .res keeps
// that file's permissions (ld makes its library afresh).
TEST_F(ToolRuns, AResGetsTheUsualPermissionsOfANewFile)
{
    const TRun run = runCommand(QUORBEL_BRCC32, FDir.path(), {"sub/x.rc"});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(QFileInfo(path("sub/x.res")).permissions(), QFileInfo(path("new")).permissions());
    EXPECT_EQ(outputs(), QStringList{"x.res"});
}

} // namespace
