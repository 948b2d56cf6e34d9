// Building a group's projects with Free Pascal, one after the other.
#include "projects/GroupBuild.h"

#include "Process.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

namespace {

const char *StateName(TBuildState state)
{
    switch (state) {
    case TBuildState::Waiting: return "waiting";
    case TBuildState::Building: return "building";
    case TBuildState::Ok: return "ok";
    case TBuildState::Failed: return "failed";
    case TBuildState::NotFound: return "not found";
    case TBuildState::Stopped: return "stopped";
    }
    return "?";
}

class GroupBuild : public ::testing::Test {
protected:
    QString write(const QString &name, const QByteArray &text) const
    {
        const QString path = FDir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }
    // Follows a build: "index:state" per change, "end" when it finished.
    void follow(TGroupBuild &build)
    {
        build.Changed = [this, &build](int i) {
            events << QStringLiteral("%1:%2").arg(i).arg(QLatin1String(StateName(build.Result(i).State)));
        };
        build.Finished = [this] { events << QStringLiteral("end"); };
    }
    QTemporaryDir FDir;
    QStringList events;
};

TEST_F(GroupBuild, ThreeFreePascalProjectsAreBuiltInTurnInTheirOwnDirectories)
{
    if (QStandardPaths::findExecutable(QStringLiteral("fpc")).isEmpty())
        GTEST_SKIP() << "Free Pascal (fpc) is not installed";
    const QString good = write(QStringLiteral("good.dpr"), "program Good;\nbegin\n  WriteLn('hi');\nend.\n");
    const QString bad = write(QStringLiteral("bad.dpr"), "program Bad;\nbegin\n  Undefined := 1;\nend.\n");
    const QString gone = FDir.filePath(QStringLiteral("gone.dpr"));
    TGroupBuild build({good, bad, gone}, [](const QString &p) { return PascalCompileCommand(p, false); });
    follow(build);
    build.Start();
    ASSERT_TRUE(WaitUntil([&] { return !build.Running(); }));
    EXPECT_EQ(events, (QStringList{"0:building", "0:ok", "1:building", "1:failed", "2:not found", "end"}));
    EXPECT_EQ(build.Result(1).FirstError, QStringLiteral("bad.dpr(3,3) Error: Identifier not found \"Undefined\""));
    EXPECT_TRUE(build.Result(1).Output.contains(QStringLiteral("Fatal: Compilation aborted")));
    EXPECT_TRUE(build.Result(0).Output.contains(QStringLiteral("Compiling good.dpr")));
    EXPECT_TRUE(QFile::exists(FDir.filePath(QStringLiteral("good")))); // built where the project is
    EXPECT_EQ(build.DoneCount(), 3);
}

TEST_F(GroupBuild, StopKillsTheRunningCompileAndLeavesTheRestWaiting)
{
    const QString pidFile = FDir.filePath(QStringLiteral("cc.pid"));
    const QString a = write(QStringLiteral("a.dpr"), "program a; begin end.\n");
    const QString b = write(QStringLiteral("b.dpr"), "program b; begin end.\n");
    // A compiler that takes its time.
    TGroupBuild build({a, b}, [&](const QString &) {
        return QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                           QStringLiteral("echo $$ > \"$0\"; exec sleep 30"), pidFile};
    });
    follow(build);
    build.Start();
    ASSERT_TRUE(WaitUntil([&] { return QFile(pidFile).size() > 0; }));
    QFile file(pidFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const pid_t pid = file.readAll().trimmed().toInt();
    build.Stop();
    EXPECT_FALSE(build.Running());
    errno = 0;
    EXPECT_EQ(::kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    WaitUntil([] { return false; }, 200); // nothing comes late
    EXPECT_EQ(events, (QStringList{"0:building", "0:stopped", "end"}));
    EXPECT_EQ(build.Result(1).State, TBuildState::Waiting);
}

TEST_F(GroupBuild, NoCompilerFailsEveryFoundProjectWithTheReason)
{
    const QString a = write(QStringLiteral("a.dpr"), "program a; begin end.\n");
    TGroupBuild build({a, FDir.filePath(QStringLiteral("b.dpr"))}, [](const QString &) { return QStringList(); });
    follow(build);
    build.Start();
    EXPECT_EQ(events, (QStringList{"0:failed", "1:not found", "end"}));
    EXPECT_TRUE(build.Result(0).FirstError.startsWith(QStringLiteral("No Pascal compiler was found")));
}

TEST(GroupBuildOutput, TheFirstErrorLineIsTheCompilersFirstComplaint)
{
    const auto first = [](const char *output, int status = 1) {
        return TGroupBuild::FirstErrorLine(QString::fromUtf8(output), status).toStdString();
    };
    // Free Pascal's summary lines come after the real error.
    EXPECT_EQ(first("Compiling error.dpr\r\nerror.dpr(3,3) Error: Identifier not found \"x\"\r\n"
                    "error.dpr(5) Fatal: There were 1 errors compiling module, stopping\r\n"
                    "Error: /usr/bin/ppcx64 returned an error exitcode\r\n"),
              "error.dpr(3,3) Error: Identifier not found \"x\"");
    EXPECT_EQ(first("Compiling a.dpr\nFatal: Can't find unit Missing used by a\n"),
              "Fatal: Can't find unit Missing used by a");
    EXPECT_EQ(first("checking\nlink ERROR in pass 2\ndone\n"), "link ERROR in pass 2");
    EXPECT_EQ(first("one\n  last words  \n\n"), "last words");
    EXPECT_EQ(first("", 139), "exit status 139");
}

} // namespace
