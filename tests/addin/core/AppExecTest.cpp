// The tool runner against real programs: command lines split at blanks,
// the child's working directory, waiting, what a tool prints, and every way
// a start can fail.
#include "core/appexec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class AppExecTest : public ::testing::Test {
protected:
    // An executable shell script in the temporary directory.
    QString Script(const QString &name, const QByteArray &body, bool executable = true) const
    {
        const QString path = FDir.path() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(body);
        f.close();
        if (executable)
            ::chmod(QFile::encodeName(path).constData(), 0755);
        return path;
    }
    QByteArray Read(const QString &name) const
    {
        QFile f(FDir.path() + QLatin1Char('/') + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("<missing>");
    }
    QTemporaryDir FDir;
};

TEST(AppExecProperties, InitialValuesShowCommandsAndPathRule)
{
    TAppExec exec;
    EXPECT_EQ(exec.ErrNo(), -1);
    EXPECT_EQ(exec.ErrorText(), QStringLiteral("No execution"));
    EXPECT_TRUE(exec.ChangeDir());
    EXPECT_FALSE(exec.Wait());
    EXPECT_EQ(exec.ShowCommand(), 1);
    const std::pair<TMyWindowState, int> shows[] = {{TMyWindowState::wsHide, 0},
                                                     {TMyWindowState::wsMaximized, 3},
                                                     {TMyWindowState::wsMinimized, 2},
                                                     {TMyWindowState::wsNormal, 1}};
    for (const auto &[state, show] : shows) {
        exec.SetWindowState(state);
        EXPECT_EQ(exec.ShowCommand(), show);
    }
    const std::pair<const char *, const char *> paths[] = {
        {"/tools/", "/tools"}, {"/", "/"}, {"/tools", "/tools"}, {"", ""}, {"rel/", "rel"}};
    for (const auto &[given, stored] : paths) {
        exec.SetExePath(QString::fromLatin1(given));
        EXPECT_EQ(exec.ExePath(), QString::fromLatin1(stored)) << given;
    }
    exec.SetExeName(QStringLiteral("brcc32.exe"));
    exec.ExeParams() << QStringLiteral("a.rc") << QStringLiteral("-r");
    EXPECT_EQ(exec.CommandLine(), QStringLiteral("brcc32.exe a.rc -r"));
}

TEST_F(AppExecTest, WaitedRunStartsInExePathWithBlankSplitArgumentsAndKeepsItsOutput)
{
    const QString tool = Script(QStringLiteral("tool"),
                                "#!/bin/sh\n"
                                "pwd > ran.txt\n"
                                "echo \"$#:$1|$2|$3\"\n"
                                "echo 'line two' >&2\n"
                                "exit 3\n");
    const QString hostDir = QDir::currentPath();
    TAppExec exec;
    exec.SetExeName(tool);
    exec.SetExePath(FDir.path() + QLatin1Char('/'));
    exec.SetWait(true);
    exec.ExeParams() << QStringLiteral("version.rc -r") << QStringLiteral("x");
    exec.Execute();
    EXPECT_EQ(exec.ErrNo(), 0);
    EXPECT_EQ(Read(QStringLiteral("ran.txt")), QFile::encodeName(FDir.path()));
    EXPECT_EQ(QDir::currentPath(), hostDir); // the host keeps its own directory
    EXPECT_EQ(exec.ExitStatus(), 3);
    EXPECT_EQ(exec.LastOutputLines(), QStringLiteral("3:version.rc|-r|x\nline two"));
    EXPECT_EQ(exec.LastOutputLines(1), QStringLiteral("line two"));
}

TEST_F(AppExecTest, ProgramUnderADirectoryWithABlankRunsAndArgumentsStayWhole)
{
    ASSERT_TRUE(QDir().mkpath(FDir.path() + QStringLiteral("/My Apps/bin")));
    const QString tool = Script(QStringLiteral("My Apps/bin/brcc32"), "#!/bin/sh\necho \"$#:$1|$2|$3\"\n");
    TAppExec exec;
    exec.SetExeName(tool);
    exec.SetWait(true);
    exec.ExeParams() << QStringLiteral("version.rc  -r");
    exec.ExeArguments() << QStringLiteral("US Engty.rc");
    exec.Execute();
    EXPECT_EQ(exec.ErrNo(), 0);
    EXPECT_EQ(exec.Output().trimmed(), QStringLiteral("3:version.rc|-r|US Engty.rc"));
    EXPECT_EQ(exec.CommandLine(), tool + QStringLiteral(" version.rc  -r US Engty.rc"));
}

TEST_F(AppExecTest, LongCommandLineIsRunWhole)
{
    const QString tool = Script(QStringLiteral("tool"), "#!/bin/sh\necho \"$@\"\n");
    const QString longArgument(600, QLatin1Char('a'));
    TAppExec exec;
    exec.SetExeName(tool);
    exec.SetWait(true);
    exec.ExeParams() << longArgument << QStringLiteral("end");
    exec.Execute();
    EXPECT_EQ(exec.Output().trimmed(), longArgument + QStringLiteral(" end"));
}

TEST_F(AppExecTest, WaitBlocksUntilTheEndAndNoWaitReturnsAtOnce)
{
    const QString tool = Script(QStringLiteral("tool"), "#!/bin/sh\nsleep 0.3\ntouch \"$1\"\n");
    TAppExec exec;
    exec.SetExeName(tool);
    exec.SetExePath(FDir.path());
    exec.SetWait(true);
    exec.ExeParams() << QStringLiteral("waited");
    exec.Execute();
    EXPECT_EQ(Read(QStringLiteral("waited")), QByteArray());

    exec.SetWait(false);
    exec.ExeParams() = QStringList{QStringLiteral("detached")};
    exec.Execute();
    EXPECT_EQ(exec.ErrNo(), 0);
    EXPECT_EQ(Read(QStringLiteral("detached")), QByteArray("<missing>"));
    // It does run, on its own.
    for (int i = 0; i < 100 && Read(QStringLiteral("detached")) == "<missing>"; ++i)
        ::usleep(50000);
    EXPECT_EQ(Read(QStringLiteral("detached")), QByteArray());
}

TEST_F(AppExecTest, ToolThatLeavesABackgroundChildDoesNotKeepTheCallerWaiting)
{
    // The background sleep holds the output pipe open long after the tool ended.
    const QString tool = Script(QStringLiteral("tool"), "#!/bin/sh\nsleep 20 &\necho done\n");
    TAppExec exec;
    exec.SetExeName(tool);
    exec.SetWait(true);
    const auto started = std::chrono::steady_clock::now();
    exec.Execute();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(exec.Output().trimmed(), QStringLiteral("done"));
}

TEST_F(AppExecTest, StartFailuresRaiseWithTheTableOrTheSystemsWords)
{
    const QString plain = Script(QStringLiteral("plain"), "#!/bin/sh\n", false);
    const QString noShebang = Script(QStringLiteral("noshebang"), "echo hi\n");
    const struct {
        QString program;
        int code;
        QString text;
    } cases[] = {
        {FDir.path() + QStringLiteral("/missing"), 2, QStringLiteral("File was not found")},
        // A part of the path is a file, not a directory.
        {plain + QStringLiteral("/brcc32"), 3, QStringLiteral("Path was not found")},
        {QStringLiteral("/etc/passwd/x"), 3, QStringLiteral("Path was not found")},
        {QStringLiteral("quorbel-no-such-command"), 2, QStringLiteral("File was not found")},
        {plain, 5,
         QStringLiteral("Attempt was made to dynamically link to a task, or there was a sharing "
                        "or network-protection error")},
        // 193 would read "No error": the system says what went wrong.
        {noShebang, 193, QStringLiteral("Exec format error")},
        {FDir.path(), 5, QString()}, // a directory cannot be run
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.program.toStdString());
        TAppExec exec;
        exec.SetExeName(c.program);
        exec.SetWait(true);
        try {
            exec.Execute();
            ADD_FAILURE() << "started";
        } catch (const EAppExecWinExec &e) {
            EXPECT_EQ(exec.ErrNo(), c.code);
            // The table's text, then which program could not be started.
            EXPECT_EQ(e.message(), exec.ErrorText() + QLatin1Char('\n') + c.program);
            if (!c.text.isEmpty()) {
                EXPECT_EQ(exec.ErrorText().toStdString(), c.text.toStdString());
            }
        }
    }
}

TEST_F(AppExecTest, MissingWorkingDirectoryStartsNothing)
{
    const QString tool = Script(QStringLiteral("tool"), "#!/bin/sh\ntouch started\n");
    TAppExec exec;
    exec.SetExeName(tool);
    exec.SetExePath(FDir.path() + QStringLiteral("/nowhere"));
    exec.SetWait(true);
    EXPECT_THROW(exec.Execute(), EAppExecChDir);
    EXPECT_EQ(exec.ErrNo(), -1);
    // Without ChangeDir the directory is not used, and the run goes ahead.
    exec.SetChangeDir(false);
    EXPECT_NO_THROW(exec.Execute());
    EXPECT_EQ(exec.ErrNo(), 0);
    EXPECT_FALSE(QFile::exists(FDir.path() + QStringLiteral("/nowhere/started")));
    QFile::remove(QDir::current().filePath(QStringLiteral("started")));
}

} // namespace
