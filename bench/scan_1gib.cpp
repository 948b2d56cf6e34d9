// Peak memory of the declaration scanner on a generated 1 GiB Pascal unit:
// the scan runs in a child process, whose peak resident size (VmHWM) must
// stay under 32 MiB. grep -c on the same file is measured alike, as a peer.
//
//   bench_scan_1gib [size in MiB]   (default 1024)
#include "browser/BufferGrep.h"
#include "browser/EntitySearch.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr double MiB = 1024.0 * 1024.0;

// VmHWM of this process, in KiB.
long PeakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

bool Generate(const QString &path, qint64 bytes, long &routines)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk = "unit Huge;\r\n\r\ninterface\r\n\r\nuses SysUtils;\r\n\r\n"
                       "procedure Declared(X: Integer);\r\n\r\nimplementation\r\n\r\n";
    qint64 written = 0;
    routines = 0;
    char line[512];
    while (written + chunk.size() < bytes) {
        const int n = std::snprintf(
            line, sizeof line,
            "procedure TUnitObject.Method%07ld(const AValue: Integer; var AResult: string);\r\n"
            "var\r\n  I: Integer;\r\nbegin\r\n  for I := 0 to AValue do\r\n"
            "    AResult := AResult + IntToStr(I); { function call }\r\nend;\r\n\r\n",
            routines++);
        chunk.append(line, n);
        if (chunk.size() >= 4 << 20) {
            if (out.write(chunk) != chunk.size())
                return false;
            written += chunk.size();
            chunk.clear();
        }
    }
    chunk += "end.\r\n";
    return out.write(chunk) == chunk.size();
}

// The child: one scan with the browser's settings and its hit handler work.
int ScanChild(const char *path)
{
    const long before = PeakKiB();
    TBufferGrep grep;
    ConfigureEntitySearch(grep);
    grep.FFileName = QString::fromLocal8Bit(path);
    long entities = 0;
    int32_t shown = -1;
    grep.FOnProgress = [&](TBufferGrep *, int32_t value) {
        value = std::clamp(value, 0, 100);
        if (value != shown)
            shown = value;
    };
    grep.FOnFound = [&](void *, const QString &, int32_t &, const QString &text) {
        QString name;
        if (ExtractEntityName(text, name) && !name.isEmpty())
            ++entities;
    };
    const auto t0 = std::chrono::steady_clock::now();
    grep.Search();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const long after = PeakKiB();
    std::printf("child: %ld entities in %.2f s; VmHWM before scan %.1f MiB, after %.1f MiB "
                "(the scan added %.1f MiB)\n",
                entities, seconds, before / 1024.0, after / 1024.0, (after - before) / 1024.0);
    std::fflush(stdout);
    return entities > 0 ? 0 : 3;
}

// Runs argv in a child and returns its peak resident size in KiB.
long ChildPeakKiB(const std::vector<std::string> &args, int *status)
{
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        if (std::strcmp(argv[1], "--scan") != 0) {
            // The peer's count is of no interest here.
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    struct rusage usage{};
    wait4(pid, status, 0, &usage);
    return usage.ru_maxrss; // KiB on Linux
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--scan") == 0)
        return ScanChild(argv[2]);

    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Huge.pas");
    long routines = 0;
    if (!Generate(path, mib << 20, routines)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 2;
    }
    const qint64 size = QFile(path).size();
    std::printf("generated %s: %.0f MiB, %ld routines\n", qPrintable(path), size / MiB, routines);
    std::fflush(stdout);

    int status = 0;
    const long ours = ChildPeakKiB({QCoreApplication::applicationFilePath().toStdString(), "--scan",
                                    path.toStdString()},
                                   &status);
    const bool scanned = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const long peer = ChildPeakKiB({"grep", "-ciE", "procedure|function|constructor|destructor",
                                    path.toStdString()},
                                   &status);
    QFile::remove(path);

    const double limit = 32 * 1024;
    std::printf("peak resident size of the scan: %.1f MiB (bar: < 32 MiB)\n", ours / 1024.0);
    std::printf("peak resident size of grep -c:  %.1f MiB\n", peer / 1024.0);
    std::printf("ratio to the 32 MiB budget: %.2f  %s\n", ours / limit,
                scanned && ours < limit ? "PASS" : "FAIL");
    return scanned && ours < limit ? 0 : 1;
}
