// hcw on the help editor's 20,000-topic project: reading the project, the
// map file and the document, and writing the help file, next to the floor
// of any compiler of that document: reading the same bytes and finding its
// pages. Then quorbel-help opening the written file at its contents page
// (offscreen), next to a browser widget given the whole file.
#include "HelpCompiler.h"
#include "HelpProject.h"
#include "RtfReader.h"

#include "HelpViewerWindow.h"

#include "helpeditor/HelpGen.h"

#include "SafeFile.h"
#include "support/BenchTiming.h"
#include "support/HelpBenchTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextBrowser>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Runs = 5;

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root;
    const QString hlp = root.path() + QStringLiteral("/HLP");
    if (!helpbench::MakeTable(hlp, true)) {
        std::fprintf(stderr, "FAILED: could not fill the table\n");
        return 1;
    }
    THelpFiles files;
    {
        TSYS data;
        data.Table2.DatabaseName = hlp;
        data.Table2.Open();
        data.Query1.DatabaseName = hlp;
        THelpGenerator generator(data, AtomicFileWriter(), root.path() + QStringLiteral("/App.dpr"));
        generator.WriteMapFile();
        generator.WriteHelpProject();
        generator.WriteDocument();
        files = generator.Files();
    }

    int topics = 0, errors = 0;
    qint64 htmlBytes = 0;
    const double compile = bench::MedianMs(Runs, [&] {
        const THelpProject project = ReadHelpProject(files.ProjectFile);
        const THcwResult result = CompileHelp(project);
        WriteFileAtomically(project.HelpFile(), result.Html);
        WriteFileAtomically(project.ErrorLog(), ErrorLogBytes(project, result));
        topics = result.Topics;
        errors = result.Errors();
        htmlBytes = result.Html.size();
    });
    int pages = 0;
    const double floor = bench::MedianMs(Runs, [&] {
        pages = CountRtfPages(ReadWholeFile(files.Document, 1LL << 30));
    });
    if (topics != helpbench::Topics + 1 || pages != topics || errors != 0) {
        std::fprintf(stderr, "FAILED: %d topics, %d pages, %d errors (expected %d topics, no errors)\n", topics,
                     pages, errors, helpbench::Topics + 1);
        return 1;
    }
    std::printf("hcw, %d topics (document %.1f MB, help file %.1f MB)\n", topics,
                double(QFileInfo(files.Document).size()) / 1e6, double(htmlBytes) / 1e6);
    std::printf("  compile and write:           %9.1f ms (median of %d; goal < 3000 ms: %s)\n", compile, Runs,
                compile < 3000 ? "met" : "MISSED");
    // The command itself, as the help editor starts it, when it is built beside this bench.
    const QString command = QCoreApplication::applicationDirPath() + QStringLiteral("/hcw");
    if (QFileInfo(command).isExecutable()) {
        QProcess hcw;
        QElapsedTimer timer;
        timer.start();
        hcw.start(command, {QStringLiteral("/C"), QStringLiteral("/E"), QStringLiteral("/M"), files.ProjectFile});
        hcw.waitForFinished(60000);
        std::printf("  hcw /C /E /M as a process:   %9.1f ms (one run, exit status %d)\n",
                    double(timer.nsecsElapsed()) / 1e6, hcw.exitCode());
    }
    std::printf("  read the bytes, split pages: %9.1f ms (median of %d)\n", floor, Runs);
    std::printf("  ratio compile / split:       %9.1f x\n", compile / floor);

    // The viewer: a new window each run, so the file is read each time.
    const QString helpFile = ReadHelpProject(files.ProjectFile).HelpFile();
    QString shown;
    const double open = bench::MedianMs(Runs, [&] {
        THelpViewerWindow window;
        window.Open({helpFile, THelpMode::Contents, {}});
        window.show();
        QCoreApplication::processEvents();
        shown = window.CurrentTopic();
    });
    // The peer: what a viewer that loads the whole page into the widget pays.
    const double whole = bench::MedianMs(1, [&] {
        QTextBrowser browser;
        browser.setHtml(QString::fromUtf8(ReadWholeFile(helpFile, 1LL << 30)));
        browser.show();
        QCoreApplication::processEvents();
    });
    if (shown != QLatin1String("Contens")) {
        std::fprintf(stderr, "FAILED: the viewer shows \"%s\", not the contents\n", qPrintable(shown));
        return 1;
    }
    std::printf("quorbel-help on that file, at its contents page (offscreen)\n");
    std::printf("  open, show the contents:     %9.1f ms (median of %d; goal < 1000 ms: %s)\n", open, Runs,
                open < 1000 ? "met" : "MISSED");
    std::printf("  whole file into a browser:   %9.1f ms (one run)\n", whole);
    std::printf("  ratio whole / viewer:        %9.1f x\n", whole / open);
    return 0;
}
