#include "Process.h"

#include "CodePage.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
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
