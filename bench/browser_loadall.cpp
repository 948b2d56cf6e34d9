// Load all on a generated project of 500 units, in the browser window on the
// in-memory host (offscreen): the wall time until every tab is filled,
// against scanning the same files one after another on one thread.
//
//   bench_browser_loadall [units]   (default 500)
//   BENCH_SHOWN=1 clicks Load All with the window on screen.
#include "browser/FbrwFun.h"
#include "browser/EntitySearch.h"
#include "core/AddinServices.h"
#include "Dialogs.h"

#include "InMemoryHost.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>

#include <cstdio>

namespace {

QByteArray UnitText(int index, int routines)
{
    QByteArray text = "unit U" + QByteArray::number(index) + ";\r\n\r\ninterface\r\n\r\nimplementation\r\n\r\n";
    for (int r = 0; r < routines; ++r) {
        text += "procedure TForm" + QByteArray::number(index) + ".Handler" + QByteArray::number(r)
            + "(Sender: TObject);\r\nbegin\r\n  Caption := IntToStr(" + QByteArray::number(r)
            + ");\r\nend;\r\n\r\nfunction Value" + QByteArray::number(r)
            + ": Integer;\r\nbegin\r\n  Result := 0;\r\nend;\r\n\r\n";
    }
    return text + "end.\r\n";
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int units = argc > 1 ? QByteArray(argv[1]).toInt() : 500;
    constexpr int RoutinesPerUnit = 60; // two headings each

    QTemporaryDir dir;
    QStringList files;
    qint64 bytes = 0;
    for (int i = 0; i < units; ++i) {
        const QString path = dir.path() + QStringLiteral("/U%1.pas").arg(i);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 2;
        const QByteArray text = UnitText(i, RoutinesPerUnit);
        f.write(text);
        bytes += text.size();
        files << path;
    }
    const QString project = dir.path() + QStringLiteral("/Project1.dpr");
    files.prepend(project);

    InMemoryHost host;
    host.setProject(project, files);

    // Peer: the same files scanned one after another on this thread.
    QElapsedTimer timer;
    timer.start();
    long sequential = 0;
    for (qsizetype i = 1; i < files.size(); ++i) {
        TBufferGrep grep;
        ConfigureEntitySearch(grep);
        grep.FFileName = files[i];
        grep.FOnFound = [&](void *, const QString &, int32_t &, const QString &text) {
            QString name;
            if (ExtractEntityName(text, name) && !name.isEmpty())
                ++sequential;
        };
        grep.Search();
    }
    const double sequentialSeconds = timer.nsecsElapsed() / 1e9;

    TAddinServices services;
    services.Ide = &host;
    auto *window = new TFbrwEnt(nullptr, services);
    // BENCH_SHOWN=1: with the window on screen, as a user clicks Load All.
    if (qEnvironmentVariableIsSet("BENCH_SHOWN")) {
        window->show();
        QCoreApplication::processEvents();
    }
    timer.restart();
    window->btnTodos->click();
    const double startSeconds = timer.nsecsElapsed() / 1e9;
    while (window->RunningScans() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double seconds = timer.nsecsElapsed() / 1e9;

    int filled = 0;
    long entries = 0;
    for (TMiTabSheet *tab : window->Tabs()) {
        entries += tab->Count();
        if (tab->Count() == 2 * RoutinesPerUnit)
            ++filled;
    }
    const int tabs = int(window->Tabs().size());
    delete window;

    std::printf("%d units, %.1f MB, scans at once: %d (of %d cores)\n", units, bytes / 1e6,
                std::max(2, 2 * QThread::idealThreadCount()), QThread::idealThreadCount());
    std::printf("load all: %d tabs, %d filled, %ld entries; %.3f s to the last entry "
                "(%.3f s to set up the tabs and queue the scans)\n",
                tabs, filled, entries, seconds, startSeconds);
    std::printf("one thread scanning the same files, no window: %.3f s, %ld entities\n",
                sequentialSeconds, sequential);
    const double ratio = seconds / sequentialSeconds;
    std::printf("ratio load all / plain scanning: %.2f (goal <= 5: %s)\n", ratio, ratio <= 5 ? "met" : "missed");
    const bool ok = tabs == units && filled == units;
    std::printf("every tab filled: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
