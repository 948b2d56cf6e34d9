// set on arbitrary bytes as a whole program file: the writer refuses with
// its own error or hands back a file that the reader reads with the values
// written, and that the writer itself takes again.
#include "PeResources.h"
#include "VersionInfo.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

bool ReadsBack(const QByteArray &image, uint32_t ms, uint32_t ls, const QString &company)
{
    QByteArray data;
    TVerValue value;
    if (!ReadVersionResource(image, data) || !VerQueryValue(data, QStringLiteral("\\"), value) || !value.Fixed
        || value.Fixed->FileVersionMS != ms || value.Fixed->FileVersionLS != ls)
        return false;
    TVersionRecord record;
    if (!ParseVersionRecord(data, record))
        return false;
    for (const TVersionStringBlock &block : record.Blocks)
        for (const auto &s : block.Strings)
            if (s.first == QLatin1String("CompanyName") && s.second == company)
                return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray image(reinterpret_cast<const char *>(data), qsizetype(size));
    TVersionChange change;
    change.FileVersion = QStringLiteral("1.2.3.4");
    change.Strings = {{QStringLiteral("CompanyName"), QStringLiteral("Fuzz \u00e9")}};
    // The last byte picks a block, so new and existing blocks are both tried.
    if (size > 0 && (data[size - 1] & 1))
        change.Language = data[size - 1];
    change.RemoveSignature = size > 1 && (data[size - 2] & 1);
    QByteArray written;
    try {
        written = SetVersionInImage(image, change);
    } catch (const EPeFileError &) {
        return 0;
    }
    if (!ReadsBack(written, 0x10002, 0x30004, QStringLiteral("Fuzz \u00e9")))
        Violated("the written file does not read back");
    change.FileVersion = QStringLiteral("5.6");
    QByteArray again;
    try {
        again = SetVersionInImage(written, change);
    } catch (const EPeFileError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        Violated("the writer refuses its own file");
    }
    if (!ReadsBack(again, 0x50006, 0, QStringLiteral("Fuzz \u00e9")))
        Violated("the file written twice does not read back");
    return 0;
}
