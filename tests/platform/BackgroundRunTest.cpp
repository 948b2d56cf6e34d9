// A tool run in the background on the caller's thread: its end heard from
// the event loop, its output bounded, a kill that reaps.
#include "Process.h"
#include "WaitUntil.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

namespace {

struct Ending {
    int calls = 0;
    int status = -99;
    QString output;
    TBackgroundRun::TEnded callback()
    {
        return [this](int s, const QString &o) {
            ++calls;
            status = s;
            output = o;
        };
    }
};

TEST(BackgroundRun, KeepsTheHeadAndTailOfALongOutputAndTellsTheStatus)
{
    TBackgroundRun run;
    Ending end;
    // 400 KB between the first and the last line, stderr merged in.
    run.Start({QStringLiteral("/bin/sh"), QStringLiteral("-c"),
               QStringLiteral("echo FIRST; head -c 400000 /dev/zero | tr '\\0' x; echo; echo LAST >&2; exit 3")},
              {}, end.callback());
    EXPECT_TRUE(run.Running());
    ASSERT_TRUE(WaitUntil([&] { return end.calls > 0; }));
    EXPECT_EQ(end.status, 3);
    EXPECT_TRUE(end.output.startsWith(QStringLiteral("FIRST\n")));
    EXPECT_TRUE(end.output.endsWith(QStringLiteral("LAST\n")));
    EXPECT_LE(end.output.size(), 3 * TBackgroundRun::KeptHeadBytes + 16);
    EXPECT_FALSE(run.Running());
}

TEST(BackgroundRun, AProgramThatCannotStartIsToldFromTheEventLoop)
{
    TBackgroundRun run;
    Ending end;
    run.Start({QStringLiteral("/nonexistent/compiler")}, {}, end.callback());
    EXPECT_EQ(end.calls, 0); // never from Start: the caller is not ready for it
    ASSERT_TRUE(WaitUntil([&] { return end.calls > 0; }));
    EXPECT_EQ(end.status, -1);
    EXPECT_FALSE(end.output.isEmpty());
    QCoreApplication::processEvents();
    EXPECT_EQ(end.calls, 1);
}

// Killed or destroyed mid-run: the child is gone, no zombie left (a zombie
// still answers kill 0), and the end is never told.
TEST(BackgroundRun, KillAndDestructionReapTheChildWithoutATale)
{
    QTemporaryDir dir;
    for (const bool destroy : {false, true}) {
        const QString pidFile = dir.filePath(destroy ? QStringLiteral("d.pid") : QStringLiteral("k.pid"));
        Ending end;
        auto run = std::make_unique<TBackgroundRun>();
        run->Start({QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("echo $$ > \"$0\"; exec sleep 30"),
                    pidFile},
                   dir.path(), end.callback());
        ASSERT_TRUE(WaitUntil([&] { return QFile(pidFile).size() > 0; }));
        QFile file(pidFile);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const pid_t pid = file.readAll().trimmed().toInt();
        ASSERT_GT(pid, 0);
        if (destroy)
            run.reset();
        else
            run->Kill();
        errno = 0;
        EXPECT_EQ(::kill(pid, 0), -1) << (destroy ? "destroyed" : "killed");
        EXPECT_EQ(errno, ESRCH);
        WaitUntil([] { return false; }, 200);
        EXPECT_EQ(end.calls, 0);
    }
}

} // namespace
