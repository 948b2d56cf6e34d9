// The project-wide go to routine on 5,000 units: the time until the list
// shows its first routines and until it holds them all, against scanning
// the same files one after another on one thread, in the same run.
//
//   bench_browser_goto [units]   (default 5000)
// Units come from Free Pascal's sources (/usr/share/fpcsrc) when installed,
// else they are generated.
#include "browser/EntitySearch.h"
#include "browser/FGotoRoutine.h"
#include "browser/BufferGrep.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

QByteArray UnitText(int index, int routines)
{
    QByteArray text = "unit U" + QByteArray::number(index) + ";\r\n\r\ninterface\r\n\r\nimplementation\r\n\r\n";
    for (int r = 0; r < routines; ++r)
        text += "procedure TForm" + QByteArray::number(index) + ".Handler" + QByteArray::number(r)
            + "(Sender: TObject);\r\nbegin\r\n  Caption := IntToStr(" + QByteArray::number(r) + ");\r\nend;\r\n\r\n";
    return text + "end.\r\n";
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int wanted = argc > 1 ? QByteArray(argv[1]).toInt() : 5000;

    QStringList files;
    const QString fpc = QStringLiteral("/usr/share/fpcsrc");
    for (QDirIterator it(fpc, {QStringLiteral("*.pas"), QStringLiteral("*.pp")}, QDir::Files,
                         QDirIterator::Subdirectories);
         it.hasNext() && files.size() < wanted;)
        files << it.next();
    QTemporaryDir dir;
    const bool generated = files.isEmpty();
    for (int i = 0; generated && i < wanted; ++i) {
        const QString path = dir.path() + QStringLiteral("/U%1.pas").arg(i);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 2;
        f.write(UnitText(i, 40));
        files << path;
    }
    qint64 bytes = 0;
    for (const QString &f : files)
        bytes += QFileInfo(f).size();

    // Peer: the same files, one after another, on this thread.
    QElapsedTimer timer;
    timer.start();
    long sequential = 0;
    for (const QString &file : files) {
        TBufferGrep grep;
        ConfigureEntitySearch(grep);
        grep.FFileName = file;
        grep.FOnFound = [&](void *, const QString &, int32_t &, const QString &text) {
            QString name;
            if (ExtractEntityName(text, name) && !name.trimmed().isEmpty())
                ++sequential;
        };
        grep.Search();
    }
    const double plainSeconds = timer.nsecsElapsed() / 1e9;

    // The dialog as the command shows it.
    timer.restart();
    auto *dialog = new TFGotoRoutine(nullptr, files);
    dialog->show();
    double firstSeconds = -1;
    int scannedAtFirst = 0;
    while (!dialog->Routines().Done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (firstSeconds < 0 && dialog->Routines().Model().rowCount() > 0) {
            firstSeconds = timer.nsecsElapsed() / 1e9;
            scannedAtFirst = dialog->Routines().UnitsScanned();
        }
    }
    const double allSeconds = timer.nsecsElapsed() / 1e9;
    const long listed = dialog->Routines().Model().Total();
    delete dialog;

    std::printf("%lld units (%s), %.1f MB, scans at once: %d (of %d cores)\n", (long long)files.size(),
                generated ? "generated" : "fpc-source", bytes / 1e6, std::max(2, 2 * QThread::idealThreadCount()),
                QThread::idealThreadCount());
    std::printf("go to routine: first routines after %.3f s (%d of %lld units scanned), all %ld after %.3f s\n",
                firstSeconds, scannedAtFirst, (long long)files.size(), listed, allSeconds);
    std::printf("one thread scanning the same files: %.3f s, %ld routines\n", plainSeconds, sequential);
    const double ratio = allSeconds / plainSeconds;
    const bool early = scannedAtFirst * 10 < files.size();
    std::printf("ratio all / plain scanning: %.2f (goal <= 2: %s)\n", ratio, ratio <= 2 ? "met" : "missed");
    std::printf("first routines before a tenth of the units: %s\n", early ? "met" : "missed");
    const bool ok = listed == sequential;
    std::printf("same routines as the plain scan: %s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}
