// Programs started without waiting (the help compiler, the desktop's "open",
// the help viewer), and the named shared memory block's refusals.
#include "HelpViewer.h"
#include "Process.h"
#include "SharedMemory.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class DetachedStart : public ::testing::Test {
protected:
    // A script that writes its pid, directory and arguments to out.
    QString Recorder(const QString &name)
    {
        const QString path = Dir.path() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nout=\"" + QFile::encodeName(Out) + "\"\n"
                "{ echo $$; pwd; for a in \"$@\"; do echo \"[$a]\"; done; } > \"$out.tmp\"\n"
                "/bin/mv \"$out.tmp\" \"$out\"\n");
        f.close();
        ::chmod(QFile::encodeName(path).constData(), 0755);
        return path;
    }
    // The recorder's lines, once it has run.
    QStringList Recorded()
    {
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(Out) && !deadline.hasExpired())
            QThread::msleep(10);
        QFile f(Out);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QTemporaryDir Dir;
    QString Out = Dir.path() + QStringLiteral("/recorded");
};

TEST_F(DetachedStart, RunsWithItsArgumentsAndIsNeverOurChild)
{
    const QString program = Recorder(QStringLiteral("tool"));
    QDir().mkpath(Dir.path() + QStringLiteral("/work dir"));
    ASSERT_EQ(StartDetached({program, QStringLiteral("/C"), QStringLiteral("a b.hpj")}, SW_HIDE,
                            Dir.path() + QStringLiteral("/work dir")),
              0);
    const QStringList lines = Recorded();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[1], Dir.path() + QStringLiteral("/work dir"));
    EXPECT_EQ(lines.mid(2), QStringList({QStringLiteral("[/C]"), QStringLiteral("[a b.hpj]")}));
    // Adopted by init: nothing is left for the host to reap.
    int status;
    EXPECT_EQ(::waitpid(pid_t(lines[0].toInt()), &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(DetachedStart, CommandLineSplitsAtBlanksAndFailuresGiveErrno)
{
    const QString program = Recorder(QStringLiteral("tool"));
    ASSERT_EQ(WinExec(program + QStringLiteral("  one two"), SW_SHOW), 0);
    EXPECT_EQ(Recorded().mid(2), QStringList({QStringLiteral("[one]"), QStringLiteral("[two]")}));

    EXPECT_EQ(StartDetached({Dir.path() + QStringLiteral("/missing")}, SW_SHOW), ENOENT);
    EXPECT_EQ(StartDetached({QStringLiteral("quorbel-no-such-command")}, SW_SHOW), ENOENT);
    QFile plain(Dir.path() + QStringLiteral("/plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(StartDetached({plain.fileName()}, SW_SHOW), EACCES);
    // A part of the path that is a file: the runner reports another text.
    EXPECT_EQ(StartDetached({plain.fileName() + QStringLiteral("/x")}, SW_SHOW), ENOTDIR);
    EXPECT_EQ(StartDetached({QStringLiteral("/etc/passwd/x")}, SW_SHOW), ENOTDIR);
    EXPECT_EQ(StartDetached({program}, SW_SHOW, Dir.path() + QStringLiteral("/no-dir")), ENOENT);
}

int OpenDescriptors()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    ::closedir(dir);
    return count;
}

TEST_F(DetachedStart, StartsThatRunOrFailGiveBackEveryDescriptor)
{
    const QString program = QStringLiteral("/bin/true");
    QFile notAProgram(Dir.path() + QStringLiteral("/text"));
    ASSERT_TRUE(notAProgram.open(QIODevice::WriteOnly));
    notAProgram.write("not a program\n");
    notAProgram.close();
    ::chmod(QFile::encodeName(notAProgram.fileName()).constData(), 0755);
    const QString noDir = Dir.path() + QStringLiteral("/no-dir");
    ASSERT_EQ(StartDetached({program}, SW_HIDE), 0); // whatever a first call opens for good

    const int before = OpenDescriptors();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(StartDetached({program}, i % 2 ? SW_HIDE : SW_SHOW), 0);
    EXPECT_EQ(OpenDescriptors(), before) << "200 detached starts";

    // Failures found in the started child come back through a pipe.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(StartDetached({notAProgram.fileName()}, SW_HIDE), ENOEXEC);
        ASSERT_EQ(StartDetached({program}, SW_HIDE, noDir), ENOENT);
    }
    EXPECT_EQ(OpenDescriptors(), before) << "failed detached starts";

    // The runner's starts: waited ones read the tool through a pipe.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(SpawnProcess({{program}, {}, true}).ExitStatus, 0);
        ASSERT_EQ(SpawnProcess({{program}, {}, false}).Error, 0);
        ASSERT_EQ(SpawnProcess({{notAProgram.fileName()}, {}, true}).Error, ENOEXEC);
        ASSERT_EQ(SpawnProcess({{program}, noDir, true}).Error, ENOENT);
    }
    EXPECT_EQ(OpenDescriptors(), before) << "runner starts";
}

TEST_F(DetachedStart, TheProgramGetsNoneOfTheHostsDescriptors)
{
    // Open without close-on-exec, as a database or socket might be.
    const int held = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(held, 3);
    const QString script = QStringLiteral("ls /proc/self/fd > '%1.tmp'; mv '%1.tmp' '%1'").arg(Out);
    ASSERT_EQ(StartDetached({QStringLiteral("/bin/sh"), QStringLiteral("-c"), script}, SW_HIDE), 0);
    // ls itself holds 3, the directory it lists.
    EXPECT_EQ(Recorded(), QStringList({"0", "1", "2", "3"}));
    ::close(held);
}

TEST(ProcessStart, APathThroughAFileIsNotADirectory)
{
    // The runner tells "Path was not found" from "File was not found" by this.
    EXPECT_EQ(SpawnProcess({{QStringLiteral("/etc/passwd/x")}, {}, true}).Error, ENOTDIR);
    EXPECT_EQ(SpawnProcess({{QStringLiteral("/etc/passwd/x")}, {}, false}).Error, ENOTDIR);
    EXPECT_EQ(SpawnProcess({{QStringLiteral("/nonexistent-dir/x")}, {}, true}).Error, ENOENT);
}

TEST_F(DetachedStart, ShellOpenGoesThroughXdgOpenAndSaysWhenItIsMissing)
{
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(Dir.path()));
    try {
        ShellOpen(QStringLiteral("/p/App.hlp"));
        ADD_FAILURE() << "no error without xdg-open";
    } catch (const Exception &e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("xdg-open is not installed"))) << e.what();
        EXPECT_TRUE(e.message().contains(QStringLiteral("/p/App.hlp")));
    }
    Recorder(QStringLiteral("xdg-open"));
    EXPECT_NO_THROW(ShellOpen(QStringLiteral("/p/App.hlp")));
    qputenv("PATH", savedPath);
    EXPECT_EQ(Recorded().mid(2), QStringList({QStringLiteral("[/p/App.hlp]")}));
}

// A watched start tells the program's exit status on the UI thread; the
// process that waits for it keeps none of the host's descriptors (a copy of
// a lock or a socket would outlive the host in it).
TEST_F(DetachedStart, AWatchedStartTellsTheExitAndHoldsNothingOfTheHost)
{
    int hostPipe[2];
    ASSERT_EQ(::pipe(hostPipe), 0); // inheritable on purpose
    QObject context;
    std::vector<int> ended;
    const QString done = Dir.path() + QStringLiteral("/done");
    ASSERT_EQ(StartWatched({QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                            QStringLiteral("sleep 2; touch '%1'; exit 3").arg(done)},
                           SW_HIDE, &context, [&](int status) { ended.push_back(status); }),
              0);
    ASSERT_EQ(StartWatched({QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("kill -9 $$")}, SW_HIDE,
                           &context, [&](int status) { ended.push_back(status); }),
              0);
    EXPECT_FALSE(QFile::exists(done)); // the call does not wait for the program
    ::close(hostPipe[1]);
    // Nobody but this process held the write end: end of file at once,
    // while the watched program still sleeps.
    pollfd fd{hostPipe[0], POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 500), 1);
    char byte;
    EXPECT_EQ(::read(hostPipe[0], &byte, 1), 0);
    ::close(hostPipe[0]);
    EXPECT_TRUE(ended.empty()); // never inside the call
    QDeadlineTimer deadline(10000);
    while (ended.size() < 2 && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_EQ(ended, (std::vector<int>{128 + 9, 3}));
    EXPECT_EQ(StartWatched({Dir.path() + QStringLiteral("/missing")}, SW_SHOW, &context, [](int) {}), ENOENT);
}

TEST_F(DetachedStart, HelpCallsStartTheViewerOrSayWhatIsMissing)
{
    const QString help = Dir.path() + QStringLiteral("/quorbel.hlp");
    const auto none = [](const QString &) { return QString(); };
    auto error = [&](const QString &file, const std::function<QString(const QString &)> &find) {
        try {
            WinHelp(file, HELP_CONTEXT, 42, find);
        } catch (const EHelpViewer &e) {
            return e.message();
        }
        return QStringLiteral("no error");
    };
    // A missing help file is named before any viewer is looked for.
    EXPECT_EQ(error(help, none), QStringLiteral("The help file %1 does not exist.").arg(help));
    EXPECT_TRUE(error(Dir.path(), none).startsWith(QStringLiteral("The help file"))); // a directory
    {
        QFile f(help);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    EXPECT_TRUE(error(help, none).startsWith(QStringLiteral("No help viewer is installed")));

    const QString viewer = Recorder(QStringLiteral("quorbel-help"));
    const auto found = [&](const QString &command) { return command == QStringLiteral("quorbel-help") ? viewer : QString(); };
    WinHelp(help, HELP_CONTEXTPOPUP, 60, found);
    EXPECT_EQ(Recorded().mid(2), QStringList({"[" + help + "]", QStringLiteral("[-popup]"), QStringLiteral("[60]")}));

    // QUORBEL_HELP_VIEWER comes before the installed viewer.
    const QString other = Recorder(QStringLiteral("other-viewer"));
    QFile::remove(Out);
    qputenv("QUORBEL_HELP_VIEWER", QFile::encodeName(other));
    WinHelp(help, HELP_CONTEXT, 42, none);
    qunsetenv("QUORBEL_HELP_VIEWER");
    EXPECT_EQ(Recorded().mid(2), QStringList({"[" + help + "]", QStringLiteral("[-context]"), QStringLiteral("[42]")}));
}

// A block made by hand, as another program (or user) would leave it.
class ForeignBlock : public ::testing::Test {
protected:
    void SetUp() override { Name = QStringLiteral("quorbel-test-%1-%2").arg(::getpid()).arg(++Counter); }
    void TearDown() override { UnlinkSharedMemory(Name); }
    int Make(mode_t mode)
    {
        const int fd = ::shm_open(SharedMemoryName(Name).constData(), O_RDWR | O_CREAT | O_EXCL, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::fchmod(fd, mode), 0);
        return fd;
    }
    QString Name;
    static inline int Counter = 0;
};

TEST_F(ForeignBlock, OneOpenToOthersIsRefusedAndKeepsItsSize)
{
    const int made = Make(0666);
    int fd = -1;
    QString reason;
    EXPECT_EQ(OpenSharedMemory(Name, 32000, fd, &reason), EPERM);
    EXPECT_EQ(fd, -1);
    EXPECT_TRUE(reason.endsWith(QStringLiteral("is open to other users"))) << reason.toStdString();
    struct stat info {};
    ::fstat(made, &info);
    EXPECT_EQ(info.st_size, 0); // not used: not even sized
    ::close(made);
}

TEST_F(ForeignBlock, AnotherUsersBlockIsRefused)
{
    // Handing a block to another user needs root; as any user, the block
    // open to others above is the refusal that can be set up.
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a block to another user; OneOpenToOthersIsRefused runs everywhere";
    const int made = Make(0600);
    ASSERT_EQ(::fchown(made, 65534, 65534), 0);
    int fd = -1;
    QString reason;
    EXPECT_EQ(OpenSharedMemory(Name, 32000, fd, &reason), EPERM);
    EXPECT_TRUE(reason.endsWith(QStringLiteral("belongs to another user"))) << reason.toStdString();
    ::close(made);
}

TEST_F(ForeignBlock, OurOwnBlockGrowsAndKeepsItsBytes)
{
    const int made = Make(0600);
    ASSERT_EQ(::write(made, "abc", 3), 3);
    int fd = -1;
    ASSERT_EQ(OpenSharedMemory(Name, 100, fd), 0);
    void *view = nullptr;
    ASSERT_EQ(MapSharedMemory(fd, 100, view), 0);
    EXPECT_EQ(QByteArray(static_cast<char *>(view), 4), QByteArray("abc\0", 4));
    EXPECT_EQ(UnmapSharedMemory(view, 100), 0);
    EXPECT_EQ(CloseSharedMemory(fd), 0);
    ::close(made);
}

} // namespace
