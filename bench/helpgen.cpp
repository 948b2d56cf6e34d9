// Help generation for a table of 20,000 topics (200 top-level topics, three
// levels): the map file, the help project and the document, with the index on
// parent that the subtopic query runs on, next to the same generation on the
// same topics in a table made without that index (what the index buys).
#include "core/DM.h"
#include "helpeditor/HelpGen.h"

#include "SafeFile.h"

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

constexpr int TopLevel = 200;
constexpr int Children = 9;       // per top-level topic
constexpr int GrandChildren = 10; // per child: 200 + 1,800 + 18,000 topics
constexpr int Runs = 5;

// Fills the table file in one transaction (the store posts one record per
// transaction, which would make the set-up the longest part of the run).
bool Fill(const QString &file)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
        db.setDatabaseName(file);
        if (db.open()) {
            db.transaction();
            QSqlQuery insert(db);
            insert.prepare(QStringLiteral("INSERT INTO \"Ayuda\" (Titulo, parent, Level, Popup, Keyword, TExto) "
                                          "VALUES (?, ?, ?, ?, ?, ?)"));
            int map = 0;
            const QString text = QStringLiteral("This topic explains one part of the program.\r\n"
                                                "See the {\\b related} topics below.");
            const auto add = [&](const QString &title, QVariant parent, bool popup) {
                insert.addBindValue(title);
                insert.addBindValue(parent);
                insert.addBindValue(parent.isNull() ? QVariant(QStringLiteral("1")) : QVariant());
                insert.addBindValue(popup ? 1 : 0);
                insert.addBindValue(QStringLiteral("keyword;") + title);
                insert.addBindValue(text);
                if (!insert.exec())
                    std::fprintf(stderr, "insert: %s\n", qPrintable(insert.lastError().text()));
                return ++map; // Map numbers the rows in insertion order
            };
            ok = true;
            for (int t = 0; t < TopLevel; ++t) {
                const int top = add(QStringLiteral("Topic %1").arg(t), QVariant(), false);
                for (int c = 0; c < Children; ++c) {
                    const int child = add(QStringLiteral("Topic %1.%2").arg(t).arg(c), top, false);
                    for (int g = 0; g < GrandChildren; ++g)
                        add(QStringLiteral("Topic %1.%2.%3").arg(t).arg(c).arg(g), child, g == 0);
                }
            }
            ok = db.commit() && ok;
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("fill"));
    return ok;
}

// A help table in dir, with or without the index on parent.
bool MakeTable(const QString &dir, bool parentIndex)
{
    QDir().mkpath(dir);
    if (parentIndex) {
        CreateHelpTable(dir);
    } else {
        TTable table;
        table.DatabaseName = dir;
        table.TableName = QStringLiteral("Ayuda.db");
        table.FieldDefs = HelpTableFields();
        table.IndexDefs = {{QStringLiteral("prymary"), QStringLiteral("Titulo;parent"), true}};
        table.CreateTable();
    }
    TTable probe;
    probe.DatabaseName = dir;
    probe.TableName = QStringLiteral("Ayuda.db");
    return Fill(probe.FilePath());
}

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
    const int topics = TopLevel * (1 + Children * (1 + GrandChildren));
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
