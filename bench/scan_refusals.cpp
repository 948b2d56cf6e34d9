// Units that are no regular files: a named pipe, a link to /dev/zero and a
// folder must be refused at once, and a 3 GB sparse unit (one line of zero
// bytes) scanned in bounded memory. Each scan runs in a child process, timed,
// with its peak resident size from getrusage (ru_maxrss); `wc -l` reading
// the sparse file is the peer, measured alike.
//
//   bench_scan_refusals [sparse size in MiB]   (default 3072)
#include "browser/BufferGrep.h"
#include "browser/EntitySearch.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct TRun {
    double Seconds = 0;
    long PeakKiB = 0;
    bool Finished = false; // false: killed after the time limit
    int Status = 0;
};

// Runs child() in a child process, killed after limitSeconds.
TRun InChild(const std::function<int()> &child, double limitSeconds)
{
    std::fflush(stdout);
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(child());
    TRun run;
    int status = 0;
    struct rusage usage {};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (done == pid) {
            run.Finished = WIFEXITED(status);
            run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (run.Seconds > limitSeconds) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            break;
        }
        usleep(1000);
    }
    run.PeakKiB = usage.ru_maxrss;
    return run;
}

// The browser's scan of one unit; exit status 0 when it ran to the end, 3
// when it was refused (its reason printed).
int Scan(const QString &path)
{
    TBufferGrep grep;
    ConfigureEntitySearch(grep);
    grep.FFileName = path;
    long lines = 0;
    grep.FOnProgress = [&](TBufferGrep *, int32_t) { ++lines; };
    grep.Search();
    if (!grep.FailureText().isEmpty()) {
        std::printf("    refused: %s\n", qPrintable(grep.FailureText()));
        std::fflush(stdout);
        return 3;
    }
    return 0;
}

int WcLines(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execlp("wc", "wc", "-l", file.constData(), static_cast<char *>(nullptr));
    return 127;
}

void Print(const char *what, const TRun &run)
{
    std::printf("  %-34s %8.3f s  peak %7.1f MiB  %s\n", what, run.Seconds, run.PeakKiB / 1024.0,
                run.Finished ? (run.Status == 3 ? "refused" : run.Status == 0 ? "scanned" : "failed")
                             : "KILLED after the time limit");
}

} // namespace

int main(int argc, char **argv)
{
    const qint64 sparseMiB = argc > 1 ? QByteArray(argv[1]).toLongLong() : 3072;
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("Pipe.pas"));
    const QString zero = dir.filePath(QStringLiteral("Zero.pas"));
    const QString folder = dir.filePath(QStringLiteral("Folder.pas"));
    const QString sparse = dir.filePath(QStringLiteral("Sparse.pas"));
    if (mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0 || !QFile::link(QStringLiteral("/dev/zero"), zero)
        || !QDir().mkdir(folder)) {
        std::fprintf(stderr, "cannot make the test units in %s\n", qPrintable(dir.path()));
        return 2;
    }
    {
        QFile f(sparse);
        if (!f.open(QIODevice::WriteOnly) || !f.resize(sparseMiB * 1024 * 1024)) {
            std::fprintf(stderr, "cannot make the sparse unit\n");
            return 2;
        }
    }

    bool ok = true;
    std::printf("refusals (bar: each refused within 1 s):\n");
    for (const auto &[what, path] : {std::pair{"named pipe", fifo}, std::pair{"link to /dev/zero", zero},
                                     std::pair{"folder", folder}}) {
        const TRun run = InChild([&path = path] { return Scan(path); }, 10);
        Print(what, run);
        ok &= run.Finished && run.Status == 3 && run.Seconds < 1;
    }

    std::printf("%lld MiB sparse unit (bar: scanned, peak under 64 MiB):\n", (long long)sparseMiB);
    // A fresh sparse file's pages are made on its first reading: both sides
    // read it warm.
    InChild([&] { return WcLines(sparse); }, 600);
    const TRun scan = InChild([&] { return Scan(sparse); }, 600);
    const TRun wc = InChild([&] { return WcLines(sparse); }, 600);
    Print("TBufferGrep", scan);
    Print("wc -l (peer)", wc);
    ok &= scan.Finished && scan.Status == 0 && scan.PeakKiB < 64 * 1024;
    std::printf("time scanner / wc -l: %.2f; peak memory scanner / wc -l: %.2f\n", scan.Seconds / wc.Seconds,
                double(scan.PeakKiB) / double(wc.PeakKiB));
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
