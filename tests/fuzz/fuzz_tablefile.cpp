// Arbitrary bytes as a table file. The store opens them or refuses them with
// its own error, never crashes, and a file it refuses keeps every byte. The
// first byte chooses the table that asks: the language table with its
// fields and index, or a table that takes any shape.
#include "TableStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

QString TempTemplate()
{
    return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/fuzz_tablefile-XXXXXX")
                                                    : QDir::tempPath() + QStringLiteral("/fuzz_tablefile-XXXXXX");
}

struct World {
    QCoreApplication *app;
    QTemporaryDir dir{TempTemplate()};
    QString path;

    World()
    {
        static int argc = 1;
        static char name[] = "fuzz_tablefile";
        static char *argv[] = {name, nullptr};
        app = new QCoreApplication(argc, argv);
        path = dir.path() + QStringLiteral("/language.db");
    }
};

World &TheWorld()
{
    static World *world = new World;
    return *world;
}

void Walk(TTable &table)
{
    qint64 sum = 0;
    for (table.First(); !table.Eof(); table.Next())
        for (int c = 0; c < table.FieldCount(); ++c)
            sum += table.Fields(c)->AsString().size();
    table.Last();
    table.Prior();
    (void)sum;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    World &w = TheWorld();
    const bool language = data[0] & 1;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QFile::remove(w.path + QStringLiteral("-wal"));
    QFile::remove(w.path + QStringLiteral("-shm"));
    {
        QFile file(w.path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size())
            return 0;
    }

    bool refused = false;
    {
        TTable table;
        table.DatabaseName = w.dir.path();
        table.TableName = QStringLiteral("language.db");
        if (language) {
            for (int i = 1; i <= 7; ++i)
                table.AddField(QStringLiteral("L%1").arg(i));
            table.AddField(QStringLiteral("idst"));
            table.SetIndexName(QStringLiteral("L1"));
        }
        try {
            table.Open();
        } catch (const ETableFileError &e) {
            refused = true;
            if (e.Path() != w.path || e.Reason().isEmpty())
                Violated("a refusal without its file or its reason");
        } catch (const EDatabaseError &) {
            Violated("a refusal that does not say it is the file's");
        }
        if (refused == table.Active())
            Violated("refused and open, or neither");
        if (table.Active()) {
            // A file that opens may still fail later where it is damaged;
            // that fails with the store's error, not a crash.
            try {
                Walk(table);
            } catch (const EDatabaseError &) {
            }
        }
    }

    if (refused) {
        QFile file(w.path);
        if (!file.open(QIODevice::ReadOnly) || file.readAll() != input)
            Violated("a refused file was changed");
    }
    return 0;
}
