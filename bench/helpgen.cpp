// Help generation for a table of 20,000 topics (200 top-level topics, three
// levels): the map file, the help project and the document, with the index on
// parent that the subtopic query runs on, next to the same generation on the
// same topics in a table made without that index (what the index buys).
#include "core/DM.h"
#include "helpeditor/HelpGen.h"

#include "SafeFile.h"
#include "support/HelpBenchTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Runs = 5;
using namespace helpbench;

// Median (or the single time, for one run) in milliseconds; the document's
// size goes to bytes.
double Time(const QString &dir, const QString &project, int runs, qint64 &bytes)
{
    TSYS data;
    data.Table2.DatabaseName = dir;
    data.Table2.Open();
    data.Query1.DatabaseName = dir;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(dir + QStringLiteral("/App.hpj"));
        QElapsedTimer timer;
        timer.start();
        THelpGenerator generator(data, AtomicFileWriter(), project);
        generator.WriteMapFile();
        generator.WriteHelpProject();
        generator.WriteDocument();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        bytes = QFileInfo(generator.Files().Document).size();
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    const QString indexed = root.path() + QStringLiteral("/indexed/HLP");
    const QString plain = root.path() + QStringLiteral("/plain/HLP");
    if (!MakeTable(indexed, true) || !MakeTable(plain, false)) {
        std::fprintf(stderr, "FAILED: could not fill the tables\n");
        return 1;
    }
    const int topics = Topics;
    qint64 withBytes = 0, withoutBytes = 0;
    const double with = Time(indexed, root.path() + QStringLiteral("/indexed/App.dpr"), Runs, withBytes);
    // Quadratic without the index: one run is enough to see it.
    const double without = Time(plain, root.path() + QStringLiteral("/plain/App.dpr"), 1, withoutBytes);
    if (withBytes != withoutBytes) {
        std::fprintf(stderr, "FAILED: the two documents differ in size (%lld, %lld)\n", qlonglong(withBytes),
                     qlonglong(withoutBytes));
        return 1;
    }
    std::printf("help generation, %d topics (%d top-level, three levels), document %.1f MB\n", topics, TopLevel,
                double(withBytes) / 1e6);
    std::printf("  with the parent index:    %9.1f ms (median of %d; goal < 2000 ms: %s)\n", with, Runs,
                with < 2000 ? "met" : "MISSED");
    std::printf("  without the parent index: %9.1f ms (one run)\n", without);
    std::printf("  ratio without / with:     %9.1f x\n", without / with);
    return 0;
}
