// Child of the table tests: posts to a language table and prints each key
// once its post has returned.
//   table_poster DIR FIRST            posts until it is killed
//   table_poster DIR FIRST COUNT      posts COUNT records, then ends
//   table_poster DIR FIRST COUNT read and reads the whole table before each
// A post refused because the other program holds the table is cancelled and
// reported on standard error as "busy KEY: MESSAGE".
#include "TableStore.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace {

// Post, or cancel and say so when the table is in use by another program.
bool PostOrReport(TTable &table, const QString &key)
{
    try {
        table.Post();
        return true;
    } catch (const EDatabaseError &e) {
        if (!e.message().contains(QLatin1String("in use by another program")))
            throw;
        table.Cancel();
        std::fprintf(stderr, "busy %s: %s\n", qPrintable(key), qPrintable(e.message()));
        return false;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3 || argc > 5)
        return 2;
    const long count = argc >= 4 ? std::atol(argv[3]) : -1;
    const bool read = argc == 5 && std::strcmp(argv[4], "read") == 0;
    TTable table;
    table.DatabaseName = QString::fromLocal8Bit(argv[1]);
    table.TableName = QStringLiteral("language.db");
    try {
        table.Open();
        const long first = std::atol(argv[2]);
        for (long n = first; count < 0 || n < first + count; ++n) {
            const QString key = QStringLiteral("K%1").arg(n, 8, 10, QLatin1Char('0'));
            if (read) {
                qint64 seen = 0;
                for (table.First(); !table.Eof(); table.Next())
                    seen += table.FieldByName(QStringLiteral("L1"))->AsString().size();
                (void)seen;
            }
            table.Append();
            table.FieldByName(QStringLiteral("idst"))->SetAsString(key);
            // Long enough that a record spans more than one write.
            table.FieldByName(QStringLiteral("L1"))->SetAsString(key.repeated(28));
            table.FieldByName(QStringLiteral("L2"))->SetAsString(QStringLiteral("new"));
            if (!PostOrReport(table, key))
                continue;
            std::printf("%s\n", qPrintable(key));
            std::fflush(stdout);
            if (n % 3 == 0) { // and an update now and then
                table.Edit();
                table.FieldByName(QStringLiteral("L2"))->SetAsString(QStringLiteral("edited"));
                PostOrReport(table, key);
            }
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
