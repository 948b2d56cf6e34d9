// The language generators on a table of 50,000 strings in 7 languages: both
// variants' files (table walk, texts in memory, atomic writes) next to a
// plain QFile write of the same bytes measured in the same run; then the
// real brcc32 (and dcc32) on what was written.
#include "support/BenchTiming.h"
#include "ScriptedDialogs.h"

#include "core/DM.h"
#include "core/appexec.h"
#include "language/LangGen.h"

#include "Process.h"
#include "Registry.h"
#include "SafeFile.h"
#include "TableStore.h"
#include "VersionInfo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Strings = 50000;
constexpr int InitId = 1000; // the last number stays below 65536
constexpr int Runs = 9;
constexpr double GoalRatio = 4.0; // both variants against the plain write

// One transaction for the lot: posting record by record would measure the
// disk. Straight through SQLite, so that the bench needs no SQL module.
bool Fill(const QString &dir)
{
    CreateLanguageTable(dir);
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(dir + QStringLiteral("/language.db")).constData(), &db,
                        SQLITE_OPEN_READWRITE, nullptr)
        != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    sqlite3_stmt *insert = nullptr;
    bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db,
                              "INSERT INTO \"language\" (idst, L1, L2, L3, L4, L5, L6, L7) "
                              "VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                              -1, &insert, nullptr)
            == SQLITE_OK;
    for (int i = 0; i < Strings && ok; ++i) {
        const QString n = QString::number(i);
        const QString values[] = {
            QStringLiteral("IDS_MESSAGE_%1").arg(i, 6, 10, QLatin1Char('0')),
            QStringLiteral("Message number %1: \"open\" the file C:\\data\\%1").arg(n),
            QStringLiteral("Mensaje n\u00famero %1: abrir el archivo").arg(n),
            QStringLiteral("\u0421\u043e\u043e\u0431\u0449\u0435\u043d\u0438\u0435 %1").arg(n),
            QStringLiteral("Nachricht Nummer %1: \u00f6ffnen").arg(n),
            QStringLiteral("Message num\u00e9ro %1 : ouvrir").arg(n),
            QStringLiteral("Messaggio numero %1: aprire").arg(n),
            QStringLiteral("Mensagem n\u00famero %1: abrir").arg(n)};
        for (int column = 0; column < 8; ++column) {
            const QByteArray utf8 = values[column].toUtf8();
            sqlite3_bind_text(insert, column + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

qint64 SizeOf(const QString &path)
{
    return QFileInfo(path).size();
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Takes each file and keeps only its size: generation without the disk.
class TDiscardingWriter final : public TFileWriter {
public:
    void Write(const QString &, const QByteArray &bytes) override { Bytes += bytes.size(); }
    qint64 Bytes = 0;
};

// ms of one waited run of a tool in dir; -1 when it failed.
double TimeTool(const QString &tool, const QString &dir, const QString &argument)
{
    TSpawnRequest request;
    request.Arguments = {tool, argument};
    request.WorkingDir = dir;
    request.Wait = true;
    QElapsedTimer timer;
    timer.start();
    const TSpawnResult result = SpawnProcess(request);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (result.Error != 0 || result.ExitStatus != 0) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(tool), qPrintable(result.Output));
        return -1;
    }
    return ms;
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

    const QString project = dir.path() + QStringLiteral("/APP");
    const QString langDir = project + QStringLiteral("/LANG");
    QDir().mkpath(langDir);
    QElapsedTimer fillTimer;
    fillTimer.start();
    if (!bench::Check(Fill(langDir), "the table was filled"))
        return 2;
    const double fillMs = double(fillTimer.nsecsElapsed()) / 1e6;
    TTable table;
    table.DatabaseName = langDir;
    table.TableName = QStringLiteral("language.db");
    table.Open();
    table.SetIndexName(QStringLiteral("L1")); // as the window leaves it

    const TAddinServices services = DefaultServices(nullptr);
    TAppExec exec;
    exec.SetWait(true);
    TLanguageGenerator generator(services, exec);
    const TLanguageGenSettings settings{project, QStringLiteral("English"), 0, InitId};
    const TLanguageGenSettings russian{project, QStringLiteral("Russian"), 2, InitId};

    // One run first to learn the bytes; the linked variant's language.pas is
    // read before the library's replaces it.
    const TLanguageFiles unitFiles = generator.WriteUnitFiles(table, settings);
    std::vector<QByteArray> contents;
    for (const QString &file : {unitFiles.Script, unitFiles.Second, unitFiles.Unit})
        contents.push_back(ReadAll(file));
    const TLanguageFiles libraryFiles = generator.WriteLibraryFiles(table, settings);
    for (const QString &file : {libraryFiles.Script, libraryFiles.Second, libraryFiles.Unit})
        contents.push_back(ReadAll(file));
    qint64 bytes = 0;
    for (const QByteArray &content : contents)
        bytes += content.size();

    // The peer: the same bytes through a plain QFile, no temporary, no rename.
    // Peer and generation take turns, so that both meet the same load.
    const QString peerFile = dir.path() + QStringLiteral("/peer.out");
    std::vector<double> peerTimes, generateTimes;
    for (int run = 0; run < Runs; ++run) {
        peerTimes.push_back(bench::MedianMs(1, [&] {
            for (const QByteArray &content : contents) {
                QFile out(peerFile);
                out.open(QIODevice::WriteOnly | QIODevice::Truncate);
                out.write(content);
            }
        }));
        generateTimes.push_back(bench::MedianMs(1, [&] {
            generator.WriteUnitFiles(table, settings);
            generator.WriteLibraryFiles(table, settings);
        }));
    }
    const auto median = [](std::vector<double> times) {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    };
    const double peer = median(peerTimes);
    const double generate = median(generateTimes);
    const double utf8 = bench::MedianMs(Runs, [&] { generator.WriteUnitFiles(table, russian); });

    // The phases, each as both variants do it: the table walk alone (two
    // walks, each reading an identifier and a text per record) and the
    // atomic writes of the same files; the rest is building and encoding.
    const double walk = bench::MedianMs(Runs, [&] {
        for (int variant = 0; variant < 2; ++variant) {
            TField *id = table.FieldByName(QStringLiteral("idst"));
            TField *text = table.FieldByName(QStringLiteral("L1"));
            table.SetIndexName(QString());
            qsizetype chars = 0;
            // As the generator reads: ASCII as the table holds it, else decoded.
            const auto size = [](TField *field) {
                QLatin1StringView ascii;
                return field->AsAscii(ascii) ? ascii.size() : field->AsString().size();
            };
            for (table.First(); !table.Eof(); table.Next())
                chars += size(id) + size(text);
            if (chars == 0)
                std::fprintf(stderr, "the walk read nothing\n");
        }
    });
    TAddinServices inMemory = services;
    TDiscardingWriter discarding;
    inMemory.Writer = &discarding;
    TLanguageGenerator memoryGenerator(inMemory, exec);
    const double texts = bench::MedianMs(Runs, [&] {
        memoryGenerator.WriteUnitFiles(table, settings);
        memoryGenerator.WriteLibraryFiles(table, settings);
    });
    const QString atomicFile = dir.path() + QStringLiteral("/atomic.out");
    const double atomic = bench::MedianMs(Runs, [&] {
        for (const QByteArray &content : contents)
            WriteFileAtomically(atomicFile, content);
    });

    bool ok = true;
    ok &= bench::Check(contents[1].contains("  IDS_MESSAGE_049999 = 50999;"), "the last constant");
    ok &= bench::Check(contents[4].contains("Library Englisty;"), "the library project");
    ok &= bench::Check(contents[5].contains("  IDS_MESSAGE_049999 = 50999;"), "the library's last constant");
    ok &= bench::Check(dialogs.log.isEmpty(), "no message was shown");

    std::printf("language table: %d strings x 7 languages (filled in %.0f ms); median of %d runs\n",
                Strings, fillMs, Runs);
    std::printf("  peer   QFile write of the same %lld bytes      %8.2f ms\n",
                static_cast<long long>(bytes), peer);
    std::printf("  both variants, no compilers (walk, texts, atomic writes)\n"
                "                                                %8.2f ms   ratio %6.1fx peer   %6.1f MB/s\n",
                generate, generate / peer, double(bytes) / 1e6 / (generate / 1e3));
    std::printf("  phases, each timed alone:\n");
    std::printf("    the table walk (2 walks, 2 fields a record) %8.2f ms   %5.1f%%\n", walk,
                100.0 * walk / generate);
    std::printf("    walk and texts, files kept in memory        %8.2f ms   %5.1f%%  (texts %.2f ms)\n",
                texts, 100.0 * texts / generate, texts - walk);
    std::printf("    atomic writes of the same 6 files           %8.2f ms   %5.1f%%  (%.1fx peer)\n",
                atomic, 100.0 * atomic / generate, atomic / peer);
    std::printf("  linked variant alone, Cyrillic texts (UTF-8)  %8.2f ms\n", utf8);
    std::printf("  bar: both variants at most %.1fx the plain write: %.1fx, %s\n", GoalRatio,
                generate / peer, generate / peer <= GoalRatio ? "met" : "MISSED");

    // The real tools on the result, once each.
    generator.WriteUnitFiles(table, settings);
    const QStringList toolDirs = ToolSearchDirs();
    const QString brcc = FindCommand(QStringLiteral("brcc32"), toolDirs);
    const QString dcc = FindCommand(QStringLiteral("dcc32"), toolDirs);
    if (brcc.isEmpty() || dcc.isEmpty()) {
        std::printf("  brcc32 / dcc32 not found beside the bench or on the PATH: compiles not timed\n");
    } else {
        const double rc = TimeTool(brcc, unitFiles.Dir, QStringLiteral("Englisty.rc"));
        const double libRc = TimeTool(brcc, libraryFiles.Dir, QStringLiteral("Englisty.rc"));
        const double link = TimeTool(dcc, libraryFiles.Dir, QStringLiteral("Englisty.dpr"));
        ok &= bench::Check(rc >= 0 && libRc >= 0 && link >= 0, "the tools compiled and linked");
        ok &= bench::Check(LoadStringResource(libraryFiles.Dll, InitId + Strings - 1)
                        == QStringLiteral("Message number 49999: \"open\" the file C:\\data\\49999"),
                    "the last string came back from the library");
        std::printf("  brcc32 on the %lld-byte script                %8.2f ms   ratio %6.1fx generation\n",
                    static_cast<long long>(SizeOf(unitFiles.Script)), rc, rc / generate);
        std::printf("  dcc32 linking the library                     %8.2f ms\n", link);
    }
    return ok ? 0 : 1;
}
