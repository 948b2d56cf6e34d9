#include "Process.h"

#include "CodePage.h"
#include "Exception.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <utility>
#include <vector>

extern char **environ;

namespace {

// What a failed compile printed last is what the user needs; the rest goes.
constexpr qsizetype KeptOutputBytes = 64 * 1024;

std::mutex detachedLock;
std::vector<pid_t> detached;

void ReapDetached()
{
    std::lock_guard<std::mutex> lock(detachedLock);
    std::erase_if(detached, [](pid_t pid) {
        int status;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        return done == pid || (done < 0 && errno == ECHILD);
    });
}

int StatusCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&FActions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&FActions); }
    posix_spawn_file_actions_t *get() { return &FActions; }

private:
    posix_spawn_file_actions_t FActions;
};

// Reads what the child prints until it has ended and the pipe is drained.
// The exit is watched too: a grandchild that keeps the pipe open must not
// keep the caller waiting after the tool itself has ended.
int CollectAndWait(pid_t pid, int readEnd, QByteArray &kept)
{
    char buffer[16384];
    const auto keep = [&](ssize_t got) {
        kept.append(buffer, got);
        if (kept.size() > 2 * KeptOutputBytes)
            kept.remove(0, kept.size() - KeptOutputBytes);
    };
    int status = 0;
    for (;;) {
        pollfd fd{readEnd, POLLIN, 0};
        const int ready = ::poll(&fd, 1, 100);
        if (ready > 0) {
            const ssize_t got = ::read(readEnd, buffer, sizeof buffer);
            if (got > 0) {
                keep(got);
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            break; // end of output: only the exit is left
        }
        if (ready < 0 && errno != EINTR)
            break;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            // Ended; take what is already in the pipe without waiting for
            // writers the tool may have left behind.
            ::fcntl(readEnd, F_SETFL, ::fcntl(readEnd, F_GETFL) | O_NONBLOCK);
            ssize_t got;
            while ((got = ::read(readEnd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
                if (got > 0)
                    keep(got);
            return status;
        }
    }
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

TSpawnResult SpawnProcess(const TSpawnRequest &request)
{
    ReapDetached();
    TSpawnResult result;
    if (request.Arguments.isEmpty() || request.Arguments.first().isEmpty()) {
        result.Error = ENOENT;
        return result;
    }
    std::vector<QByteArray> encoded;
    encoded.reserve(size_t(request.Arguments.size()));
    for (const QString &argument : request.Arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeEnds[2] = {-1, -1};
    if (request.Wait && ::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        result.Error = errno;
        return result;
    }
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    if (request.Wait) {
        ::posix_spawn_file_actions_adddup2(actions.get(), pipeEnds[1], 1);
        ::posix_spawn_file_actions_adddup2(actions.get(), pipeEnds[1], 2);
    } else {
        // Nobody reads a detached tool's output: it joins the host's stderr.
        ::posix_spawn_file_actions_adddup2(actions.get(), 2, 1);
    }
    // The host's other descriptors (sockets, databases) are not the tool's.
    ::posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
    const QByteArray dir = QFile::encodeName(request.WorkingDir);
    if (!request.WorkingDir.isEmpty())
        ::posix_spawn_file_actions_addchdir_np(actions.get(), dir.constData());

    pid_t pid = -1;
    const int error =
        ::posix_spawnp(&pid, argv.front(), actions.get(), nullptr, argv.data(), environ);
    if (request.Wait)
        ::close(pipeEnds[1]);
    if (error != 0) {
        if (request.Wait)
            ::close(pipeEnds[0]);
        result.Error = error;
        return result;
    }
    if (!request.Wait) {
        std::lock_guard<std::mutex> lock(detachedLock);
        detached.push_back(pid);
        return result;
    }
    QByteArray kept;
    const int status = CollectAndWait(pid, pipeEnds[0], kept);
    ::close(pipeEnds[0]);
    if (kept.size() > KeptOutputBytes)
        kept.remove(0, kept.size() - KeptOutputBytes);
    result.ExitStatus = StatusCode(status);
    result.Output = DecodeText(kept);
    return result;
}

QString SystemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int CheckDirectory(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat info;
    if (::stat(local.constData(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    if (::access(local.constData(), X_OK) != 0)
        return errno;
    return 0;
}

QStringList ToolSearchDirs()
{
    QStringList dirs;
    if (QCoreApplication::instance())
        dirs << QCoreApplication::applicationDirPath();
    const QByteArray path = qgetenv("PATH");
    for (const QByteArray &dir : path.split(':'))
        if (!dir.isEmpty())
            dirs << QFile::decodeName(dir);
    return dirs;
}

QString FindCommand(const QString &name, const QStringList &dirs)
{
    for (const QString &dir : dirs) {
        const QFileInfo info(dir + QLatin1Char('/') + name);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

namespace {

// The executable execvp would run for name, looked up before forking: the
// forked child may call only async-signal-safe functions.
QByteArray ResolveProgram(const QString &name, int &error)
{
    error = 0;
    if (name.contains(QLatin1Char('/'))) {
        // Absolute: the child may change its directory before the exec.
        const QByteArray local = QFile::encodeName(QFileInfo(name).absoluteFilePath());
        if (::access(local.constData(), X_OK) != 0)
            error = errno;
        return local;
    }
    const QByteArray path = qgetenv("PATH");
    error = ENOENT;
    for (const QByteArray &dir : path.split(':')) {
        const QByteArray candidate = (dir.isEmpty() ? QByteArray(".") : dir) + '/' + QFile::encodeName(name);
        struct stat info;
        if (::stat(candidate.constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        if (::access(candidate.constData(), X_OK) == 0) {
            error = 0;
            return candidate;
        }
        error = EACCES;
    }
    return {};
}

} // namespace

namespace {

// StartDetached; with exitRead, a watcher process, not the host's child
// either, waits for the program and writes its wait status to a pipe whose
// read end *exitRead receives.
int Detach(const QStringList &arguments, int showCommand, const QString &workingDir, int *exitRead)
{
    if (arguments.isEmpty() || arguments.first().isEmpty())
        return ENOENT;
    int error = 0;
    const QByteArray program = ResolveProgram(arguments.first(), error);
    if (error != 0)
        return error;
    std::vector<QByteArray> encoded;
    for (const QString &argument : arguments)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &argument : encoded)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    const QByteArray dir = QFile::encodeName(workingDir);
    const bool hidden = showCommand == SW_HIDE;

    // The grandchild reports a failed exec through this pipe; a successful
    // exec closes it empty.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    int exited[2] = {-1, -1};
    if (exitRead && ::pipe2(exited, O_CLOEXEC) != 0) {
        const int pipeError = errno;
        ::close(report[0]);
        ::close(report[1]);
        return pipeError;
    }
    const auto closeExited = [&] {
        for (int &fd : exited)
            if (fd >= 0)
                ::close(std::exchange(fd, -1));
    };
    const pid_t middle = ::fork();
    if (middle < 0) {
        const int forkError = errno;
        ::close(report[0]);
        ::close(report[1]);
        closeExited();
        return forkError;
    }
    if (middle == 0) {
        // Only async-signal-safe calls from here on.
        ::setsid();
        const pid_t child = ::fork();
        if (child != 0)
            ::_exit(child < 0 ? 1 : 0); // the program is adopted by init
        if (exitRead) {
            const pid_t program = ::fork();
            if (program < 0) {
                const int forkError = errno;
                (void)!::write(report[1], &forkError, sizeof forkError);
                ::_exit(127);
            }
            if (program > 0) {
                // The watcher keeps nothing of the host's but the exit pipe:
                // no copy of a socket or a lock outlives the host in it.
                if (::dup2(exited[1], 3) < 0)
                    ::_exit(127);
                ::closefrom(4);
                int status = 0;
                while (::waitpid(program, &status, 0) < 0)
                    if (errno != EINTR)
                        ::_exit(127);
                (void)!::write(3, &status, sizeof status);
                ::_exit(0);
            }
        }
        // The report pipe goes to descriptor 3, the host's others are closed.
        int failure = 0;
        if (::dup2(report[1], 3) < 0 || ::fcntl(3, F_SETFD, FD_CLOEXEC) < 0)
            ::_exit(127);
        ::closefrom(4);
        const int null = ::open("/dev/null", O_RDWR);
        if (null < 0 || ::dup2(null, 0) < 0 || (hidden && (::dup2(null, 1) < 0 || ::dup2(null, 2) < 0))
            || (!hidden && ::dup2(2, 1) < 0))
            failure = errno;
        if (null > 3)
            ::close(null);
        if (!failure && !dir.isEmpty() && ::chdir(dir.constData()) != 0)
            failure = errno;
        if (!failure) {
            ::execve(program.constData(), argv.data(), environ);
            failure = errno;
        }
        (void)!::write(3, &failure, sizeof failure);
        ::_exit(127);
    }
    ::close(report[1]);
    if (exitRead)
        ::close(std::exchange(exited[1], -1));
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int failure = 0;
    ssize_t got;
    while ((got = ::read(report[0], &failure, sizeof failure)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    int result = 0;
    if (got == sizeof failure)
        result = failure;
    else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        result = EAGAIN; // the second fork failed
    if (exitRead && result == 0)
        *exitRead = std::exchange(exited[0], -1);
    closeExited();
    return result;
}

// Hands the program's end to the UI thread.
class TExitWatch : public QObject {
public:
    TExitWatch(int fd, QObject *context, std::function<void(int)> ended)
        : QObject(context), FFd(fd), FEnded(std::move(ended)), FNotifier(fd, QSocketNotifier::Read, this)
    {
        connect(&FNotifier, &QSocketNotifier::activated, this, &TExitWatch::Read);
    }
    ~TExitWatch() override { ::close(FFd); }

private:
    void Read()
    {
        FNotifier.setEnabled(false);
        int status = 0;
        ssize_t got;
        while ((got = ::read(FFd, &status, sizeof status)) < 0 && errno == EINTR) {
        }
        // Nothing to read: the watcher was killed, nobody knows how it went.
        if (got == sizeof status)
            FEnded(StatusCode(status));
        deleteLater();
    }

    int FFd;
    std::function<void(int)> FEnded;
    QSocketNotifier FNotifier;
};

} // namespace

int StartDetached(const QStringList &arguments, int showCommand, const QString &workingDir)
{
    return Detach(arguments, showCommand, workingDir, nullptr);
}

int StartWatched(const QStringList &arguments, int showCommand, QObject *context,
                 std::function<void(int exitStatus)> ended)
{
    int fd = -1;
    const int error = Detach(arguments, showCommand, {}, &fd);
    if (error == 0)
        new TExitWatch(fd, context ? context : QCoreApplication::instance(), std::move(ended));
    return error;
}

int WinExec(const QString &commandLine, int showCommand)
{
    return StartDetached(commandLine.split(QLatin1Char(' '), Qt::SkipEmptyParts), showCommand);
}

void ShellOpen(const QString &path, QObject *context, std::function<void(int exitStatus)> failed)
{
    const QStringList arguments{QStringLiteral("xdg-open"), path};
    int error;
    if (failed)
        error = StartWatched(arguments, SW_SHOW, context, [failed = std::move(failed)](int status) {
            if (status != 0)
                failed(status);
        });
    else
        error = StartDetached(arguments, SW_SHOW);
    if (error == ENOENT)
        throw Exception(QStringLiteral("Cannot open %1: xdg-open is not installed (package xdg-utils).").arg(path));
    if (error != 0)
        throw Exception(QStringLiteral("Cannot open %1: xdg-open could not be started: %2.")
                            .arg(path, SystemErrorText(error)));
}
