// What a user can put where a data file is expected: a pipe, a link to
// /dev/zero, a directory and a 3 GB sparse file, each given as Quorbel.dat
// (TMacrosFiler::Load), as proj.dat (TProjectGroups::LoadFromFile) and, when
// the host is built, as a project's .dpr (qide::ProjectFiles). Each must be
// refused with a readable message within a second, without reading it: peak
// memory stays within 64 MiB of what the process held before.
#include "macros/MacrosFiler.h"
#include "projects/ProjectGroups.h"

#include "Exception.h"

#if QUORBEL_BENCH_HOST
#include "ProjectFile.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

constexpr double BarMs = 1000.0;
constexpr long BarKiB = 64 * 1024;

long PeakKiB()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool Make(const QString &kind, const QString &path)
{
    if (kind == QLatin1String("pipe"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("/dev/zero link"))
        return QFile::link(QStringLiteral("/dev/zero"), path);
    if (kind == QLatin1String("directory"))
        return QDir().mkdir(path);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(qint64(3) << 30);
}

// Runs a load that must fail; prints its message, time and peak memory.
bool Refused(const char *kind, const char *reader, long baseKiB, const std::function<void()> &load)
{
    QString message = QStringLiteral("<no error: the file was read>");
    QElapsedTimer timer;
    timer.start();
    bool refused = false;
    try {
        load();
    } catch (const Exception &e) {
        message = e.message();
        refused = true;
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    const long peak = PeakKiB();
    const bool met = refused && ms < BarMs && peak - baseKiB < BarKiB;
    std::printf("%-15s %-12s %8.3f ms  peak RSS %7ld KiB (+%ld)  %s\n    %s\n", kind, reader, ms,
                peak, peak - baseKiB, met ? "met" : "MISSED",
                message.replace(QLatin1Char('\n'), QLatin1String(" | ")).toUtf8().constData());
    return met;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    if (!root.isValid())
        return 2;
    const long base = PeakKiB();
    std::printf("bars: refused with a message, under %.0f ms, peak RSS under +%ld KiB "
                "(before: %ld KiB)\n",
                BarMs, BarKiB, base);
    bool ok = true;
    for (const char *kind : {"pipe", "/dev/zero link", "directory", "3 GB sparse"}) {
        // One directory per kind, as the data directory of the add-in.
        const QString dir = root.path() + QLatin1Char('/') + QString::number(qHash(QString::fromLatin1(kind)));
        QDir().mkdir(dir);
        for (const char *name : {"Quorbel.dat", "proj.dat", "Project1.dpr"}) {
            if (!Make(QString::fromLatin1(kind), dir + QLatin1Char('/') + QLatin1String(name))) {
                std::printf("cannot make %s as %s\n", kind, name);
                return 2;
            }
        }
        TAddinServices services;
        services.DataDir = dir;
        ok &= Refused(kind, "Quorbel.dat", base, [&] {
            TMacrosFiler store(services);
            store.Load();
        });
        ok &= Refused(kind, "proj.dat", base, [&] {
            TProjectGroups groups;
            groups.LoadFromFile(dir + QStringLiteral("/proj.dat"));
        });
#if QUORBEL_BENCH_HOST
        ok &= Refused(kind, ".dpr", base, [&] { qide::ProjectFiles(dir + QStringLiteral("/Project1.dpr")); });
#endif
    }
#if !QUORBEL_BENCH_HOST
    std::printf("(.dpr not measured: the host is not built)\n");
#endif
    return ok ? 0 : 1;
}
