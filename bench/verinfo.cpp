// quorbel-verinfo's show and set on 200 real Windows files found on this
// machine (Wine's and MinGW's), against the npm package resedit doing the
// same in the same run, and python3-pefile for show. Goal: at least 10x
// faster than resedit for both. Each side is timed inside its own process,
// over the whole list, best of Rounds; the versions read are compared.
// A plain copy of the same files (read whole, written to a temporary file,
// renamed) shows what any set must pay for the files alone.
#include "PeResources.h"
#include "SafeFile.h"
#include "VersionInfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <unistd.h>

namespace {

constexpr int Files = 200;
constexpr int Rounds = 3;

// Every Windows file under the usual places, spread over the list's kinds.
QStringList FindFiles()
{
    QStringList all;
    for (const char *dir : {"/usr/lib/x86_64-linux-gnu/wine", "/usr/lib/i386-linux-gnu/wine", "/usr/lib/wine",
                            "/usr/x86_64-w64-mingw32", "/usr/i686-w64-mingw32", "/usr/share/wine"}) {
        QDirIterator it(QLatin1String(dir), {QStringLiteral("*.exe"), QStringLiteral("*.dll")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QFile f(file);
            if (f.open(QIODevice::ReadOnly) && f.read(2) == "MZ")
                all << file;
        }
    }
    all.sort();
    // More than needed, spread over the list, for those strip cannot take.
    const int wanted = Files + Files / 4;
    if (all.size() <= wanted)
        return all;
    QStringList picked;
    for (int i = 0; i < wanted; ++i)
        picked << all[qsizetype(i) * all.size() / wanted];
    return picked;
}

// resedit refuses files with COFF symbols, which Wine's files keep: both
// sides work on copies stripped by MinGW's strip (real files still). A file
// strip cannot take is left out.
QStringList StrippedCopies(const QStringList &files, const QString &dir)
{
    QStringList copies;
    for (int i = 0; i < files.size() && copies.size() < Files; ++i) {
        QFile f(files[i]);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray head = f.read(4096);
        const uint32_t pe = head.size() >= 64 ? qFromLittleEndian<uint32_t>(head.constData() + 0x3C) : 0;
        if (pe + 6 > uint32_t(head.size()))
            continue;
        const uint16_t machine = qFromLittleEndian<uint16_t>(head.constData() + pe + 4);
        const QString strip = machine == 0x8664 ? QStringLiteral("x86_64-w64-mingw32-strip")
                                                : QStringLiteral("i686-w64-mingw32-strip");
        const QString copy = dir + QStringLiteral("/%1-%2").arg(copies.size()).arg(QFileInfo(files[i]).fileName());
        QProcess p;
        p.start(strip, {QStringLiteral("-s"), QStringLiteral("-o"), copy, files[i]});
        if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            copies << copy;
    }
    return copies;
}

QString ShowOne(const QString &file)
{
    uint32_t handle = 0;
    const uint32_t size = GetFileVersionInfoSize(file, handle);
    QByteArray data;
    TVersionRecord record;
    if (size == 0 || !GetFileVersionInfo(file, handle, size, data) || !ParseVersionRecord(data, record) || !record.Fixed)
        return {};
    return FileVersionText(record.Fixed->FileVersionMS, record.Fixed->FileVersionLS);
}

// The system calls set makes for a file, and nothing else: read it whole,
// write a temporary file beside the output, rename it over the output.
void PlainCopy(const QString &from, const QString &to)
{
    const QByteArray bytes = ReadWholeFile(from, MaxPeFileSize);
    QByteArray pattern = QFile::encodeName(to + QStringLiteral("-XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0 || ::write(fd, bytes.constData(), size_t(bytes.size())) != bytes.size() || ::close(fd) != 0
        || ::rename(pattern.constData(), QFile::encodeName(to).constData()) != 0)
        std::fprintf(stderr, "copy of %s failed\n", qPrintable(from));
}

template <typename F>
double BestMs(int rounds, F &&work)
{
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

QJsonObject RunPeer(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(600000) || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), p.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

void Ratio(const char *what, double ours, double peer, double goal)
{
    const double ratio = peer / ours;
    if (goal > 0)
        std::printf("%-28s %8.1f ms vs %8.1f ms: %6.1fx (goal >= %.0fx: %s)\n", what, ours, peer, ratio, goal,
                    ratio >= goal ? "met" : "missed");
    else
        std::printf("%-28s %8.1f ms vs %8.1f ms: %6.1fx\n", what, ours, peer, ratio);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString nodeDir = qEnvironmentVariableIsSet("QUORBEL_RESEDIT_DIR")
        ? qEnvironmentVariable("QUORBEL_RESEDIT_DIR")
        : QStringLiteral(QUORBEL_BENCH_NODE_DIR);
    const QString scripts = QStringLiteral(QUORBEL_BENCH_SUPPORT_DIR);
    QTemporaryDir out;
    const QString inDir = out.filePath(QStringLiteral("in"));
    QDir().mkpath(inDir);
    const QStringList files = StrippedCopies(FindFiles(), inDir);
    if (files.size() < 20) {
        std::printf("verinfo: only %d Windows files found (Debian: wine64, gcc-mingw-w64); skipped\n",
                    int(files.size()));
        return 0;
    }
    const QString list = out.filePath(QStringLiteral("files.txt"));
    {
        QFile f(list);
        f.open(QIODevice::WriteOnly);
        f.write(files.join(QLatin1Char('\n')).toUtf8() + '\n');
    }
    std::printf("verinfo: %d real Windows files (Wine's and MinGW's, stripped copies), best of %d rounds\n", int(files.size()), Rounds);

    QStringList ours;
    const double showMs = BestMs(Rounds, [&] {
        ours.clear();
        for (const QString &file : files)
            ours << ShowOne(file);
    });
    int setOk = 0, setRefused = 0;
    const QString ourDir = out.filePath(QStringLiteral("ours"));
    QDir().mkpath(ourDir);
    TVersionChange change;
    change.FileVersion = QStringLiteral("1.2.3.4");
    change.Strings = {{QStringLiteral("CompanyName"), QStringLiteral("Bench")}};
    change.RemoveSignature = true;
    // The copy goes in the same directory, round by round with set: a file
    // system makes new files faster or slower by where they lie and by how
    // many were deleted there a moment ago.
    double setMs = 1e300, copyMs = 1e300;
    for (int r = 0; r < Rounds; ++r) {
        copyMs = std::min(copyMs, BestMs(1, [&] {
            for (int i = 0; i < files.size(); ++i)
                PlainCopy(files[i], ourDir + QStringLiteral("/c%1").arg(i));
        }));
        setMs = std::min(setMs, BestMs(1, [&] {
            setOk = setRefused = 0;
            for (int i = 0; i < files.size(); ++i) {
                try {
                    SetVersionInFile(files[i], ourDir + QStringLiteral("/q%1").arg(i), change);
                    ++setOk;
                } catch (const Exception &) {
                    ++setRefused;
                }
            }
        }));
    }
    // The same change without the files' reading and writing, which both
    // sides pay alike: what the writer itself costs.
    std::vector<QByteArray> images;
    for (const QString &file : files) {
        QFile f(file);
        images.push_back(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
    }
    const double memoryMs = BestMs(Rounds, [&] {
        for (const QByteArray &image : images) {
            try {
                SetVersionInImage(image, change);
            } catch (const Exception &) {
            }
        }
    });
    qint64 bytes = 0;
    for (const QByteArray &image : images)
        bytes += image.size();
    int readBack = 0;
    for (int i = 0; i < files.size(); ++i)
        readBack += ShowOne(ourDir + QStringLiteral("/q%1").arg(i)) == QLatin1String("1.2.3.4");

    const QString resDir = out.filePath(QStringLiteral("resedit"));
    QDir().mkpath(resDir);
    const QString script = scripts + QStringLiteral("/resedit_verinfo.mjs");
    const bool haveResedit = QFile::exists(nodeDir + QStringLiteral("/node_modules/resedit/package.json"));
    QJsonObject resShow, resSet, pefile;
    if (haveResedit) {
        resShow = RunPeer(QStringLiteral("node"), {script, nodeDir, QStringLiteral("show"), list, resDir, QString::number(Rounds)});
        resSet = RunPeer(QStringLiteral("node"), {script, nodeDir, QStringLiteral("set"), list, resDir, QString::number(Rounds)});
    } else {
        std::printf("no resedit under %s: run ./dev.sh bench (npm install resedit)\n", qPrintable(nodeDir));
    }
    pefile = RunPeer(QStringLiteral("/usr/bin/python3"),
                     {scripts + QStringLiteral("/pefile_verinfo.py"), list, QString::number(Rounds)});

    int withVersion = int(std::count_if(ours.begin(), ours.end(), [](const QString &v) { return !v.isEmpty(); }));
    std::printf("show: %d files with version information; set: %d written (%d read back), %d refused\n",
                withVersion, setOk, readBack, setRefused);
    const auto agree = [&](const QJsonObject &peer, const char *name) {
        const QJsonArray versions = peer[QStringLiteral("versions")].toArray();
        int same = 0;
        for (int i = 0; i < files.size() && i < versions.size(); ++i)
            same += versions[i].toString() == ours[i];
        std::printf("%s agrees on the file version of %d of %d files\n", name, same, int(files.size()));
    };
    if (!resShow.isEmpty()) {
        agree(resShow, "resedit");
        std::printf("resedit set: %d written\n", resSet[QStringLiteral("ok")].toInt());
        Ratio("show vs resedit", showMs, resShow[QStringLiteral("ms")].toDouble(), 10);
        if (!resSet.isEmpty()) {
            Ratio("set vs resedit", setMs, resSet[QStringLiteral("ms")].toDouble(), 10);
            std::printf("set in memory (no file read or written, %.0f MB): %.1f ms, %.1fx resedit's whole set\n",
                        double(bytes) / 1e6, memoryMs, resSet[QStringLiteral("ms")].toDouble() / memoryMs);
            std::printf("plain copy of the same files (read, temporary file, rename): %.1f ms; resedit's whole set "
                        "is %.1fx that, the most any set writing the files could reach; ours is %.2fx the copy\n",
                        copyMs, resSet[QStringLiteral("ms")].toDouble() / copyMs, setMs / copyMs);
        }
    }
    if (!pefile.isEmpty()) {
        agree(pefile, "python3-pefile");
        Ratio("show vs python3-pefile", showMs, pefile[QStringLiteral("ms")].toDouble(), 0);
    }
    return 0;
}
