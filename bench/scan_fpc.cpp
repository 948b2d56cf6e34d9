// Throughput of the declaration scanner on the Free Pascal sources, against
// universal-ctags (the bar: at least 5x) and grep (printed, the median of
// paired rounds) on the same file list, warm cache, one thread.
// Every run is a child process of this program, the scanner's too.
//
//   bench_scan_fpc [source dir]   (default /usr/share/fpcsrc)
//   SCAN_ROUNDS=n: paired rounds (default 15); SCAN_ONLY=n: only the scanner,
//   n runs, for profiling.
#include "browser/BufferGrep.h"
#include "browser/EntitySearch.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(const std::function<void()> &run)
{
    const auto t0 = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Best(int runs, const std::function<void()> &run)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, Seconds(run));
    return best;
}

struct ScanTotals {
    long hits = 0;
    long entities = 0;
};

// One thread, each file scanned with the browser's settings (start word
// "implementation", the four heading words, no end word). The handlers count
// the hits and hold the progress to 0..100 as the browser's do; with names,
// the hit handler also does the browser's name extraction into a QString.
ScanTotals ScanAll(const QStringList &files, bool names)
{
    ScanTotals totals;
    for (const QString &file : files) {
        TBufferGrep grep;
        ConfigureEntitySearch(grep);
        grep.FFileName = file;
        int32_t shown = -1;
        grep.FOnProgress = [&](TBufferGrep *, int32_t value) {
            value = std::clamp(value, 0, 100);
            if (value != shown)
                shown = value;
        };
        if (names) {
            grep.FOnFound = [&](void *, const QString &, int32_t &, const QString &text) {
                ++totals.hits;
                QString name;
                if (ExtractEntityName(text, name)
                    && std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() > 32; }))
                    ++totals.entities;
            };
        } else {
            grep.FOnFound = [&](void *, const QString &, int32_t &, const QString &) { ++totals.hits; };
        }
        grep.Search();
    }
    return totals;
}

// Runs the scan in a child process, as the peers run, so that both meet the
// machine's scheduler alike (the child is forked: it pays no start-up).
void ScanInChild(const QStringList &files, bool names)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        ScanAll(files, names);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the scan failed\n");
        std::exit(2);
    }
}

// Runs program with the files appended, batched as xargs does (command
// lines of at most 128 KiB), one process at a time.
void RunPeer(const QString &program, const QStringList &args, const QStringList &files)
{
    constexpr qsizetype Limit = 128 * 1024;
    qsizetype i = 0;
    while (i < files.size()) {
        QStringList batch = args;
        qsizetype size = program.size() + 1;
        for (const QString &a : args)
            size += a.size() + 1;
        while (i < files.size() && (batch.size() == args.size() || size + files[i].size() + 1 <= Limit)) {
            size += files[i].size() + 1;
            batch << files[i++];
        }
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        p.start(program, batch);
        if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit) {
            std::fprintf(stderr, "%s failed\n", qPrintable(program));
            std::exit(2);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString root = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                  : QStringLiteral("/usr/share/fpcsrc");
    QStringList files;
    qint64 bytes = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        if (f.endsWith(QLatin1String(".pas")) || f.endsWith(QLatin1String(".pp"))) {
            files << f;
            bytes += QFileInfo(f).size();
        }
    }
    files.sort();
    if (files.isEmpty()) {
        std::fprintf(stderr, "no .pas/.pp files under %s (package fpc-source)\n", qPrintable(root));
        return 2;
    }
    const double mb = double(bytes) / 1e6;
    std::printf("%lld files, %.1f MB under %s\n", (long long)files.size(), mb, qPrintable(root));

    const QStringList grepArgs = {QStringLiteral("-ciE"),
                                  QStringLiteral("procedure|function|constructor|destructor")};
    const QStringList ctagsArgs = {QStringLiteral("-x"), QStringLiteral("--languages=Pascal")};

    // Warm the cache and every program once.
    const ScanTotals totals = ScanAll(files, true);
    RunPeer(QStringLiteral("grep"), grepArgs, files);
    if (qEnvironmentVariableIsSet("SCAN_ONLY")) {
        // Only the scanner, for profiling: SCAN_ONLY=runs.
        std::printf("best %.3f s\n", Best(std::max(1, qEnvironmentVariableIntValue("SCAN_ONLY")),
                                           [&] { ScanAll(files, false); }));
        return 0;
    }

    // Rounds of one run each, the order turning; a busy moment of the machine
    // hits the runs of a round alike, so each round gives a ratio and the
    // median ratio decides. Best times are printed as well.
    const int rounds = qEnvironmentVariableIntValue("SCAN_ROUNDS") > 0
        ? qEnvironmentVariableIntValue("SCAN_ROUNDS") : 15;
    std::vector<double> scanTimes, namedTimes, grepTimes, ctagsTimes;
    std::vector<double> scanVsGrep, namedVsGrep;
    auto runScan = [&] { return Seconds([&] { ScanInChild(files, false); }); };
    auto runNamed = [&] { return Seconds([&] { ScanInChild(files, true); }); };
    auto runGrep = [&] { return Seconds([&] { RunPeer(QStringLiteral("grep"), grepArgs, files); }); };
    for (int r = 0; r < rounds; ++r) {
        double t[3] = {1, 1, 1};
        for (int k = 0; k < 3; ++k) {
            switch ((r + k) % 3) {
            case 0: t[0] = runScan(); break;
            case 1: t[1] = runNamed(); break;
            default: t[2] = runGrep(); break;
            }
        }
        scanTimes.push_back(t[0]);
        namedTimes.push_back(t[1]);
        grepTimes.push_back(t[2]);
        scanVsGrep.push_back(t[2] / t[0]);
        namedVsGrep.push_back(t[2] / t[1]);
    }
    for (int r = 0; r < 3; ++r)
        ctagsTimes.push_back(Seconds([&] { RunPeer(QStringLiteral("ctags"), ctagsArgs, files); }));

    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
    auto line = [&](const char *what, const std::vector<double> &v) {
        std::printf("%-34s %7.3f s  %7.1f MB/s   median %7.3f s\n", what, best(v), mb / best(v), median(v));
    };
    std::printf("hits: %ld, routines named: %ld\n", totals.hits, totals.entities);
    std::printf("best of %d runs:\n", rounds);
    line("TBufferGrep (counting the hits)", scanTimes);
    line("TBufferGrep + browser name work", namedTimes);
    line("grep -ciE", grepTimes);
    line("ctags -x --languages=Pascal", ctagsTimes);
    const double vsCtags = median(ctagsTimes) / median(scanTimes);
    const double namedVsCtags = median(ctagsTimes) / median(namedTimes);
    const double vsGrep = median(scanVsGrep);
    const double namedGrep = median(namedVsGrep);
    std::printf("scanner vs ctags (median times):   %5.2fx (bar: >= 5)  %s\n", vsCtags,
                vsCtags >= 5 ? "PASS" : "FAIL");
    std::printf("scanner vs grep (median of %d rounds): %5.2fx (no bar)\n", rounds, vsGrep);
    std::printf("with the browser's name work: %.2fx ctags, %.2fx grep\n", namedVsCtags, namedGrep);
    return vsCtags >= 5 ? 0 : 1;
}
