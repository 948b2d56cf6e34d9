// .po catalogs from arbitrary bytes: the reader either refuses them with its
// own error or gives entries that the writer writes and the reader reads
// back the same.
#include "gettext/PoFile.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

bool Representable(const TPoEntry &entry)
{
    for (const QString &s : {entry.Context, entry.Id, entry.Translation()})
        if (!s.isValidUtf16())
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_pofile";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    if (size > 1 << 20)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    TPoCatalog catalog;
    try {
        catalog = ParsePo(bytes, QStringLiteral("fuzz.po"));
    } catch (const EPoFileError &e) {
        if (e.message().isEmpty())
            Violated("an error without a message");
        return 0;
    }
    std::erase_if(catalog.Entries, [](const TPoEntry &entry) { return entry.Obsolete || !Representable(entry); });
    TPoCatalog again;
    try {
        again = ParsePo(WritePo(catalog), QStringLiteral("again.po"));
    } catch (const EPoFileError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        Violated("the writer's file was refused");
    }
    if (again.Entries.size() != catalog.Entries.size())
        Violated("entries lost or gained");
    for (size_t i = 0; i < catalog.Entries.size(); ++i) {
        const TPoEntry &a = catalog.Entries[i], &b = again.Entries[i];
        if (a.HasContext != b.HasContext || a.Context != b.Context || a.Id != b.Id
            || a.Translation() != b.Translation() || a.Fuzzy() != b.Fuzzy())
            Violated("an entry read back differently");
    }
    return 0;
}
