// .po export and import of a 50,000-string table against msgcat reading and
// writing the same file, in the same run. Goal: each at most 1x msgcat.
#include "support/BenchTiming.h"

#include "core/DM.h"
#include "gettext/PoExchange.h"

#include "SafeFile.h"
#include "TableStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>

namespace {

constexpr int Strings = 50000;
constexpr int Runs = 3;

// Straight into the file in one transaction: the fill is not what is timed.
bool Fill(const QString &dir)
{
    CreateLanguageTable(dir);
    sqlite3 *db = nullptr;
    if (sqlite3_open((dir + QStringLiteral("/language.db")).toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    bool ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt *insert = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "INSERT INTO \"language\" (idst, L1, L2) VALUES (?, ?, ?)", -1, &insert, nullptr)
            == SQLITE_OK;
    for (int i = 0; i < Strings && ok; ++i) {
        const QByteArray id = QStringLiteral("IDS_MESSAGE_%1").arg(i, 6, 10, QLatin1Char('0')).toUtf8();
        const QByteArray l1 = QStringLiteral("Message number %1: \"open\" the file C:\\data\\%1\n").arg(i).toUtf8();
        const QByteArray l2 = QStringLiteral("Mensaje n\u00famero %1: \u00ababrir\u00bb el archivo\n").arg(i).toUtf8();
        sqlite3_bind_text(insert, 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, l1.constData(), int(l1.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 3, l2.constData(), int(l2.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    ok = ok && sqlite3_exec(db, "UPDATE \"language\" SET L3 = NULL", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

bool ClearColumn(const QString &dir, const char *column)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open((dir + QStringLiteral("/language.db")).toUtf8().constData(), &db) != SQLITE_OK)
        return false;
    const QByteArray sql = QByteArray("UPDATE \"language\" SET ") + column + " = NULL";
    const bool ok = sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString langDir = dir.path() + QStringLiteral("/LANG");
    QDir().mkpath(langDir);
    if (!bench::Check(Fill(langDir), "the table was filled"))
        return 2;
    const QString po = dir.path() + QStringLiteral("/es.po");
    const QString peerOut = dir.path() + QStringLiteral("/peer.po");

    const auto openTable = [&](TTable &table) {
        table.DatabaseName = langDir;
        table.TableName = QStringLiteral("language.db");
        table.Open();
        table.SetIndexName(QStringLiteral("L1")); // as the window leaves it
    };
    const TPoExport what{1, 0, QStringLiteral("Spanish"), QStringLiteral("Bench")};

    TTable table;
    openTable(table);
    int exported = 0;
    const double exportMs = bench::MedianMs(Runs, [&] { exported = ExportLanguage(table, what, po, AtomicFileWriter()); });

    // The same file read back: every entry matches and changes nothing.
    TPoImportReport report;
    const double importSameMs = bench::MedianMs(Runs, [&] { report = ImportLanguage(table, po, {1, 0, QString(), false}); });
    const int matched = int(report.Imported.size());
    table.Close();

    // Into an emptied column: one post per string, in one transaction. The
    // column is emptied and the table opened before the clock starts, as the
    // window has it open when the user imports.
    std::vector<double> newTimes;
    for (int run = 0; run < Runs; ++run) {
        ClearColumn(langDir, "L2");
        TTable fresh;
        openTable(fresh);
        newTimes.push_back(bench::MedianMs(1, [&] { report = ImportLanguage(fresh, po, {1, 0, QString(), false}); }));
    }
    std::sort(newTimes.begin(), newTimes.end());
    const double importNewMs = newTimes[newTimes.size() / 2];
    const int written = int(report.Imported.size());

    bool peerRan = true;
    const double peerMs = bench::MedianMs(Runs, [&] {
        QProcess msgcat;
        msgcat.start(QStringLiteral("msgcat"), {QStringLiteral("-o"), peerOut, po});
        peerRan = peerRan && msgcat.waitForFinished(600000) && msgcat.exitCode() == 0;
    });

    bool ok = true;
    ok &= bench::Check(exported == Strings, "every string exported");
    ok &= bench::Check(matched == Strings, "every entry matched on the unchanged table");
    ok &= bench::Check(written == Strings, "every entry imported into the empty column");
    ok &= bench::Check(peerRan, "msgcat ran");
    TTable check;
    openTable(check);
    ok &= bench::Check(check.Locate(QStringLiteral("idst"), QStringLiteral("IDS_MESSAGE_049999"))
                           && check.FieldByName(QStringLiteral("L2"))->AsString()
                               == QStringLiteral("Mensaje n\u00famero 49999: \u00ababrir\u00bb el archivo\n"),
                       "the last text came back exact");

    std::printf(".po file of %d strings (%lld bytes); median of %d runs\n", Strings, QFileInfo(po).size(), Runs);
    std::printf("  peer   msgcat reading and writing it                 %9.1f ms\n", peerMs);
    std::printf("  export of one language                               %9.1f ms   ratio %5.2fx peer\n", exportMs,
                exportMs / peerMs);
    std::printf("  import, every entry matching an equal text           %9.1f ms   ratio %5.2fx peer\n",
                importSameMs, importSameMs / peerMs);
    std::printf("  import into an empty column (%d posts)            %9.1f ms   ratio %5.2fx peer\n", Strings,
                importNewMs, importNewMs / peerMs);
    std::printf("  goal export <= 1x msgcat: %s\n", exportMs <= peerMs ? "met" : "MISSED");
    std::printf("  goal import <= 1x msgcat: unchanged table %s, empty column %s\n",
                importSameMs <= peerMs ? "met" : "MISSED", importNewMs <= peerMs ? "met" : "MISSED");
    return ok ? 0 : 1;
}
