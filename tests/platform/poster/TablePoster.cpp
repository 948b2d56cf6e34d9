// Child of the crash test: posts to a language table in a loop and prints
// each key once its post has returned, until it is killed.
//   table_poster DIR FIRST
#include "TableStore.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    TTable table;
    table.DatabaseName = QString::fromLocal8Bit(argv[1]);
    table.TableName = QStringLiteral("language.db");
    table.Open();
    for (long n = std::atol(argv[2]);; ++n) {
        const QString key = QStringLiteral("K%1").arg(n, 8, 10, QLatin1Char('0'));
        table.Append();
        table.FieldByName(QStringLiteral("idst"))->SetAsString(key);
        // Long enough that a record spans more than one write.
        table.FieldByName(QStringLiteral("L1"))->SetAsString(key.repeated(28));
        table.FieldByName(QStringLiteral("L2"))->SetAsString(QStringLiteral("new"));
        table.Post();
        std::printf("%s\n", qPrintable(key));
        std::fflush(stdout);
        if (n % 3 == 0) { // and an update now and then
            table.Edit();
            table.FieldByName(QStringLiteral("L2"))->SetAsString(QStringLiteral("edited"));
            table.Post();
        }
    }
}
