// Loading and saving a proj.dat of 10,000 projects in 500 groups: the file
// model alone and the whole window (fill the tree, save on close), each next
// to a plain QFile read + write of the same bytes measured in the same run.
#include "support/BenchTiming.h"
#include "ScriptedDialogs.h"

#include "projects/Fprojects.h"
#include "projects/ProjectGroups.h"

#include "Registry.h"
#include "SafeFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Groups = 500;
constexpr int ProjectsPerGroup = 20;
constexpr int Runs = 7;

QByteArray Generate()
{
    QByteArray bytes;
    for (int g = 0; g < Groups; ++g) {
        bytes += "Group " + QByteArray::number(g) + "\r\n";
        for (int p = 0; p < ProjectsPerGroup; ++p) {
            const QByteArray n = QByteArray::number(g * ProjectsPerGroup + p);
            bytes += "\tProject " + n + ";/home/dev/src/group" + QByteArray::number(g) + "/project"
                + n + "/Project" + n + ".dpr\r\n";
        }
    }
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    qputenv("QUORBEL_REGISTRY", (dir.path() + QStringLiteral("/registry.ini")).toUtf8());
    QApplication app(argc, argv);
    ScriptedDialogs dialogs; // any message would otherwise wait for a click

    Registry::writeString(HKEY::CurrentUser, QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts"),
                          QStringLiteral("Quorbel"), dir.path() + QStringLiteral("/libquorbel.so"));
    const QString file = dir.path() + QStringLiteral("/proj.dat");
    const QString copy = dir.path() + QStringLiteral("/copy.dat");
    const QByteArray bytes = Generate();
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return 2;
    }

    bool ok = true;
    const double peer = bench::MedianMs(Runs, [&] {
        QFile in(file);
        in.open(QIODevice::ReadOnly);
        const QByteArray read = in.readAll();
        QFile out(copy);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(read);
    });

    const double model = bench::MedianMs(Runs, [&] {
        TProjectGroups groups;
        groups.LoadFromFile(file);
        groups.SaveToFile(file, AtomicFileWriter());
    });

    int nodes = 0;
    const double window = bench::MedianMs(Runs, [&] {
        TFProyexp w(nullptr, DefaultServices(nullptr));
        nodes = 0;
        for (int i = 0; i < w.Proyectos->topLevelItemCount(); ++i)
            nodes += 1 + w.Proyectos->topLevelItem(i)->childCount();
    });

    QFile check(file);
    check.open(QIODevice::ReadOnly);
    ok &= bench::Check(check.readAll() == bytes, "the file came back byte for byte");
    ok &= bench::Check(nodes == Groups * (1 + ProjectsPerGroup), "every node reached the tree");
    ok &= bench::Check(dialogs.log.isEmpty(), "no message was shown");
    ok &= bench::Check(window < 1000.0, "window load + save under a second");

    std::printf("proj.dat: %d groups, %d projects, %lld bytes; median of %d runs\n", Groups,
                Groups * ProjectsPerGroup, static_cast<long long>(bytes.size()), Runs);
    std::printf("  peer   QFile read + write        %8.2f ms\n", peer);
    std::printf("  model  load + atomic save        %8.2f ms   ratio %6.1fx peer\n", model,
                model / peer);
    std::printf("  window create (load, fill tree)\n"
                "         + destroy (save)          %8.2f ms   ratio %6.1fx peer\n",
                window, window / peer);
    std::printf("  bar: window under 1000 ms: %s\n", window < 1000.0 ? "met" : "MISSED");
    return ok ? 0 : 1;
}
